#include "manualclock.h"

ManualClock::ManualClock(uint32_t ticks, double now)
    : m_ticks(ticks), m_now(now), m_previous(SetClockSource(this))
{
}

ManualClock::~ManualClock() { SetClockSource(m_previous); }

void ManualClock::advance(uint32_t ms)
{
    m_ticks += ms;
    m_now += ms / 86400000.0;
}
