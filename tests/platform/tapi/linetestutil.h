#pragma once
// Helpers for driving the line service in tests: a callback that records every message
// and a pump for the event loop.
#include "lineapi.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <functional>
#include <vector>

struct RecordedMessage {
    DWORD device, message;
    DWORD_PTR instance;
    DWORD p1, p2, p3;
};

inline std::vector<RecordedMessage> &RecordedMessages()
{
    static std::vector<RecordedMessage> messages;
    return messages;
}

inline void RecordingCallback(DWORD device, DWORD message, DWORD_PTR instance, DWORD p1, DWORD p2, DWORD p3)
{
    RecordedMessages().push_back({device, message, instance, p1, p2, p3});
}

// Lets queued events run until none are left.
inline void PumpEvents()
{
    for (int i = 0; i < 20; ++i)
        QCoreApplication::processEvents(QEventLoop::AllEvents);
}

// Runs the event loop until the condition holds; gives up after a generous real-time bound.
inline bool PumpUntil(const std::function<bool()> &condition, int limitMs = 10000)
{
    QElapsedTimer timer;
    timer.start();
    while (!condition()) {
        if (timer.elapsed() > limitMs)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents, 20);
    }
    return true;
}
