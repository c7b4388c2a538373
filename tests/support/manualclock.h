#pragma once
#include "clock.h"

// A clock the test moves by hand; installed for its lifetime.
class ManualClock : public ClockSource {
public:
    explicit ManualClock(uint32_t ticks = 1000, double now = 46000.5);
    ~ManualClock() override;
    uint32_t tickCount() override { return m_ticks; }
    double now() override { return m_now; }
    // Moves both the tick count and the date-time forward.
    void advance(uint32_t ms);
    void setTicks(uint32_t ticks) { m_ticks = ticks; }
    void setNow(double now) { m_now = now; }

private:
    uint32_t m_ticks;
    double m_now;
    ClockSource *m_previous;
};
