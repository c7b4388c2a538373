#include <gtest/gtest.h>

#include <QRegularExpression>
#include <QtEndian>

#include "reportfonts.h"
#include "rextmemstream.h"
#include "rextpdffont.h"

namespace {

void Put16(QByteArray &b, int v) { b.append(char((v >> 8) & 0xFF)).append(char(v & 0xFF)); }
void Put32(QByteArray &b, quint32 v) { Put16(b, int(v >> 16)); Put16(b, int(v & 0xFFFF)); }

struct Segment {
    int start, end, delta, rangeOffset;
};

QByteArray Format4(const std::vector<Segment> &segs, const std::vector<int> &glyphArray)
{
    QByteArray body;
    const int segCount = int(segs.size());
    Put16(body, segCount * 2);
    Put16(body, 0), Put16(body, 0), Put16(body, 0);
    for (auto &s : segs) Put16(body, s.end);
    Put16(body, 0);
    for (auto &s : segs) Put16(body, s.start);
    for (auto &s : segs) Put16(body, s.delta & 0xFFFF);
    for (auto &s : segs) Put16(body, s.rangeOffset);
    for (int g : glyphArray) Put16(body, g);
    QByteArray sub;
    Put16(sub, 4);
    Put16(sub, 6 + body.size());
    Put16(sub, 0);
    return sub + body;
}

// A TrueType font of empty outlines: enough tables for the description.
QByteArray MakeFont(const QByteArray &subtable, int platformEncoding, const std::vector<int> &advances, int glyphCount,
                    int upem = 1000, bool fixed = false)
{
    QByteArray cmap;
    Put16(cmap, 0), Put16(cmap, 1), Put16(cmap, 3), Put16(cmap, platformEncoding), Put32(cmap, 12);
    cmap += subtable;
    QByteArray head(54, '\0');
    qToBigEndian<quint16>(quint16(upem), head.data() + 18);
    QByteArray hhea(36, '\0');
    qToBigEndian<qint16>(800, hhea.data() + 4);
    qToBigEndian<qint16>(-200, hhea.data() + 6);
    qToBigEndian<quint16>(1200, hhea.data() + 10);
    qToBigEndian<quint16>(quint16(advances.size()), hhea.data() + 34);
    QByteArray hmtx;
    for (int a : advances) Put16(hmtx, a), Put16(hmtx, 0);
    QByteArray maxp;
    Put32(maxp, 0x00005000), Put16(maxp, glyphCount);
    QByteArray post(32, '\0');
    qToBigEndian<quint32>(0x00030000, post.data());
    qToBigEndian<qint16>(-100, post.data() + 8);
    qToBigEndian<qint16>(50, post.data() + 10);
    qToBigEndian<quint32>(fixed ? 1 : 0, post.data() + 12);
    const std::vector<std::pair<QByteArray, QByteArray>> tables = {
        {"cmap", cmap}, {"glyf", QByteArray(4, '\0')}, {"head", head}, {"hhea", hhea},
        {"hmtx", hmtx}, {"maxp", maxp}, {"post", post}};
    QByteArray font;
    Put32(font, 0x00010000), Put16(font, int(tables.size())), Put16(font, 0), Put16(font, 0), Put16(font, 0);
    int offset = 12 + 16 * int(tables.size());
    QByteArray data;
    for (auto &[tag, t] : tables) {
        font += tag;
        Put32(font, 0), Put32(font, quint32(offset + data.size())), Put32(font, quint32(t.size()));
        data += t;
        while (data.size() % 4) data += '\0';
    }
    return font + data;
}

// 'A'..'C' -> 36..38 by delta; 'a' through the glyph array to 50, 'b' there missing (0).
QByteArray SampleFont(int upem = 1000, bool fixed = false)
{
    const int segCount = 3;
    const auto sub = Format4({{0x41, 0x43, 36 - 0x41, 0}, {0x61, 0x62, 0, 2 * (segCount - 1 + 0)}, {0xFFFF, 0xFFFF, 1, 0}},
                             {50, 0});
    std::vector<int> advances(40, upem / 2);
    advances[37] = upem; // 'B' twice as wide
    return MakeFont(sub, 1, advances, 60, upem, fixed);
}

} // namespace

TEST(TrextMemStream, ReadsBigEndianAndStopsAtTheEnd)
{
    TrextMemStream s(QByteArray("\x12\x34\x56\x78\x9A", 5));
    EXPECT_EQ(s.readU16(), 0x1234);
    EXPECT_EQ(s.readU16(), 0x5678);
    EXPECT_EQ(s.readU32(), 0x9A000000u) << "a read past the end gives zeros";
    s.seek(1);
    s.skip(100);
    EXPECT_TRUE(s.atEnd());
    EXPECT_EQ(s.position(), 5);
    s.seek(3);
    EXPECT_EQ(s.readText(10), QByteArray("\x78\x9A", 2));
}

