#include "tembrelapp.h"

#include "autostart.h"
#include "calltypeicons.h"
#include "dboutput.h"
#include "datafolder.h"
#include "deAudioIO.h"
#include "fltaud.h"
#include "help.h"
#include "maintmb.h"
#include "messageboxwidget.h"
#include "myappmsg.h"
#include "myutils.h"
#include "optlist.h"
#include "session.h"
#include "simulatedline.h"
#include "simulatedwavein.h"
#include "stattmb.h"
#include "udmaudio.h"
#include "udmcd.h"
#include "udmtapi.h"
#include "waveinregistry.h"

#include <QApplication>
#include <QFileInfo>
#include <QLibraryInfo>
#include <QTranslator>
#include <QThread>

#include <QSocketNotifier>

#include <cerrno>
#include <csignal>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

// Close to the high priority class of a desktop program, without real-time scheduling.
constexpr int kRaisedNice = -10;

std::function<void(int)> g_pause;

// SIGINT and SIGTERM (the session ending, a kill) reach the event loop through a socket
// pair, so that the line is closed and a running recording logged before the end.
int g_signalPair[2] = {-1, -1};

void onTerminationSignal(int)
{
    const char byte = 1;
    [[maybe_unused]] const ssize_t written = ::write(g_signalPair[0], &byte, 1);
}

// The application object: an error that leaves an event handler is shown in the
// general error box and the program goes on.
class TApplication : public QApplication {
public:
    using QApplication::QApplication;
    bool notify(QObject *receiver, QEvent *event) override
    {
        try {
            return QApplication::notify(receiver, event);
        } catch (const std::exception &e) {
            ShowMessageBox(QString::fromUtf8(e.what()), mkError, mbOK);
        }
        return false;
    }
};

} // namespace

bool RaiseProcessPriority()
{
    errno = 0;
    const int current = getpriority(PRIO_PROCESS, 0);
    if (current == -1 && errno != 0)
        return false;
    if (current <= kRaisedNice)
        return true;
    // Without the right to raise it (EPERM, EACCES) the priority simply stays.
    return setpriority(PRIO_PROCESS, 0, kRaisedNice) == 0;
}

void PauseMilliseconds(int ms)
{
    if (ms <= 0)
        return;
    if (g_pause)
        g_pause(ms);
    else
        QThread::msleep(static_cast<unsigned long>(ms));
}

void SetPauseFunction(std::function<void(int ms)> pause) { g_pause = std::move(pause); }

// ---- TTembrelApp ---------------------------------------------------------------------------

TTembrelApp::TTembrelApp(const QStringList &arguments)
    : m_arguments(arguments), m_switches(TProgramSwitches::FromArguments(arguments))
{
}

TTembrelApp::~TTembrelApp()
{
    if (tmyappmsgobject *messages = AppMsgObject()) {
        messages->OnClose = nullptr;
        messages->OnFront = nullptr;
    }
    if (fmaintmb) {
        // The window outlives the modules; nothing may reach them through it any more.
        fmaintmb->foptlist = nullptr;
        fmaintmb->fstattmb = nullptr;
        fmaintmb->ffltaud = nullptr;
    }
    foptlist.reset();
    fstattmb.reset();
    ffltaud.reset();
    // Closing the line here still logs a running recording into the call log.
    if (session)
        session->CallData().tb_audio->afterScroll = nullptr;
    if (fmaintmb)
        fmaintmb->session = nullptr;
    session.reset();
    fmaintmb.reset();
}

void TTembrelApp::Prepare()
{
    SetLogFileName(JoinPath(DataDirectory(), QFileInfo(LogFileName()).fileName()));
    SetLoggingEnabled(true);
    WriteLogLine(DataFolderLogLine());
    if (m_switches.uninst) {
        SetAutoStart(false);
        PauseMilliseconds(1000);
    }
    CheckSingleInstance(true);
}

void TTembrelApp::prepareSimulatedSettings()
{
    // A first simulated start watches the simulated line and records from the virtual
    // input at once; a settings file that exists is never touched.
    if (QFileInfo::exists(ConfigFileName()))
        return;
    TSettings settings;
    settings.TAPIDevice = SimulatedLine::NameFor(1);
    settings.AudioInputDevice = TSimulatedWaveInDriver::DeviceName();
    settings.AutoStartWatch = true;
    settings.TAPIAutoCheck = true;
    settings.CommandCalls = true;
    settings.MissedCalls = true;
    try {
        SaveSettings(ConfigFileName(), settings);
    } catch (const std::exception &e) {
        WriteLogLine(QStringLiteral("Simulated settings not written: ") + QString::fromUtf8(e.what()));
    }
}

