#include <gtest/gtest.h>

#include "reportproject.h"
#include "reportsamples.h"

namespace {
// What makes a loaded project lay out the same: run both and compare.
void ExpectSameLayout(const TReportProject &a, const TReportProject &b)
{
    const TListSource rows = CallRows(80);
    const TPageStream sa = RunList(a, rows), sb = RunList(b, rows);
    ASSERT_EQ(sa.pageCount(), sb.pageCount());
    EXPECT_EQ(sa.save(), sb.save());
}

std::string ErrorOf(const QByteArray &stream)
{
    try {
        LoadReportProject(stream);
    } catch (const EReportError &e) {
        return e.message().toStdString();
    }
    return "no error";
}
} // namespace

TEST(ReportProjectStream, RoundTripKeepsEveryMember)
{
    TReportProject project = ListReport(QStringLiteral("Výpis hovorů ") + kCzechUpper, 1);
    TReportControl &c = project.reports[0].page.regions[0].bands[3].controls[0];
    c.font = {QStringLiteral("Liberation Serif"), 12.5, true, true, true};
    c.anchors = AnchorRight | AnchorBottom;
    project.reports[0].page.marginRight = 0.71;
    const QByteArray stream = StoreReportProject(project);
    const TReportProject loaded = LoadReportProject(stream);
    EXPECT_EQ(StoreReportProject(loaded), stream);
    ASSERT_EQ(loaded.reports.size(), 1u);
    const TReport &r = loaded.reports[0];
    EXPECT_EQ(r.fullName, project.reports[0].fullName);
    EXPECT_EQ(r.page.orientation, 1);
    EXPECT_DOUBLE_EQ(r.page.marginRight, 0.71);
    const TReportControl &lc = r.page.regions[0].bands[3].controls[0];
    EXPECT_EQ(lc.kind, TControlKind::CalcText);
    EXPECT_EQ(lc.displayFormat, "#,##0");
    EXPECT_EQ(lc.font.face, "Liberation Serif");
    EXPECT_DOUBLE_EQ(lc.font.size, 12.5);
    EXPECT_TRUE(lc.font.underline && lc.font.italic && lc.font.bold);
    EXPECT_EQ(lc.anchors, AnchorRight | AnchorBottom);
    EXPECT_EQ(r.page.regions[0].bands[1].controls.back().kind, TControlKind::HLine);
    EXPECT_DOUBLE_EQ(r.page.regions[0].bands[1].controls.back().lineWidth, 2);
    ExpectSameLayout(project, loaded);
}

TEST(ReportProjectStream, DamagedStreamsGiveAClearError)
{
    const QByteArray good = StoreReportProject(ListReport("X"));
    EXPECT_NE(ErrorOf(good.left(good.size() / 2)).find("Projekt sestavy je poškozen"), std::string::npos);
    EXPECT_NE(ErrorOf("").find("Projekt sestavy je poškozen"), std::string::npos);
    EXPECT_NE(ErrorOf(R"({"format":"something else","version":1,"reports":[]})").find("/format"), std::string::npos);
    EXPECT_NE(ErrorOf(R"({"format":"tembrel-report-project","version":7,"reports":[]})").find("verze 7"), std::string::npos);

    QByteArray badKind = good;
    badKind.replace("\"kind\": \"hline\"", "\"kind\": \"circle\"");
    const std::string kindError = ErrorOf(badKind);
    EXPECT_NE(kindError.find("circle"), std::string::npos) << kindError;
    EXPECT_NE(kindError.find("/reports/0/page/regions/0/bands/1/controls/3/kind"), std::string::npos) << kindError;

    QByteArray badSize = good;
    badSize.replace("\"size\": 10", "\"size\": \"ten\"");
    EXPECT_NE(ErrorOf(badSize).find("/font/size"), std::string::npos);
    QByteArray noMargins = good;
    noMargins.replace("\"margins\"", "\"marginz\"");
    EXPECT_NE(ErrorOf(noMargins).find("chybí (/reports/0/page/margins)"), std::string::npos) << ErrorOf(noMargins);
}

TEST(PageStreamForm, RoundTripAndDamage)
{
    const TListSource rows = CallRows(120);
    const TPageStream stream = RunList(ListReport(kCzechLower), rows);
    const QByteArray data = stream.save();
    const TPageStream back = TPageStream::load(data);
    EXPECT_EQ(back.title, stream.title);
    ASSERT_EQ(back.pageCount(), stream.pageCount());
    EXPECT_EQ(back.fonts, stream.fonts);
    EXPECT_EQ(PageTexts(back.pages[1]), PageTexts(stream.pages[1]));
    EXPECT_EQ(back.save(), data);

    for (qsizetype cut : {qsizetype(0), qsizetype(5), data.size() / 2, data.size() - 1})
        EXPECT_THROW(TPageStream::load(data.left(cut)), EReportError) << cut;
    EXPECT_THROW(TPageStream::load(data + "x"), EReportError);
    QByteArray hugeCount = data;
    // The font count follows the magic, version and title; a damaged count must not allocate blindly.
    const qsizetype countAt = 4 + 2 + 4 + stream.title.size() * 2;
    hugeCount[countAt] = char(0x7F);
    EXPECT_THROW(TPageStream::load(hugeCount), EReportError);
}

TEST(PageStreamForm, PageLists)
{
    EXPECT_EQ(ParsePageList("1-3,5", 7), (std::vector<int>{1, 2, 3, 5}));
    EXPECT_EQ(ParsePageList(" 6 - , 2", 7), (std::vector<int>{6, 7, 2}));
    EXPECT_EQ(ParsePageList("1-7", 3), (std::vector<int>{1, 2, 3})) << "kept within the document";
    EXPECT_EQ(ParsePageList("9", 3), std::vector<int>{});
    EXPECT_EQ(ParsePageList("", 3), std::vector<int>{});
    EXPECT_THROW(ParsePageList("1-3;5", 7), EReportError);
    EXPECT_THROW(ParsePageList("a", 7), EReportError);
}
