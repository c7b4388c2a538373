#include "rextpdffont.h"

#include "rextmemstream.h"

#include <QStringDecoder>
#include <algorithm>
#include <cmath>

namespace {

struct TableEntry {
    quint32 offset = 0;
    quint32 length = 0;
};

// Tables of the face's directory; a collection's directory sits at the offset
// its header gives for the face.
QHash<QByteArray, TableEntry> ReadDirectory(const QByteArray &data, int faceIndex, quint32 *version)
{
    QHash<QByteArray, TableEntry> tables;
    TrextMemStream s(data);
    quint32 dirOffset = 0;
    if (s.readText(4) == "ttcf") {
        s.seek(8);
        const quint32 count = s.readU32();
        if (faceIndex < 0 || quint32(faceIndex) >= count)
            return tables;
        s.seek(12 + 4 * faceIndex);
        dirOffset = s.readU32();
    }
    s.seek(dirOffset);
    *version = s.readU32();
    const int count = s.readU16();
    s.seek(qsizetype(dirOffset) + 12);
    for (int i = 0; i < count && !s.atEnd(); ++i) {
        const QByteArray tag = s.readText(4);
        s.readU32(); // checksum
        TableEntry e;
        e.offset = s.readU32();
        e.length = s.readU32();
        if (qint64(e.offset) + e.length <= data.size())
            tables.insert(tag, e);
    }
    return tables;
}

int Scale(int value, int unitsPerEm) { return int(std::lround(value * 1000.0 / unitsPerEm)); }

QByteArray Hex4(quint32 v) { return QByteArray::number(v, 16).toUpper().rightJustified(4, '0'); }

QByteArray Utf16Hex(char32_t code)
{
    if (code > 0xFFFF) {
        const char32_t c = code - 0x10000;
        return Hex4(0xD800 + (c >> 10)) + Hex4(0xDC00 + (c & 0x3FF));
    }
    return Hex4(code);
}

} // namespace

TrextPDFFont::TrextPDFFont(QString face, bool bold, bool italic, QByteArray fontData, int faceIndex)
    : m_face(std::move(face)), m_bold(bold), m_italic(italic), m_fontData(std::move(fontData)), m_faceIndex(faceIndex)
{
    readFontData();
    if (m_info.fontKind == TrueType) {
        m_baseFontName = QString(m_face).remove(QLatin1Char(' '));
        if (m_face.compare(QLatin1String("Symbol"), Qt::CaseInsensitive) != 0 && (m_bold || m_italic)) {
            m_baseFontName += QLatin1Char(',');
            if (m_bold)
                m_baseFontName += QLatin1String("Bold");
            if (m_italic)
                m_baseFontName += QLatin1String("Italic");
        }
    } else {
        m_baseFontName = StandardFontName(m_face, m_pitchAndFamily, m_bold, m_italic, m_info.fixedPitch, m_symbol);
    }
}

