#pragma once
#include <QByteArray>
#include <QHash>
#include <QList>
#include <QString>
#include <array>
#include <utility>
#include <vector>

// What the PDF writer needs to know of one face and style: the kind of font,
// its base font name, the descriptor metrics, the glyph map from the font's
// own cmap, the glyph widths, the encoding of text into glyph numbers, and the
// texts of the descendant font, the descriptor and the ToUnicode map.
// Metrics are PDF glyph units, 1/1000 of the font size.

struct TrextPDFFontInfo {
    int flags = 0;
    int bboxLeft = -250;
    int bboxTop = -200;
    int bboxRight = 1000;
    int bboxBottom = 900;
    int ascent = 800;
    int descent = -200;
    int capHeight = 700;
    int avgWidth = 576;
    int maxWidth = 576; // also the missing and the default width
    int stemV = 0;
    int italicAngle = 0;
    int strikeoutSize = 50;
    int strikeoutPosition = 160;
    int underlineSize = 100;
    int underlinePosition = -1;
    int fontKind = 2; // 0 TrueType with font data, 1 vector device font, 2 mapped to a standard font
    bool fixedPitch = false;
    std::array<int, 224> widths; // codes 32..255 in the Windows ANSI encoding

    TrextPDFFontInfo() { widths.fill(600); }
};

class TrextPDFFont {
public:
    enum Kind { TrueType = 0, DeviceFont = 1, StandardFont = 2 };

    // fontData is the whole font file the face resolves to (empty when there is
    // none); faceIndex picks the face of a font collection.
    TrextPDFFont(QString face, bool bold, bool italic, QByteArray fontData = {}, int faceIndex = 0);

    const QString &face() const { return m_face; }
    bool bold() const { return m_bold; }
    bool italic() const { return m_italic; }
    int kind() const { return m_info.fontKind; }
    const TrextPDFFontInfo &info() const { return m_info; }
    const QString &baseFontName() const { return m_baseFontName; }
    const QByteArray &fontData() const { return m_fontData; }
    int faceIndex() const { return m_faceIndex; }
    int pitchAndFamily() const { return m_pitchAndFamily; }

    // The glyph map in cmap order: glyphs()[i] draws the character codes()[i].
    const QList<quint16> &glyphs() const { return m_glyphs; }
    const QList<quint32> &codes() const { return m_codes; }
    // Advance width of every glyph number, 1/1000 em.
    const QList<int> &glyphWidths() const { return m_glyphWidths; }

    int glyphFor(char32_t code) const { return m_glyphOf.value(code, -1); }
    int glyphWidth(int glyph) const;
    // Width of a code of the single-byte encoding (standard fonts), 1/1000 em.
    int ansiWidth(char32_t code) const;

    // The characters of text that this font can show, with their glyphs;
    // characters without a glyph are left out.
    std::vector<std::pair<quint16, char32_t>> glyphRun(const QString &text) const;
    // Glyph numbers as four upper-case hex digits each.
    QByteArray encodeText(const QString &text) const;
    // Advance of text at size points, in points.
    double textWidth(const QString &text, double size) const;

    // Line metrics for layout, 1/1000 em.
    int lineAscent() const { return m_info.ascent; }
    int lineHeight() const { return m_info.ascent - m_info.descent + m_lineGap; }
    int underlinePosition() const { return m_underlinePos; }
    int underlineThickness() const { return m_underlineThickness; }

    // Dictionary texts. usedGlyphs limits the /W runs to those glyphs (all when null).
    QByteArray descendantFontText(const QString &baseName, int descriptorObject,
                                  const std::vector<quint16> *usedGlyphs = nullptr) const;
    QByteArray descriptorText(const QString &baseName) const;

    // "/W" entries over glyphs sorted by number: runs of consecutive glyphs of equal width.
    static QByteArray WidthRuns(const std::vector<std::pair<int, int>> &glyphWidths);
    // ToUnicode CMap with bfchar/bfrange entries and UTF-16BE destinations; empty for an empty map.
    static QByteArray ToUnicodeCMap(std::vector<std::pair<quint16, char32_t>> map);
    // The standard font that stands in for a face without usable font data.
    static QString StandardFontName(const QString &face, int pitchAndFamily, bool bold, bool italic,
                                    bool fixedPitch, bool symbolCharset);
    static const QStringList &StandardNames();

private:
    void readFontData();
    void readGlyphMap(const QByteArray &cmap);

    QString m_face;
    bool m_bold;
    bool m_italic;
    QByteArray m_fontData;
    int m_faceIndex;
    TrextPDFFontInfo m_info;
    QString m_baseFontName;
    int m_pitchAndFamily = 0x22; // variable-pitch swiss, the face we fall back to
    bool m_symbol = false;
    int m_lineGap = 0;
    int m_underlinePos = -100;
    int m_underlineThickness = 50;
    QList<quint16> m_glyphs;
    QList<quint32> m_codes;
    QList<int> m_glyphWidths;
    QHash<char32_t, int> m_glyphOf;
};
