// Names for numbers at 100,000 calls: opening the log with the phonebook (every row named
// as it loads), naming the list again after a phonebook change, and the calls per number.
#include <QFile>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>
#include <memory>

#include "datapacket.h"
#include "deliveredlog.h"
#include "formatsettings.h"
#include "myutils.h"
#include "session.h"
#include "udmcd.h"

namespace {
constexpr int kCalls = 100000;
constexpr int kNumbers = 20000; // distinct callers in the log
constexpr int kEntries = 2000;  // of them in the phonebook

QTemporaryDir &dataDir()
{
    static QTemporaryDir dir;
    return dir;
}

QString settingsFile() { return JoinPath(dataDir().path(), QStringLiteral("tembrel.ini")); }
QString phonebookFile() { return JoinPath(dataDir().path(), QStringLiteral("phonebook.txt")); }

// The number of caller n, written as people write it: with and without the country's prefix.
QString number(uint32_t n) { return (n % 3 ? QStringLiteral("+420 %1") : QStringLiteral("%1")).arg(600000000 + n * 37); }

void prepare()
{
    static bool done = false;
    if (done)
        return;
    done = true;
    SetLoggingEnabled(false);
    TMemTable t;
    LoadDataPacketFile(t, InstallDeliveredCallLog(dataDir().path()));
    uint32_t seed = 4711;
    auto rnd = [&seed](uint32_t n) {
        seed = seed * 1103515245u + 12345u;
        return (seed >> 8) % n;
    };
    const double first = EncodeDate(2004, 1, 1);
    for (int i = 0; i < kCalls; ++i) {
        const double start = first + i * (1100.0 / kCalls);
        t.insert();
        t.fieldByName(QStringLiteral("CALLTYPE")).setAsInteger(1 + int(rnd(5)));
        t.fieldByName(QStringLiteral("WHENSTART")).setAsDateTime(start);
        t.fieldByName(QStringLiteral("WHENEND")).setAsDateTime(start + rnd(600) / 86400.0);
        t.fieldByName(QStringLiteral("WHENLENGTH")).setAsInteger(int(rnd(600)));
        t.fieldByName(QStringLiteral("PHONENUMBER")).setAsString(number(rnd(kNumbers)));
        t.post();
    }
    SaveDataPacketFile(t, Tdmcd::DataFileName());
    QByteArray book;
    for (uint32_t n = 0; n < kEntries; ++n)
        book += QStringLiteral("%1\tKontakt %2\n").arg(600000000 + n * 10 * 37).arg(n).toUtf8();
    WriteStringToFile(book, phonebookFile());
}

std::unique_ptr<TSession> openSession()
{
    auto session = std::make_unique<TSession>();
    session->SetSettingsFileName(settingsFile());
    TSettings settings;
    settings.CountryPrefix = QStringLiteral("420");
    session->ApplyStartSettings(settings);
    QString error;
    if (!session->OpenCallLog(error))
        qFatal("%s", qPrintable(error));
    return session;
}

// Start with the phonebook against start without one: the names' share of opening the log.
void BM_OpenLog(benchmark::State &state)
{
    prepare();
    const bool names = state.range(0) != 0;
    const QByteArray book = ReadFileToString(phonebookFile());
    if (!names)
        QFile::remove(phonebookFile());
    state.SetLabel(names ? "with 2,000 names" : "without phonebook");
    for (auto _ : state) {
        auto session = openSession();
        benchmark::DoNotOptimize(session->CallData().tb_audio->recordCount());
        state.PauseTiming();
        session.reset();
        state.ResumeTiming();
    }
    WriteStringToFile(book, phonebookFile());
}
BENCHMARK(BM_OpenLog)->Unit(benchmark::kMillisecond)->Arg(0)->Arg(1)->Iterations(3);

// One entry changed and saved: every row named again.
void BM_RefreshNamesAfterAChange(benchmark::State &state)
{
    prepare();
    auto session = openSession();
    int round = 0;
    for (auto _ : state) {
        session->Phonebook().Put({number(5), QStringLiteral("Jméno %1").arg(++round), false, false});
        session->RefreshNames();
    }
}
BENCHMARK(BM_RefreshNamesAfterAChange)->Unit(benchmark::kMillisecond);

void BM_CallsPerNumber(benchmark::State &state)
{
    prepare();
    auto session = openSession();
    Tdmcd &dm = session->CallData();
    dm.cd_tmp->copyFrom(*dm.tb_audio);
    dm.ComputeStatistics({}, {});
    for (auto _ : state) {
        dm.ComputeNumberStatistics();
        benchmark::DoNotOptimize(dm.cd_statnum->recordCount());
    }
}
BENCHMARK(BM_CallsPerNumber)->Unit(benchmark::kMillisecond);
} // namespace