void TrextPDFFont::readFontData()
{
    if (m_fontData.isEmpty())
        return;
    quint32 version = 0;
    const auto tables = ReadDirectory(m_fontData, m_faceIndex, &version);
    auto table = [&](const char *tag) {
        const TableEntry e = tables.value(tag);
        return m_fontData.mid(e.offset, e.length);
    };
    const bool trueTypeOutlines = (version == 0x00010000 || version == 0x74727565) && tables.contains("glyf");
    const QByteArray head = table("head"), hhea = table("hhea"), hmtx = table("hmtx");
    if (!trueTypeOutlines || head.size() < 54 || hhea.size() < 36 || hmtx.isEmpty())
        return; // not a TrueType font: stands in as a standard font

    TrextMemStream h(head);
    h.seek(18);
    const int upem = h.readU16();
    if (upem < 16)
        return;
    h.seek(44);
    const int macStyle = h.readU16();

    TrextMemStream hh(hhea);
    hh.seek(4);
    const int hheaAscender = hh.readS16();
    const int hheaDescender = hh.readS16();
    m_lineGap = Scale(hh.readS16(), upem);
    const int advanceMax = hh.readU16();
    hh.seek(34);
    const int metricCount = hh.readU16();

    TrextMemStream mp(table("maxp"));
    mp.seek(4);
    const int glyphCount = qMax(metricCount, int(mp.readU16()));

    // Widths by glyph number; glyphs past the last metric repeat its advance.
    TrextMemStream hm(hmtx);
    m_glyphWidths.reserve(glyphCount);
    int advance = 0;
    for (int g = 0; g < glyphCount; ++g) {
        if (g < metricCount && !hm.atEnd()) {
            advance = hm.readU16();
            hm.readU16();
        }
        m_glyphWidths.append(advance * 1000 / upem);
    }

    TrextMemStream post(table("post"));
    post.seek(4);
    const qint32 italicFixed = qint32(post.readU32());
    const int ulPos = post.readS16();
    const int ulThick = post.readS16();
    const bool fixed = post.size() >= 16 && post.readU32() != 0;

    const QByteArray os2 = table("OS/2");
    TrextMemStream o(os2);
    int winAscent = hheaAscender, winDescent = -hheaDescender, avgChar = 0, weight = macStyle & 1 ? 700 : 400;
    int strikeSize = upem / 20, strikePos = upem / 5, familyClass = 0;
    QByteArray panose(10, '\0');
    if (os2.size() >= 78) {
        o.seek(2);
        avgChar = o.readS16();
        weight = o.readU16();
        o.seek(26);
        strikeSize = o.readS16();
        strikePos = o.readS16();
        familyClass = o.readS16() >> 8;
        panose = o.readText(10);
        o.seek(74);
        winAscent = o.readU16();
        winDescent = o.readU16();
    }
    Q_UNUSED(weight);

    m_info.fontKind = TrueType;
    m_info.fixedPitch = fixed;
    m_underlinePos = Scale(ulPos, upem);
    m_underlineThickness = qMax(1, Scale(ulThick, upem));

    QByteArray cmap = table("cmap");
    readGlyphMap(cmap);

    // Pitch and family as the character-set world would classify the face.
    int family = 0x20; // swiss
    const int serifStyle = quint8(panose[1]);
    if (fixed)
        family = 0x30; // modern
    else if (quint8(panose[0]) == 3 || familyClass == 10)
        family = 0x40; // script
    else if (quint8(panose[0]) == 4 || familyClass == 12)
        family = 0x50; // decorative
    else if ((serifStyle >= 2 && serifStyle <= 10) || (familyClass >= 1 && familyClass <= 7 && familyClass != 6))
        family = 0x10; // roman
    m_pitchAndFamily = family | 0x04 | (fixed ? 0 : 0x01);

    // Single-byte widths of the Windows ANSI codes.
    QStringDecoder ansi("windows-1252");
    const int blank = glyphWidth(qMax(0, glyphFor(U' ')));
    for (int code = 32; code < 256; ++code) {
        const char byte = char(code);
        const QString ch = ansi.decode(QByteArrayView(&byte, 1));
        const int g = ch.isEmpty() ? -1 : glyphFor(ch.at(0).unicode());
        m_info.widths[code - 32] = fixed ? blank : (g >= 0 ? glyphWidth(g) : blank);
    }

    int flags = 33;
    if (family & 0x10)
        flags += 2;
    if (family & 0x40)
        flags += 8;
    if (!fixed)
        flags -= 1;
    if (m_symbol)
        flags -= 28;
    if (m_italic)
        flags += 64;
    m_info.flags = flags;

    m_info.ascent = Scale(winAscent, upem);
    m_info.descent = -Scale(winDescent, upem);
    m_info.capHeight = m_info.ascent;
    m_info.avgWidth = Scale(avgChar, upem);
    m_info.maxWidth = fixed ? blank : Scale(advanceMax, upem);
    m_info.bboxBottom = m_info.descent;
    m_info.bboxRight = m_info.maxWidth;
    m_info.bboxTop = m_info.ascent;
    m_info.italicAngle = int(std::lround(italicFixed / 65536.0));
    m_info.stemV = 78;
    m_info.strikeoutSize = Scale(strikeSize, upem);
    m_info.strikeoutPosition = Scale(strikePos, upem);
    m_info.underlineSize = Scale(ulThick, upem);
    m_info.underlinePosition = Scale(ulPos, upem) - 1;
}

