#include "reportwindowswidget.h"

#include "rextprev.h"

#include <QGuiApplication>
#include <QPageLayout>
#include <QPrinter>
#include <QPrinterInfo>
#include <QScreen>

double TReportWindowsWidget::ScreenPixelsPerInch()
{
    const QScreen *screen = QGuiApplication::primaryScreen();
    return screen && screen->logicalDotsPerInchX() > 0 ? screen->logicalDotsPerInchX() : 96;
}

TPrinterMargins TReportWindowsWidget::PrinterMargins()
{
    const QPrinterInfo info = QPrinterInfo::defaultPrinter();
    if (info.isNull())
        return {};
    // The part of an A4 sheet the printer cannot reach, side by side.
    QPrinter printer(info, QPrinter::HighResolution);
    printer.setPageSize(QPageSize(QPageSize::A4));
    QPageLayout layout = printer.pageLayout();
    layout.setUnits(QPageLayout::Inch);
    const QMarginsF m = layout.minimumMargins();
    return {m.left(), m.top(), m.right(), m.bottom()};
}

bool TReportWindowsWidget::ShowPreview(const QByteArray &projectStream, const QString &reportName,
                                       const TReportViews &views, bool showProgress)
{
    return ::ShowPreview(projectStream, reportName, views, showProgress);
}
