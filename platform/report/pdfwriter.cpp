#include "pdfwriter.h"

#include "reportfonts.h"
#include "reportmodel.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <QSaveFile>
#include <QStringEncoder>
#include <map>
#include <zlib.h>

namespace {

QByteArray Num(double v)
{
    QByteArray s = QByteArray::number(v, 'f', 3);
    while (s.endsWith('0'))
        s.chop(1);
    if (s.endsWith('.'))
        s.chop(1);
    return s == "-0" ? QByteArray("0") : s;
}

QByteArray Deflate(const QByteArray &data)
{
    uLongf size = compressBound(uLong(data.size()));
    QByteArray out(qsizetype(size), Qt::Uninitialized);
    if (compress2(reinterpret_cast<Bytef *>(out.data()), &size, reinterpret_cast<const Bytef *>(data.constData()),
                  uLong(data.size()), Z_BEST_COMPRESSION) != Z_OK)
        throw EReportError(QStringLiteral("Komprese obsahu PDF selhala"));
    out.truncate(qsizetype(size));
    return out;
}

QByteArray Stream(const QByteArray &data, const QByteArray &extraKeys = {})
{
    const QByteArray packed = Deflate(data);
    return "<< /Length " + QByteArray::number(packed.size()) + " /Filter /FlateDecode" + extraKeys + " >>\nstream\n"
        + packed + "\nendstream";
}

QByteArray LiteralString(const QByteArray &bytes)
{
    QByteArray s = "(";
    for (char c : bytes) {
        if (c == '(' || c == ')' || c == '\\')
            s += '\\';
        s += c;
    }
    return s + ')';
}

QByteArray TextString(const QString &text)
{
    QByteArray utf16 = "\xFE\xFF";
    for (QChar c : text) {
        utf16 += char(c.unicode() >> 8);
        utf16 += char(c.unicode() & 0xFF);
    }
    return '<' + utf16.toHex().toUpper() + '>';
}

// Six capital letters that name this subset of the face.
QString SubsetTag(const QString &baseName, const std::vector<quint16> &glyphs)
{
    quint32 h = 2166136261u;
    auto mix = [&h](quint32 v) { h = (h ^ v) * 16777619u; };
    for (QChar c : baseName)
        mix(c.unicode());
    for (quint16 g : glyphs)
        mix(g);
    QString tag;
    for (int i = 0; i < 6; ++i) {
        tag += QChar(u'A' + h % 26);
        h /= 26;
        if (i == 3)
            mix(h + 7);
    }
    return tag;
}

struct FontResource {
    std::shared_ptr<const TrextPDFFont> font;
    QByteArray name; // F1, F2, ...
    int object = 0;
    std::map<quint16, char32_t> used; // glyph -> the character it was asked for
};

class PdfBuilder {
public:
    int reserve()
    {
        m_objects.emplace_back();
        return int(m_objects.size());
    }
    void set(int number, QByteArray body) { m_objects[number - 1] = std::move(body); }

    QByteArray finish(int catalog, int info)
    {
        QByteArray out = "%PDF-1.4\n%\xE2\xE3\xCF\xD3\n";
        std::vector<qsizetype> offsets;
        for (size_t i = 0; i < m_objects.size(); ++i) {
            offsets.push_back(out.size());
            out += QByteArray::number(qulonglong(i + 1)) + " 0 obj\n" + m_objects[i] + "\nendobj\n";
        }
        const qsizetype xref = out.size();
        out += "xref\n0 " + QByteArray::number(qulonglong(m_objects.size() + 1)) + "\n0000000000 65535 f \n";
        for (qsizetype offset : offsets)
            out += QByteArray::number(offset).rightJustified(10, '0') + " 00000 n \n";
        const QByteArray id = QCryptographicHash::hash(out, QCryptographicHash::Md5).toHex().toUpper();
        out += "trailer\n<< /Size " + QByteArray::number(qulonglong(m_objects.size() + 1)) + " /Root "
            + QByteArray::number(catalog) + " 0 R /Info " + QByteArray::number(info) + " 0 R /ID [<" + id + "> <" + id
            + ">] >>\nstartxref\n" + QByteArray::number(xref) + "\n%%EOF\n";
        return out;
    }

private:
    std::vector<QByteArray> m_objects;
};

} // namespace