TEST(TrextPDFFont, GlyphMapFromFormat4WithDeltasAndTheGlyphArray)
{
    const TrextPDFFont font("Test Face", false, false, SampleFont());
    ASSERT_EQ(font.kind(), TrextPDFFont::TrueType);
    EXPECT_EQ(font.glyphFor(U'A'), 36);
    EXPECT_EQ(font.glyphFor(U'C'), 38);
    EXPECT_EQ(font.glyphFor(U'a'), 50);
    EXPECT_EQ(font.glyphFor(U'b'), -1) << "a zero in the glyph array is the missing glyph, delta or not";
    EXPECT_EQ(font.glyphFor(0xFFFF), -1);
    EXPECT_EQ(font.glyphs(), (QList<quint16>{36, 37, 38, 50}));
    EXPECT_EQ(font.codes(), (QList<quint32>{0x41, 0x42, 0x43, 0x61}));
    // Characters without a glyph are left out of the encoding.
    EXPECT_EQ(font.encodeText("AbBŽ"), QByteArray("00240025"));
    EXPECT_EQ(font.baseFontName(), "TestFace");
}

TEST(TrextPDFFont, WidthsScaleToThousandthsAndRepeatTheLastMetric)
{
    const TrextPDFFont font("Test", false, false, SampleFont(2048));
    ASSERT_EQ(font.glyphWidths().size(), 60) << "maxp counts the glyphs past the metrics";
    EXPECT_EQ(font.glyphWidth(36), 500);
    EXPECT_EQ(font.glyphWidth(37), 1000);
    EXPECT_EQ(font.glyphWidth(55), 500);
    EXPECT_DOUBLE_EQ(font.textWidth("AB", 10), 15.0);
    const QByteArray cid = font.descendantFontText("Test", 7);
    EXPECT_TRUE(cid.contains("/W [1 36 500 37 37 1000 38 59 500 ]")) << cid.constData();
    EXPECT_TRUE(cid.contains("/FontDescriptor 7 0 R/CIDSystemInfo\r\n<<\r\n/Registry<41646F6265>/Ordering<4964656E74697479>/Supplement 0\r\n>>\r\n"));
    EXPECT_TRUE(cid.endsWith("/DW 586/CIDToGIDMap/Identity")) << "the widest advance, 1200 of 2048";
    const std::vector<quint16> used = {36, 37, 38};
    EXPECT_TRUE(font.descendantFontText("Test", 7, &used).contains("/W [36 36 500 37 37 1000 38 38 500 ]"));
}

TEST(TrextPDFFont, DamagedOrMissingFontData)
{
    // Cut inside the cmap: whatever is left reads as zeros, nothing runs past the end.
    const QByteArray full = SampleFont();
    for (int cut : {12, 40, 150, 200, int(full.size()) - 3}) {
        const TrextPDFFont font("Arial", true, false, full.left(cut));
        EXPECT_LE(font.glyphs().size(), 4);
    }
    const TrextPDFFont none("Arial", true, true);
    EXPECT_EQ(none.kind(), TrextPDFFont::StandardFont);
    EXPECT_EQ(none.baseFontName(), "Helvetica-BoldOblique");
    // A symbol-only cmap gives no glyph map, so the text encodes to nothing.
    const auto sub = Format4({{0xF041, 0xF041, 1, 0}, {0xFFFF, 0xFFFF, 1, 0}}, {});
    const TrextPDFFont symbol("Pictures", false, false, MakeFont(sub, 0, {500, 500}, 2));
    EXPECT_TRUE(symbol.glyphs().isEmpty());
    EXPECT_TRUE(symbol.encodeText("A").isEmpty());
}

TEST(TrextPDFFont, StandardFontNames)
{
    EXPECT_EQ(TrextPDFFont::StandardFontName("Whatever", 0x22, true, true, false, false), "Helvetica-BoldOblique");
    EXPECT_EQ(TrextPDFFont::StandardFontName("Whatever", 0x12, false, true, false, false), "Times-Italic");
    EXPECT_EQ(TrextPDFFont::StandardFontName("Whatever", 0x00, true, false, true, false), "Courier-Bold");
    EXPECT_EQ(TrextPDFFont::StandardFontName("Handwriting", 0x02, false, false, false, false), "Handwriting")
        << "a don't-care proportional face keeps its name";
    EXPECT_EQ(TrextPDFFont::StandardFontName("Courier-Oblique", 0x22, false, false, false, false), "Courier-Oblique");
    EXPECT_EQ(TrextPDFFont::StandardFontName("Dings", 0x02, false, false, false, true), "ZapfDingbats");
}

