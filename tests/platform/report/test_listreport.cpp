#include <gtest/gtest.h>

#include "listreport.h"
#include "memtable.h"
#include "reportsamples.h"

namespace {
const TReportControl *Find(const TReportBand &band, const QString &name)
{
    for (const TReportControl &c : band.controls)
        if (c.name == name)
            return &c;
    return nullptr;
}

std::vector<TListReportField> ThreeFields(bool sumLast)
{
    return {{"CALLTYPENAME", QStringLiteral("Typ"), 100, TJustify::Left, false, {}},
            {"PHONENUMBER", QStringLiteral("Číslo"), 100, TJustify::Left, false, {}},
            {"WHENLENGTH", QStringLiteral("Délka"), 100, TJustify::Right, sumLast, "#,##0"}};
}

const TReportBand &Band(const TReportProject &p, TBandKind kind) { return *FindBand(p.reports[0].page.regions[0], kind); }
} // namespace

TEST(ListReport, ColumnsRulesAndPageParts)
{
    TListReportOptions o;
    o.marginLeft = 0.1; // below the least margin
    o.marginBottom = 0.4;
    const TReportProject p = BuildListReport(ThreeFields(false), o);
    const TReportPage &page = p.reports[0].page;
    EXPECT_DOUBLE_EQ(page.marginLeft, 0.25);
    const TReportBand &detail = Band(p, TBandKind::Detail), &header = Band(p, TBandKind::PageHeader);
    const double lefts[] = {0, 1.382, 2.764};
    for (int i = 0; i < 3; ++i) {
        const TReportControl *data = Find(detail, "DataText" + QString::number(i));
        const TReportControl *caption = Find(header, "TitleText" + QString::number(i));
        ASSERT_TRUE(data && caption);
        EXPECT_NEAR(data->width, 1.302, 0.0005);
        EXPECT_NEAR(data->left, lefts[i], 0.0015);
        EXPECT_EQ(caption->left, data->left);
        EXPECT_EQ(caption->justify, data->justify);
        EXPECT_TRUE(caption->font.bold);
    }
    EXPECT_EQ(Find(detail, "DataText2")->justify, TJustify::Right);
    EXPECT_NEAR(Find(header, "TopLine")->width, 4.066, 0.0015);
    EXPECT_NEAR(Find(header, "TopLine")->top, 0.19, 1e-9);
    EXPECT_NEAR(Find(Band(p, TBandKind::Footer), "BottomLine")->width, 4.066, 0.0015);

    const TReportControl &dtPage = page.controls[0];
    EXPECT_EQ(dtPage.name, "dtPage");
    EXPECT_DOUBLE_EQ(dtPage.top, page.designHeight() - 0.4 - 0.25);
    EXPECT_EQ(dtPage.anchors, AnchorBottom | AnchorHCenter);
    EXPECT_DOUBLE_EQ(page.regions[0].height, page.designHeight() - (0.25 + 0.4 + 0.3));

    // Without title, date and filter the title band is 0.35 high with an empty centred title.
    const TReportBand &title = Band(p, TBandKind::TitleHeader);
    EXPECT_DOUBLE_EQ(title.height, 0.35);
    ASSERT_EQ(title.controls.size(), 1u);
    EXPECT_TRUE(title.controls[0].text.isEmpty());
    EXPECT_EQ(title.controls[0].justify, TJustify::Center);
    // The record count without a sum sits at 0.15, and there is no "Součty:".
    const TReportBand &footer = Band(p, TBandKind::Footer);
    EXPECT_DOUBLE_EQ(Find(footer, "RowCountText")->top, 0.15);
    EXPECT_DOUBLE_EQ(Find(footer, "CalcRows")->left, 1.15);
    EXPECT_FALSE(Find(footer, "SumText"));
    EXPECT_FALSE(Find(footer, "Calcsum2"));
}

TEST(ListReport, DateAndFilterLinesGrowTheTitleBand)
{
    TListReportOptions o;
    o.title = QStringLiteral("Výpis");
    o.dateTimeText = QStringLiteral("Výpis vytvořen: 1.2.2024 10:00:00");
    o.filterText = QStringLiteral("Typ: Příchozí\r\nLinka: 1\r\nOd: 1.1.2024");
    const TReportProject p = BuildListReport(ThreeFields(true), o);
    const TReportBand &title = Band(p, TBandKind::TitleHeader);
    ASSERT_EQ(title.controls.size(), 5u) << "title and four filter lines";
    const double first = title.controls[1].top;
    EXPECT_GT(first, 2 * 0.15);
    double previous = first;
    for (int i = 2; i <= 4; ++i) {
        EXPECT_GT(title.controls[i].top, previous + 0.01);
        previous = title.controls[i].top;
    }
    EXPECT_EQ(title.controls[4].text, QStringLiteral("Od: 1.1.2024"));
    EXPECT_DOUBLE_EQ(title.height, 0.35 + title.controls[4].top) << "grows by the fourth line's top";

    const TReportBand &footer = Band(p, TBandKind::Footer);
    EXPECT_DOUBLE_EQ(Find(footer, "RowCountText")->top, 0.3) << "below the sums";
    EXPECT_EQ(Find(footer, "SumText")->text, QStringLiteral("Součty:"));
    EXPECT_EQ(Find(footer, "Calcsum2")->displayFormat, "#,##0");
}

TEST(ListReport, RunsOverTheTableView)
{
    TMemTable table;
    table.addFieldDef("CALLTYPENAME", TFieldType::String, 20);
    table.addFieldDef("PHONENUMBER", TFieldType::String, 30);
    table.addFieldDef("WHENLENGTH", TFieldType::Integer);
    table.createDataSet();
    for (int i = 0; i < 30; ++i) {
        table.insert();
        table.fieldByName("CALLTYPENAME").setAsString(i % 2 ? QStringLiteral("Příchozí") : QStringLiteral("Odchozí"));
        table.fieldByName("PHONENUMBER").setAsString(QString::number(600000000 + i));
        table.fieldByName("WHENLENGTH").setAsInteger(100 + i);
        table.post();
    }
    table.setFilter(QStringLiteral("CALLTYPENAME = 'Příchozí'"));
    table.setFiltered(true);
    ASSERT_EQ(table.recordCount(), 15);

    TListReportOptions o;
    o.fullName = QStringLiteral("Tembrel Personal - Výpis");
    const TTableReportSource source(table);
    const TPageStream s = RunReport(BuildListReport(ThreeFields(true), o), "Report1", {{"DataView1", &source}});
    ASSERT_EQ(s.pageCount(), 1);
    const QStringList texts = PageTexts(s.pages[0]);
    EXPECT_EQ(texts.count(QStringLiteral("Příchozí")), 15);
    EXPECT_EQ(texts.count(QStringLiteral("Odchozí")), 0) << "only the rows of the view";
    int sum = 0;
    for (int i = 1; i < 30; i += 2)
        sum += 100 + i;
    EXPECT_TRUE(texts.contains(DefaultFormatNumber("#,##0", sum))) << texts.join('|').toStdString();
    EXPECT_TRUE(texts.contains("15"));
    EXPECT_TRUE(texts.contains(QStringLiteral("Strana 1/1")));
    EXPECT_EQ(s.title, o.fullName);
}