bool TTembrelApp::CreateObjects()
{
    if (m_switches.simulate) {
        QString error;
        if (!ApplySimulatedInputSwitches(m_arguments, &error))
            WriteLogLine(error);
        prepareSimulatedSettings();
    }

    fmaintmb = std::make_unique<Tfmaintmb>(m_switches);
    try {
        session = std::make_unique<TSession>();
    } catch (const EDataFolderInUse &e) {
        // Two loggers on one data folder would lose each other's calls.
        WriteLogLine(e.message());
        ShowMessageBox(e.message() + QStringLiteral(" Program bude ukončen."), mkError, mbOK);
        return false;
    }
    // The input devices as they are now, the virtual input included when offered.
    session->StartProviders(LineProviderOptions{m_switches.simulate, DataDirectory()});
    fmaintmb->session = session.get();
    ffltaud = std::make_unique<Tffltaud>();
    fstattmb = std::make_unique<Tfstattmb>(&session->CallData());
    foptlist = std::make_unique<Tfoptlist>(session.get());
    fmaintmb->ffltaud = ffltaud.get();
    fmaintmb->fstattmb = fstattmb.get();
    fmaintmb->foptlist = foptlist.get();
    // F1 in any of the program's windows opens its help.
    if (QCoreApplication *application = QCoreApplication::instance()) {
        helpKey = std::make_unique<THelpKey>();
        application->installEventFilter(helpKey.get());
    }

    if (tmyappmsgobject *messages = AppMsgObject()) {
        Tfmaintmb *window = fmaintmb.get();
        messages->OnClose = [window] { window->CloseMainWindow(); };
        messages->OnFront = [window] { window->BringToFront(); };
    }
    return true;
}

bool TTembrelApp::Start()
{
    if (m_switches.install) {
        foptlist->ShownAlone = true;
        session->ApplyStartSettings(session->ReadSettings());
        foptlist->LoadSettings();
        foptlist->exec();
        return false;
    }
    if (!fmaintmb->Startup())
        return false;
    fmaintmb->ctiStartup();
    return true;
}

int TTembrelApp::Exec()
{
    fmaintmb->EndApplication = [] { QCoreApplication::exit(0); };
    std::unique_ptr<QSocketNotifier> signalNotifier;
    if (g_signalPair[0] < 0 && ::socketpair(AF_UNIX, SOCK_STREAM, 0, g_signalPair) == 0) {
        signalNotifier = std::make_unique<QSocketNotifier>(g_signalPair[1], QSocketNotifier::Read);
        Tfmaintmb *window = fmaintmb.get();
        QObject::connect(signalNotifier.get(), &QSocketNotifier::activated, window, [window] {
            char byte = 0;
            [[maybe_unused]] const ssize_t got = ::read(g_signalPair[1], &byte, 1);
            window->CloseMainWindow();
        });
        struct sigaction action = {};
        action.sa_handler = onTerminationSignal;
        sigemptyset(&action.sa_mask);
        action.sa_flags = SA_RESTART;
        sigaction(SIGINT, &action, nullptr);
        sigaction(SIGTERM, &action, nullptr);
    }
    const int result = QApplication::exec();
    if (signalNotifier) {
        std::signal(SIGINT, SIG_DFL);
        std::signal(SIGTERM, SIG_DFL);
        signalNotifier.reset();
        ::close(g_signalPair[0]);
        ::close(g_signalPair[1]);
        g_signalPair[0] = g_signalPair[1] = -1;
    }
    return result;
}

int TTembrelApp::Run()
{
    Prepare();
    if (!CreateObjects())
        return 1;
    if (!Start())
        return 0;
    return Exec();
}

void NameApplication()
{
    // No display name: the platform would append it to every window's caption.
    QApplication::setApplicationName(ApplicationTitle());
}

QTranslator *InstallToolkitTranslations()
{
    // The toolkit's own dialogs and buttons (file dialogs, "Cancel") speak Czech too.
    auto *translator = new QTranslator(QCoreApplication::instance());
    if (!translator->load(QStringLiteral("qtbase_cs"), QLibraryInfo::path(QLibraryInfo::TranslationsPath))
        || !QCoreApplication::installTranslator(translator)) {
        WriteLogLine(QStringLiteral("Error - the toolkit's Czech translations were not found"));
        delete translator;
        return nullptr;
    }
    return translator;
}

int RunTembrel(int argc, char **argv)
{
    TApplication application(argc, argv);
    NameApplication();
    // Lets the desktop match the windows to the menu entry and its icon.
    QGuiApplication::setDesktopFileName(QStringLiteral("example.tembrel.Personal"));
    InstallToolkitTranslations();
    // Every window, the about box and the tray take the program's icon.
    QApplication::setWindowIcon(ApplicationIcon());
    // The window hides to the tray; only closing it for good ends the program.
    QApplication::setQuitOnLastWindowClosed(false);
    const QStringList arguments = QApplication::arguments();
    InitApplicationFiles(QApplication::applicationFilePath(), arguments);
    // A folder that cannot be prepared shows up as the call log that cannot be opened.
    QString folderError;
    if (!SelectDataFolder(folderError))
        qWarning("%s", qPrintable(folderError));
    InstallWidgetHandlers();
    InstallOutputDialogs();
    int result = 0;
    {
        TTembrelApp program(arguments);
        result = program.Run();
    }
    DoneApplicationFiles();
    return result;
}