TEST(TrextPDFFont, ToUnicodeMapWritesUtf16Destinations)
{
    EXPECT_TRUE(TrextPDFFont::ToUnicodeCMap({}).isEmpty());
    const QByteArray one = TrextPDFFont::ToUnicodeCMap({{36, 0x41}});
    EXPECT_TRUE(one.contains("1 beginbfchar\r\n<0024> <0041>\r\nendbfchar\r\n"));
    EXPECT_FALSE(one.contains("cidrange"));
    EXPECT_TRUE(one.contains("<0000> <FFFF>\r\nendcodespacerange"));
    EXPECT_TRUE(one.endsWith("%%EndResource\r\n%%EOF"));

    // Consecutive glyphs with consecutive characters form ranges, never across a 256-glyph block.
    const QByteArray ranges = TrextPDFFont::ToUnicodeCMap(
        {{0x00FE, 0x0161}, {0x00FF, 0x0162}, {0x0100, 0x0163}, {0x0101, 0x0164}, {0x0300, 0x1F600}, {0x10, 0x158}});
    EXPECT_TRUE(ranges.contains("<00FE> <00FF> <0161>"));
    EXPECT_TRUE(ranges.contains("<0100> <0101> <0163>"));
    EXPECT_TRUE(ranges.contains("<0300> <D83DDE00>")) << "characters past the BMP as surrogate pairs";
    EXPECT_TRUE(ranges.contains("<0010> <0158>"));

    // More than 100 entries are split into blocks of at most 100.
    std::vector<std::pair<quint16, char32_t>> many;
    for (int i = 0; i < 250; ++i)
        many.emplace_back(quint16(i * 2 + 1), char32_t(0x4E00 + i * 3));
    const QByteArray blocks = TrextPDFFont::ToUnicodeCMap(many);
    EXPECT_EQ(blocks.count("100 beginbfchar"), 2);
    EXPECT_EQ(blocks.count("50 beginbfchar"), 1);
}

TEST(ReportFonts, ArialResolvesToAMetricCompatibleTrueTypeFace)
{
    const auto regular = ReportFont("Arial", false, false);
    ASSERT_EQ(regular->kind(), TrextPDFFont::TrueType) << "fonts-liberation must be installed";
    EXPECT_EQ(regular->baseFontName(), "Arial");
    EXPECT_EQ(ReportFont("Arial", true, true)->baseFontName(), "Arial,BoldItalic");
    EXPECT_EQ(regular->glyphWidth(regular->glyphFor(U'A')), 666) << "1366 of 2048, by integer division";
    EXPECT_EQ(regular->info().flags, 32);
    EXPECT_EQ(ReportFont("Arial", false, true)->info().flags, 96);
    for (QChar c : QStringLiteral("ěščřžýáíúůťďňĚŠČŘŽÝÁÍÉÚŮŤĎŇ"))
        EXPECT_GT(regular->glyphFor(c.unicode()), 0) << QString(c).toStdString();

    const auto mono = ReportFont("Liberation Mono", false, false);
    ASSERT_EQ(mono->kind(), TrextPDFFont::TrueType);
    EXPECT_TRUE(mono->info().fixedPitch);
    const QByteArray cid = mono->descendantFontText("LiberationMono", 3);
    EXPECT_FALSE(cid.contains("/W")) << "a monospaced font has no widths array";
    EXPECT_TRUE(cid.contains("/DW 600/")) << "its default width is the blank's";
}

TEST(ReportFonts, SubsetKeepsGlyphNumbersAndShrinks)
{
    const auto font = ReportFont("Arial", false, false);
    const std::vector<quint16> glyphs = {quint16(font->glyphFor(U'Ž')), quint16(font->glyphFor(U'A'))};
    const QByteArray subset = SubsetFontProgram(font->fontData(), font->faceIndex(), glyphs);
    ASSERT_FALSE(subset.isEmpty());
    EXPECT_LT(subset.size(), font->fontData().size() / 4);
    // Glyph numbers stay those of the whole font: the advances agree.
    const TrextPDFFont cut("Arial", false, false, subset);
    for (quint16 g : glyphs)
        EXPECT_EQ(cut.glyphWidth(g), font->glyphWidth(g));
}
