#include "reportwindows.h"

#include "exception.h"

namespace {
class TNoReportWindows : public IReportWindows {
public:
    double ScreenPixelsPerInch() override { return 96; }
    TPrinterMargins PrinterMargins() override { return {}; }
    bool ShowPreview(const QByteArray &, const QString &, const TReportViews &, bool) override
    {
        throw Exception(QStringLiteral("Náhled sestavy lze zobrazit jen v okně programu."));
    }
};

TNoReportWindows g_none;
IReportWindows *g_windows = &g_none;
} // namespace

IReportWindows *SetReportWindows(IReportWindows *windows)
{
    IReportWindows *previous = g_windows;
    g_windows = windows ? windows : &g_none;
    return previous;
}

IReportWindows &ReportWindows() { return *g_windows; }
