// tembrel-headless: the program without windows. It logs every call on the watched line
// into data.xml and records each conversation into data/, printing a line for every status
// report and every stored call. Ends cleanly on SIGINT and SIGTERM: the watch stops first,
// so a running recording is stored with its call.
#include "datafolder.h"
#include "exception.h"
#include "formatsettings.h"
#include "headlessexport.h"
#include "myutils.h"
#include "session.h"
#include "simulatedline.h"
#include "udmaudio.h"
#include "udmcd.h"
#include "waveinregistry.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QSocketNotifier>
#include <QTimer>
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

// A failure that ends the program: a status line, and the message where a shell shows it.
void fail(const QString &text)
{
    print(QStringLiteral("ERROR ") + text);
    std::fputs((QStringLiteral("tembrel-headless: ") + text + QLatin1Char('\n')).toLocal8Bit().constData(), stderr);
    std::fflush(stderr);
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

QString callLine(const TLoggedCall &call)
{
    return QStringLiteral("CALL type=%1 audio=%2 start=%3 %4 end=%5 %6 length=%7 number=%8 file=%9")
        .arg(call.CallType)
        .arg(call.AudioType)
        .arg(FormatShortDate(call.WhenStart), FormatLongTime(call.WhenStart), FormatShortDate(call.WhenEnd),
             FormatLongTime(call.WhenEnd))
        .arg(call.Length)
        .arg(call.PhoneNumber, call.RecordingFile);
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("Tembrel Personal"));
    const QStringList args = QCoreApplication::arguments();
    InitApplicationFiles(QCoreApplication::applicationFilePath(), args);
    // --datadir: work in another data directory (the settings file is then read from there);
    // without it the executable's folder, or the user's data folder when installed.
    const QString dataDir = optionValue(args, QStringLiteral("datadir"));
    QString folderError;
    bool folderReady = true;
    if (!dataDir.isEmpty()) {
        UseDataFolder(QFileInfo(dataDir).absoluteFilePath());
        folderReady = PrepareDataFolder(DataDirectory(), InstalledTemplateFile(ApplicationDirectory()), folderError);
    } else {
        folderReady = SelectDataFolder(folderError);
    }
    const QString settingsFile = ConfigFileName();
    // As the program does: the log lies in the data directory and is always written.
    SetLoggingEnabled(true);
    if (!folderReady) {
        fail(folderError);
        return 1;
    }
    WriteLogLine(DataFolderLogLine());
    print(QStringLiteral("DATA ") + DataDirectory());

    // --export FILE: write the log into a file and end, without touching the line.
    const QString exportFile = optionValue(args, QStringLiteral("export"));
    if (!exportFile.isEmpty()) {
        QString error;
        if (!ExportCallLog(exportFile, optionValue(args, QStringLiteral("template")),
                           optionValue(args, QStringLiteral("filter")), error)) {
            fail(error);
            return 1;
        }
        print(QStringLiteral("EXPORTED ") + exportFile);
        return 0;
    }

    if (::socketpair(AF_UNIX, SOCK_STREAM, 0, g_signalPipe) != 0) {
        fail(QStringLiteral("cannot set up signal handling"));
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
    if (simulate) {
        QString error;
        if (!ApplySimulatedInputSwitches(args, &error))
            print(QStringLiteral("ERROR virtual input: %1").arg(error));
    }

    int exitCode = 0;
    std::unique_ptr<TSession> held;
    try {
        held = std::make_unique<TSession>();
    } catch (const EDataFolderInUse &e) {
        // Another logger works in this data folder: two would lose each other's calls.
        fail(e.message());
        exitCode = 1;
    }
    if (held) {
        TSession &session = *held;
        session.SetSettingsFileName(settingsFile);
        session.StartProviders(LineProviderOptions{simulate, DataDirectory()});
        if (SimulatedProvider *simulation = session.Simulation()) {
            if (!simulation->controlSocketName().isEmpty())
                print(QStringLiteral("LINESIM %1").arg(simulation->controlSocketName()));
            else
                print(QStringLiteral("ERROR line control socket: %1").arg(simulation->controlSocketError()));
        }
        QObject::connect(&session, &TSession::statusChanged,
                         [](int state, int callType, const QString &number, const QString &text) {
                             print(QStringLiteral("STATUS %1 %2 %3 %4")
                                       .arg(state)
                                       .arg(callType)
                                       .arg(number.isEmpty() ? QStringLiteral("-") : number, text));
                         });
        QObject::connect(&session, &TSession::logWritten,
                         [](int level, const QString &text) { print(QStringLiteral("LOG %1 %2").arg(level).arg(text)); });
        QObject::connect(&session, &TSession::callLogged, [](const TLoggedCall &call) { print(callLine(call)); });
        QObject::connect(&session, &TSession::silenceFound, [] {
            print(QStringLiteral("SILENCE Chyba - zdetekováno dlouhé ticho v aktuální nahrávce."));
        });
        QObject::connect(&session, &TSession::watchStarted,
                         [](const QString &line) { print(QStringLiteral("READY %1").arg(line)); });
        QObject::connect(&session, &TSession::warning,
                         [](const QString &text) { print(QStringLiteral("WARNING ") + text); });
        QObject::connect(&session, &TSession::recordingsRemoved,
                         [](const QString &summary) { print(QStringLiteral("REMOVED ") + summary); });
        QObject::connect(&session, &TSession::phonebookFailed,
                         [](const QString &message) { print(QStringLiteral("WARNING ") + message); });
        QObject::connect(&session, &TSession::watchFailed,
                         [](const QString &message) { print(QStringLiteral("ERROR ") + message); });
        QObject::connect(&signalNotifier, &QSocketNotifier::activated, &app, [&] {
            char byte = 0;
            [[maybe_unused]] const ssize_t got = ::read(g_signalPipe[1], &byte, 1);
            print(QStringLiteral("STOP"));
            session.StopWatch();
            app.quit();
        });

        QString formatWarning;
        TSettings settings = session.ReadSettings(&formatWarning);
        if (!formatWarning.isEmpty())
            print(QStringLiteral("WARNING ") + formatWarning);
        if (simulate)
            settings = TSession::WithSimulatedDefaults(settings);
        QString error;
        if (!session.ApplyStartSettings(settings, &error)) {
            fail(error);
            exitCode = 1;
        } else if (!session.OpenCallLog(error)) {
            fail(QStringLiteral("%1 (%2; the log %3 says why)").arg(error, Tdmcd::DataFileName(), LogFileName()));
            exitCode = 1;
        } else {
            const QString input = session.RecordingInput();
            if (input.isEmpty())
                print(QStringLiteral("RECORDING off"));
            else
                print(QStringLiteral("RECORDING %1: %2").arg(input, session.Audio().Recorder().FormatDescription()));

            // Once the loop runs, as the program does after its start: a missing input is
            // reported, and the line is opened when it is to be watched.
            QTimer::singleShot(0, &app, [&session] {
                if (!session.Audio().InputDeviceAvailable()) {
                    WriteLogLine(QStringLiteral("Error - No input record device was found"));
                    print(QStringLiteral("WARNING Chyba - nebylo nalezeno žádné záznamové zařízení pro nahrávaní."));
                }
                if (!session.Settings().AutoStartWatch) {
                    print(QStringLiteral("NOWATCH the line is not watched (AutoStartWatch is off)"));
                    return;
                }
                session.StartWatch();
            });

            // --scenario: a scenario file played on the simulated line once the loop runs.
            std::unique_ptr<ScenarioPlayer> player;
            const QString scenario = optionValue(args, QStringLiteral("scenario"));
            if (session.Simulation() && !scenario.isEmpty()) {
                try {
                    const QByteArray text = ReadFileToString(scenario);
                    if (text.isNull())
                        throw Exception(QStringLiteral("cannot read %1").arg(scenario));
                    player = std::make_unique<ScenarioPlayer>(session.Simulation()->line(1),
                                                              ParseScenario(QString::fromUtf8(text)));
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
        held.reset();
    }
    ::close(g_signalPipe[0]);
    ::close(g_signalPipe[1]);
    return exitCode;
}
