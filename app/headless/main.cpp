// tembrel-headless: watches the line without windows, printing every status report and
// every call it would log. Ends cleanly on SIGINT and SIGTERM, closing the line first.
#include "exception.h"
#include "headlesshost.h"
#include "linesimserver.h"
#include "myutils.h"
#include "settingsfile.h"
#include "simulatedline.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QSocketNotifier>
#include <csignal>
#include <cstdio>
#include <sys/socket.h>
#include <unistd.h>

namespace {

int g_signalPipe[2] = {-1, -1};

void onSignal(int)
{
    const char byte = 1;
    // Only an async-signal-safe write here; the event loop does the rest.
    [[maybe_unused]] const ssize_t written = ::write(g_signalPipe[0], &byte, 1);
}

void print(const QString &text)
{
    std::fputs(text.toLocal8Bit().constData(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

// "--<name> <value>" or "--<name>=<value>".
QString optionValue(const QStringList &args, const QString &name)
{
    const QString option = QStringLiteral("--") + name;
    for (int i = 1; i < args.size(); ++i) {
        if (args.at(i).startsWith(option + QLatin1Char('=')))
            return args.at(i).mid(option.size() + 1);
        if (args.at(i) == option && i + 1 < args.size())
            return args.at(i + 1);
    }
    return QString();
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("Tembrel Personal"));
    const QStringList args = QCoreApplication::arguments();
    InitApplicationFiles(QCoreApplication::applicationFilePath(), args);
    QString settingsFile = ConfigFileName();
    // --datadir: work in another data directory (the settings file is then read from there).
    const QString dataDir = optionValue(args, QStringLiteral("datadir"));
    if (!dataDir.isEmpty()) {
        SetDataDirectory(QFileInfo(dataDir).absoluteFilePath());
        settingsFile = JoinPath(DataDirectory(), QFileInfo(settingsFile).fileName());
    }
    SetLogFileName(JoinPath(DataDirectory(), QFileInfo(LogFileName()).fileName()));
    SetLoggingEnabled(true);

    if (::socketpair(AF_UNIX, SOCK_STREAM, 0, g_signalPipe) != 0) {
        print(QStringLiteral("ERROR cannot set up signal handling"));
        return 1;
    }
    QSocketNotifier signalNotifier(g_signalPipe[1], QSocketNotifier::Read);
    struct sigaction action {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);

    const bool simulate = HasSwitch(args, QStringLiteral("simulate"));
    std::unique_ptr<SimulatedProvider> provider;
    std::unique_ptr<LineSimServer> lineSim;
    if (simulate) {
        provider = std::make_unique<SimulatedProvider>(1);
        lineSim = std::make_unique<LineSimServer>(provider->line(1));
        if (lineSim->listen(LineSimSocketName(1)))
            print(QStringLiteral("LINESIM %1").arg(lineSim->serverName()));
        else
            print(QStringLiteral("ERROR line control socket: %1").arg(lineSim->errorString()));
    }

    TConsoleCallLog callLog(print);
    TNoRecorder recorder;
    int exitCode = 0;
    {
        THeadlessHost host(&callLog, &recorder);
        host.OnStatus = [](int state, int callType, const QString &number, const QString &text) {
            print(QStringLiteral("STATUS %1 %2 %3 %4").arg(state).arg(callType).arg(number.isEmpty() ? QStringLiteral("-") : number, text));
        };
        QObject::connect(&signalNotifier, &QSocketNotifier::activated, &app, [&] {
            char byte = 0;
            [[maybe_unused]] const ssize_t got = ::read(g_signalPipe[1], &byte, 1);
            print(QStringLiteral("STOP"));
            host.Stop();
            app.quit();
        });

        const TSettings settings = LoadSettings(settingsFile);
        QString error;
        if (!host.ApplySettings(settings, simulate, error)) {
            print(QStringLiteral("ERROR %1").arg(error));
            exitCode = 1;
        } else {
            if (host.Start(error))
                print(QStringLiteral("READY %1").arg(host.Tapi().LineName));
            else
                print(QStringLiteral("ERROR Chyba při inicializaci TAPI - \"%1\"").arg(error));
            // --scenario: a scenario file played on the simulated line once the loop runs.
            std::unique_ptr<ScenarioPlayer> player;
            const QString scenario = optionValue(args, QStringLiteral("scenario"));
            if (simulate && !scenario.isEmpty()) {
                try {
                    const QByteArray text = ReadFileToString(scenario);
                    if (text.isNull())
                        throw Exception(QStringLiteral("cannot read %1").arg(scenario));
                    player = std::make_unique<ScenarioPlayer>(provider->line(1), ParseScenario(QString::fromUtf8(text)));
                    player->onEvent = [](const LineEvent &event, const QString &problem) {
                        print(problem.isEmpty() ? QStringLiteral("EVENT ") + event.text()
                                                : QStringLiteral("ERROR scenario ") + problem);
                    };
                    player->start();
                } catch (const Exception &e) {
                    print(QStringLiteral("ERROR scenario %1").arg(e.message()));
                }
            }
            exitCode = app.exec();
        }
    }
    lineSim.reset();
    provider.reset();
    ::close(g_signalPipe[0]);
    ::close(g_signalPipe[1]);
    return exitCode;
}
