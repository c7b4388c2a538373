#include "reportmodel.h"

namespace {
constexpr double kA4Short = 210.0 / 25.4;
constexpr double kA4Long = 297.0 / 25.4;
} // namespace

double TReportPage::PaperWidth(TPaper, int orientation) { return orientation == 1 ? kA4Long : kA4Short; }
double TReportPage::PaperHeight(TPaper, int orientation) { return orientation == 1 ? kA4Short : kA4Long; }

const TReport *TReportProject::findReport(const QString &name) const
{
    for (const TReport &r : reports)
        if (r.name.compare(name, Qt::CaseInsensitive) == 0)
            return &r;
    return nullptr;
}

const TReportBand *FindBand(const TReportRegion &region, TBandKind kind)
{
    for (const TReportBand &b : region.bands)
        if (b.kind == kind)
            return &b;
    return nullptr;
}
