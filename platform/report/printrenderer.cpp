#include "printrenderer.h"

#include "pagepainter.h"
#include "reportmodel.h"

#include <QPageLayout>
#include <QPainter>
#include <QPrinter>

std::vector<int> PageRange(int first, int last, int pageCount)
{
    std::vector<int> pages;
    for (int p = qMax(1, first); p <= qMin(last, pageCount); ++p)
        pages.push_back(p);
    return pages;
}

void PrintPageStream(const TPageStream &stream, QPrinter &printer, const std::vector<int> &pages, int copies)
{
    std::vector<int> valid;
    for (int p : pages)
        if (p >= 1 && p <= stream.pageCount())
            valid.push_back(p);
    if (valid.empty())
        return;
    const TStreamPage &first = stream.pages[size_t(valid.front() - 1)];
    printer.setFullPage(true);
    printer.setDocName(stream.title);
    printer.setCopyCount(qMax(1, copies));
    printer.setPageSize(QPageSize(QPageSize::A4));
    printer.setPageOrientation(first.width > first.height ? QPageLayout::Landscape : QPageLayout::Portrait);

    QPainter painter;
    if (!painter.begin(&printer))
        throw EReportError(QStringLiteral("Tiskárnu %1 nelze otevřít").arg(printer.printerName()));
    TPagePainter pagePainter;
    const double scale = printer.resolution() / 72.0;
    bool firstPage = true;
    for (int p : valid) {
        if (!firstPage)
            printer.newPage();
        firstPage = false;
        pagePainter.paint(painter, stream, p - 1, scale);
    }
    if (!painter.end())
        throw EReportError(QStringLiteral("Tisk na tiskárnu %1 se nezdařil").arg(printer.printerName()));
}
