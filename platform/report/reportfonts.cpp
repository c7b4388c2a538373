#include "reportfonts.h"

#include <QFile>
#include <QHash>

#include <fontconfig/fontconfig.h>
#include <hb-subset.h>
#include <hb.h>

TFontFileMatch LocateFontFile(const QString &face, bool bold, bool italic)
{
    TFontFileMatch match;
    static const bool ready = FcInit();
    if (!ready)
        return match;
    FcPattern *pattern = FcPatternCreate();
    const QByteArray family = face.toUtf8();
    FcPatternAddString(pattern, FC_FAMILY, reinterpret_cast<const FcChar8 *>(family.constData()));
    FcPatternAddInteger(pattern, FC_WEIGHT, bold ? FC_WEIGHT_BOLD : FC_WEIGHT_REGULAR);
    FcPatternAddInteger(pattern, FC_SLANT, italic ? FC_SLANT_ITALIC : FC_SLANT_ROMAN);
    FcPatternAddBool(pattern, FC_SCALABLE, FcTrue);
    FcConfigSubstitute(nullptr, pattern, FcMatchPattern);
    FcDefaultSubstitute(pattern);
    FcResult result = FcResultNoMatch;
    FcPattern *found = FcFontMatch(nullptr, pattern, &result);
    if (found) {
        FcChar8 *file = nullptr;
        FcChar8 *name = nullptr;
        int index = 0;
        if (FcPatternGetString(found, FC_FILE, 0, &file) == FcResultMatch)
            match.path = QString::fromUtf8(reinterpret_cast<const char *>(file));
        if (FcPatternGetInteger(found, FC_INDEX, 0, &index) == FcResultMatch)
            match.index = index & 0xFFFF; // the upper half names a variable-font instance
        if (FcPatternGetString(found, FC_FAMILY, 0, &name) == FcResultMatch)
            match.family = QString::fromUtf8(reinterpret_cast<const char *>(name));
        FcPatternDestroy(found);
    }
    FcPatternDestroy(pattern);
    return match;
}

std::shared_ptr<const TrextPDFFont> ReportFont(const QString &face, bool bold, bool italic)
{
    static QHash<QString, std::shared_ptr<const TrextPDFFont>> cache;
    const QString key = face.toLower() + QLatin1Char('|') + QChar(bold ? 'B' : '-') + QChar(italic ? 'I' : '-');
    auto it = cache.constFind(key);
    if (it != cache.constEnd())
        return *it;
    const TFontFileMatch match = LocateFontFile(face, bold, italic);
    QByteArray data;
    if (!match.path.isEmpty()) {
        QFile file(match.path);
        if (file.open(QIODevice::ReadOnly))
            data = file.readAll();
    }
    auto font = std::make_shared<const TrextPDFFont>(face, bold, italic, data, match.index);
    cache.insert(key, font);
    return font;
}

QByteArray SubsetFontProgram(const QByteArray &fontData, int faceIndex, const std::vector<quint16> &glyphs)
{
    hb_blob_t *blob = hb_blob_create(fontData.constData(), unsigned(fontData.size()), HB_MEMORY_MODE_READONLY,
                                     nullptr, nullptr);
    hb_face_t *face = hb_face_create(blob, unsigned(faceIndex));
    hb_blob_destroy(blob);
    QByteArray out;
    if (hb_subset_input_t *input = hb_subset_input_create_or_fail()) {
        hb_set_t *set = hb_subset_input_glyph_set(input);
        hb_set_add(set, 0);
        for (quint16 g : glyphs)
            hb_set_add(set, g);
        // The text addresses glyphs by their numbers in the whole font (Identity map).
        hb_subset_input_set_flags(input, HB_SUBSET_FLAGS_RETAIN_GIDS);
        if (hb_face_t *subset = hb_subset_or_fail(face, input)) {
            hb_blob_t *result = hb_face_reference_blob(subset);
            unsigned length = 0;
            const char *bytes = hb_blob_get_data(result, &length);
            out = QByteArray(bytes, qsizetype(length));
            hb_blob_destroy(result);
            hb_face_destroy(subset);
        }
        hb_subset_input_destroy(input);
    }
    hb_face_destroy(face);
    return out;
}
