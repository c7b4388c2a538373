#pragma once
#include <QByteArray>
#include <QString>

#include "reportrunner.h"

// The unprintable margins of the printer a report is laid out for, in inches.
struct TPrinterMargins {
    double left = 0, top = 0, right = 0, bottom = 0;
};

// What the printed report needs from the windows: the screen's resolution that
// column widths in pixels are measured on, the printer's margins, and the
// preview window. The windows layer installs its version; without one the
// screen counts as 96 pixels per inch, no printer is known, and asking for the
// preview raises.
class IReportWindows {
public:
    virtual ~IReportWindows() = default;
    virtual double ScreenPixelsPerInch() = 0;
    virtual TPrinterMargins PrinterMargins() = 0;
    // Runs the report from its project stream into pages and shows them modally.
    virtual bool ShowPreview(const QByteArray &projectStream, const QString &reportName, const TReportViews &views,
                             bool showProgress) = 0;
};

// Installs the windows (not owned) and returns the ones they replace.
IReportWindows *SetReportWindows(IReportWindows *windows);
IReportWindows &ReportWindows();
