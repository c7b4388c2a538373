#pragma once
#include "reportwindows.h"

// The printed report's windows: the screen's resolution, the default printer's
// margins and the preview window.
class TReportWindowsWidget : public IReportWindows {
public:
    double ScreenPixelsPerInch() override;
    TPrinterMargins PrinterMargins() override;
    bool ShowPreview(const QByteArray &projectStream, const QString &reportName, const TReportViews &views,
                     bool showProgress) override;
};
