// The line watch under load: one whole incoming call (offered, caller ID, answered, hung
// up) travelling from the simulated line through the line service's queued delivery into
// the TAPI module and on to the call log; and the reply round trip of a phone command.
#include <QCoreApplication>
#include <benchmark/benchmark.h>

#include "callcontracts.h"
#include "clock.h"
#include "simulatedline.h"
#include "udmtapi.h"

namespace {

class CountingCallLog : public ICallLog {
public:
    void GetTempRecordFileName(QString &fileName) override { fileName.clear(); }
    void WriteLog(int, const QString &) override { ++logs; }
    double CurrentTime() override { return Now(); }
    void AddCall(int, int, double, double, const QString &, const QString &) override { ++calls; }
    long long calls = 0;
    long long logs = 0;
};

void Drain()
{
    for (int i = 0; i < 4; ++i)
        QCoreApplication::processEvents();
}

void BM_IncomingCallThroughTracker(benchmark::State &state)
{
    SimulatedProvider provider(1);
    CountingCallLog log;
    Tdmtapi tapi;
    tapi.CallLog = &log;
    tapi.Device = int(provider.line(1).deviceId());
    tapi.OpenLine();
    const QList<LineEvent> call = ParseScenario(QStringLiteral("ring 603123456\nanswer\nhangup\n"));
    for (auto _ : state) {
        for (const LineEvent &event : call)
            provider.line(1).execute(event);
        Drain();
    }
    if (log.calls != state.iterations() || log.logs != 0)
        state.SkipWithError("calls were lost");
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_IncomingCallThroughTracker);

void BM_AnswerAndHangUpCommands(benchmark::State &state)
{
    SimulatedProvider provider(1);
    CountingCallLog log;
    Tdmtapi tapi;
    tapi.CallLog = &log;
    tapi.CommandCalls = true;
    tapi.Device = int(provider.line(1).deviceId());
    tapi.OpenLine();
    const LineEvent ring = ParseLineEvent(QStringLiteral("ring 1"), 1);
    for (auto _ : state) {
        provider.line(1).execute(ring);
        Drain();
        if (tapi.Answer() != 0 || tapi.HangUp() != 0)
            state.SkipWithError("command failed");
        Drain();
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_AnswerAndHangUpCommands);

} // namespace