void TrextPDFFont::readGlyphMap(const QByteArray &cmap)
{
    TrextMemStream s(cmap);
    s.seek(2);
    const int count = s.readU16();
    quint32 subtable = 0;
    bool symbolOnly = false;
    for (int i = 0; i < count && !s.atEnd(); ++i) {
        const int platform = s.readU16(), encoding = s.readU16();
        const quint32 offset = s.readU32();
        if (platform == 3 && encoding == 1) {
            subtable = offset;
            break;
        }
        if (platform == 3 && encoding == 0)
            symbolOnly = true;
    }
    if (subtable == 0) {
        m_symbol = symbolOnly;
        return;
    }
    s.seek(subtable);
    if (s.readU16() != 4)
        return;
    const int length = s.readU16();
    s.readU16(); // language
    const int segCount = s.readU16() / 2;
    s.skip(6);
    QList<quint16> ends(segCount), starts(segCount), rangeOffsets(segCount);
    QList<qint16> deltas(segCount);
    for (auto &v : ends)
        v = s.readU16();
    s.readU16(); // reserved pad
    for (auto &v : starts)
        v = s.readU16();
    for (auto &v : deltas)
        v = s.readS16();
    for (auto &v : rangeOffsets)
        v = s.readU16();
    const int arrayLength = qMax(0, length / 2 - 8 - 4 * segCount);
    QList<quint16> glyphArray(arrayLength);
    for (auto &v : glyphArray)
        v = s.readU16();

    for (int i = 0; i < segCount; ++i) {
        for (quint32 code = starts[i]; code <= ends[i] && code != 0xFFFF; ++code) {
            quint16 glyph = 0;
            if (rangeOffsets[i] == 0) {
                glyph = quint16(code + deltas[i]);
            } else {
                const qint64 index = rangeOffsets[i] / 2 + i - segCount + qint64(code - starts[i]);
                if (index < 0 || index >= glyphArray.size())
                    continue;
                // An array entry of 0 is the missing glyph; the delta applies to the others only.
                if (glyphArray[index] == 0)
                    continue;
                glyph = quint16(glyphArray[index] + deltas[i]);
            }
            if (glyph == 0)
                continue;
            m_glyphs.append(glyph);
            m_codes.append(code);
            m_glyphOf.insert(char32_t(code), glyph);
        }
    }
}

int TrextPDFFont::glyphWidth(int glyph) const
{
    if (glyph >= 0 && glyph < m_glyphWidths.size())
        return m_glyphWidths[glyph];
    return m_info.maxWidth;
}

int TrextPDFFont::ansiWidth(char32_t code) const
{
    const QByteArray bytes = QStringEncoder("windows-1252").encode(QString::fromUcs4(&code, 1));
    const int b = bytes.isEmpty() ? '?' : quint8(bytes[0]);
    return b >= 32 ? m_info.widths[b - 32] : m_info.widths[0];
}

std::vector<std::pair<quint16, char32_t>> TrextPDFFont::glyphRun(const QString &text) const
{
    std::vector<std::pair<quint16, char32_t>> run;
    run.reserve(text.size());
    for (char32_t code : text.toUcs4()) {
        const int g = glyphFor(code);
        if (g >= 0)
            run.emplace_back(quint16(g), code);
    }
    return run;
}

QByteArray TrextPDFFont::encodeText(const QString &text) const
{
    QByteArray hex;
    for (const auto &[glyph, code] : glyphRun(text))
        hex += Hex4(glyph);
    return hex;
}

