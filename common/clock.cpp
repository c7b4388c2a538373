#include "clock.h"
#include "formatsettings.h"

#include <QDateTime>
#include <chrono>

namespace {
class SystemClockSource final : public ClockSource {
public:
    uint32_t tickCount() override
    {
        const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(
            std::chrono::steady_clock::now().time_since_epoch()).count();
        return uint32_t(uint64_t(ms));
    }
    double now() override { return DateTimeToDouble(QDateTime::currentDateTime()); }
};

SystemClockSource g_system;
ClockSource *g_source = &g_system;
} // namespace

ClockSource *SystemClock() { return &g_system; }
uint32_t GetTickCount() { return g_source->tickCount(); }
double Now() { return g_source->now(); }

ClockSource *SetClockSource(ClockSource *source)
{
    ClockSource *previous = g_source;
    g_source = source ? source : &g_system;
    return previous;
}
