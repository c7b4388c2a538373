// A SIP line end to end on loopback: the session of the program watching "SIP linka 1"
// through its own user agent, a second agent as the far end. Measured per call: from the
// far end's dial (its INVITE leaves at once) to the line module's report of the offered
// call, and from the far end's hang-up (its BYE) to the call's row in data.xml. The line's
// agent answers on its own, so every call is a connected, recorded one.
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <algorithm>
#include <benchmark/benchmark.h>
#include <memory>
#include <vector>

#include "baresipagent.h"
#include "deACM.h"
#include "deliveredlog.h"
#include "myutils.h"
#include "session.h"
#include "sipaccount.h"
#include "support/autoansweringagent.h"
#include "support/soundserver.h"

namespace {

// The line module's states as it reports them: offered, connected.
constexpr int kOffering = 0x00000002;
constexpr int kConnected = 0x00000100;

bool Pump(const std::function<bool()> &condition, int limitMs = 10000)
{
    QElapsedTimer timer;
    timer.start();
    while (!condition()) {
        if (timer.elapsed() > limitMs)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents, 5);
    }
    return true;
}

double Median(std::vector<double> values)
{
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    const size_t mid = values.size() / 2;
    return values.size() % 2 ? values[mid] : (values[mid - 1] + values[mid]) / 2;
}

// Everything one run of calls needs, set up once for both benchmarks.
class SipBench {
public:
    // Empty when ready; otherwise why the benchmark cannot run.
    QString setUp()
    {
        if (BaresipAgent::Program().isEmpty())
            return QStringLiteral("baresip is not installed");
        if (!m_dir.isValid())
            return QStringLiteral("no temporary folder");
        QString why;
        if (!m_sound.start(why))
            return why;
        const QString data = m_dir.path();
        // The temporary recording has one name per system: ours lies here.
        QDir(data).mkpath(QStringLiteral("tmp"));
        qputenv("TMPDIR", (data + QStringLiteral("/tmp")).toUtf8());
        InstallDeliveredCallLog(data);
        SetLogFileName(data + QStringLiteral("/bench.log"));
        SetLoggingEnabled(true);
        if (!m_autoAnswering.create(data))
            return QStringLiteral("the auto-answering agent cannot be written");
        qputenv("TEMBREL_BARESIP", m_autoAnswering.program().toUtf8());

        m_far = std::make_unique<BaresipAgent>(data + QStringLiteral("/far"));
        m_far->setAudio(QStringLiteral("alsa,pulse:speaker"), QStringLiteral("ausine,1000"));
        SipAccount far;
        far.address = QStringLiteral("sip:far@127.0.0.1");
        far.netInterface = QStringLiteral("127.0.0.1");
        m_far->onEvent = [this](const BaresipEvent &event) {
            if (event.type == QLatin1String("CALL_ESTABLISHED"))
                m_farEstablished = true;
        };
        m_far->start(far);

        SipAccount line;
        line.address = QStringLiteral("sip:me@127.0.0.1");
        line.netInterface = QStringLiteral("127.0.0.1");
        line.microphone = QStringLiteral("mic");
        line.save(data + QStringLiteral("/sip"), 1);

        m_session = std::make_unique<TSession>();
        m_session->SetSettingsFileName(data + QStringLiteral("/tembrel.ini"));
        QObject::connect(m_session.get(), &TSession::statusChanged, [this](int state, int, const QString &, const QString &) {
            if (state == kOffering && !m_offeredAt)
                m_offeredAt = m_clock.nsecsElapsed();
            if (state == kConnected)
                m_connected = true;
        });
        QObject::connect(m_session.get(), &TSession::callLogged,
                         [this](const TLoggedCall &) { m_loggedAt = m_clock.nsecsElapsed(); });
        m_session->StartProviders(LineProviderOptions{false, data});
        TSettings settings;
        settings.TAPIDevice = QStringLiteral("SIP linka 1");
        settings.AudioInputDevice = QStringLiteral("SIP linka 1 - hovor");
        settings.AutoStartWatch = true;
        settings.RecordFormat.SetPCM(8000, 16, 1);
        QString error;
        if (!m_session->ApplyStartSettings(settings, &error) || !m_session->OpenCallLog(error)
            || !m_session->StartWatch(&error))
            return error;
        if (m_session->RecordingInput().isEmpty())
            return QStringLiteral("the conversation input is not offered");
        static const QRegularExpression ready(QStringLiteral("SIP linka 1: user agent ready, SIP port (\\d+)"));
        if (!Pump([&] {
                const auto match = ready.match(QString::fromUtf8(ReadFileToString(LogFileName())));
                m_port = match.hasMatch() ? quint16(match.captured(1).toUInt()) : 0;
                return m_port && m_far->state() == BaresipAgent::State::Ready;
            }, 15000))
            return QStringLiteral("the user agents did not start (see %1)").arg(data);
        m_clock.start();
        return QString();
    }

