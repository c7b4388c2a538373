#include "reportsamples.h"

const QString kCzechLower = QStringLiteral("ěščřžýáíúůťďň");
const QString kCzechUpper = QStringLiteral("ĚŠČŘŽÝÁÍÉÚŮŤĎŇ");

TListSource CallRows(int count)
{
    std::vector<QStringList> rows;
    const QStringList types = {QStringLiteral("Odchozí"), QStringLiteral("Příchozí"), QStringLiteral("Zmeškaný")};
    for (int i = 0; i < count; ++i)
        rows.push_back({types[i % 3], QStringLiteral("+420 601 %1").arg(100000 + i), QString::number(i % 7 * 10)});
    return TListSource({"TYPE", "NUMBER", "LENGTH"}, std::move(rows));
}

namespace {
TReportControl Text(const QString &name, TControlKind kind, double left, double top, double width, const QString &text,
                    bool bold = false, TJustify justify = TJustify::Left)
{
    TReportControl c;
    c.name = name;
    c.kind = kind;
    c.left = left;
    c.top = top;
    c.width = width;
    c.text = text;
    c.font.bold = bold;
    c.justify = justify;
    return c;
}
} // namespace

TReportProject ListReport(const QString &title, int orientation)
{
    TReport r;
    r.fullName = QStringLiteral("Tembrel Personal - ") + title;
    TReportPage &p = r.page;
    p.orientation = orientation;
    p.marginLeft = p.marginTop = p.marginRight = p.marginBottom = 0.5;
    const double width = p.designWidth() - 1.0;

    TReportControl page = Text("dtPage", TControlKind::DataText, 0.5, p.designHeight() - 0.5 - 0.25, width,
                               "'Strana ' + Page + '/' + PageCount", false, TJustify::Center);
    page.anchors = AnchorBottom | AnchorHCenter;
    p.controls.push_back(page);

    TReportRegion region;
    region.name = "Region1";
    region.left = 0.5;
    region.top = 0.5;
    region.width = width;
    region.height = p.designHeight() - 1.3;
    region.dataView = "DataView1";

    TReportBand titleBand{"TitleBand", TBandKind::TitleHeader, 0.35, {}};
    TReportControl titleText = Text("TitleText", TControlKind::Text, 0, 0.01, width, title, true, TJustify::Center);
    titleText.font.underline = true;
    titleBand.controls.push_back(titleText);

    TReportBand header{"HeaderBand", TBandKind::PageHeader, 0.2, {}};
    TReportBand detail{"DetailBand", TBandKind::Detail, 0, {}};
    TReportBand footer{"SumBand", TBandKind::Footer, 0.5, {}};
    const QStringList fields = {"TYPE", "NUMBER", "LENGTH"};
    const QStringList captions = {QStringLiteral("Typ hovoru"), QStringLiteral("Číslo"), QStringLiteral("Délka")};
    double x = 0;
    for (int i = 0; i < 3; ++i) {
        const TJustify j = i == 2 ? TJustify::Right : TJustify::Left;
        header.controls.push_back(Text("TitleText" + QString::number(i), TControlKind::Text, x, 0.01, 1.302, captions[i], true, j));
        detail.controls.push_back(Text("DataText" + QString::number(i), TControlKind::DataText, x, 0.01, 1.302, fields[i], false, j));
        x += 1.302 + 0.08;
    }
    TReportControl sum = Text("Calcsum2", TControlKind::CalcText, 2 * 1.382, 0.01, 1.302, "LENGTH", true, TJustify::Right);
    sum.displayFormat = "#,##0";
    footer.controls.push_back(sum);
    footer.controls.push_back(Text("SumText", TControlKind::Text, 0, 0.01, 0.5, QStringLiteral("Součty:"), true));
    footer.controls.push_back(Text("RowCountText", TControlKind::Text, 0, 0.3, 1.05, QStringLiteral("Počet záznamů: "), true));
    TReportControl rows = Text("CalcRows", TControlKind::CalcText, 1.15, 0.3, 2, "");
    rows.calc = TCalcKind::Count;
    rows.displayFormat = "#,##0";
    footer.controls.push_back(rows);
    TReportControl top;
    top.name = "TopLine";
    top.kind = TControlKind::HLine;
    top.top = 0.19;
    top.width = x - 0.08;
    top.lineWidth = 2;
    header.controls.push_back(top);
    TReportControl bottom = top;
    bottom.name = "BottomLine";
    bottom.top = 0;
    footer.controls.push_back(bottom);

    region.bands = {titleBand, header, detail, footer};
    p.regions.push_back(region);
    TReportProject project;
    project.reports.push_back(r);
    return project;
}

TPageStream RunList(const TReportProject &project, const TReportDataSource &rows, const TReportRunOptions &options)
{
    return RunReport(project, "Report1", {{"DataView1", &rows}}, options);
}

QStringList PageTexts(const TStreamPage &page)
{
    QStringList texts;
    for (const TPageText &t : page.texts)
        texts << t.text;
    return texts;
}
