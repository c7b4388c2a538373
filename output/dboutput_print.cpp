#include "dboutput_print.h"

#include "clock.h"
#include "formatsettings.h"
#include "lcscommon.h"
#include "listreport.h"
#include "memtable.h"
#include "myutils.h"
#include "outputwindows.h"
#include "pdfwriter.h"
#include "reportfonts.h"
#include "reportproject.h"

#include <cmath>

namespace {
// The grid's padding around a cell's text, in pixels.
constexpr int kCellPadding = 8;

TJustify JustifyOf(const TField &field)
{
    const Qt::Alignment a = field.alignment();
    if (a & Qt::AlignRight)
        return TJustify::Right;
    if (a & Qt::AlignHCenter)
        return TJustify::Center;
    return TJustify::Left;
}

QString TimestampText()
{
    const double now = Now();
    QString text = CommonText(59);
    return text.replace(QStringLiteral("%s"), FormatShortDate(now) + QLatin1Char(' ') + FormatLongTime(now));
}

// The project as the engine gets it: stored and read back, so that what runs is
// what the stream holds.
TPageStream RunStoredReport(const QByteArray &projectStream, const TReportViews &views, bool showProgress)
{
    TReportRunOptions options;
    if (showProgress) {
        options.pageStatusFormat = CommonText(112);
        options.pageStatus = [](const QString &status) { OutputWindows().ProgressMessage(status); };
    }
    return RunReport(LoadReportProject(projectStream), Tdboutput_print::ReportName(), views, options);
}

QByteArray ProjectStream(TMemTable &dataset, const Tdboutputsfields &fields, const QString &title,
                         const QString &filterText, bool printTimestamp, bool printRecordCount, int orientation)
{
    IReportWindows &windows = ReportWindows();
    return StoreReportProject(Tdboutput_print::BuildReport(dataset, fields, title, filterText, printTimestamp,
                                                           printRecordCount, orientation, windows.ScreenPixelsPerInch(),
                                                           windows.PrinterMargins()));
}
} // namespace

int Tdboutput_print::CharsToPixels(int chars, double pixelsPerInch)
{
    const auto font = ReportFont(QStringLiteral("Arial"), false, false);
    const int glyph = font->glyphFor(U'0');
    const int digit = font->kind() == TrextPDFFont::TrueType && glyph >= 0 ? font->glyphWidth(glyph)
                                                                           : font->ansiWidth(U'0');
    // A 10-point digit, in the screen's pixels.
    return int(std::ceil(chars * digit / 1000.0 * 10 / 72.0 * pixelsPerInch)) + kCellPadding;
}

void Tdboutput_print::PrepareForPrint(TMemTable &dataset, Tdboutputsfields &fields, double pixelsPerInch)
{
    // The dataset's display width counts characters, and the report reads every width
    // as pixels: taken as it is, a ten-character field would print a tenth of an inch wide.
    std::vector<bool> fromDataset;
    for (const Tdboutputsfield &f : fields)
        fromDataset.push_back(f.Width == 0);
    const bool whole = fields.empty();
    Prepare(dataset, fields);
    for (size_t i = 0; i < fields.size(); ++i) {
        if (whole || fromDataset[i])
            fields[i].Width = CharsToPixels(qMax(fields[i].Width, int(fields[i].Caption.size())), pixelsPerInch);
    }
}

TReportProject Tdboutput_print::BuildReport(const TMemTable &dataset, const Tdboutputsfields &fields,
                                            const QString &title, const QString &filterText, bool printTimestamp,
                                            bool printRecordCount, int orientation, double pixelsPerInch,
                                            const TPrinterMargins &margins)
{
    std::vector<TListReportField> columns;
    for (const Tdboutputsfield &f : fields) {
        const TField &field = dataset.field(f.FieldIndex);
        columns.push_back({field.fieldName(), f.Caption, f.Width, JustifyOf(field), f.Sum, field.displayFormat()});
    }
    TListReportOptions o;
    o.fullName = ApplicationTitle() + QStringLiteral(" - ") + title;
    o.title = title;
    if (printTimestamp)
        o.dateTimeText = TimestampText();
    o.filterText = filterText;
    o.recordCount = printRecordCount;
    o.orientation = orientation;
    o.marginLeft = margins.left;
    o.marginTop = margins.top;
    o.marginRight = margins.right;
    o.marginBottom = margins.bottom;
    o.screenPixelsPerInch = pixelsPerInch > 0 ? pixelsPerInch : 96;
    o.dataView = DataViewName();
    return BuildListReport(columns, o);
}

TExportTexts Tdboutput_print::PdfTexts()
{
    return {CommonText(107), CommonText(108) + QStringLiteral(" (*.pdf)|*.pdf"), QStringLiteral("pdf"), CommonText(114),
            CommonText(115), CommonText(109), true};
}

bool Tdboutput_print::Execute(TMemTable &dataset, Tdboutputsfields fields, bool offerOpen, const QString &title,
                              const QString &filterText, bool printTimestamp, bool printRecordCount, bool directPdf,
                              int orientation)
{
    PrepareForPrint(dataset, fields, ReportWindows().ScreenPixelsPerInch());
    const TTableReportSource source(dataset);
    const TReportViews views{{DataViewName(), &source}};
    if (directPdf) {
        return RunExport(PdfTexts(), dataset, fields, offerOpen, [&](const QString &fileName, const TRowProgress &) {
            const TPageStream pages = RunStoredReport(
                ProjectStream(dataset, fields, title, filterText, printTimestamp, printRecordCount, orientation), views,
                true);
            OutputWindows().ProgressMessage(CommonText(116));
            WritePdfFile(pages, fileName);
            return fileName;
        });
    }
    // The preview keeps the dataset until it closes: its printer set-up runs the report again.
    return RunHeld(dataset, [&] {
        return ReportWindows().ShowPreview(
            ProjectStream(dataset, fields, title, filterText, printTimestamp, printRecordCount, orientation),
            ReportName(), views, true);
    });
}

void Tdboutput_print::ExportToFile(TMemTable &dataset, Tdboutputsfields fields, const QString &title,
                                   const QString &filterText, bool printTimestamp, bool printRecordCount,
                                   int orientation, const QString &fileName)
{
    PrepareForPrint(dataset, fields, ReportWindows().ScreenPixelsPerInch());
    const TTableReportSource source(dataset);
    const TReportViews views{{DataViewName(), &source}};
    RunExport(PdfTexts(), dataset, fields, false, [&](const QString &target, const TRowProgress &) {
        WritePdfFile(RunStoredReport(ProjectStream(dataset, fields, title, filterText, printTimestamp, printRecordCount,
                                                   orientation),
                                     views, false),
                     target);
        return target;
    }, fileName);
}
