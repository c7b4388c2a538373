#include "myutils.h"

#include "clock.h"
#include "formatsettings.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QSaveFile>
#include <QStandardPaths>
#include <QUrl>

#ifndef TEMBREL_VERSION
#define TEMBREL_VERSION "0.0.0.0"
#endif

// The version record other tools and GetVersionInfo find inside our executables.
extern "C" {
__attribute__((used)) const char kTembrelVersionRecord[] = "TembrelVersionInfo=" TEMBREL_VERSION ";";
}

namespace {
int g_language = 2;
QString g_exePath;
QString g_appDir;
QString g_dataDir;
QString g_configFile;
QString g_logFile;
bool g_logging = false;

IMessageBoxHandler *g_messageBox = nullptr;
ICursorHandler *g_cursor = nullptr;
int g_waitDepth = 0;
WaitCursor g_savedCursor = WaitCursor::Arrow;

QString withExtension(const QString &path, const QString &ext)
{
    const QFileInfo info(path);
    return JoinPath(StripTrailingDelimiter(info.path()), info.completeBaseName() + ext);
}
} // namespace

int LanguageIndex() { return g_language; }
void SetLanguageIndex(int index) { g_language = index; }

uint32_t LanguageIdentifier(int index)
{
    static const uint32_t ids[3] = {0x0409, 0x0405, 0x041B};
    return index >= 1 && index <= 3 ? ids[index - 1] : 0;
}

bool HasSwitch(const QStringList &arguments, const QString &name)
{
    for (const QString &arg : arguments) {
        if (arg.size() > 1 && (arg.at(0) == QLatin1Char('-') || arg.at(0) == QLatin1Char('/'))
            && arg.mid(1).compare(name, Qt::CaseInsensitive) == 0)
            return true;
    }
    return false;
}

void InitApplicationFiles(const QString &executablePath, const QStringList &arguments)
{
    g_exePath = QFileInfo(executablePath).absoluteFilePath();
    g_appDir = StripTrailingDelimiter(QFileInfo(g_exePath).absolutePath());
    g_dataDir = g_appDir;
    g_configFile = withExtension(g_exePath, QStringLiteral(".ini"));
    g_logFile = withExtension(g_exePath, QStringLiteral(".log"));
    g_logging = HasSwitch(arguments, QStringLiteral("log"));
}

void DoneApplicationFiles()
{
    g_exePath.clear();
    g_appDir.clear();
    g_dataDir.clear();
    g_configFile.clear();
    g_logFile.clear();
}

QString ExecutablePath() { return g_exePath; }
QString ApplicationDirectory() { return g_appDir; }
QString DataDirectory() { return g_dataDir; }
void SetDataDirectory(const QString &dir) { g_dataDir = StripTrailingDelimiter(dir); }
QString ConfigFileName() { return g_configFile; }
QString LogFileName() { return g_logFile; }
void SetLogFileName(const QString &fileName) { g_logFile = fileName; }
bool LoggingEnabled() { return g_logging; }
void SetLoggingEnabled(bool enabled) { g_logging = enabled; }

// ---- Message box and busy cursor ---------------------------------------------

void SetMessageBoxHandler(IMessageBoxHandler *handler) { g_messageBox = handler; }
IMessageBoxHandler *MessageBoxHandler() { return g_messageBox; }

QString MessageBoxCaption(int kind)
{
    const bool slovak = g_language == 3;
    switch (kind) {
    case mkWarning: return slovak ? QStringLiteral("Upozornenie") : QStringLiteral("Upozornění");
    case mkError: return QStringLiteral("Chyba");
    case mkInformation:
    case mkPlain: return slovak ? QStringLiteral("Informácia") : QStringLiteral("Informace");
    case mkConfirmation: return slovak ? QStringLiteral("Potvrdenie") : QStringLiteral("Potvrzení");
    default: return QString();
    }
}

bool IsAcceptedButtonSet(unsigned buttons)
{
    switch (buttons) {
    case mbOK:
    case mbOK | mbCancel:
    case mbYes | mbNo:
    case mbYes | mbNo | mbCancel:
    case mbCancel | mbRetry:
    case mbAbort | mbRetry | mbIgnore: return true;
    default: return false;
    }
}

