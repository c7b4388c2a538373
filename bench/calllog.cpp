// The call log at 100,000 calls: loading data.xml, adding a call (which rewrites
// the file), the call log filter, sorting by every column and the statistics.
#include <QCoreApplication>
#include <QFile>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>
#include <memory>

#include "codepage1250.h"
#include "datapacket.h"
#include "deliveredlog.h"
#include "formatsettings.h"
#include "myutils.h"
#include "udmcd.h"

namespace {
constexpr int kCalls = 100000;

QTemporaryDir &dataDir()
{
    static QTemporaryDir dir;
    return dir;
}

// Writes data.xml with kCalls calls over about three years, once.
void prepareLog()
{
    static bool done = false;
    if (done)
        return;
    done = true;
    SetSystemFormats(FormatSettings::czech());
    SetLoggingEnabled(false);
    TMemTable t;
    LoadDataPacketFile(t, InstallDeliveredCallLog(dataDir().path()));
    const double first = EncodeDate(2004, 1, 1);
    uint32_t seed = 12345;
    auto rnd = [&seed](uint32_t n) {
        seed = seed * 1103515245u + 12345u;
        return (seed >> 8) % n;
    };
    for (int i = 0; i < kCalls; ++i) {
        const double start = first + i * (1100.0 / kCalls) + rnd(3600) / 86400.0;
        const int length = int(rnd(1800));
        const int type = 1 + int(rnd(5));
        const int size = type == 5 ? 0 : length * 1650;
        t.insert();
        t.fieldByName(QStringLiteral("CALLTYPE")).setAsInteger(type);
        t.fieldByName(QStringLiteral("CALLTYPENAME")).setAsString(Tdmcd::CallTypeName(type));
        t.fieldByName(QStringLiteral("CALLLINK")).setAsInteger(1 + int(rnd(3)));
        t.fieldByName(QStringLiteral("WHENSTART")).setAsDateTime(start);
        t.fieldByName(QStringLiteral("WHENEND")).setAsDateTime(start + length / 86400.0);
        t.fieldByName(QStringLiteral("WHENLENGTH")).setAsInteger(length);
        t.fieldByName(QStringLiteral("AUDIOTYPE")).setAsInteger(type == 5 ? 0 : 1);
        t.fieldByName(QStringLiteral("AUDIOSIZE")).setAsInteger(size);
        t.fieldByName(QStringLiteral("AUDIOSIZEKB")).setAsInteger(size / 1024);
        t.fieldByName(QStringLiteral("PHONENUMBER")).setAsString(QStringLiteral("+420 %1").arg(600000000 + rnd(99999999)));
        t.post();
    }
    SaveDataPacketFile(t, Tdmcd::DataFileName());
}

Tdmcd &module()
{
    prepareLog();
    static Tdmcd *dm = [] {
        auto *m = new Tdmcd();
        m->OpenCallLog();
        return m;
    }();
    return *dm;
}

void BM_LoadDataXml(benchmark::State &state)
{
    prepareLog();
    for (auto _ : state) {
        TMemTable t;
        LoadDataPacketFile(t, Tdmcd::DataFileName());
        benchmark::DoNotOptimize(t.recordCount());
    }
    state.counters["bytes"] = double(QFileInfo(Tdmcd::DataFileName()).size());
}
BENCHMARK(BM_LoadDataXml)->Unit(benchmark::kMillisecond);

// A hostile row of Arg values (about 11 bytes each) is refused: the time grows with the
// row, not with its square.
void BM_RefuseRowOfManyValues(benchmark::State &state)
{
    QByteArray packet = "<?xml version=\"1.0\" standalone=\"yes\"?><DATAPACKET Version=\"2.0\"><METADATA><FIELDS>"
                        "<FIELD attrname=\"ID\" fieldtype=\"i4\"/></FIELDS><PARAMS/></METADATA><ROWDATA><ROW";
    for (int i = 0; i < state.range(0); ++i)
        packet += " A" + QByteArray::number(i) + "=\"1\"";
    packet += "/></ROWDATA></DATAPACKET>";
    for (auto _ : state) {
        TMemTable t;
        try {
            LoadDataPacket(t, packet);
        } catch (const ETableError &) {
        }
        benchmark::DoNotOptimize(t.active());
    }
    state.counters["bytes"] = double(packet.size());
}
BENCHMARK(BM_RefuseRowOfManyValues)->Arg(100000)->Arg(1000000)->Unit(benchmark::kMillisecond);

// The first call after a start: the log freshly opened, then one call added (the whole
// file written again). Later calls are BM_AddCall.
void BM_FirstAddCallAfterOpen(benchmark::State &state)
{
    prepareLog();
    const QByteArray original = ReadFileToString(Tdmcd::DataFileName());
    const double now = EncodeDate(2007, 1, 1);
    for (auto _ : state) {
        state.PauseTiming();
        WriteStringToFile(original, Tdmcd::DataFileName());
        auto dm = std::make_unique<Tdmcd>();
        dm->OpenCallLog();
        state.ResumeTiming();
        dm->AddCall(3, 1, now, now + 65 / 86400.0, QStringLiteral("603123456"), QString());
        state.PauseTiming();
        dm.reset();
        state.ResumeTiming();
    }
    WriteStringToFile(original, Tdmcd::DataFileName());
}
BENCHMARK(BM_FirstAddCallAfterOpen)->Unit(benchmark::kMillisecond)->Iterations(5)->Repetitions(3);

void BM_SaveDataXml(benchmark::State &state)
{
    Tdmcd &dm = module();
    for (auto _ : state)
        benchmark::DoNotOptimize(SaveDataPacket(*dm.tb_audio).size());
}
BENCHMARK(BM_SaveDataXml)->Unit(benchmark::kMillisecond);

void BM_AddCall(benchmark::State &state)
{
    Tdmcd &dm = module();
    dm.tb_audio->setFiltered(false);
    const double now = EncodeDate(2007, 1, 1);
    for (auto _ : state)
        dm.AddCall(3, 1, now, now + 65 / 86400.0, QStringLiteral("603123456"), QString());
}
BENCHMARK(BM_AddCall)->Unit(benchmark::kMillisecond)->Iterations(20);

void BM_ApplyCallLogFilter(benchmark::State &state)
{
    Tdmcd &dm = module();
    TCheckedItems types;
    dm.FillCallTypes(types);
    types.SetCheckedIndexText(QStringLiteral("1;2"));
    for (auto _ : state) {
        dm.ApplyCallLogFilter(types, 1, 2, {EncodeDate(2005, 1, 1), true}, {EncodeDate(2005, 12, 31), true});
        benchmark::DoNotOptimize(dm.tb_audio->recordCount());
        dm.tb_audio->setFiltered(false);
    }
    dm.ApplyCallLogFilter(types, 1, 2, {EncodeDate(2005, 1, 1), true}, {EncodeDate(2005, 12, 31), true});
    state.counters["rows"] = dm.tb_audio->recordCount();
    dm.tb_audio->setFiltered(false);
}
BENCHMARK(BM_ApplyCallLogFilter)->Unit(benchmark::kMillisecond);

void BM_Sort(benchmark::State &state)
{
    Tdmcd &dm = module();
    dm.tb_audio->setFiltered(false);
    const QString field = dm.tb_audio->field(int(state.range(0))).fieldName();
    const bool descending = state.range(1) != 0;
    const QString index = field + QStringLiteral("_ixd");
    if (descending && !dm.tb_audio->findIndex(index))
        dm.tb_audio->addIndex(index, field, true, true);
    state.SetLabel((field + (descending ? QStringLiteral(" desc") : QString())).toStdString());
    for (auto _ : state) {
        if (descending)
            dm.tb_audio->setIndexName(index);
        else
            dm.tb_audio->setIndexFieldNames(field);
        dm.tb_audio->first();
        benchmark::DoNotOptimize(dm.tb_audio->recordCount());
    }
}
BENCHMARK(BM_Sort)->Unit(benchmark::kMillisecond)->ArgsProduct({benchmark::CreateDenseRange(0, 13, 1), {0, 1}});

void BM_ComputeStatistics(benchmark::State &state)
{
    Tdmcd &dm = module();
    dm.cd_tmp->setFiltered(false);
    dm.cd_tmp->copyFrom(*dm.tb_audio);
    for (auto _ : state) {
        dm.ComputeStatistics({EncodeDate(2004, 6, 1), true}, {EncodeDate(2006, 6, 1), true});
        benchmark::DoNotOptimize(dm.cd_stat->recordCount());
    }
}
BENCHMARK(BM_ComputeStatistics)->Unit(benchmark::kMillisecond);

void BM_CopyLogForStatistics(benchmark::State &state)
{
    Tdmcd &dm = module();
    for (auto _ : state) {
        dm.cd_tmp->setFiltered(false);
        dm.cd_tmp->copyFrom(*dm.tb_audio);
    }
}
BENCHMARK(BM_CopyLogForStatistics)->Unit(benchmark::kMillisecond);
} // namespace

