#include "myutils.h"

#include "clock.h"
#include "formatsettings.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMimeDatabase>
#include <QProcess>
#include <QSaveFile>
#include <QStandardPaths>
#include <QCryptographicHash>
#include <QUrl>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

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
std::function<void(int)> g_helpHandler;
ICursorHandler *g_cursor = nullptr;
int g_waitDepth = 0;
WaitCursor g_savedCursor = WaitCursor::Arrow;

QString withExtension(const QString &path, const QString &ext)
{
    const QFileInfo info(path);
    return JoinPath(StripTrailingDelimiter(info.path()), info.completeBaseName() + ext);
}
} // namespace

QString ApplicationTitle() { return QString::fromUtf8(kApplicationTitle); }

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
void SetConfigFileName(const QString &fileName) { g_configFile = fileName; }
QString LogFileName() { return g_logFile; }
void SetLogFileName(const QString &fileName) { g_logFile = fileName; }
bool LoggingEnabled() { return g_logging; }
void SetLoggingEnabled(bool enabled) { g_logging = enabled; }

// ---- Message box and busy cursor ---------------------------------------------

void SetMessageBoxHandler(IMessageBoxHandler *handler) { g_messageBox = handler; }
IMessageBoxHandler *MessageBoxHandler() { return g_messageBox; }

