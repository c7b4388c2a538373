#include "formatsettings.h"
#include "myutils.h"
#include "support/manualclock.h"
#include "support/scriptedmessagebox.h"
#include "support/desktopsandbox.h"
#include "support/tempdatadir.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <functional>

#include <gtest/gtest.h>
#include <unistd.h>

namespace {
QByteArray fileBytes(const QString &name)
{
    QFile f(name);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// Restores the language index a test changes.
struct LanguageGuard {
    int saved = LanguageIndex();
    ~LanguageGuard() { SetLanguageIndex(saved); }
};
} // namespace

TEST(TextHelpers, SplitFirstPeelsOffOnePartAtATime)
{
    QString text = QStringLiteral("a.b.c");
    EXPECT_EQ(SplitFirst(text, QStringLiteral(".")), QStringLiteral("a"));
    EXPECT_EQ(text, QStringLiteral("b.c"));
    EXPECT_EQ(SplitFirst(text, QStringLiteral(".")), QStringLiteral("b"));
    EXPECT_EQ(text, QStringLiteral("c"));
    EXPECT_EQ(SplitFirst(text, QStringLiteral(".")), QStringLiteral("c"));
    EXPECT_TRUE(text.isEmpty());
    QString wide = QStringLiteral("key::value::more");
    EXPECT_EQ(SplitFirst(wide, QStringLiteral("::")), QStringLiteral("key"));
    EXPECT_EQ(wide, QStringLiteral("value::more"));
}

TEST(TextHelpers, FlagsListsAndSmallConversions)
{
    EXPECT_TRUE(FlagFromText(QStringLiteral("2"), false));
    EXPECT_FALSE(FlagFromText(QStringLiteral("0"), true));
    EXPECT_TRUE(FlagFromText(QStringLiteral("yes"), true));
    EXPECT_FALSE(FlagFromText(QStringLiteral("yes"), false));
    EXPECT_EQ(NormalizeListSeparators(QStringLiteral("a;b|c,d")), QStringLiteral("a,b,c,d"));
    EXPECT_EQ(ByteToText(255), QStringLiteral("255"));
    EXPECT_EQ(IfThen(false, 1, 2), 2);
    EXPECT_EQ(IfThen(true, QStringLiteral("x"), QStringLiteral("y")), QStringLiteral("x"));
}

TEST(TextHelpers, ZeroPaddingOnlyEverLengthens)
{
    EXPECT_EQ(ZeroPadNumber(7, 3), QStringLiteral("007"));
    EXPECT_EQ(ZeroPadNumber(12345, 3), QStringLiteral("12345"));
    EXPECT_EQ(ZeroPadNumber(0, 0), QStringLiteral("0"));
    EXPECT_EQ(ZeroPadText(QStringLiteral("ab"), 4), QStringLiteral("00ab"));
    EXPECT_EQ(ZeroPadText(QStringLiteral("abcde"), 4), QStringLiteral("abcde"));
}

TEST(TextHelpers, DurationsUseTheSystemTimeSeparatorAndGrowPastTwoHourDigits)
{
    EXPECT_EQ(SecondsToDuration(0), QStringLiteral("00:00:00"));
    EXPECT_EQ(SecondsToDuration(59), QStringLiteral("00:00:59"));
    EXPECT_EQ(SecondsToDuration(3725), QStringLiteral("01:02:05"));
    EXPECT_EQ(SecondsToDuration(360000), QStringLiteral("100:00:00"));
    FormatSettings dotted = FormatSettings::czech();
    dotted.timeSeparator = QLatin1Char('.');
    SetSystemFormats(dotted);
    EXPECT_EQ(SecondsToDuration(3725), QStringLiteral("01.02.05"));
    SetSystemFormats(FormatSettings::czech());
}

TEST(TextHelpers, HtmlEscapeLeavesEveryAmpersandInsideAnEntity)
{
    EXPECT_EQ(HtmlEscape(QStringLiteral("a<b & \"c\" 'd'>")),
              QStringLiteral("a&lt;b &amp; &quot;c&quot; &apos;d&apos;&gt;"));
    EXPECT_EQ(HtmlEscape(QStringLiteral("&lt;")), QStringLiteral("&amp;lt;"));
}

TEST(TextHelpers, HexRoundTripsAndIgnoresAnOddLastDigit)
{
    const QByteArray bytes("\x00\x7F\xAB\xFF", 4);
    EXPECT_EQ(HexEncode(bytes), QStringLiteral("007FABFF"));
    EXPECT_EQ(HexDecode(QStringLiteral("007FABFF")), bytes);
    EXPECT_EQ(HexDecode(QStringLiteral("007fabff")), bytes);
    EXPECT_EQ(HexDecode(QStringLiteral("4142F")), QByteArray("AB"));
    EXPECT_TRUE(HexDecode(QString()).isEmpty());
    EXPECT_TRUE(HexEncode(QByteArray()).isEmpty());
    // A stray character does not shift the bytes after it: the length stays text/2.
    const QByteArray broken = HexDecode(QStringLiteral("41zz4243"));
    ASSERT_EQ(broken.size(), 4);
    EXPECT_EQ(broken.at(0), 'A');
    EXPECT_EQ(broken, QByteArray("A\0\0\0", 4));
}

TEST(Ticks, DifferenceCountsAcrossTheWrap)
{
    EXPECT_EQ(TickDifference(5, 10), 5u);
    EXPECT_EQ(TickDifference(10, 5), 4294967290u);
    EXPECT_EQ(TickDifference(0xFFFFFFF0u, 0x10u), 0x1Fu);
    EXPECT_EQ(TickDifference(7, 7), 0u);
}

TEST(Paths, JoinStripAndRoots)
{
    EXPECT_EQ(JoinPath(QStringLiteral("/data"), QStringLiteral("a.xml")), QStringLiteral("/data/a.xml"));
    EXPECT_EQ(JoinPath(QStringLiteral("/data/"), QStringLiteral("a.xml")), QStringLiteral("/data/a.xml"));
    EXPECT_EQ(JoinPath(QStringLiteral("/"), QStringLiteral("a.xml")), QStringLiteral("/a.xml"));
    EXPECT_TRUE(IsDriveRoot(QStringLiteral("/")));
    EXPECT_FALSE(IsDriveRoot(QStringLiteral("/home")));
    EXPECT_EQ(StripTrailingDelimiter(QStringLiteral("/")), QStringLiteral("/"));
    EXPECT_EQ(StripTrailingDelimiter(QStringLiteral("/home/user/")), QStringLiteral("/home/user"));
    EXPECT_EQ(StripTrailingDelimiter(QStringLiteral("/home/user")), QStringLiteral("/home/user"));
    EXPECT_TRUE(TempDirectory().endsWith(QLatin1Char('/')));
    EXPECT_TRUE(QFileInfo(TempDirectory()).isDir());
}

TEST(Paths, TemporaryDirectoryNeverFallsBackToTheRoot)
{
    const QByteArray old = qgetenv("TMPDIR");
    qputenv("TMPDIR", "/nonexistent/tembrel-tmp");
    const QString dir = TempDirectory();
    qputenv("TMPDIR", old);
    if (old.isEmpty())
        qunsetenv("TMPDIR");
    EXPECT_EQ(dir, QStringLiteral("/tmp/"));
}

TEST(Paths, ApplicationFilesFollowTheExecutable)
{
    const QString exe = ExecutablePath();
    const QStringList args = {QStringLiteral("/LOG")};
    InitApplicationFiles(QStringLiteral("/opt/tembrel/tembrel"), args);
    EXPECT_EQ(ApplicationDirectory(), QStringLiteral("/opt/tembrel"));
    EXPECT_EQ(DataDirectory(), QStringLiteral("/opt/tembrel"));
    EXPECT_EQ(ConfigFileName(), QStringLiteral("/opt/tembrel/tembrel.ini"));
    EXPECT_EQ(LogFileName(), QStringLiteral("/opt/tembrel/tembrel.log"));
    EXPECT_TRUE(LoggingEnabled());
    InitApplicationFiles(QStringLiteral("/tembrel.bin"), {QStringLiteral("-logx"), QStringLiteral("log")});
    EXPECT_EQ(ApplicationDirectory(), QStringLiteral("/"));
    EXPECT_EQ(ConfigFileName(), QStringLiteral("/tembrel.ini"));
    EXPECT_FALSE(LoggingEnabled());
    DoneApplicationFiles();
    EXPECT_TRUE(ConfigFileName().isEmpty());
    InitApplicationFiles(exe, {});
    SetLoggingEnabled(false);
    EXPECT_TRUE(HasSwitch({QStringLiteral("-StartUp")}, QStringLiteral("startup")));
    EXPECT_FALSE(HasSwitch({QStringLiteral("startup")}, QStringLiteral("startup")));
}

class Files : public DataDirTest {};

TEST_F(Files, WriteReplacesWholeAndLeavesNoTemporaryFileBehind)
{
    const QString name = data.file(QStringLiteral("item.bin"));
    ASSERT_TRUE(WriteStringToFile(QByteArray("first version, longer"), name));
    ASSERT_TRUE(WriteStringToFile(QByteArray("second"), name));
    EXPECT_EQ(ReadFileToString(name), QByteArray("second"));
    EXPECT_EQ(FileSizeByName(name), 6);
    ASSERT_TRUE(WriteStringToFile(QByteArray(), name));
    EXPECT_TRUE(QFileInfo::exists(name));
    EXPECT_EQ(FileSizeByName(name), 0);
    const QStringList left = QDir(data.path()).entryList(QDir::Files | QDir::Hidden);
    EXPECT_EQ(left, QStringList({QStringLiteral("item.bin")}));
}

TEST_F(Files, MissingOrUnwritablePlacesFailQuietly)
{
    const QString plain = data.file(QStringLiteral("plain.txt"));
    ASSERT_TRUE(WriteStringToFile(QByteArray("keep me"), plain));
    // A file cannot be a folder: writing below it fails and the file is untouched.
    EXPECT_FALSE(WriteStringToFile(QByteArray("x"), plain + QStringLiteral("/child.txt")));
    EXPECT_EQ(fileBytes(plain), QByteArray("keep me"));
    EXPECT_FALSE(WriteStringToFile(QByteArray("x"), data.path()));
    EXPECT_EQ(FileSizeByName(data.file(QStringLiteral("none"))), -1);
    EXPECT_EQ(FileSizeByName(QString()), -1);
    EXPECT_TRUE(ReadFileToString(data.file(QStringLiteral("none"))).isEmpty());
    EXPECT_TRUE(ReadFileToString(data.path()).isEmpty());
    EXPECT_FALSE(EnsureDirectory(plain + QStringLiteral("/sub")));
    EXPECT_TRUE(EnsureDirectory(data.file(QStringLiteral("a/b/c/"))));
    EXPECT_TRUE(QFileInfo(data.file(QStringLiteral("a/b/c"))).isDir());
}

TEST_F(Files, FailedReplaceInReadOnlyFolderKeepsTheOldFile)
{
    if (geteuid() == 0)
        GTEST_SKIP() << "permissions do not bind the superuser";
    const QString dir = data.file(QStringLiteral("ro"));
    ASSERT_TRUE(EnsureDirectory(dir));
    const QString name = JoinPath(dir, QStringLiteral("f.txt"));
    ASSERT_TRUE(WriteStringToFile(QByteArray("old"), name));
    QFile::setPermissions(dir, QFileDevice::ReadOwner | QFileDevice::ExeOwner);
    EXPECT_FALSE(WriteStringToFile(QByteArray("new"), name));
    QFile::setPermissions(dir, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    EXPECT_EQ(fileBytes(name), QByteArray("old"));
}

TEST_F(Files, LogLinesCarryDateTimeAndEndInCrLfOnlyWhileSwitchedOn)
{
    ManualClock clock(1000, EncodeDate(2006, 6, 1) + EncodeTime(8, 3, 7));
    const QString log = data.file(QStringLiteral("tembrel.log"));
    WriteLogLine(QStringLiteral("Linka otevřena"));
    clock.advance(1000);
    WriteLogLine(QStringLiteral("second"));
    EXPECT_EQ(QString::fromUtf8(fileBytes(log)),
              QStringLiteral("1.6.2006 8:03:07 Linka otevřena\r\n1.6.2006 8:03:08 second\r\n"));
    const QString other = data.file(QStringLiteral("other.log"));
    WriteLogLine(QStringLiteral("elsewhere"), other);
    EXPECT_EQ(fileBytes(other), QByteArray("1.6.2006 8:03:08 elsewhere\r\n"));
    SetLoggingEnabled(false);
    WriteLogLine(QStringLiteral("not written"));
    EXPECT_FALSE(fileBytes(log).contains("not written"));
    // A log that cannot be opened is no concern of the caller.
    SetLoggingEnabled(true);
    WriteLogLine(QStringLiteral("lost"), data.path());
}

TEST_F(Files, VersionRecordIsFoundOnlyInItsWellFormedShape)
{
    const QString own = GetVersionInfo();
    EXPECT_EQ(own.split(QLatin1Char('.')).size(), 4) << own.toStdString();
    const QString file = data.file(QStringLiteral("prog.bin"));
    // The bare marker appears first among the strings; the record comes later.
    QByteArray image("\x01TembrelVersionInfo=");
    image += '\0';
    image += "garbage;";
    image += '\0';
    image += "TembrelVersionInfo=2.3.40.65535;";
    ASSERT_TRUE(WriteStringToFile(image, file));
    EXPECT_EQ(GetVersionInfo(file, VersionKind::File), QStringLiteral("2.3.40.65535"));
    ASSERT_TRUE(WriteStringToFile(QByteArray("TembrelVersionInfo=1.2.3.70000;"), file));
    EXPECT_TRUE(GetVersionInfo(file).isEmpty());
    EXPECT_TRUE(GetVersionInfo(data.file(QStringLiteral("missing.bin"))).isEmpty());
}

TEST(Shell, MailAddressesAreEncodedAndMissingFilesDoNotOpen)
{
    EXPECT_EQ(MailtoAddress(QStringLiteral("info@example.cz"), QStringLiteral("Dotaz & přání #1")),
              QStringLiteral("mailto:info@example.cz?subject=Dotaz%20%26%20p%C5%99%C3%A1n%C3%AD%20%231"));
    EXPECT_FALSE(OpenDocument(QString()));
    EXPECT_FALSE(OpenDocument(QStringLiteral("/nonexistent/folder/file.wav")));
    EXPECT_FALSE(OpenDocument(QStringLiteral("file:///nonexistent/folder/file.wav")));
    EXPECT_TRUE(FindAssociatedProgram(QString()).isEmpty());
}

namespace {
class RecordingCursor : public ICursorHandler {
public:
    WaitCursor shown = WaitCursor::Arrow;
    int changes = 0;
    WaitCursor current() override { return shown; }
    void set(WaitCursor cursor) override
    {
        shown = cursor;
        ++changes;
    }
};
} // namespace

TEST(BusyCursor, NestedWaitsRestoreOnlyAtTheOutermostEndAndSurplusEndsDoNothing)
{
    RecordingCursor cursor;
    SetCursorHandler(&cursor);
    BeginWait();
    EXPECT_EQ(cursor.shown, WaitCursor::Hourglass);
    {
        WaitScope inner;
        EXPECT_EQ(WaitDepth(), 2);
    }
    EXPECT_EQ(cursor.shown, WaitCursor::Hourglass);
    EXPECT_EQ(cursor.changes, 1);
    EndWait();
    EXPECT_EQ(cursor.shown, WaitCursor::Arrow);
    EXPECT_EQ(WaitDepth(), 0);
    EndWait();
    EXPECT_EQ(WaitDepth(), 0);
    EXPECT_EQ(cursor.changes, 2);
    // The cursor in force before the outermost wait is what comes back.
    cursor.shown = WaitCursor::Hourglass;
    BeginWait();
    EndWait();
    EXPECT_EQ(cursor.shown, WaitCursor::Hourglass);
    // A failure inside a scope still ends the wait.
    cursor.shown = WaitCursor::Arrow;
    try {
        WaitScope scope;
        throw 1;
    } catch (int) {
    }
    EXPECT_EQ(WaitDepth(), 0);
    EXPECT_EQ(cursor.shown, WaitCursor::Arrow);
    SetCursorHandler(nullptr);
}

TEST(MessageBox, OnlyTheSixButtonSetsPassAndOthersComplainThenShowOk)
{
    ScriptedMessageBox box;
    const unsigned accepted[] = {mbOK, mbOK | mbCancel, mbYes | mbNo, mbYes | mbNo | mbCancel, mbCancel | mbRetry,
                                 mbAbort | mbRetry | mbIgnore};
    for (unsigned set : accepted)
        ShowMessageBox(QStringLiteral("t"), mkWarning, set);
    EXPECT_EQ(box.calls().size(), 6);
    for (int i = 0; i < 6; ++i)
        EXPECT_EQ(box.calls().at(i).buttons, accepted[i]);
    box.clear();
    ShowMessageBox(QStringLiteral("Opravdu?"), mkConfirmation, mbYes | mbOK, 12);
    ASSERT_EQ(box.calls().size(), 2);
    EXPECT_TRUE(box.calls().at(0).plain);
    EXPECT_EQ(box.calls().at(0).text, QStringLiteral("Msgdlg buttons error!"));
    EXPECT_FALSE(box.calls().at(1).plain);
    EXPECT_EQ(box.calls().at(1).buttons, unsigned(mbOK));
    EXPECT_EQ(box.calls().at(1).text, QStringLiteral("Opravdu?"));
    EXPECT_EQ(box.calls().at(1).helpContext, 12);
    box.clear();
    ShowMessageBox(QStringLiteral("x"), mkError, 0);
    EXPECT_TRUE(box.calls().at(0).plain);
}

TEST(MessageBox, AnswersComeBackAsTheBoxGivesThem)
{
    ScriptedMessageBox box;
    box.answer(mrNo);
    box.answer(mrRetry);
    EXPECT_EQ(ShowMessageBox(QStringLiteral("a"), mkConfirmation, mbYes | mbNo), mrNo);
    EXPECT_EQ(ShowMessageBox(QStringLiteral("b"), mkError, mbCancel | mbRetry), mrRetry);
    EXPECT_EQ(ShowMessageBox(QStringLiteral("c"), mkInformation, mbOK), mrOk);
}

TEST(MessageBox, CaptionsFollowKindAndLanguage)
{
    LanguageGuard guard;
    ScriptedMessageBox box;
    const char *czech[] = {"Upozornění", "Chyba", "Informace", "Potvrzení", "Informace", ""};
    const char *slovak[] = {"Upozornenie", "Chyba", "Informácia", "Potvrdenie", "Informácia", ""};
    for (int kind = 0; kind <= 5; ++kind) {
        SetLanguageIndex(2);
        ShowMessageBox(QStringLiteral("t"), kind, mbOK);
        EXPECT_EQ(box.calls().last().caption, QString::fromUtf8(czech[kind])) << kind;
        EXPECT_EQ(box.calls().last().kind, kind);
        SetLanguageIndex(3);
        ShowMessageBox(QStringLiteral("t"), kind, mbOK);
        EXPECT_EQ(box.calls().last().caption, QString::fromUtf8(slovak[kind])) << kind;
    }
    SetLanguageIndex(1);
    EXPECT_EQ(MessageBoxCaption(mkConfirmation), QStringLiteral("Confirm"));
    EXPECT_EQ(MessageBoxCaption(mkPlain), QStringLiteral("Tembrel Personal"));
    EXPECT_EQ(LanguageIdentifier(2), 0x0405u);
    EXPECT_EQ(LanguageIdentifier(3), 0x041Bu);
}

TEST(MessageBox, WithoutWindowsTheQuestionIsLoggedAndAnsweredByItsFirstButton)
{
    TempDataDir data;
    ManualClock clock(0, EncodeDate(2006, 6, 1) + EncodeTime(9, 0, 0));
    ASSERT_EQ(MessageBoxHandler(), nullptr);
    EXPECT_EQ(ShowMessageBox(QStringLiteral("Smazat?"), mkConfirmation, mbYes | mbNo), mrYes);
    EXPECT_EQ(ShowMessageBox(QStringLiteral("Znovu?"), mkError, mbCancel | mbRetry), mrRetry);
    EXPECT_EQ(ShowMessageBox(QStringLiteral("Chybné"), mkError, 0), mrOk);
    const QByteArray log = fileBytes(data.file(QStringLiteral("tembrel.log")));
    EXPECT_TRUE(log.contains("Smazat?"));
    EXPECT_TRUE(log.contains("Msgdlg buttons error!"));
}

TEST(MessageBox, HelpGoesToTheInstalledHandler)
{
    int asked = 0;
    SetHelpHandler([&](int context) { asked = context; });
    ShowHelpContext(0);
    EXPECT_EQ(asked, 0);
    ShowHelpContext(42);
    EXPECT_EQ(asked, 42);
    SetHelpHandler(nullptr);
    ShowHelpContext(7); // nothing installed: nothing happens
}

// ---- Opening files and addresses with the desktop's programs -------------------------------

namespace {
const QStringList kWaveTypes{QStringLiteral("audio/x-wav"), QStringLiteral("audio/wav"),
                             QStringLiteral("audio/vnd.wave")};

// Runs the event loop until the condition holds or 20 s have passed.
bool eventually(const std::function<bool()> &condition)
{
    QDeadlineTimer deadline(20000);
    while (!condition() && !deadline.hasExpired())
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    return condition();
}

class ShellOpen : public DataDirTest {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(desktop.isValid());
        wave = data.file(QStringLiteral("call.wav"));
        ASSERT_TRUE(WriteStringToFile(QByteArray("RIFF\x24\0\0\0WAVEfmt ", 16) + QByteArray(28, '\0'), wave));
    }
    DesktopSandbox desktop;
    QString wave;
};
} // namespace

TEST_F(ShellOpen, AFileWithoutAssociatedProgramFailsAtOnce)
{
    EXPECT_EQ(FindAssociatedProgram(wave), QString());
    bool lateFailure = false;
    EXPECT_FALSE(OpenDocument(wave, false, [&] { lateFailure = true; }));
    EXPECT_FALSE(OpenDocument(data.file(QStringLiteral("missing.wav"))));
    EXPECT_FALSE(lateFailure);
}

TEST_F(ShellOpen, TheAssociatedProgramGetsTheFile)
{
    const QString marker = data.file(QStringLiteral("opened.txt"));
    const QString program = desktop.associate(kWaveTypes, "printf '%s' \"$1\" > '" + QFile::encodeName(marker) + "'");
    ASSERT_FALSE(program.isEmpty());
    EXPECT_EQ(FindAssociatedProgram(wave), program);
    bool failed = false;
    ASSERT_TRUE(OpenDocument(wave, false, [&] { failed = true; }));
    ASSERT_TRUE(eventually([&] { return QFile::exists(marker) && !fileBytes(marker).isEmpty(); }));
    EXPECT_EQ(QString::fromUtf8(fileBytes(marker)), wave);
    EXPECT_FALSE(failed);
}

TEST_F(ShellOpen, AnOpenerThatEndsInFailureIsReported)
{
    // An address no program takes: the opener tries its browser fallback (a failing
    // program here) and ends with an error code.
    int failures = 0;
    ASSERT_TRUE(OpenDocument(QStringLiteral("tembrel-nothing://call/1"), false, [&] { ++failures; }));
    EXPECT_TRUE(eventually([&] { return failures == 1; }));
    ASSERT_TRUE(SendMail(QStringLiteral("a@b.example"), QStringLiteral("x"), [&] { ++failures; }));
    EXPECT_TRUE(eventually([&] { return failures == 2; }));
}
