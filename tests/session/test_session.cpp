// The settings reach the modules as the programs' start applies them, a changed value
// opens the line anew where it must, and the record format is stored whole.
#include "deAudioIO.h"
#include "session.h"

#include "acmapi.h"
#include "clock.h"
#include "recordingretention.h"
#include "codepage1250.h"
#include "myutils.h"
#include "simulatedline.h"
#include "simulatedwavein.h"
#include "support/tempdatadir.h"
#include "udmaudio.h"
#include "udmcd.h"
#include "udmtapi.h"
#include "waveinregistry.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QSignalSpy>

namespace {

TdeWaveFormat GsmFormat()
{
    TdeWaveFormat pcm;
    pcm.SetPCM(8000, 16, 1);
    TdeWaveFormat gsm;
    gsm.SetFormatTag(WAVE_FORMAT_GSM610);
    EXPECT_EQ(acmFormatSuggest(pcm.Data(), gsm.Data(), TdeWaveFormat::ImageSize, ACM_FORMATSUGGESTF_WFORMATTAG),
              MMSYSERR_NOERROR);
    return gsm;
}

class SessionSettings : public DataDirTest {
protected:
    SessionSettings()
    {
        // The virtual input alone, so that its device number is known.
        TWaveInRegistry::Instance().EnableSoundSystem(false);
        EnableSimulatedInput(true);
        session = std::make_unique<TSession>();
        session->SetSettingsFileName(data.file("tembrel.ini"));
        // The test's own simulated lines only: no real provider probes the machine.
        RefreshDevices();
        session->Audio().SetInputDeviceAvailable(InputDeviceCount() > 0);
    }
    ~SessionSettings() override
    {
        session.reset();
        EnableSimulatedInput(false);
        TWaveInRegistry::Instance().EnableSoundSystem(true);
    }
    void openCallLog()
    {
        ASSERT_TRUE(QFile::copy(QStringLiteral(TEMBREL_DELIVERED_DATA), Tdmcd::DataFileName()));
        QFile::setPermissions(Tdmcd::DataFileName(), QFile::ReadOwner | QFile::WriteOwner);
        ASSERT_TRUE(session->OpenCallLog(error)) << error.toStdString();
    }
    static void pump()
    {
        for (int i = 0; i < 5; ++i)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    }