double TrextPDFFont::textWidth(const QString &text, double size) const
{
    qint64 units = 0;
    if (kind() == TrueType) {
        for (const auto &[glyph, code] : glyphRun(text))
            units += glyphWidth(glyph);
    } else {
        for (char32_t code : text.toUcs4())
            units += ansiWidth(code);
    }
    return units * size / 1000.0;
}

QByteArray TrextPDFFont::WidthRuns(const std::vector<std::pair<int, int>> &glyphWidths)
{
    QByteArray out;
    size_t i = 0;
    while (i < glyphWidths.size()) {
        size_t j = i;
        while (j + 1 < glyphWidths.size() && glyphWidths[j + 1].first == glyphWidths[j].first + 1
               && glyphWidths[j + 1].second == glyphWidths[i].second)
            ++j;
        out += QByteArray::number(glyphWidths[i].first) + ' ' + QByteArray::number(glyphWidths[j].first) + ' '
            + QByteArray::number(glyphWidths[i].second) + ' ';
        i = j + 1;
    }
    return out;
}

QByteArray TrextPDFFont::descendantFontText(const QString &baseName, int descriptorObject,
                                            const std::vector<quint16> *usedGlyphs) const
{
    QByteArray t = "/Type/Font/Subtype/CIDFontType2/BaseFont/" + baseName.toLatin1() + "/FontDescriptor "
        + QByteArray::number(descriptorObject) + " 0 R/CIDSystemInfo\r\n<<\r\n"
        + "/Registry<" + QByteArray("Adobe").toHex().toUpper() + ">/Ordering<"
        + QByteArray("Identity").toHex().toUpper() + ">/Supplement 0\r\n>>\r\n";
    if (!m_info.fixedPitch) {
        std::vector<std::pair<int, int>> widths;
        if (usedGlyphs) {
            for (quint16 g : *usedGlyphs)
                if (g >= 1)
                    widths.emplace_back(g, glyphWidth(g));
        } else {
            for (int g = 1; g < m_glyphWidths.size(); ++g)
                widths.emplace_back(g, m_glyphWidths[g]);
        }
        t += "/W [" + WidthRuns(widths) + "]";
    }
    t += "/DW " + QByteArray::number(m_info.maxWidth) + "/CIDToGIDMap/Identity";
    return t;
}

QByteArray TrextPDFFont::descriptorText(const QString &baseName) const
{
    const auto &i = m_info;
    auto n = [](int v) { return QByteArray::number(v); };
    return "/Type/FontDescriptor/FontName/" + baseName.toLatin1() + "/Flags " + n(i.flags) + "/FontBBox ["
        + n(i.bboxLeft) + ' ' + n(i.bboxBottom) + ' ' + n(i.bboxRight) + ' ' + n(i.bboxTop) + "]"
        + "/Ascent " + n(i.ascent) + "/Descent " + n(i.descent) + "/CapHeight " + n(i.capHeight)
        + "/AvgWidth " + n(i.avgWidth) + "/MaxWidth " + n(i.maxWidth) + "/MissingWidth " + n(i.maxWidth)
        + "/StemV " + n(i.stemV) + "/ItalicAngle " + n(i.italicAngle) + "\r\n";
}

