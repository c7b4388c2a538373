#include "listreport.h"

#include "displayformat.h"
#include "formatsettings.h"
#include "lcscommon.h"
#include "memtable.h"
#include "reportfonts.h"

#include <QRegularExpression>

namespace {
TReportControl MakeText(const QString &name, TControlKind kind, double left, double top, double width, const QString &text,
                        bool bold, TJustify justify)
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

TReportControl MakeLine(const QString &name, double top, double width)
{
    TReportControl c;
    c.name = name;
    c.kind = TControlKind::HLine;
    c.top = top;
    c.width = width;
    c.lineWidth = 2;
    return c;
}

// The height a text of the font takes, in inches.
double TextHeight(const TReportFont &font)
{
    return ReportFont(font.face, font.bold, font.italic)->lineHeight() * font.size / 1000.0 / 72.0;
}
} // namespace

TReportProject BuildListReport(const std::vector<TListReportField> &fields, const TListReportOptions &o)
{
    TReport report;
    report.fullName = o.fullName;
    TReportPage &page = report.page;
    page.orientation = o.orientation;
    page.marginLeft = qMax(0.25, o.marginLeft);
    page.marginTop = qMax(0.25, o.marginTop);
    page.marginRight = qMax(0.25, o.marginRight);
    page.marginBottom = qMax(0.25, o.marginBottom);
    const double pw = page.designWidth(), ph = page.designHeight();
    const double width = pw - page.marginLeft - page.marginRight;

    TReportControl dtPage = MakeText("dtPage", TControlKind::DataText, page.marginLeft, ph - page.marginBottom - 0.25,
                                     width, "'" + CommonText(58).replace("'", "''") + " ' + Page + '/' + PageCount",
                                     false, TJustify::Center);
    dtPage.anchors = AnchorBottom | AnchorHCenter;
    page.controls.push_back(dtPage);

    TReportRegion region;
    region.name = "Region1";
    region.left = page.marginLeft;
    region.top = page.marginTop;
    region.width = width;
    region.height = ph - (page.marginTop + page.marginBottom + 0.3);
    region.dataView = o.dataView;

    TReportBand detail{"DetailBand", TBandKind::Detail, 0, {}};
    TReportBand titleBand{"TitleBand", TBandKind::TitleHeader, 0.35, {}};
    TReportControl titleText = MakeText("TitleText", TControlKind::Text, 0, 0.01, width, o.title, true, TJustify::Center);
    titleText.font.underline = true;
    titleText.anchors = AnchorTop | AnchorHCenter;
    titleBand.controls.push_back(titleText);
    if (!o.dateTimeText.isEmpty() || !o.filterText.isEmpty()) {
        QString block;
        if (!o.dateTimeText.isEmpty())
            block = o.dateTimeText + QStringLiteral("\r\n");
        block += o.filterText;
        // Lines end in CR LF; a lone LF ends one too rather than vanishing inside a line.
        const QStringList lines = block.split(QRegularExpression(QStringLiteral("\r?\n")));
        double top = 2 * TextHeight(titleText.font) + 0.01;
        for (int i = 0; i < lines.size(); ++i) {
            TReportControl line = MakeText("FilterText" + QString::number(i), TControlKind::Text, 0, top, width, lines[i],
                                           false, TJustify::Left);
            titleBand.controls.push_back(line);
            if (i + 1 < lines.size())
                top += TextHeight(line.font) + 0.01;
        }
        titleBand.height += top;
    }
    TReportBand header{"HeaderBand", TBandKind::PageHeader, 0.2, {}};
    TReportBand sumBand{"SumBand", TBandKind::Footer, 0.5, {}};

    double x = 0;
    bool summed = false;
    for (size_t i = 0; i < fields.size(); ++i) {
        const TListReportField &f = fields[i];
        const QString n = QString::number(i);
        const double w = f.widthPixels * 10.0 / (o.screenPixelsPerInch * 8);
        detail.controls.push_back(MakeText("DataText" + n, TControlKind::DataText, x, 0.01, w, f.fieldName, false, f.justify));
        header.controls.push_back(MakeText("TitleText" + n, TControlKind::Text, x, 0.01, w, f.caption, true, f.justify));
        if (f.sum) {
            TReportControl sum = MakeText("Calcsum" + n, TControlKind::CalcText, x, 0.01, w, f.fieldName, true, TJustify::Right);
            sum.calc = TCalcKind::Sum;
            sum.displayFormat = f.displayFormat;
            sumBand.controls.push_back(sum);
            summed = true;
        }
        x += w + 0.08;
    }
    header.controls.push_back(MakeLine("TopLine", 0.2 - 0.01, x - 0.08));
    sumBand.controls.push_back(MakeLine("BottomLine", 0, x - 0.08));
    if (summed)
        sumBand.controls.push_back(MakeText("SumText", TControlKind::Text, 0, 0.01, 0.5, CommonText(60), true, TJustify::Left));
    if (o.recordCount) {
        const double top = summed ? 0.3 : 0.15;
        sumBand.controls.push_back(MakeText("RowCountText", TControlKind::Text, 0, top, 1.05, CommonText(61), true, TJustify::Left));
        TReportControl rows = MakeText("CalcRows", TControlKind::CalcText, 1.05 + 0.1, top, 2, QString(), false, TJustify::Left);
        rows.calc = TCalcKind::Count;
        rows.displayFormat = QStringLiteral("#,##0");
        sumBand.controls.push_back(rows);
    }
    region.bands = {detail, titleBand, header, sumBand};
    page.regions.push_back(region);
    TReportProject project;
    project.reports.push_back(std::move(report));
    return project;
}

int TTableReportSource::rowCount() const { return m_table.recordCount(); }

int TTableReportSource::fieldIndex(const QString &name) const
{
    const TField *f = m_table.findField(name);
    return f ? f->index() : -1;
}

QString TTableReportSource::displayText(int row, int field) const
{
    return m_table.field(field).displayTextAt(m_table.viewRecord(row));
}

double TTableReportSource::number(int row, int field) const
{
    return m_table.field(field).asFloatAt(m_table.viewRecord(row));
}

bool TTableReportSource::isNull(int row, int field) const
{
    return m_table.field(field).isNullAt(m_table.viewRecord(row));
}

QString TTableReportSource::formatNumber(int, const QString &format, double value) const
{
    if (!format.isEmpty())
        return FormatNumber(format, value);
    // A sum without a format is written as the grid writes numbers, with the system's separator.
    return DefaultFormatNumber(format, value).replace(QLatin1Char('.'), SystemFormats().decimalSeparator);
}
