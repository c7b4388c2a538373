#pragma once
#include <QString>

// The windows an export shows around its work: the progress window, a repaint
// after the file dialog, and the finished file opened with the desktop's program.
// The windows layer installs the widget version; without one nothing is shown.
class IOutputWindows {
public:
    virtual ~IOutputWindows() = default;
    virtual void ProgressShow(const QString &caption, const QString &message) = 0;
    virtual void ProgressMessage(const QString &message) = 0;
    virtual void ProgressClose() = 0;
    virtual void ProcessEvents() = 0;
    virtual bool OpenResult(const QString &fileName) = 0;
};

// Installs the windows (not owned) and returns the ones they replace.
IOutputWindows *SetOutputWindows(IOutputWindows *windows);
IOutputWindows &OutputWindows();
