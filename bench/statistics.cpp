// The statistics window over a call log of 100,000 calls in three years: one
// computation (copy of the log, the list, and the chart's buckets) for a day, a
// month and a year.
#include <QApplication>
#include <QFile>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>

#include "datapacket.h"
#include "deliveredlog.h"
#include "formatsettings.h"
#include "myutils.h"
#include "stattmb.h"
#include "udmcd.h"

namespace {
constexpr int kCalls = 100000;

struct Log {
    Log()
    {
        SetSystemFormats(FormatSettings::czech());
        SetLoggingEnabled(false);
        TMemTable t;
        LoadDataPacketFile(t, InstallDeliveredCallLog(dir.path()));
        const double first = EncodeDate(2004, 1, 1);
        for (int i = 0; i < kCalls; ++i) {
            const double start = first + i * (1100.0 / kCalls);
            const int type = 1 + i % 5;
            t.insert();
            t.fieldByName(QStringLiteral("CALLTYPE")).setAsInteger(type);
            t.fieldByName(QStringLiteral("CALLTYPENAME")).setAsString(Tdmcd::CallTypeName(type));
            t.fieldByName(QStringLiteral("WHENSTART")).setAsDateTime(start);
            t.fieldByName(QStringLiteral("WHENEND")).setAsDateTime(start + (i % 600) / 86400.0);
            t.fieldByName(QStringLiteral("WHENLENGTH")).setAsInteger(i % 600);
            t.post();
        }
        SaveDataPacketFile(t, Tdmcd::DataFileName());
        dmcd = std::make_unique<Tdmcd>();
        dmcd->OpenCallLog();
        window = std::make_unique<Tfstattmb>(dmcd.get());
    }
    QTemporaryDir dir;
    std::unique_ptr<Tdmcd> dmcd;
    std::unique_ptr<Tfstattmb> window;
};

Log &log()
{
    static Log *l = new Log;
    return *l;
}

void BM_StatisticsComputation(benchmark::State &state)
{
    Log &l = log();
    const double from = EncodeDate(2005, 1, 1);
    l.window->SetDates({from, true}, {from + double(state.range(0)) - 1, true});
    for (auto _ : state) {
        l.window->frg_statspbfilterClick();
        benchmark::DoNotOptimize(l.window->PointLabels().size());
    }
    state.counters["points"] = double(l.window->PointLabels().size());
}
BENCHMARK(BM_StatisticsComputation)->Arg(1)->Arg(30)->Arg(365)->Unit(benchmark::kMillisecond);
} // namespace