int ShowMessageBox(const QString &text, int kind, unsigned buttons, int helpContext)
{
    if (!IsAcceptedButtonSet(buttons)) {
        if (g_messageBox)
            g_messageBox->showPlainMessage(QStringLiteral("Msgdlg buttons error!"));
        buttons = mbOK;
    }
    if (!g_messageBox) {
        // No windows: the message goes to the log, and the box answers as its default button would.
        WriteLogLine(MessageBoxCaption(kind) + QStringLiteral(": ") + text);
        if (buttons & mbOK) return mrOk;
        if (buttons & mbYes) return mrYes;
        if (buttons & mbRetry) return mrRetry;
        return mrAbort;
    }
    return g_messageBox->showBox(text, MessageBoxCaption(kind), kind, buttons, helpContext);
}

void SetCursorHandler(ICursorHandler *handler) { g_cursor = handler; }
int WaitDepth() { return g_waitDepth; }

void BeginWait(WaitCursor cursor)
{
    if (g_waitDepth == 0 && g_cursor) {
        g_savedCursor = g_cursor->current();
        g_cursor->set(cursor);
    }
    ++g_waitDepth;
}

void EndWait()
{
    if (g_waitDepth < 1)
        return;
    if (--g_waitDepth == 0 && g_cursor)
        g_cursor->set(g_savedCursor);
}

// ---- Texts ---------------------------------------------------------------------

QString SplitFirst(QString &text, const QString &delimiter)
{
    const int at = text.indexOf(delimiter);
    if (at < 0) {
        QString whole = text;
        text.clear();
        return whole;
    }
    QString first = text.left(at);
    text = text.mid(at + delimiter.size());
    return first;
}

QString NormalizeListSeparators(const QString &text)
{
    QString result = text;
    result.replace(QLatin1Char(';'), QLatin1Char(','));
    result.replace(QLatin1Char('|'), QLatin1Char(','));
    return result;
}

int IfThen(bool condition, int whenTrue, int whenFalse) { return condition ? whenTrue : whenFalse; }
QString IfThen(bool condition, const QString &whenTrue, const QString &whenFalse)
{
    return condition ? whenTrue : whenFalse;
}

bool FlagFromText(const QString &text, bool defaultValue)
{
    bool ok = false;
    const long long value = text.trimmed().toLongLong(&ok);
    return ok ? value != 0 : defaultValue;
}

QString ByteToText(uint8_t value) { return QString::number(value); }

QString ZeroPadNumber(long long number, int width) { return ZeroPadText(QString::number(number), width); }

QString ZeroPadText(const QString &text, int width)
{
    return text.size() >= width ? text : QString(width - text.size(), QLatin1Char('0')) + text;
}

QString SecondsToDuration(long long seconds)
{
    const QChar sep = SystemFormats().timeSeparator;
    const bool negative = seconds < 0;
    const long long s = negative ? -seconds : seconds;
    return (negative ? QStringLiteral("-") : QString()) + ZeroPadNumber(s / 3600, 2) + sep
        + ZeroPadNumber((s % 3600) / 60, 2) + sep + ZeroPadNumber(s % 60, 2);
}

QString HtmlEscape(const QString &text)
{
    QString r = text;
    r.replace(QLatin1Char('&'), QStringLiteral("&amp;"));
    r.replace(QLatin1Char('<'), QStringLiteral("&lt;"));
    r.replace(QLatin1Char('>'), QStringLiteral("&gt;"));
    r.replace(QLatin1Char('"'), QStringLiteral("&quot;"));
    r.replace(QLatin1Char('\''), QStringLiteral("&apos;"));
    return r;
}

QString HexEncode(const QByteArray &bytes) { return QString::fromLatin1(bytes.toHex().toUpper()); }

QByteArray HexDecode(const QString &text)
{
    const QByteArray even = text.left(text.size() & ~1).toLatin1();
    return QByteArray::fromHex(even);
}

uint32_t TickDifference(uint32_t older, uint32_t newer)
{
    return newer >= older ? newer - older : (0xFFFFFFFFu - older) + newer;
}

// ---- Paths and files -------------------------------------------------------------

QString JoinPath(const QString &dir, const QString &name)
{
    return dir.endsWith(QLatin1Char('/')) ? dir + name : dir + QLatin1Char('/') + name;
}

bool IsDriveRoot(const QString &path) { return path == QLatin1String("/"); }

QString StripTrailingDelimiter(const QString &path)
{
    if (IsDriveRoot(path) || !path.endsWith(QLatin1Char('/')))
        return path;
    return path.left(path.size() - 1);
}

bool EnsureDirectory(const QString &dir)
{
    const QString d = StripTrailingDelimiter(dir);
    if (d.isEmpty())
        return false;
    return QFileInfo(d).isDir() || QDir().mkpath(d);
}

QString TempDirectory()
{
    QString dir = QDir::tempPath();
    if (!dir.endsWith(QLatin1Char('/')))
        dir += QLatin1Char('/');
    return dir.left(260);
}

