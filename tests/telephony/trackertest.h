#pragma once
// A TAPI module on a simulated line with a recording call log and recorder, the time
// driven by hand.
#include "fakes.h"
#include "platform/tapi/linetestutil.h"
#include "simulatedline.h"
#include "support/manualclock.h"
#include "support/tempdatadir.h"
#include "udmtapi.h"

#include <gtest/gtest.h>
#include <cmath>
#include <tuple>

struct Status {
    int state;
    int callType;
    QString number;
    bool operator==(const Status &o) const { return state == o.state && callType == o.callType && number == o.number; }
};
inline std::ostream &operator<<(std::ostream &os, const Status &s)
{
    return os << "(" << s.state << ", " << s.callType << ", " << s.number.toStdString() << ")";
}

class TrackerTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        tapi.CallLog = &log;
        tapi.Recorder = &recorder;
        tapi.Device = int(provider.line(1).deviceId());
        tapi.OnStatus = [this](int state, int callType, const QString &number) {
            statuses.push_back({state, callType, number});
        };
        start = Now();
    }
    void TearDown() override
    {
        provider.clearFaults();
    }

    void Open()
    {
        tapi.OpenLine();
        PumpEvents();
        statuses.clear();
    }

    // Plays scenario text on line 1, moving the clock by each event's delay.
    void Play(const QString &text, int lineNumber = 1)
    {
        for (const LineEvent &event : ParseScenario(text)) {
            clock.advance(uint32_t(std::lround(event.delaySeconds * 1000)));
            provider.line(lineNumber).execute(event);
            PumpEvents();
        }
    }

    // Seconds since the test began, for comparing time stamps.
    double Sec(double value) const { return std::round((value - start) * 86400.0 * 1000.0) / 1000.0; }

    ManualClock clock;
    TempDataDir data;
    SimulatedProvider provider{2};
    RecordingCallLog log{data.file(QStringLiteral("~tmbrec.wav"))};
    FakeRecorder recorder;
    std::vector<Status> statuses;
    double start = 0;
    Tdmtapi tapi; // last, so it closes its line while everything it reports to exists
};