QString MessageBoxCaption(int kind)
{
    if (g_language == 1) {
        // English: the captions of the toolkit's standard message dialog.
        switch (kind) {
        case mkWarning: return QStringLiteral("Warning");
        case mkError: return QStringLiteral("Error");
        case mkInformation: return QStringLiteral("Information");
        case mkConfirmation: return QStringLiteral("Confirm");
        case mkPlain: return ApplicationTitle();
        default: return QString();
        }
    }
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
        const QString complaint = QStringLiteral("Msgdlg buttons error!");
        if (g_messageBox)
            g_messageBox->showPlainMessage(complaint);
        else
            WriteLogLine(complaint);
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

void SetHelpHandler(std::function<void(int)> handler) { g_helpHandler = std::move(handler); }

void ShowHelpContext(int helpContext)
{
    if (g_helpHandler && helpContext > 0)
        g_helpHandler(helpContext);
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

namespace {
int hexDigit(QChar c)
{
    const char16_t u = c.unicode();
    if (u >= '0' && u <= '9') return u - '0';
    if (u >= 'A' && u <= 'F') return u - 'A' + 10;
    if (u >= 'a' && u <= 'f') return u - 'a' + 10;
    return -1;
}
} // namespace

QByteArray HexDecode(const QString &text)
{
    // Pair by pair, so that a stray character cannot shift the bytes after it:
    // decoding stops at the first pair that is not hexadecimal and the rest stays 0.
    QByteArray bytes(text.size() / 2, '\0');
    for (int i = 0; i < bytes.size(); ++i) {
        const int hi = hexDigit(text.at(2 * i));
        const int lo = hexDigit(text.at(2 * i + 1));
        if (hi < 0 || lo < 0)
            break;
        bytes[i] = char(hi * 16 + lo);
    }
    return bytes;
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
    // A TMPDIR that names no folder would put temporary files into the root.
    QString dir = QDir::tempPath();
    if (!QFileInfo(dir).isDir() || dir == QLatin1String("/"))
        dir = QStringLiteral("/tmp");
    if (!dir.endsWith(QLatin1Char('/')))
        dir += QLatin1Char('/');
    return dir;
}

long long FileSizeByName(const QString &fileName)
{
    // The true 64-bit size: recordings beyond 2 GiB must not read as negative.
    const QFileInfo info(fileName);
    if (fileName.isEmpty() || !info.exists())
        return -1;
    return info.isDir() ? 0 : info.size();
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

namespace {

QString errnoText(int error) { return QString::fromLocal8Bit(std::strerror(error)); }

// A folder that only this user can enter: made when missing, its mode narrowed when it
// is the user's own; a link, a file or another user's folder is refused.
bool ensurePrivateFolder(const QString &path, QString *error)
{
    const QByteArray name = QFile::encodeName(path);
    if (::mkdir(name.constData(), 0700) != 0 && errno != EEXIST) {
        if (error)
            *error = QStringLiteral("cannot create the folder %1: %2").arg(path, errnoText(errno));
        return false;
    }
    struct stat st {};
    if (::lstat(name.constData(), &st) != 0 || !S_ISDIR(st.st_mode)) {
        if (error)
            *error = QStringLiteral("%1 is not a folder").arg(path);
        return false;
    }
    if (st.st_uid != ::geteuid()) {
        if (error)
            *error = QStringLiteral("the folder %1 belongs to another user").arg(path);
        return false;
    }
    if ((st.st_mode & 0077) != 0 && ::chmod(name.constData(), 0700) != 0) {
        if (error)
            *error = QStringLiteral("cannot close the folder %1 to others: %2").arg(path, errnoText(errno));
        return false;
    }
    return true;
}

bool fail(QString *error, const QString &text)
{
    if (error)
        *error = text;
    return false;
}

// Copies a descriptor's content into a new file and links it in under the target; the
// copy never appears under the target half written.
bool copyNoReplace(int in, const QString &source, const QString &target, QString *error)
{
    const QString folder = QFileInfo(target).absolutePath();
    QByteArray pattern = QFile::encodeName(JoinPath(folder, QStringLiteral("~tmbstore_XXXXXX")));
    const int out = ::mkostemp(pattern.data(), O_CLOEXEC);
    if (out < 0)
        return fail(error, QStringLiteral("cannot write into %1: %2").arg(folder, errnoText(errno)));
    auto abandon = [&](const QString &why) {
        ::close(out);
        ::unlink(pattern.constData());
        return fail(error, why);
    };
    char buffer[65536];
    for (;;) {
        const ssize_t got = ::read(in, buffer, sizeof buffer);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            return abandon(QStringLiteral("cannot read %1: %2").arg(source, errnoText(errno)));
        if (got == 0)
            break;
        for (ssize_t done = 0; done < got;) {
            const ssize_t put = ::write(out, buffer + done, size_t(got - done));
            if (put < 0 && errno == EINTR)
                continue;
            if (put < 0)
                return abandon(QStringLiteral("cannot write %1: %2").arg(target, errnoText(errno)));
            done += put;
        }
    }
    if (::fsync(out) != 0)
        return abandon(QStringLiteral("cannot write %1: %2").arg(target, errnoText(errno)));
    if (::close(out) != 0) {
        ::unlink(pattern.constData());
        return fail(error, QStringLiteral("cannot write %1: %2").arg(target, errnoText(errno)));
    }
    if (::link(pattern.constData(), QFile::encodeName(target).constData()) != 0) {
        const int why = errno;
        ::unlink(pattern.constData());
        return fail(error, QStringLiteral("cannot store %1: %2").arg(target, errnoText(why)));
    }
    ::unlink(pattern.constData());
    return true;
}

} // namespace

QString PrivateTempDirectory(const QString &dataDirectory, QString *error)
{
    const QString user = QString::number(::geteuid());
    QString base = qEnvironmentVariable("XDG_RUNTIME_DIR");
    {
        struct stat st {};
        // Only a runtime folder that is really the user's own is used.
        if (base.isEmpty() || !QDir::isAbsolutePath(base) || ::lstat(QFile::encodeName(base).constData(), &st) != 0
            || !S_ISDIR(st.st_mode) || st.st_uid != ::geteuid() || (st.st_mode & 0077) != 0)
            base = TempDirectory();
    }
    const QString mine = JoinPath(base, QStringLiteral("tembrel-") + user);
    // One folder per data directory: two loggers on different data never meet.
    const QByteArray key = QCryptographicHash::hash(QFile::encodeName(QDir::cleanPath(QFileInfo(dataDirectory).absoluteFilePath())),
                                                    QCryptographicHash::Sha1)
                               .toHex()
                               .left(16);
    const QString folder = JoinPath(mine, QString::fromLatin1(key));
    if (!ensurePrivateFolder(mine, error) || !ensurePrivateFolder(folder, error))
        return QString();
    return folder;
}

int CreateFileNoFollow(const QString &fileName, QString *error)
{
    const int fd = ::open(QFile::encodeName(fileName).constData(),
                          O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0600);
    if (fd < 0) {
        fail(error, QStringLiteral("cannot create %1: %2").arg(fileName, errnoText(errno)));
        return -1;
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_uid != ::geteuid()) {
        ::close(fd);
        fail(error, QStringLiteral("%1 is not a file of this user").arg(fileName));
        return -1;
    }
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    return fd;
}

bool MoveFileNoReplace(const QString &source, const QString &target, QString *error)
{
    const QByteArray from = QFile::encodeName(source);
    const QByteArray to = QFile::encodeName(target);
    struct stat st {};
    if (::lstat(from.constData(), &st) != 0 || !S_ISREG(st.st_mode))
        return fail(error, QStringLiteral("%1 is not a file").arg(source));
    if (::renameat2(AT_FDCWD, from.constData(), AT_FDCWD, to.constData(), RENAME_NOREPLACE) == 0)
        return true;
    int why = errno;
    if (why == EINVAL || why == ENOSYS) {
        // A file system without the no-replace rename: a hard link never replaces either.
        if (::link(from.constData(), to.constData()) == 0) {
            ::unlink(from.constData());
            return true;
        }
        why = errno;
    }
    if (why != EXDEV && why != EPERM)
        return fail(error, QStringLiteral("cannot move %1 to %2: %3").arg(source, target, errnoText(why)));
    if (::lstat(to.constData(), &st) == 0 || errno != ENOENT)
        return fail(error, QStringLiteral("cannot move %1 to %2: %3").arg(source, target, errnoText(EEXIST)));
    const int in = ::open(from.constData(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
    if (in < 0)
        return fail(error, QStringLiteral("cannot read %1: %2").arg(source, errnoText(errno)));
    const bool copied = copyNoReplace(in, source, target, error);
    ::close(in);
    if (copied)
        ::unlink(from.constData());
    return copied;
}

bool IsRegularFile(const QString &fileName, long long *size)
{
    struct stat st {};
    if (fileName.isEmpty() || ::lstat(QFile::encodeName(fileName).constData(), &st) != 0 || !S_ISREG(st.st_mode))
        return false;
    if (size)
        *size = st.st_size;
    return true;
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
bool runQuiet(const QString &program, const QStringList &args, QString &output)
{
    QProcess p;
    p.start(program, args);
    if (!p.waitForStarted(5000))
        return false;
    if (!p.waitForFinished(10000) || p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0) {
        p.kill();
        return false;
    }
    output = QString::fromLocal8Bit(p.readAllStandardOutput()).trimmed();
    return true;
}

// First word of a desktop entry's Exec line, honouring double quotes.
QStringList execWords(const QString &exec)
{
    QStringList words;
    QString word;
    bool quoted = false, inWord = false;
    for (int i = 0; i < exec.size(); ++i) {
        const QChar c = exec.at(i);
        if (quoted) {
            if (c == QLatin1Char('\\') && i + 1 < exec.size())
                word += exec.at(++i);
            else if (c == QLatin1Char('"'))
                quoted = false;
            else
                word += c;
        } else if (c == QLatin1Char('"')) {
            quoted = inWord = true;
        } else if (c.isSpace()) {
            if (inWord)
                words << word;
            word.clear();
            inWord = false;
        } else {
            word += c;
            inWord = true;
        }
    }
    if (inWord)
        words << word;
    return words;
}

QString desktopEntryProgram(const QString &desktopId)
{
    QString file = QStandardPaths::locate(QStandardPaths::ApplicationsLocation, desktopId);
    if (file.isEmpty()) // "vendor-app.desktop" may live as vendor/app.desktop
        file = QStandardPaths::locate(QStandardPaths::ApplicationsLocation,
                                      QString(desktopId).replace(QLatin1Char('-'), QLatin1Char('/')));
    if (file.isEmpty())
        return QString();
    bool inEntry = false;
    for (const QByteArray &raw : ReadFileToString(file).split('\n')) {
        const QString line = QString::fromUtf8(raw).trimmed();
        if (line.startsWith(QLatin1Char('['))) {
            inEntry = line == QLatin1String("[Desktop Entry]");
            continue;
        }
        if (!inEntry || !line.startsWith(QLatin1String("Exec=")))
            continue;
        QStringList words = execWords(line.mid(5));
        // "env NAME=value program ..." starts the program after the assignments.
        if (!words.isEmpty() && words.first() == QLatin1String("env")) {
            words.removeFirst();
            while (!words.isEmpty() && words.first().contains(QLatin1Char('=')))
                words.removeFirst();
        }
        if (words.isEmpty())
            return QString();
        const QString program = words.first();
        if (QFileInfo(program).isAbsolute())
            return QFileInfo(program).isExecutable() ? program : QString();
        return QStandardPaths::findExecutable(program);
    }
    return QString();
}

// A target without a scheme (or with file:) is a local file that has to exist.
bool isMissingLocalFile(const QString &target)
{
    const QUrl url(target);
    const QString scheme = url.scheme();
    if (scheme.size() > 1 && scheme != QLatin1String("file"))
        return false;
    const QString path = scheme == QLatin1String("file") ? url.toLocalFile() : target;
    return !QFileInfo::exists(path);
}
} // namespace

QString FindAssociatedProgram(const QString &fileName)
{
    if (fileName.isEmpty())
        return QString();
    // An existing file is judged by its contents too; a missing one by its name alone.
    const QMimeDatabase db;
    const QMimeType mime = QFileInfo::exists(fileName)
        ? db.mimeTypeForFile(fileName)
        : db.mimeTypeForFile(TempDirectory() + QLatin1Char('~') + QFileInfo(fileName).fileName(),
                             QMimeDatabase::MatchExtension);
    if (!mime.isValid() || mime.isDefault())
        return QString();
    QString desktopId;
    if (!runQuiet(QStringLiteral("xdg-mime"), {QStringLiteral("query"), QStringLiteral("default"), mime.name()},
                  desktopId)
        || desktopId.isEmpty())
        return QString();
    return desktopEntryProgram(desktopId.section(QLatin1Char('\n'), 0, 0).trimmed());
}

namespace {
// Starts an opener on the target. Its output goes nowhere, so that a program it starts
// may outlive ours without writing into a closed pipe.
bool startOpener(const QString &program, const QString &target, std::function<void()> onFailure)
{
    auto *process = new QProcess(QCoreApplication::instance());
    process->setStandardOutputFile(QProcess::nullDevice());
    process->setStandardErrorFile(QProcess::nullDevice());
    process->start(program, {target});
    if (!process->waitForStarted(5000)) {
        delete process;
        return false;
    }
    QObject::connect(process, &QProcess::finished, process,
                     [process, program, onFailure = std::move(onFailure)](int code, QProcess::ExitStatus status) {
                         // A crash is the kill at our own end, not a failure to open.
                         if (status == QProcess::NormalExit && code != 0) {
                             WriteLogLine(QStringLiteral("Error - ") + program + QStringLiteral(" ended with code ")
                                          + QString::number(code));
                             if (onFailure)
                                 onFailure();
                         }
                         process->deleteLater();
                     });
    return true;
}
} // namespace

bool OpenDocument(const QString &target, bool preferBrowser, std::function<void()> onFailure)
{
    if (target.isEmpty() || isMissingLocalFile(target))
        return false;
    if (preferBrowser) {
        const QString browser = FindAssociatedProgram(QStringLiteral("a.htm"));
        if (!browser.isEmpty() && startOpener(browser, target, onFailure))
            return true;
    }
    // A file no program is associated with: the opener would only complain on its
    // error output, which nobody reads.
    const QUrl url(target);
    const bool file = url.scheme().size() <= 1 || url.scheme() == QLatin1String("file");
    if (file && FindAssociatedProgram(url.scheme() == QLatin1String("file") ? url.toLocalFile() : target).isEmpty())
        return false;
    return startOpener(QStringLiteral("xdg-open"), target, std::move(onFailure));
}

QString MailtoAddress(const QString &address, const QString &subject)
{
    // Encoded so that "&", "#" or "?" in the subject cannot cut it short.
    return QStringLiteral("mailto:") + QString::fromLatin1(QUrl::toPercentEncoding(address, "@+"))
        + QStringLiteral("?subject=") + QString::fromLatin1(QUrl::toPercentEncoding(subject));
}

bool SendMail(const QString &address, const QString &subject, std::function<void()> onFailure)
{
    return startOpener(QStringLiteral("xdg-open"), MailtoAddress(address, subject), std::move(onFailure));
}

namespace {
// Four decimal numbers of 16 bits joined by ".".
bool isVersionText(const QByteArray &text)
{
    const QList<QByteArray> parts = text.split('.');
    if (parts.size() != 4)
        return false;
    for (const QByteArray &part : parts) {
        bool ok = false;
        const uint value = part.toUInt(&ok);
        if (!ok || part.isEmpty() || value > 0xFFFF)
            return false;
    }
    return true;
}
} // namespace

QString GetVersionInfo(const QString &fileName, VersionKind kind)
{
    Q_UNUSED(kind); // file and product version are the same number: the build's
    const QString file = fileName.isEmpty() ? g_exePath : fileName;
    if (file.isEmpty() || file == g_exePath)
        return isVersionText(TEMBREL_VERSION) ? QStringLiteral(TEMBREL_VERSION) : QString();
    const QByteArray bytes = ReadFileToString(file);
    // The marker also appears alone among the program's strings; only the one
    // followed by a well-formed version and ";" is the record.
    const QByteArray marker = QByteArray("TembrelVersion") + "Info=";
    for (qsizetype at = bytes.indexOf(marker); at >= 0; at = bytes.indexOf(marker, at + 1)) {
        const qsizetype start = at + marker.size();
        const qsizetype end = bytes.indexOf(';', start);
        if (end < 0)
            break;
        const QByteArray value = bytes.mid(start, end - start);
        if (value.size() <= 23 && isVersionText(value))
            return QString::fromLatin1(value);
    }
    return QString();
}
