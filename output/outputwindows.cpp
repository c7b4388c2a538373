#include "outputwindows.h"

#include "myutils.h"

#include <QCoreApplication>

namespace {
class TNoOutputWindows : public IOutputWindows {
public:
    void ProgressShow(const QString &, const QString &) override {}
    void ProgressMessage(const QString &) override {}
    void ProgressClose() override {}
    void ProcessEvents() override { QCoreApplication::processEvents(); }
    bool OpenResult(const QString &fileName) override { return OpenDocument(fileName); }
};

TNoOutputWindows g_none;
IOutputWindows *g_windows = &g_none;
} // namespace

IOutputWindows *SetOutputWindows(IOutputWindows *windows)
{
    IOutputWindows *previous = g_windows;
    g_windows = windows ? windows : &g_none;
    return previous;
}

IOutputWindows &OutputWindows() { return *g_windows; }