QByteArray TrextPDFFont::ToUnicodeCMap(std::vector<std::pair<quint16, char32_t>> map)
{
    if (map.empty())
        return {};
    std::sort(map.begin(), map.end());
    map.erase(std::unique(map.begin(), map.end(), [](auto &a, auto &b) { return a.first == b.first; }), map.end());

    // Runs of consecutive glyphs with consecutive BMP characters become ranges;
    // a range stays within one last-byte block of the source code.
    struct Range { quint16 first, last; char32_t code; };
    std::vector<Range> ranges, singles;
    size_t i = 0;
    while (i < map.size()) {
        size_t j = i;
        while (j + 1 < map.size() && map[j + 1].first == map[j].first + 1 && map[j + 1].second == map[j].second + 1
               && map[j + 1].second <= 0xFFFF && (map[j + 1].first & 0xFF) != 0)
            ++j;
        if (j > i && map[i].second <= 0xFFFF)
            ranges.push_back({map[i].first, map[j].first, map[i].second});
        else
            for (size_t k = i; k <= j; ++k)
                singles.push_back({map[k].first, map[k].first, map[k].second});
        i = j + 1;
    }

    QByteArray t;
    auto line = [&t](const QByteArray &l) { t += l + "\r\n"; };
    line("%!PS-Adobe-3.0 Resource-CMap");
    line("%%DocumentNeededResources: ProcSet (CIDInit)");
    line("%%IncludeResource: ProcSet (CIDInit)");
    line("%%BeginResource: CMap (Identity-H)");
    line("%%Title: (Identity-H Adobe Identity 0)");
    line("%%Version: 10.001");
    line("%%Glyph numbers to Unicode characters, UTF-16BE");
    line("%%EndComments");
    line("");
    line("/CIDInit /ProcSet findresource begin");
    line("");
    line("12 dict begin");
    line("");
    line("begincmap");
    line("");
    line("/CIDSystemInfo 3 dict dup begin");
    line("/Registry (Adobe) def");
    line("/Ordering (Identity) def");
    line("/Supplement 0 def");
    line("end def");
    line("");
    line("/CMapName /Identity-H def");
    line("/CMapVersion 10.001 def");
    line("/CMapType 1 def");
    line("");
    line("/XUID [1 10 25404 9999] def");
    line("");
    line("/WMode 0 def");
    line("");
    line("1 begincodespacerange");
    line("<0000> <FFFF>");
    line("endcodespacerange");
    line("");
    for (size_t b = 0; b < singles.size(); b += 100) {
        const size_t n = qMin<size_t>(100, singles.size() - b);
        line(QByteArray::number(qulonglong(n)) + " beginbfchar");
        for (size_t k = b; k < b + n; ++k)
            line("<" + Hex4(singles[k].first) + "> <" + Utf16Hex(singles[k].code) + ">");
        line("endbfchar");
    }
    for (size_t b = 0; b < ranges.size(); b += 100) {
        const size_t n = qMin<size_t>(100, ranges.size() - b);
        line(QByteArray::number(qulonglong(n)) + " beginbfrange");
        for (size_t k = b; k < b + n; ++k)
            line("<" + Hex4(ranges[k].first) + "> <" + Hex4(ranges[k].last) + "> <" + Utf16Hex(ranges[k].code) + ">");
        line("endbfrange");
    }
    line("endcmap");
    line("CMapName currentdict /CMap defineresource pop");
    line("end");
    line("end");
    line("");
    line("%%EndResource");
    t += "%%EOF";
    return t;
}

const QStringList &TrextPDFFont::StandardNames()
{
    static const QStringList names = {
        "Times-Roman", "Times-Bold", "Times-Italic", "Times-BoldItalic",
        "Helvetica", "Helvetica-Bold", "Helvetica-Oblique", "Helvetica-BoldOblique",
        "Courier", "Courier-Bold", "Courier-Oblique", "Courier-BoldOblique",
        "Symbol", "ZapfDingbats"};
    return names;
}

QString TrextPDFFont::StandardFontName(const QString &face, int pitchAndFamily, bool bold, bool italic,
                                       bool fixedPitch, bool symbolCharset)
{
    const QStringList &names = StandardNames();
    if (names.contains(face))
        return face;
    if (symbolCharset)
        return QStringLiteral("ZapfDingbats");
    const int member = (bold ? 1 : 0) + (italic ? 2 : 0);
    if (pitchAndFamily & 0x20)
        return names[4 + member];
    if (pitchAndFamily & 0x10)
        return names[0 + member];
    if (fixedPitch)
        return names[8 + member];
    return face;
}