QByteArray RenderPdf(const TPageStream &stream)
{
    PdfBuilder pdf;
    const int catalog = pdf.reserve();
    const int pagesObject = pdf.reserve();
    const int info = pdf.reserve();
    const int resources = pdf.reserve();

    // One resource per face and style; sizes share it.
    std::vector<FontResource> resourcesList;
    std::vector<int> resourceOf(stream.fonts.size());
    for (size_t i = 0; i < stream.fonts.size(); ++i) {
        const TPageFont &f = stream.fonts[i];
        auto font = ReportFont(f.face, f.bold, f.italic);
        size_t r = 0;
        while (r < resourcesList.size() && resourcesList[r].font != font)
            ++r;
        if (r == resourcesList.size())
            resourcesList.push_back({font, "F" + QByteArray::number(qulonglong(r + 1)), 0, {}});
        resourceOf[i] = int(r);
    }

    QStringEncoder ansi("windows-1252");
    QByteArray kids;
    for (const TStreamPage &page : stream.pages) {
        QByteArray content;
        for (const TPageLine &l : page.lines)
            content += Num(l.width) + " w " + Num(l.x1) + ' ' + Num(page.height - l.y1) + " m " + Num(l.x2) + ' '
                + Num(page.height - l.y2) + " l S\n";
        for (const TPageText &t : page.texts) {
            FontResource &res = resourcesList[resourceOf[t.font]];
            QByteArray shown;
            if (res.font->kind() == TrextPDFFont::TrueType) {
                const auto run = res.font->glyphRun(t.text);
                if (run.empty())
                    continue;
                shown = "<";
                for (const auto &[glyph, code] : run) {
                    shown += QByteArray::number(glyph, 16).toUpper().rightJustified(4, '0');
                    res.used.emplace(glyph, code);
                }
                shown += '>';
            } else {
                shown = LiteralString(ansi.encode(t.text));
            }
            content += "BT /" + res.name + ' ' + Num(stream.fonts[t.font].size) + " Tf 1 0 0 1 " + Num(t.x) + ' '
                + Num(page.height - t.baseline) + " Tm " + shown + " Tj ET\n";
        }
        const int contentObject = pdf.reserve();
        pdf.set(contentObject, Stream(content));
        const int pageObject = pdf.reserve();
        pdf.set(pageObject, "<< /Type /Page /Parent " + QByteArray::number(pagesObject) + " 0 R /MediaBox [0 0 "
                                + Num(page.width) + ' ' + Num(page.height) + "] /Resources "
                                + QByteArray::number(resources) + " 0 R /Contents " + QByteArray::number(contentObject)
                                + " 0 R >>");
        kids += QByteArray::number(pageObject) + " 0 R ";
    }

    QByteArray fontDict;
    for (FontResource &res : resourcesList) {
        const TrextPDFFont &font = *res.font;
        res.object = pdf.reserve();
        fontDict += '/' + res.name + ' ' + QByteArray::number(res.object) + " 0 R ";
        if (font.kind() != TrextPDFFont::TrueType) {
            pdf.set(res.object, "<< /Type /Font /Subtype /Type1 /BaseFont /" + font.baseFontName().toLatin1()
                                    + " /Encoding /WinAnsiEncoding >>");
            continue;
        }
        std::vector<quint16> glyphs;
        std::vector<std::pair<quint16, char32_t>> toUnicode;
        for (const auto &[glyph, code] : res.used) {
            glyphs.push_back(glyph);
            toUnicode.emplace_back(glyph, code);
        }
        QByteArray program = SubsetFontProgram(font.fontData(), font.faceIndex(), glyphs);
        QString baseName = font.baseFontName();
        if (program.isEmpty())
            program = font.fontData(); // the subsetter refused: the whole font still shows the right glyphs
        else
            baseName = SubsetTag(baseName, glyphs) + QLatin1Char('+') + baseName;

        const int descendant = pdf.reserve();
        const int descriptor = pdf.reserve();
        const int fontFile = pdf.reserve();
        const QByteArray cmap = TrextPDFFont::ToUnicodeCMap(toUnicode);
        const int toUnicodeObject = cmap.isEmpty() ? 0 : pdf.reserve();
        QByteArray type0 = "<< /Type /Font /Subtype /Type0 /BaseFont /" + baseName.toLatin1()
            + " /Encoding /Identity-H /DescendantFonts [" + QByteArray::number(descendant) + " 0 R]";
        if (toUnicodeObject)
            type0 += " /ToUnicode " + QByteArray::number(toUnicodeObject) + " 0 R";
        pdf.set(res.object, type0 + " >>");
        pdf.set(descendant, "<<" + font.descendantFontText(baseName, descriptor, &glyphs) + ">>");
        pdf.set(descriptor, "<<" + font.descriptorText(baseName) + "/FontFile2 " + QByteArray::number(fontFile) + " 0 R>>");
        pdf.set(fontFile, Stream(program, " /Length1 " + QByteArray::number(program.size())));
        if (toUnicodeObject)
            pdf.set(toUnicodeObject, Stream(cmap));
    }

    pdf.set(resources, "<< /ProcSet [/PDF /Text] /Font << " + fontDict + ">> >>");
    pdf.set(pagesObject, "<< /Type /Pages /Kids [" + kids + "] /Count " + QByteArray::number(stream.pageCount()) + " >>");
    pdf.set(catalog, "<< /Type /Catalog /Pages " + QByteArray::number(pagesObject) + " 0 R >>");
    const QDateTime now = QDateTime::currentDateTime();
    pdf.set(info, "<< /Title " + TextString(stream.title) + " /Producer " + TextString(QStringLiteral("Tembrel Personal"))
                      + " /CreationDate (D:" + now.toString(QStringLiteral("yyyyMMddHHmmss")).toLatin1() + ") >>");
    return pdf.finish(catalog, info);
}

void WritePdfFile(const TPageStream &stream, const QString &path)
{
    const QByteArray document = RenderPdf(stream);
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(document) != document.size() || !file.commit())
        throw EReportError(QStringLiteral("Soubor %1 nelze zapsat: %2").arg(path, file.errorString()));
}