    // One call, offered, answered and hung up by the far end; false when it got stuck.
    bool call(double &inviteToOffering, double &byeToRow)
    {
        m_offeredAt = m_loggedAt = 0;
        m_connected = m_farEstablished = false;
        const qint64 dialled = m_clock.nsecsElapsed();
        m_far->control().send(QStringLiteral("dial"), QStringLiteral("sip:me@127.0.0.1:%1").arg(m_port));
        // Hung up before it is established at the far end too, the call would be cancelled.
        if (!Pump([&] { return m_offeredAt && m_connected && m_farEstablished; }))
            return false;
        const qint64 hungUp = m_clock.nsecsElapsed();
        m_far->control().send(QStringLiteral("hangup"));
        if (!Pump([&] { return m_loggedAt != 0; }))
            return false;
        inviteToOffering = double(m_offeredAt - dialled) / 1e9;
        byeToRow = double(m_loggedAt - hungUp) / 1e9;
        return true;
    }

private:
    QTemporaryDir m_dir;
    SoundServer m_sound;
    AutoAnsweringAgent m_autoAnswering;
    std::unique_ptr<BaresipAgent> m_far;
    std::unique_ptr<TSession> m_session;
    quint16 m_port = 0;
    QElapsedTimer m_clock;
    qint64 m_offeredAt = 0;
    qint64 m_loggedAt = 0;
    bool m_connected = false;
    bool m_farEstablished = false;
};

std::unique_ptr<SipBench> g_bench;

// The agents and the sound server end while the application object still exists.
void EndBench() { g_bench.reset(); }

SipBench *Bench(QString &why)
{
    static QString failure;
    if (!g_bench) {
        g_bench = std::make_unique<SipBench>();
        qAddPostRoutine(EndBench);
        failure = g_bench->setUp();
    }
    why = failure;
    return failure.isEmpty() ? g_bench.get() : nullptr;
}

// Each benchmark times its own stretch of every call; the median over the calls is its counter.
void RunCalls(benchmark::State &state, bool offering)
{
    QString why;
    SipBench *bench = Bench(why);
    if (!bench) {
        state.SkipWithError(why.toUtf8().constData());
        return;
    }
    std::vector<double> times;
    for (auto _ : state) {
        double inviteToOffering = 0, byeToRow = 0;
        if (!bench->call(inviteToOffering, byeToRow)) {
            state.SkipWithError("a call got stuck");
            return;
        }
        const double seconds = offering ? inviteToOffering : byeToRow;
        times.push_back(seconds);
        state.SetIterationTime(seconds);
    }
    state.counters["median_ms"] = Median(times) * 1000;
}

void BM_SipInviteToOffering(benchmark::State &state) { RunCalls(state, true); }
BENCHMARK(BM_SipInviteToOffering)->UseManualTime()->Iterations(100)->Unit(benchmark::kMillisecond);

void BM_SipByeToCallRow(benchmark::State &state) { RunCalls(state, false); }
BENCHMARK(BM_SipByeToCallRow)->UseManualTime()->Iterations(100)->Unit(benchmark::kMillisecond);

} // namespace