long long FileSizeByName(const QString &fileName)
{
    const QFileInfo info(fileName);
    if (!info.exists() || info.isDir())
        return -1;
    return info.size();
}

QByteArray ReadFileToString(const QString &fileName)
{
    QFile f(fileName);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    QByteArray bytes = f.readAll();
    if (f.error() != QFileDevice::NoError)
        return {};
    return bytes;
}

bool WriteStringToFile(const QByteArray &bytes, const QString &fileName)
{
    QSaveFile f(fileName);
    if (!f.open(QIODevice::WriteOnly))
        return false;
    if (f.write(bytes) != bytes.size()) {
        f.cancelWriting();
        return false;
    }
    return f.commit();
}

void WriteLogLine(const QString &message, const QString &fileName)
{
    if (!g_logging)
        return;
    const QString target = fileName.isEmpty() ? g_logFile : fileName;
    if (target.isEmpty())
        return;
    QFile f(target);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Append))
        return;
    const double now = Now();
    const QString line = FormatShortDate(now) + QLatin1Char(' ') + FormatLongTime(now) + QLatin1Char(' ')
        + message + QStringLiteral("\r\n");
    f.write(line.toUtf8());
}

// ---- Shell and version -------------------------------------------------------------

namespace {
bool runQuiet(const QString &program, const QStringList &args, QString *output = nullptr)
{
    QProcess p;
    p.start(program, args);
    if (!p.waitForStarted(5000))
        return false;
    if (!output)
        return p.waitForFinished(10000) ? p.exitCode() == 0 : true;
    if (!p.waitForFinished(10000) || p.exitCode() != 0)
        return false;
    *output = QString::fromLocal8Bit(p.readAllStandardOutput()).trimmed();
    return true;
}

QString desktopFileExec(const QString &desktopId)
{
    const QString file = QStandardPaths::locate(QStandardPaths::ApplicationsLocation, desktopId);
    const QByteArray bytes = ReadFileToString(file);
    for (const QByteArray &line : bytes.split('\n')) {
        if (line.startsWith("Exec=")) {
            QString exec = QString::fromUtf8(line.mid(5)).trimmed();
            return SplitFirst(exec, QStringLiteral(" "));
        }
    }
    return QString();
}
} // namespace

QString FindAssociatedProgram(const QString &fileName)
{
    QString target = fileName;
    bool madeProbe = false;
    if (!QFileInfo::exists(target)) {
        target = TempDirectory() + QLatin1Char('~') + QFileInfo(fileName).fileName();
        if (!QFileInfo::exists(target)) {
            QFile probe(target);
            madeProbe = probe.open(QIODevice::WriteOnly);
        }
    }
    QString mime;
    QString desktopId;
    if (runQuiet(QStringLiteral("xdg-mime"), {QStringLiteral("query"), QStringLiteral("filetype"), target}, &mime)
        && !mime.isEmpty())
        runQuiet(QStringLiteral("xdg-mime"), {QStringLiteral("query"), QStringLiteral("default"), mime}, &desktopId);
    if (madeProbe)
        QFile::remove(target);
    return desktopId.isEmpty() ? QString() : desktopFileExec(desktopId);
}

bool OpenDocument(const QString &target, bool preferBrowser)
{
    if (preferBrowser) {
        const QString browser = FindAssociatedProgram(QStringLiteral("a.htm"));
        if (!browser.isEmpty() && QProcess::startDetached(browser, {target}))
            return true;
    }
    return QProcess::startDetached(QStringLiteral("xdg-open"), {target});
}

bool SendMail(const QString &address, const QString &subject)
{
    const QString url = QStringLiteral("mailto:") + address + QStringLiteral("?subject=") + subject;
    return QProcess::startDetached(QStringLiteral("xdg-open"), {QUrl(url).toString(QUrl::FullyEncoded)});
}

QString GetVersionInfo(const QString &fileName, VersionKind kind)
{
    Q_UNUSED(kind); // file and product version are the same number: the build's
    const QString file = fileName.isEmpty() ? g_exePath : fileName;
    if (file.isEmpty() || file == g_exePath)
        return QStringLiteral(TEMBREL_VERSION);
    const QByteArray bytes = ReadFileToString(file);
    const QByteArray marker("TembrelVersionInfo=");
    const int at = bytes.indexOf(marker);
    if (at < 0)
        return QString();
    const int end = bytes.indexOf(';', at);
    if (end < 0)
        return QString();
    return QString::fromLatin1(bytes.mid(at + marker.size(), end - at - marker.size()));
}