    SimulatedProvider provider{2};
    std::unique_ptr<TSession> session;
    QString error;
};

TEST_F(SessionSettings, EverySettingReachesItsModule)
{
    const TdeWaveFormat gsm = GsmFormat();
    gsm.SaveToFile(data.file("audiorec.dat"));
    ASSERT_TRUE(WriteStringToFile(EncodeCp1250(QStringLiteral("TAPIDevice=%1\r\nAudioInputDevice=simulovaný VSTUP\r\n"
                                                               "TAPIAutoCheck=1\r\nCommandCalls=1\r\nMissedCalls=1\r\n"
                                                               "CallLink=12345\r\nMaxRecordMinutes=5\r\n"
                                                               "SilenceDetection=1\r\nSilenceMaxSeconds=7\r\n"
                                                               "SilencePeakLevel=1234\r\nStartDelay=3\r\n")
                                                    .arg(SimulatedLine::NameFor(1).toUpper())),
                                  data.file("tembrel.ini")));
    const TSettings s = session->ReadSettings();
    EXPECT_EQ(s.StartDelay, 3);
    EXPECT_TRUE(s.RecordFormat.IsEqual(gsm));
    QSignalSpy applied(session.get(), &TSession::settingsApplied);
    ASSERT_TRUE(session->ApplyStartSettings(s, &error)) << error.toStdString();
    EXPECT_EQ(applied.count(), 1);

    Tdmtapi &tapi = session->Tapi();
    EXPECT_EQ(tapi.Device, LineService::instance().deviceIdOf(&provider.line(1)));
    // Without the simulation the setting decides whether the line is watched.
    EXPECT_FALSE(session->Settings().AutoStartWatch);
    EXPECT_FALSE(tapi.AutoStartWatch);
    EXPECT_TRUE(tapi.TAPIAutoCheck && tapi.CommandCalls && tapi.MissedCalls);

    Tdmaudio &audio = session->Audio();
    EXPECT_TRUE(audio.InputDeviceAvailable());
    EXPECT_TRUE(audio.RecordingEnabled());
    EXPECT_EQ(session->RecordingInput(), s.AudioInputDevice);
    EXPECT_EQ(audio.Recorder().DeviceName(), s.AudioInputDevice);
    EXPECT_EQ(audio.Recorder().DeviceID(), 0);
    EXPECT_EQ(audio.Recorder().MaxMinutes(), 5);
    EXPECT_TRUE(audio.SilenceDetection());
    EXPECT_EQ(audio.SilenceMaxSeconds(), 7);
    EXPECT_EQ(audio.SilencePeakLevel(), 1234);
    EXPECT_TRUE(audio.Recorder().RecordFormat().IsEqual(gsm));

    // The line number as the settings dialog holds it: 0 to 9999.
    openCallLog();
    EXPECT_EQ(session->CallData().LinkNumber(), 9999);
}

TEST_F(SessionSettings, TheInputDecidesWhetherCallsAreRecorded)
{
    struct Case {
        const char *input;
        bool simulate;
        bool recorded;
    };
    for (const Case &c : {Case{"Nepoužívat nahrávání", true, false}, Case{"USB Headset", true, false},
                          Case{"", false, false}, Case{"", true, true}}) {
        SCOPED_TRACE(c.input);
        SCOPED_TRACE(c.simulate);
        TSettings s;
        s.TAPIDevice = SimulatedLine::NameFor(1);
        s.AudioInputDevice = QString::fromUtf8(c.input);
        if (c.simulate)
            s = TSession::WithSimulatedDefaults(s);
        ASSERT_TRUE(session->ApplyStartSettings(s, &error)) << error.toStdString();
        EXPECT_EQ(session->Audio().RecordingEnabled(), c.recorded);
        EXPECT_EQ(session->RecordingInput(), c.recorded ? TSimulatedWaveInDriver::DeviceName() : QString());
        // A simulated start is watched in any case.
        EXPECT_EQ(session->Settings().AutoStartWatch, c.simulate);
    }
}

TEST_F(SessionSettings, ALineThatIsNotThereIsRefused)
{
    TSettings s;
    // With the simulation an empty choice is the simulated line.
    ASSERT_TRUE(session->ApplyStartSettings(TSession::WithSimulatedDefaults(s), &error));
    EXPECT_GE(session->Tapi().Device, 0);
    EXPECT_FALSE(session->ApplyStartSettings(s, &error));
    EXPECT_EQ(error, QStringLiteral("Není vybráno žádné TAPI zařízení"));
    EXPECT_EQ(session->Tapi().Device, -1);
    s.TAPIDevice = QStringLiteral("Linka X");
    EXPECT_FALSE(session->ApplyStartSettings(s, &error));
    EXPECT_EQ(error, QStringLiteral("TAPI zařízení \"Linka X\" nebylo nalezeno"));
}

TEST_F(SessionSettings, ChangedSettingsAreStoredAndReopenTheLineOnlyWhereNeeded)
{
    TSettings s;
    s.TAPIDevice = SimulatedLine::NameFor(1);
    s.AutoStartWatch = true;
    ASSERT_TRUE(session->ApplyStartSettings(s, &error));
    openCallLog();
    QSignalSpy started(session.get(), &TSession::watchStarted);
    QSignalSpy stopped(session.get(), &TSession::watchStopped);
    ASSERT_TRUE(session->StartWatch());
    pump();
    ASSERT_EQ(started.count(), 1);
    EXPECT_TRUE(started.at(0).at(0).toString().startsWith(SimulatedLine::NameFor(1)));

    // Nothing that concerns the line: it stays open.
    s.CallLink = 7;
    s.MaxRecordMinutes = 12;
    session->ChangeSettings(s);
    EXPECT_EQ(started.count(), 1);
    EXPECT_EQ(stopped.count(), 0);
    EXPECT_EQ(session->CallData().LinkNumber(), 7);
    EXPECT_EQ(LoadSettings(data.file("tembrel.ini")).MaxRecordMinutes, 12);

    // Other privileges, then another line: opened anew each time.
    s.CommandCalls = true;
    session->ChangeSettings(s);
    pump();
    EXPECT_EQ(stopped.count(), 1);
    EXPECT_EQ(started.count(), 2);
    s.TAPIDevice = SimulatedLine::NameFor(2);
    session->ChangeSettings(s);
    pump();
    EXPECT_EQ(started.count(), 3);
    EXPECT_TRUE(session->Tapi().LineName.startsWith(SimulatedLine::NameFor(2)));

    // The watch switched off closes the line, switched on opens it.
    s.AutoStartWatch = false;
    session->ChangeSettings(s);
    EXPECT_FALSE(session->Watching());
    EXPECT_EQ(stopped.count(), 3);
    s.AutoStartWatch = true;
    session->ChangeSettings(s);
    pump();
    EXPECT_TRUE(session->Watching());
    EXPECT_EQ(started.count(), 4);
    session->StopWatch();
}

TEST_F(SessionSettings, AChangeThatCannotBeStoredChangesNothing)
{
    TSettings s;
    s.TAPIDevice = SimulatedLine::NameFor(1);
    ASSERT_TRUE(session->ApplyStartSettings(s, &error));
    // A folder where the settings file belongs: it cannot be written.
    ASSERT_TRUE(QDir(data.path()).mkdir(QStringLiteral("tembrel.ini")));
    TSettings changed = s;
    changed.CallLink = 55;
    changed.CommandCalls = true;
    EXPECT_ANY_THROW(session->ChangeSettings(changed));
    EXPECT_EQ(session->Settings().CallLink, 0);
    EXPECT_FALSE(session->Tapi().CommandCalls);
}

TEST_F(SessionSettings, RecordFormatIsStoredAsTheWholeImage)
{
    TSettings s;
    s.RecordFormat = GsmFormat();
    s.RecordFormat.Bytes()[400] = 0x5A;
    session->ChangeSettings(s);
    EXPECT_EQ(session->RecordFormatFileName(), data.file("audiorec.dat"));
    EXPECT_EQ(QFileInfo(data.file("audiorec.dat")).size(), 512);
    EXPECT_TRUE(session->Audio().Recorder().RecordFormat().IsEqual(s.RecordFormat));

    TSession other;
    other.SetSettingsFileName(data.file("tembrel.ini"));
    TSettings read = other.ReadSettings();
    EXPECT_TRUE(read.RecordFormat.IsEqual(s.RecordFormat));
    other.ApplyStartSettings(read);
    EXPECT_FALSE(other.Audio().Recorder().FormatDescription().isEmpty());

    // A missing or unreadable file leaves the format in use.
    QFile::remove(data.file("audiorec.dat"));
    EXPECT_TRUE(other.ReadSettings().RecordFormat.IsEqual(s.RecordFormat));
    QDir(data.path()).mkdir(QStringLiteral("audiorec.dat"));
    EXPECT_TRUE(other.ReadSettings().RecordFormat.IsEqual(s.RecordFormat));
    TSettings again = read;
    again.RecordFormat = TdeWaveFormat();
    EXPECT_ANY_THROW(other.ChangeSettings(again));
}

TEST_F(SessionSettings, StoredCallsAndLogLinesAreReported)
{
    TSettings s;
    s.TAPIDevice = SimulatedLine::NameFor(1);
    s.MissedCalls = true;
    ASSERT_TRUE(session->ApplyStartSettings(s, &error));
    openCallLog();
    QSignalSpy calls(session.get(), &TSession::callLogged);
    QSignalSpy statuses(session.get(), &TSession::statusChanged);
    ASSERT_TRUE(session->StartWatch());
    pump();
    provider.line(1).execute(ParseLineEvent(QStringLiteral("ring 603123456"), 1));
    pump();
    provider.line(1).execute(ParseLineEvent(QStringLiteral("hangup"), 1));
    pump();
    ASSERT_EQ(calls.count(), 1);
    const auto call = calls.at(0).at(0).value<TLoggedCall>();
    EXPECT_EQ(call.PhoneNumber, QStringLiteral("603123456"));
    EXPECT_EQ(call.CallType, ctMissed);
    EXPECT_EQ(call.AudioType, ceNeverConnected);
    EXPECT_TRUE(call.RecordingFile.isEmpty());
    EXPECT_GE(statuses.count(), 2);
    session->StopWatch();
}

// Old recordings are never removed while a call is recorded; the check waits for its end.
TEST_F(SessionSettings, OldRecordingsWaitUntilNoCallIsRecorded)
{
    TSettings s;
    s.TAPIDevice = SimulatedLine::NameFor(1);
    s = TSession::WithSimulatedDefaults(s);
    ASSERT_TRUE(session->ApplyStartSettings(s, &error)) << error.toStdString();
    openCallLog();
    Tdmcd &cd = session->CallData();
    const QString temp = Tdmcd::TempRecordFileName();
    QFile old(temp);
    ASSERT_TRUE(old.open(QIODevice::WriteOnly));
    old.write(QByteArray(100, 'r'));
    old.close();
    cd.AddCall(ctIncoming, 1, Now() - 30, Now() - 30 + 1.0 / 1440, QStringLiteral("1"), temp);
    const QString oldFile = Tdmcd::RecordingFileName(cd.tb_audio->autoIncValue() - 1);
    ASSERT_TRUE(QFile::exists(oldFile));

    QSignalSpy removed(session.get(), &TSession::recordingsRemoved);
    ASSERT_TRUE(session->StartWatch());
    pump();
    provider.line(1).execute(ParseLineEvent(QStringLiteral("ring 603123456"), 1));
    provider.line(1).execute(ParseLineEvent(QStringLiteral("answer"), 1));
    pump();
    ASSERT_TRUE(session->Audio().Recorder().IsActive());
    TSettings keepTenDays = session->Settings();
    keepTenDays.Retention.mode = TRetention::ByAge;
    keepTenDays.Retention.days = 10;
    session->ChangeSettings(keepTenDays); // a changed setting applies at once...
    pump();
    session->ApplyRetention();
    EXPECT_TRUE(QFile::exists(oldFile)); // ...but not during a recording
    EXPECT_EQ(removed.count(), 0);

    provider.line(1).execute(ParseLineEvent(QStringLiteral("hangup"), 1));
    pump();
    ASSERT_FALSE(session->Audio().Recorder().IsActive());
    session->ApplyRetention();
    EXPECT_FALSE(QFile::exists(oldFile));
    ASSERT_EQ(removed.count(), 1);
    EXPECT_TRUE(removed.at(0).at(0).toString().startsWith(QStringLiteral("Odstraněna 1 stará nahrávka")));
    session->StopWatch();
}

// The names of the call list: the phonebook's by the number as the phonebook compares it
// (blanks, dashes, the country's prefix), else the name the line gave this run; a change
// of the phonebook shows once it is saved, and the log file never holds a name.
TEST_F(SessionSettings, CallsAreNamedFromThePhonebookElseByTheLine)
{
    TSettings s;
    s.TAPIDevice = SimulatedLine::NameFor(1);
    s.MissedCalls = true;
    s.CountryPrefix = QStringLiteral("420");
    ASSERT_TRUE(session->ApplyStartSettings(s, &error));
    ASSERT_TRUE(WriteStringToFile(QStringLiteral("603123456\tAnna Nováková\n").toUtf8(),
                                  session->PhonebookFileName()));
    openCallLog();
    QSignalSpy named(session.get(), &TSession::namesChanged);
    ASSERT_TRUE(session->StartWatch());
    pump();
    auto ring = [this](const QString &events) {
        for (const QString &event : events.split(QLatin1Char(';')))
            provider.line(1).execute(ParseLineEvent(event.trimmed(), 1));
        pump();
    };
    ring(QStringLiteral("ring +420603123456; callername Anička z Brna; hangup"));
    ring(QStringLiteral("ring 777888999; callername Cyril Veselý; hangup"));
    ring(QStringLiteral("ring 111222333; hangup"));
    TMemTable *log = session->CallData().tb_audio;
    ASSERT_EQ(log->physicalCount(), 3);
    const TField &name = log->fieldByName(QStringLiteral("PHONENAME"));
    EXPECT_EQ(name.asStringAt(0), QStringLiteral("Anna Nováková")); // the phonebook wins
    EXPECT_EQ(name.asStringAt(1), QStringLiteral("Cyril Veselý"));
    EXPECT_EQ(name.asStringAt(2), QString());
    EXPECT_EQ(session->NameFor(QStringLiteral("00420 777 888 999")), QStringLiteral("Cyril Veselý"));
    EXPECT_GE(named.count(), 1);

    // The phonebook learns a name: the list shows it once saved, the cache forgets the old one.
    session->Phonebook().Put({QStringLiteral("111 222 333"), QStringLiteral("Servis"), false, false});
    EXPECT_EQ(session->NameFor(QStringLiteral("111222333")), QStringLiteral("Servis"));
    session->SavePhonebook();
    EXPECT_EQ(name.asStringAt(2), QStringLiteral("Servis"));
    const QByteArray saved = ReadFileToString(Tdmcd::DataFileName());
    EXPECT_FALSE(saved.contains("PHONENAME"));
    EXPECT_FALSE(saved.contains("Servis"));
    EXPECT_FALSE(saved.contains(EncodeCp1250(QStringLiteral("Veselý"))));
    session->StopWatch();
}

// Each recording rule decides at the connection, and the row tells what was done.
TEST_F(SessionSettings, RecordingRulesDecideForEachCallAndTheRowTellsTheTruth)
{
    struct Case {
        int rule;
        const char *number;
        bool recorded;
    };
    const Case cases[] = {
        {TSettings::RecordEveryCall, "603111111", true},           // private, but every call is recorded
        {TSettings::RecordMarkedOnly, "603222222", true},     // marked, written with the country prefix
        {TSettings::RecordMarkedOnly, "603333333", false},    // not in the phonebook
        {TSettings::RecordAllButPrivate, "603111111", false}, // private
        {TSettings::RecordAllButPrivate, "603333333", true},  // unknown
    };
    TSettings s;
    s.TAPIDevice = SimulatedLine::NameFor(1);
    s = TSession::WithSimulatedDefaults(s);
    s.CountryPrefix = QStringLiteral("420");
    ASSERT_TRUE(session->ApplyStartSettings(s, &error)) << error.toStdString();
    openCallLog();
    session->Phonebook().Put({QStringLiteral("603 111 111"), QStringLiteral("Soukromý"), false, true});
    session->Phonebook().Put({QStringLiteral("+420 603-222-222"), QStringLiteral("Nahrávaný"), true, false});
    QSignalSpy calls(session.get(), &TSession::callLogged);
    ASSERT_TRUE(session->StartWatch());
    pump();
    for (const Case &c : cases) {
        SCOPED_TRACE(c.number);
        SCOPED_TRACE(c.rule);
        TSettings rule = session->Settings();
        rule.RecordRule = c.rule;
        session->ChangeSettings(rule);
        pump();
        calls.clear();
        provider.line(1).execute(ParseLineEvent(QStringLiteral("ring ") + QLatin1String(c.number), 1));
        provider.line(1).execute(ParseLineEvent(QStringLiteral("answer"), 1));
        // Long enough a conversation that a recording would hold sound.
        QElapsedTimer talk;
        talk.start();
        while (talk.elapsed() < 400)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        provider.line(1).execute(ParseLineEvent(QStringLiteral("hangup"), 1));
        pump();
        ASSERT_EQ(calls.count(), 1);
        const auto call = calls.at(0).at(0).value<TLoggedCall>();
        EXPECT_EQ(call.PhoneNumber, QLatin1String(c.number));
        EXPECT_EQ(!call.RecordingFile.isEmpty(), c.recorded);
        EXPECT_EQ(call.AudioSize > 0, c.recorded);
        EXPECT_EQ(QFile::exists(Tdmcd::RecordingFileName(call.Id)), c.recorded);
    }
    EXPECT_TRUE(ReadFileToString(LogFileName()).contains("603333333 se podle pravidla nahrávání nenahrává"));
    session->StopWatch();
}

} // namespace
