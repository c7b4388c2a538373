#pragma once
#include <QByteArray>
#include <QString>
#include <QStringList>
#include <cstdint>
#include <functional>

// The application title: window captions, tray balloons, the autostart entry.
inline constexpr char kApplicationTitle[] = "Tembrel Personal";
QString ApplicationTitle();

// ---- Program-wide values -------------------------------------------------
// Set by InitApplicationFiles from the executable path and the command line.
// Language index: 1 English, 2 Czech, 3 Slovak; the program is built with 2.
int LanguageIndex();
void SetLanguageIndex(int index);
uint32_t LanguageIdentifier(int index);

void InitApplicationFiles(const QString &executablePath, const QStringList &arguments);
void DoneApplicationFiles();
QString ExecutablePath();
QString ApplicationDirectory();
QString DataDirectory();
// The seam tests use to work in a temporary data directory of their own.
void SetDataDirectory(const QString &dir);
QString ConfigFileName();
void SetConfigFileName(const QString &fileName);
QString LogFileName();
void SetLogFileName(const QString &fileName);
bool LoggingEnabled();
void SetLoggingEnabled(bool enabled);
// True when the command line holds the switch (introduced by "-" or "/", any case).
bool HasSwitch(const QStringList &arguments, const QString &name);

// ---- Message box and busy cursor -------------------------------------------
enum MsgKind { mkWarning = 0, mkError = 1, mkInformation = 2, mkConfirmation = 3, mkPlain = 4 };
enum MsgButton : unsigned {
    mbYes = 1u << 0, mbNo = 1u << 1, mbOK = 1u << 2, mbCancel = 1u << 3,
    mbAbort = 1u << 4, mbRetry = 1u << 5, mbIgnore = 1u << 6,
};
enum MsgResult { mrOk = 1, mrCancel = 2, mrAbort = 3, mrRetry = 4, mrIgnore = 5, mrYes = 6, mrNo = 7 };

// What shows a box on the screen; the windows layer installs the widget one.
class IMessageBoxHandler {
public:
    virtual ~IMessageBoxHandler() = default;
    // A plain message with an OK button, no icon and the application title as caption.
    virtual void showPlainMessage(const QString &text) = 0;
    // A box with the caption and icon of the kind and the given (accepted) buttons.
    virtual int showBox(const QString &text, const QString &caption, int kind, unsigned buttons,
                        int helpContext) = 0;
};
void SetMessageBoxHandler(IMessageBoxHandler *handler);
IMessageBoxHandler *MessageBoxHandler();
QString MessageBoxCaption(int kind);
bool IsAcceptedButtonSet(unsigned buttons);
int ShowMessageBox(const QString &text, int kind, unsigned buttons, int helpContext = 0);

// The Help button of a box asks the application to show help for its context;
// the application installs what does that (nothing is shown without one).
void SetHelpHandler(std::function<void(int helpContext)> handler);
void ShowHelpContext(int helpContext);

enum class WaitCursor { Arrow, Hourglass };
class ICursorHandler {
public:
    virtual ~ICursorHandler() = default;
    virtual WaitCursor current() = 0;
    virtual void set(WaitCursor cursor) = 0;
};
void SetCursorHandler(ICursorHandler *handler);
void BeginWait(WaitCursor cursor = WaitCursor::Hourglass);
void EndWait();
int WaitDepth();

// RAII pair for BeginWait/EndWait so that every exit ends the wait.
class WaitScope {
public:
    WaitScope() { BeginWait(); }
    ~WaitScope() { EndWait(); }
    WaitScope(const WaitScope &) = delete;
    WaitScope &operator=(const WaitScope &) = delete;
};

// ---- Texts -------------------------------------------------------------------
QString SplitFirst(QString &text, const QString &delimiter);
QString NormalizeListSeparators(const QString &text);
int IfThen(bool condition, int whenTrue, int whenFalse);
QString IfThen(bool condition, const QString &whenTrue, const QString &whenFalse);
bool FlagFromText(const QString &text, bool defaultValue);
QString ByteToText(uint8_t value);
QString ZeroPadNumber(long long number, int width);
QString ZeroPadText(const QString &text, int width);
QString SecondsToDuration(long long seconds);
QString HtmlEscape(const QString &text);
QString HexEncode(const QByteArray &bytes);
QByteArray HexDecode(const QString &text);
uint32_t TickDifference(uint32_t older, uint32_t newer);

// ---- Paths and files ---------------------------------------------------------
QString JoinPath(const QString &dir, const QString &name);
bool IsDriveRoot(const QString &path);
QString StripTrailingDelimiter(const QString &path);
bool EnsureDirectory(const QString &dir);
QString TempDirectory();
long long FileSizeByName(const QString &fileName);
QByteArray ReadFileToString(const QString &fileName);
// Replaces the file whole through a temporary file in the same folder.
bool WriteStringToFile(const QByteArray &bytes, const QString &fileName);
// A folder of this user alone for the temporary files of one data directory (under
// $XDG_RUNTIME_DIR when that is usable, else under TempDirectory()): made with mode
// 0700 and checked to be a real folder owned by the user and closed to others. Empty,
// with the reason, when no such folder can be had.
QString PrivateTempDirectory(const QString &dataDirectory, QString *error = nullptr);
// Creates (or truncates) a file for writing without following a symbolic link or
// blocking on a pipe; anything but a regular file of this user is refused. The
// descriptor, or -1 with the reason.
int CreateFileNoFollow(const QString &fileName, QString *error = nullptr);
// Moves a regular file to a name that does not exist yet, also onto another file system;
// an existing target is never replaced. False with the reason, the source left in place.
bool MoveFileNoReplace(const QString &source, const QString &target, QString *error = nullptr);
// Whether the file is a regular file (a symbolic link is not followed); its size when so.
bool IsRegularFile(const QString &fileName, long long *size = nullptr);
void WriteLogLine(const QString &message, const QString &fileName = QString());

// ---- Shell and version -----------------------------------------------------------
QString FindAssociatedProgram(const QString &fileName);
// Opens a file or address with the program the desktop associates with it. False at
// once when no program is associated with the file or the opener does not start; when
// the opener ends with a non-zero code later on, onFailure is called then.
bool OpenDocument(const QString &target, bool preferBrowser = false, std::function<void()> onFailure = {});
bool SendMail(const QString &address, const QString &subject, std::function<void()> onFailure = {});
// The "mailto:" address SendMail opens, with the parts percent-encoded.
QString MailtoAddress(const QString &address, const QString &subject);
enum class VersionKind { File, Product };
QString GetVersionInfo(const QString &fileName = QString(), VersionKind kind = VersionKind::Product);
