#pragma once
#include <cstdint>

// The one seam for time: a monotonic millisecond tick count (wrapping at 2^32)
// and the local date-time as a day number. Tests install their own source.
class ClockSource {
public:
    virtual ~ClockSource() = default;
    virtual uint32_t tickCount() = 0;
    virtual double now() = 0;
};

uint32_t GetTickCount();
double Now();
// Installs a source (nullptr restores the system clock); returns the previous one.
ClockSource *SetClockSource(ClockSource *source);
ClockSource *SystemClock();
