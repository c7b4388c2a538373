#include "optlist.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QPushButton>
#include <QSpinBox>
#include <QTabWidget>
#include <QTest>
#include <gtest/gtest.h>
#include <memory>

#include "autostart.h"
#include "codepage1250.h"
#include "deAudioIO.h"
#include "dialogkit.h"
#include "formatchooser.h"
#include "lineconfig.h"
#include "simulatedline.h"
#include "simulatedwavein.h"
#include "support/scriptedmessagebox.h"
#include "support/tempdatadir.h"
#include "trackbar.h"
#include "session.h"
#include "udmaudio.h"
#include "udmtapi.h"
#include "waveinregistry.h"

namespace {

const QString kSimulatedInput = QStringLiteral("Simulovaný vstup");

class SettingsDialogTest : public DataDirTest {
protected:
    void SetUp() override
    {
        TWaveInRegistry::Instance().EnableSoundSystem(false);
        EnableSimulatedInput(withInput);
        RefreshDevices();
        session = std::make_unique<TSession>();
        session->SetSettingsFileName(settingsFile());
        // The test's own simulated lines only: no real provider probes the machine.
        RefreshDevices();
        session->Audio().SetInputDeviceAvailable(InputDeviceCount() > 0);
    }
    void TearDown() override
    {
        dialog.reset();
        session.reset();
        lines.reset();
        EnableSimulatedInput(false);
        TWaveInRegistry::Instance().EnableSoundSystem(true);
        RefreshDevices();
    }

    Tfoptlist &makeDialog()
    {
        dialog = std::make_unique<Tfoptlist>(session.get());
        return *dialog;
    }
    // What the program's start does: the session takes the stored settings, the dialog shows them.
    void startSettings(Tfoptlist &d)
    {
        session->ApplyStartSettings(session->ReadSettings());
        d.LoadSettings();
    }
    QString settingsFile() const { return data.file(QStringLiteral("tembrel.ini")); }
    void writeSettings(const QString &text) { ASSERT_TRUE(WriteStringToFile(EncodeCp1250(text), settingsFile())); }
    QStringList settingsLines() const
    {
        QString text = DecodeCp1250(ReadFileToString(settingsFile()));
        if (text.endsWith(QStringLiteral("\r\n")))
            text.chop(2);
        return text.split(QStringLiteral("\r\n"));
    }
    // Shows the dialog, lets the test act on it while it is up, and returns the result.
    int showAndDo(const std::function<void(Tfoptlist *)> &action)
    {
        WhenModal<Tfoptlist>(action);
        return dialog->exec();
    }

    bool withInput = true;
    ScriptedMessageBox boxes;
    ConfigHomeScope configHome{data.file(QStringLiteral("config"))};
    std::unique_ptr<SimulatedProvider> lines = std::make_unique<SimulatedProvider>(2);
    std::unique_ptr<TSession> session;
    std::unique_ptr<Tfoptlist> dialog;
};

class SettingsDialogWithoutInputTest : public SettingsDialogTest {
protected:
    void SetUp() override
    {
        withInput = false;
        lines.reset();
        SettingsDialogTest::SetUp();
    }
};

TEST_F(SettingsDialogTest, ListsInputsAndLinesAtCreation)
{
    Tfoptlist &d = makeDialog();
    EXPECT_EQ(d.windowTitle(), QStringLiteral("Tembrel Personal - Nastavení"));
    // The program starts at the user's logon to the desktop; nothing here is "Windows".
    EXPECT_EQ(d.chb_winstart->text(), QStringLiteral("Automaticky spouštět po přihlášení uživatele"));
    ASSERT_EQ(d.cb_audio->count(), 2);
    EXPECT_EQ(d.cb_audio->itemText(0), QStringLiteral("Nepoužívat nahrávání"));
    EXPECT_EQ(d.cb_audio->itemData(0).toInt(), -2);
    EXPECT_EQ(d.cb_audio->itemText(1), kSimulatedInput);
    EXPECT_EQ(d.cb_audio->itemData(1).toInt(), 0);
    EXPECT_TRUE(session->Audio().InputDeviceAvailable());
    ASSERT_EQ(d.cb_tapi->count(), 2);
    EXPECT_EQ(d.cb_tapi->itemText(1), SimulatedLine::NameFor(2));
    EXPECT_EQ(d.cb_tapi->itemData(1).toInt(), LineService::instance().deviceIdOf(&lines->line(2)));
}

TEST_F(SettingsDialogTest, DeviceButtonShowsTheChosenLine)
{
    Tfoptlist &d = makeDialog();
    startSettings(d);
    QString shownName;
    QWidget *owner = nullptr;
    ASSERT_EQ(showAndDo([&](Tfoptlist *w) {
                  w->cb_tapi->setCurrentIndex(1);
                  WhenModal<TLineConfigDialog>([&](TLineConfigDialog *line) {
                      shownName = line->lb_name->text();
                      owner = line->parentWidget();
                      line->btnok->click();
                  });
                  w->btn_tapiconfig->click();
                  w->reject();
              }),
              QDialog::Rejected);
    EXPECT_EQ(shownName, SimulatedLine::NameFor(2));
    EXPECT_EQ(owner, dialog.get());
    EXPECT_TRUE(boxes.calls().isEmpty());
}

TEST_F(SettingsDialogWithoutInputTest, OffersOnlyNoRecordingAndSaysNoInputExists)
{
    Tfoptlist &d = makeDialog();
    ASSERT_EQ(d.cb_audio->count(), 1);
    EXPECT_EQ(d.cb_audio->itemText(0), QStringLiteral("Nepoužívat nahrávání"));
    EXPECT_FALSE(session->Audio().InputDeviceAvailable());
    EXPECT_EQ(d.cb_tapi->count(), 0);

    // The device button with no line chosen is refused with a message, nothing else.
    d.btn_tapiconfig->click();
    ASSERT_EQ(boxes.boxes().size(), 1);
    EXPECT_EQ(boxes.boxes()[0].text, QStringLiteral("Žádné TAPI zařízení není vybráno"));
    EXPECT_EQ(boxes.boxes()[0].kind, int(mkError));
}

TEST_F(SettingsDialogTest, MissingFileGivesEveryDefault)
{
    session->Tapi().Device = 5;
    session->Audio().SetRecordingEnabled(true);
    Tfoptlist &d = makeDialog();
    startSettings(d);
    EXPECT_EQ(session->Settings().StartDelay, 0);
    for (QCheckBox *c : {d.chb_autostartwatch, d.chb_tapiautocheck, d.chb_commandcalls, d.chb_missedcalls,
                         d.chb_silencedetection})
        EXPECT_FALSE(c->isChecked()) << c->text().toStdString();
    EXPECT_FALSE(session->Tapi().AutoStartWatch || session->Tapi().TAPIAutoCheck || session->Tapi().CommandCalls || session->Tapi().MissedCalls);
    EXPECT_EQ(d.spe_link->value(), 0);
    EXPECT_EQ(d.spe_maxaudio->value(), 30);
    EXPECT_EQ(session->Audio().Recorder().MaxMinutes(), 30);
    EXPECT_EQ(d.spe_silenceseconds->value(), 1);
    EXPECT_EQ(d.tb1->value(), 0);
    EXPECT_EQ(d.cb_tapi->currentIndex(), -1);
    EXPECT_EQ(session->Tapi().Device, -1);
    EXPECT_EQ(d.cb_audio->currentIndex(), 0);
    EXPECT_FALSE(session->Audio().RecordingEnabled());
    // The default record format is described.
    EXPECT_EQ(d.Label2->text(), session->Audio().Recorder().FormatDescription());
    EXPECT_FALSE(d.Label2->text().isEmpty());
}

TEST_F(SettingsDialogTest, StoredDevicesAreMatchedWithoutRegardToCase)
{
    writeSettings(QStringLiteral("TAPIDevice=SIMULOVANÁ LINKA 2\r\nAudioInputDevice=simulovaný VSTUP\r\n"
                                 "startdelay=5\r\nMaxRecordMinutes=0\r\nSilencePeakLevel=70000\r\n"));
    Tfoptlist &d = makeDialog();
    startSettings(d);
    EXPECT_EQ(session->Settings().StartDelay, 5);
    EXPECT_EQ(d.cb_tapi->currentIndex(), 1);
    EXPECT_EQ(session->Tapi().Device, LineService::instance().deviceIdOf(&lines->line(2)));
    EXPECT_EQ(d.cb_audio->currentText(), kSimulatedInput);
    EXPECT_TRUE(session->Audio().RecordingEnabled());
    EXPECT_EQ(session->Audio().Recorder().DeviceName(), QStringLiteral("simulovaný VSTUP"));
    EXPECT_EQ(session->Audio().Recorder().DeviceID(), 0);
    // No limit from an edited file stays in the recorder; the dialog shows at least 1.
    EXPECT_EQ(session->Audio().Recorder().MaxMinutes(), 0);
    EXPECT_EQ(d.spe_maxaudio->value(), 1);
    // A level outside 16 bits reads as the default.
    EXPECT_EQ(session->Audio().SilencePeakLevel(), 0);
}

TEST_F(SettingsDialogTest, InputThatIsGoneTurnsRecordingOffAtStartUp)
{
    writeSettings(QStringLiteral("AudioInputDevice=USB sluchátka\r\nTAPIDevice=Modem\r\n"));
    session->Audio().SetRecordingEnabled(true);
    Tfoptlist &d = makeDialog();
    startSettings(d);
    EXPECT_EQ(d.cb_audio->currentIndex(), 0);
    EXPECT_FALSE(session->Audio().RecordingEnabled());
    EXPECT_TRUE(session->Audio().Recorder().DeviceName().isEmpty());
    EXPECT_EQ(d.cb_tapi->currentIndex(), -1);
    EXPECT_EQ(session->Tapi().Device, -1);
}

TEST_F(SettingsDialogTest, OkSavesEveryControlInOrderAndKeepsForeignLines)
{
    writeSettings(QStringLiteral("StartDelay=5\r\nPoznámka bez rovnítka\r\nMissedCalls=1\r\nJiný=x\r\n"));
    Tfoptlist &d = makeDialog();
    startSettings(d);
    const int result = showAndDo([](Tfoptlist *w) {
        w->spe_link->setValue(12);
        w->cb_tapi->setCurrentIndex(1);
        w->chb_autostartwatch->setChecked(true);
        w->chb_tapiautocheck->setChecked(true);
        w->chb_missedcalls->setChecked(false);
        w->cb_audio->setCurrentIndex(1);
        w->spe_maxaudio->setValue(45);
        w->chb_silencedetection->setChecked(true);
        w->spe_silenceseconds->setValue(7);
        w->tb1->setValue(20000);
        w->btnok->click();
    });
    ASSERT_EQ(result, QDialog::Accepted);
    EXPECT_EQ(settingsLines(),
              QStringList({QStringLiteral("StartDelay=5"), QStringLiteral("Poznámka bez rovnítka"),
                           QStringLiteral("MissedCalls=0"), QStringLiteral("Jiný=x"),
                           QStringLiteral("TAPIDevice=Simulovaná linka 2"),
                           QStringLiteral("AudioInputDevice=Simulovaný vstup"), QStringLiteral("AutoStartWatch=1"),
                           QStringLiteral("TAPIAutoCheck=1"), QStringLiteral("CommandCalls=0"),
                           QStringLiteral("CallLink=12"), QStringLiteral("MaxRecordMinutes=45"),
                           QStringLiteral("SilenceDetection=1"), QStringLiteral("SilenceMaxSeconds=7"),
                           QStringLiteral("SilencePeakLevel=20000")}));
    // The modules work with the new values at once.
    EXPECT_EQ(session->Tapi().Device, LineService::instance().deviceIdOf(&lines->line(2)));
    EXPECT_TRUE(session->Tapi().AutoStartWatch && session->Tapi().TAPIAutoCheck);
    EXPECT_FALSE(session->Tapi().CommandCalls || session->Tapi().MissedCalls);
    EXPECT_TRUE(session->Audio().RecordingEnabled());
    EXPECT_EQ(session->Audio().Recorder().DeviceName(), kSimulatedInput);
    EXPECT_EQ(session->Audio().Recorder().MaxMinutes(), 45);
    EXPECT_TRUE(session->Audio().SilenceDetection());
    EXPECT_EQ(session->Audio().SilenceMaxSeconds(), 7);
    EXPECT_EQ(session->Audio().SilencePeakLevel(), 20000);

    // A fresh dialog reads back what was saved.
    Tfoptlist &again = makeDialog();
    startSettings(again);
    EXPECT_EQ(again.spe_link->value(), 12);
    EXPECT_EQ(again.cb_tapi->currentIndex(), 1);
    EXPECT_EQ(again.cb_audio->currentIndex(), 1);
    EXPECT_TRUE(again.chb_autostartwatch->isChecked());
    EXPECT_FALSE(again.chb_missedcalls->isChecked());
    EXPECT_EQ(again.spe_maxaudio->value(), 45);
    EXPECT_EQ(again.spe_silenceseconds->value(), 7);
    EXPECT_EQ(again.tb1->value(), 20000);
    EXPECT_EQ(again.tb2->value(), 20000);
    EXPECT_EQ(session->Settings().StartDelay, 5);
}

TEST_F(SettingsDialogTest, OkWithoutLineRemovesTheDeviceKey)
{
    writeSettings(QStringLiteral("TAPIDevice=Simulovaná linka 1\r\nCallLink=3\r\n"));
    Tfoptlist &d = makeDialog();
    startSettings(d);
    ASSERT_EQ(d.cb_tapi->currentIndex(), 0);
    ASSERT_EQ(showAndDo([](Tfoptlist *w) {
                  w->cb_tapi->setCurrentIndex(-1);
                  w->btnok->click();
              }),
              QDialog::Accepted);
    const QStringList saved = settingsLines();
    EXPECT_EQ(saved.first(), QStringLiteral("CallLink=3"));
    EXPECT_FALSE(saved.join(QLatin1Char('\n')).contains(QStringLiteral("TAPIDevice")));
    EXPECT_TRUE(saved.contains(QStringLiteral("AudioInputDevice=Nepoužívat nahrávání")));
    EXPECT_EQ(session->Tapi().Device, -1);
}

TEST_F(SettingsDialogTest, CancelPutsTheSavedValuesBackAndWritesNothing)
{
    writeSettings(QStringLiteral("TAPIDevice=Simulovaná linka 1\r\nAudioInputDevice=Simulovaný vstup\r\n"
                                 "AutoStartWatch=1\r\nCommandCalls=1\r\nCallLink=4\r\nSilencePeakLevel=1000\r\n"));
    const QByteArray before = ReadFileToString(settingsFile());
    Tfoptlist &d = makeDialog();
    startSettings(d);
    const int device = session->Tapi().Device;
    const int result = showAndDo([](Tfoptlist *w) {
        w->spe_link->setValue(99);
        w->cb_tapi->setCurrentIndex(1);
        w->chb_autostartwatch->setChecked(false);
        w->chb_commandcalls->setChecked(false);
        w->cb_audio->setCurrentIndex(0);
        w->tb2->setValue(30000);
        w->btncancel->click();
    });
    EXPECT_EQ(result, QDialog::Rejected);
    EXPECT_EQ(ReadFileToString(settingsFile()), before);
    EXPECT_EQ(d.spe_link->value(), 4);
    EXPECT_EQ(d.cb_tapi->currentIndex(), 0);
    EXPECT_TRUE(d.chb_autostartwatch->isChecked());
    EXPECT_TRUE(d.chb_commandcalls->isChecked());
    EXPECT_EQ(d.cb_audio->currentText(), kSimulatedInput);
    EXPECT_EQ(d.tb1->value(), 1000);
    EXPECT_EQ(d.tb2->value(), 1000);
    EXPECT_EQ(session->Tapi().Device, device);
    EXPECT_TRUE(session->Tapi().CommandCalls);
    EXPECT_TRUE(session->Audio().RecordingEnabled());
    // The input keeps its name, so the next recording still finds it by name.
    EXPECT_EQ(session->Audio().Recorder().DeviceName(), kSimulatedInput);
}

TEST_F(SettingsDialogTest, EscInAnySpinEditCancels)
{
    Tfoptlist &d = makeDialog();
    startSettings(d);
    for (QSpinBox *spin : {d.spe_link, d.spe_maxaudio, d.spe_silenceseconds}) {
        const int result = showAndDo([spin](Tfoptlist *w) {
            w->pgc->setCurrentWidget(spin == w->spe_link ? w->TabSheet1 : w->TabSheet2);
            w->chb_silencedetection->setChecked(true);
            w->chb_silencedetectionClick();
            spin->setFocus();
            spin->setValue(spin->value() + 1);
            QTest::keyClick(spin, Qt::Key_Escape);
        });
        EXPECT_EQ(result, QDialog::Rejected) << spin->objectName().toStdString();
    }
    EXPECT_FALSE(QFile::exists(settingsFile()));
    EXPECT_EQ(d.spe_link->value(), 0);
    EXPECT_EQ(d.spe_maxaudio->value(), 30);
    EXPECT_EQ(d.spe_silenceseconds->value(), 1);
}

TEST_F(SettingsDialogTest, TrackBarsMoveTogetherAndShowPercent)
{
    Tfoptlist &d = makeDialog();
    d.tb2->setValue(16384);
    EXPECT_EQ(d.tb1->value(), 16384);
    EXPECT_EQ(d.lb_silencelevel->text(), QStringLiteral("50"));
    d.tb1->setValue(32767);
    EXPECT_EQ(d.tb2->value(), 32767);
    EXPECT_EQ(d.lb_silencelevel->text(), QStringLiteral("100"));
    EXPECT_EQ(Tfoptlist::PeakPercent(327), 0);
    EXPECT_EQ(Tfoptlist::PeakPercent(328), 1);
}

TEST_F(SettingsDialogTest, ShowingAppliesTheEnablingRules)
{
    Tfoptlist &d = makeDialog();
    startSettings(d);
    ASSERT_EQ(showAndDo([](Tfoptlist *w) {
                  EXPECT_FALSE(w->tb1->isEnabled());
                  EXPECT_FALSE(w->spe_silenceseconds->isEnabled());
                  EXPECT_FALSE(w->chb_missedcalls->isEnabled());
                  EXPECT_TRUE(w->spe_maxaudio->isEnabled());
                  w->chb_silencedetection->click();
                  w->chb_autostartwatch->click();
                  EXPECT_TRUE(w->tb2->isEnabled());
                  EXPECT_TRUE(w->Label8->isEnabled());
                  EXPECT_TRUE(w->chb_commandcalls->isEnabled());
                  w->reject();
              }),
              QDialog::Rejected);

    // Shown on its own (installation start), the line options stay enabled.
    d.ShownAlone = true;
    ASSERT_EQ(showAndDo([](Tfoptlist *w) {
                  EXPECT_TRUE(w->chb_tapiautocheck->isEnabled());
                  w->reject();
              }),
              QDialog::Rejected);
}

TEST_F(SettingsDialogTest, OkWritesAndRemovesTheAutostartEntry)
{
    Tfoptlist &d = makeDialog();
    startSettings(d);
    ASSERT_EQ(showAndDo([](Tfoptlist *w) {
                  EXPECT_FALSE(w->chb_winstart->isChecked());
                  w->chb_winstart->setChecked(true);
                  w->btnok->click();
              }),
              QDialog::Accepted);
    EXPECT_TRUE(AutoStartEnabled());
    ASSERT_EQ(showAndDo([](Tfoptlist *w) {
                  EXPECT_TRUE(w->chb_winstart->isChecked());
                  w->chb_winstart->setChecked(false);
                  w->btnok->click();
              }),
              QDialog::Accepted);
    EXPECT_FALSE(AutoStartEnabled());
}

// Picks the first format of a tag in the chooser window and accepts it.
void ChooseInWindow(uint16_t tag)
{
    WhenModal<TFormatChooserDialog>([tag](TFormatChooserDialog *chooser) {
        chooser->cb_formattag->setCurrentIndex(chooser->cb_formattag->findData(int(tag)));
        chooser->cb_format->setCurrentIndex(0);
        chooser->btnok->click();
    });
}

TEST_F(SettingsDialogTest, ChosenFormatReachesTheFileOnlyThroughOk)
{
    Tfoptlist &d = makeDialog();
    startSettings(d);
    const QString formatFile = session->RecordFormatFileName();
    ASSERT_FALSE(QFile::exists(formatFile));
    const uint16_t before = session->Audio().Recorder().RecordFormat().FormatTag();
    ASSERT_NE(before, WAVE_FORMAT_GSM610);

    // Chosen, then cancelled: neither in force nor stored.
    ASSERT_EQ(showAndDo([](Tfoptlist *w) {
                  ChooseInWindow(WAVE_FORMAT_GSM610);
                  w->btnformat->click();
                  EXPECT_TRUE(w->FormatChanged);
                  EXPECT_TRUE(w->Label2->text().startsWith(QStringLiteral("GSM 6.10"))) << w->Label2->text().toStdString();
                  w->btncancel->click();
              }),
              QDialog::Rejected);
    EXPECT_FALSE(QFile::exists(formatFile));
    EXPECT_EQ(session->Audio().Recorder().RecordFormat().FormatTag(), before);
    EXPECT_EQ(d.Label2->text(), session->Audio().Recorder().FormatDescription());

    // Chosen and confirmed: the 512-byte image is written.
    ASSERT_EQ(showAndDo([](Tfoptlist *w) {
                  EXPECT_FALSE(w->FormatChanged);
                  ChooseInWindow(WAVE_FORMAT_ALAW);
                  w->btnformat->click();
                  w->btnok->click();
              }),
              QDialog::Accepted);
    const QByteArray stored = ReadFileToString(formatFile);
    ASSERT_EQ(stored.size(), 512);
    TdeWaveFormat read;
    read.LoadFromFile(formatFile);
    EXPECT_EQ(read.FormatTag(), WAVE_FORMAT_ALAW);
    EXPECT_TRUE(read.IsEqual(session->Audio().Recorder().RecordFormat()));
}

TEST_F(SettingsDialogTest, MonitorShowsLevelsAlongsideTheMainWindowThenRestoresTheDevice)
{
    Tfoptlist &d = makeDialog();
    startSettings(d);
    int mainWindowLevels = 0;
    QObject::connect(session.get(), &TSession::levelChanged, [&](TdeAudioControlSource *sender) {
        if (sender)
            ++mainWindowLevels;
    });
    session->Audio().Recorder().SetDeviceID(-1);

    const int result = showAndDo([&](Tfoptlist *w) {
        EXPECT_EQ(w->ShownDeviceID, -1);
        w->cb_audio->setCurrentIndex(1);
        w->btn_rectest->click();
        EXPECT_TRUE(w->MonitorStarted);
        EXPECT_TRUE(session->Audio().Recorder().IsActive());
        EXPECT_TRUE(QTest::qWaitFor([&] { return w->tb1->SelEnd() > 0 || w->tb2->SelEnd() > 0; }, 10000));
        EXPECT_GT(mainWindowLevels, 0);
        EXPECT_EQ(w->lb_peakleft->text(), QString::number(Tfoptlist::PeakPercent(w->tb1->SelEnd())));
        w->btn_rectest->click();
        EXPECT_FALSE(session->Audio().Recorder().IsActive());
        EXPECT_EQ(session->Audio().Recorder().DeviceID(), -1);
        EXPECT_EQ(w->tb1->SelEnd(), 0);
        w->btncancel->click();
    });
    EXPECT_EQ(result, QDialog::Rejected);
    // The file names no input, so the cancelled monitor leaves recording off.
    EXPECT_FALSE(session->Audio().RecordingEnabled());
    // Closed, the dialog shows levels no more.
    d.tb1->SetSelEnd(123);
    session->Audio().OnLevel(nullptr);
    EXPECT_EQ(d.tb1->SelEnd(), 123);
}

TEST_F(SettingsDialogTest, MonitorNeverInterruptsACallRecording)
{
    writeSettings(QStringLiteral("AudioInputDevice=Simulovaný vstup\r\n"));
    Tfoptlist &d = makeDialog();
    startSettings(d);
    session->Audio().StartRecording(data.file(QStringLiteral("call.wav")));
    ASSERT_TRUE(session->Audio().Recorder().IsActive());
    ASSERT_EQ(showAndDo([](Tfoptlist *w) {
                  w->btn_rectest->click();
                  EXPECT_FALSE(w->MonitorStarted);
                  w->btnok->click();
              }),
              QDialog::Accepted);
    EXPECT_TRUE(session->Audio().Recorder().IsActive());
    session->Audio().StopRecording();
}

// ---- Recording rule, country prefix and old recordings --------------------------------------

TEST_F(SettingsDialogTest, RulesPageShowsTheDefaultsWithTheLimitsDisabled)
{
    Tfoptlist &d = makeDialog();
    startSettings(d);
    EXPECT_EQ(d.pgc->tabText(2), QStringLiteral("Pravidla"));
    EXPECT_TRUE(d.rb_recordall->isChecked());
    EXPECT_EQ(d.rb_recordall->text(), QStringLiteral("Nahrávat všechny hovory"));
    EXPECT_TRUE(d.ed_countryprefix->text().isEmpty());
    EXPECT_TRUE(d.rb_keepall->isChecked());
    EXPECT_FALSE(d.spe_keepdays->isEnabled());
    EXPECT_FALSE(d.spe_keepgb->isEnabled());
    EXPECT_FALSE(d.chb_keeprows->isEnabled());
    // Choosing a limit enables just its own value and the rows check box.
    d.rb_keepdays->click();
    EXPECT_TRUE(d.spe_keepdays->isEnabled());
    EXPECT_FALSE(d.spe_keepgb->isEnabled());
    EXPECT_TRUE(d.chb_keeprows->isEnabled());
    d.rb_keepsize->click();
    EXPECT_FALSE(d.spe_keepdays->isEnabled());
    EXPECT_TRUE(d.spe_keepgb->isEnabled());
}

TEST_F(SettingsDialogTest, RulesAreLoadedSavedAndPutBackOnCancel)
{
    writeSettings(QStringLiteral("RecordRule=2\r\nCountryPrefix=421\r\nRetentionMode=1\r\nRetentionDays=30\r\n"
                                 "RetentionDeleteRows=1\r\n"));
    Tfoptlist &d = makeDialog();
    startSettings(d);
    EXPECT_TRUE(d.rb_recordnotprivate->isChecked());
    EXPECT_EQ(d.ed_countryprefix->text(), QStringLiteral("421"));
    EXPECT_TRUE(d.rb_keepdays->isChecked());
    EXPECT_EQ(d.spe_keepdays->value(), 30);
    EXPECT_EQ(d.spe_keepgb->value(), 5);
    EXPECT_TRUE(d.chb_keeprows->isChecked());

    // Cancel shows the stored values again.
    ASSERT_EQ(showAndDo([](Tfoptlist *w) {
                  w->rb_recordall->click();
                  w->ed_countryprefix->setText(QStringLiteral("1"));
                  w->rb_keepall->click();
                  w->btncancel->click();
              }),
              QDialog::Rejected);
    EXPECT_TRUE(d.rb_recordnotprivate->isChecked());
    EXPECT_EQ(d.ed_countryprefix->text(), QStringLiteral("421"));
    EXPECT_TRUE(d.rb_keepdays->isChecked());
    EXPECT_TRUE(d.spe_keepdays->isEnabled());

    const QStringList stored = settingsLines();
    bool stillOpen = false;
    ASSERT_EQ(showAndDo([&](Tfoptlist *w) {
                  w->rb_recordmarked->click();
                  // Written as dialled from abroad, kept as the bare code.
                  w->ed_countryprefix->setText(QStringLiteral(" +420 "));
                  w->rb_keepsize->click();
                  w->spe_keepgb->setValue(12);
                  w->chb_keeprows->setChecked(false);
                  // A new removal choice is confirmed first; No stores nothing.
                  boxes.answer(mrNo);
                  w->btnok->click();
                  stillOpen = w->isVisible() && settingsLines() == stored;
                  w->btnok->click();
              }),
              QDialog::Accepted);
    EXPECT_TRUE(stillOpen);
    ASSERT_EQ(boxes.boxes().size(), 2);
    EXPECT_EQ(boxes.boxes()[0].text, QStringLiteral("Nejstarší nahrávky nad celkovou velikost 12 GB se smažou hned po "
                                                     "uložení nastavení a potom jednou denně. Pokračovat?"));
    EXPECT_EQ(boxes.boxes()[0].kind, int(mkConfirmation));
    const QStringList lines = settingsLines();
    for (const char *line : {"RecordRule=1", "CountryPrefix=420", "RetentionMode=2", "RetentionDays=30", "RetentionMaxGB=12"})
        EXPECT_TRUE(lines.contains(QString::fromUtf8(line))) << line;
    EXPECT_FALSE(lines.join(QLatin1Char('\n')).contains(QStringLiteral("RetentionDeleteRows")));
    const TSettings &s = session->Settings();
    EXPECT_EQ(s.RecordRule, int(TSettings::RecordMarkedOnly));
    EXPECT_EQ(s.CountryPrefix, QStringLiteral("420"));
    EXPECT_EQ(s.Retention.mode, int(TRetention::BySize));
    EXPECT_EQ(s.Retention.maxGigabytes, 12.0);
    EXPECT_FALSE(s.Retention.deleteRows);
    // The phonebook compares numbers with the new prefix at once.
    EXPECT_EQ(session->Phonebook().CountryPrefix(), QStringLiteral("420"));

    // Back to the defaults: the keys of the later features leave the file again.
    ASSERT_EQ(showAndDo([](Tfoptlist *w) {
                  w->rb_recordall->click();
                  w->ed_countryprefix->clear();
                  w->rb_keepall->click();
                  w->spe_keepdays->setValue(90);
                  w->spe_keepgb->setValue(5);
                  w->btnok->click();
              }),
              QDialog::Accepted);
    for (const QString &line : settingsLines())
        EXPECT_FALSE(line.startsWith(QStringLiteral("Record")) || line.startsWith(QStringLiteral("Retention"))
                     || line.startsWith(QStringLiteral("Country")))
            << line.toStdString();
}

TEST_F(SettingsDialogTest, InvalidRuleValuesAreRefusedAndNothingIsStored)
{
    Tfoptlist &d = makeDialog();
    startSettings(d);
    auto refused = [&](const std::function<void(Tfoptlist *)> &spoil, const QString &expected) {
        SCOPED_TRACE(expected.toStdString());
        boxes.clear();
        bool stillOpen = false;
        const int result = showAndDo([&](Tfoptlist *w) {
            spoil(w);
            w->btnok->click();
            stillOpen = w->isVisible();
            w->btncancel->click();
        });
        EXPECT_EQ(result, QDialog::Rejected);
        EXPECT_TRUE(stillOpen);
        ASSERT_EQ(boxes.boxes().size(), 1);
        EXPECT_EQ(boxes.boxes()[0].kind, int(mkError));
        EXPECT_TRUE(boxes.boxes()[0].text.contains(expected)) << boxes.boxes()[0].text.toStdString();
        EXPECT_FALSE(QFile::exists(settingsFile()));
    };
    for (const char *prefix : {"42a", "0420", "12345", "+", "4 2 0 1"})
        refused([prefix](Tfoptlist *w) { w->ed_countryprefix->setText(QString::fromUtf8(prefix)); },
                QStringLiteral("Předvolba země \"%1\" není platná").arg(QString::fromUtf8(prefix)));
    // A number typed into a limit but out of its range.
    refused(
        [](Tfoptlist *w) {
            w->rb_keepdays->click();
            w->spe_keepdays->findChild<QLineEdit *>()->setText(QStringLiteral("0"));
        },
        QStringLiteral("počet dní"));
    EXPECT_EQ(session->Settings().Retention.mode, int(TRetention::Off));
}

TEST_F(SettingsDialogTest, RulesPageFitsTheDialog)
{
    Tfoptlist &d = makeDialog();
    startSettings(d);
    d.rb_keepdays->setChecked(true);
    d.pgc->setCurrentWidget(d.TabSheet3);
    d.show();
    QApplication::processEvents();
    // Every control lies inside its page and shows its whole text.
    for (QWidget *w : d.TabSheet3->findChildren<QWidget *>()) {
        if (!w->isVisible() || w->parentWidget() == nullptr || qobject_cast<QLineEdit *>(w))
            continue;
        const QRect inPage(w->mapTo(d.TabSheet3, QPoint(0, 0)), w->size());
        EXPECT_TRUE(d.TabSheet3->rect().contains(inPage)) << w->metaObject()->className();
        if (auto *b = qobject_cast<QAbstractButton *>(w)) {
            EXPECT_GE(b->width(), b->sizeHint().width()) << b->text().toStdString();
        }
        if (auto *l = qobject_cast<QLabel *>(w)) {
            EXPECT_GE(l->width(), l->sizeHint().width()) << l->text().toStdString();
        }
    }
    // Kept for the eye: the page as the user sees it.
    d.grab().save(QDir::temp().filePath(QStringLiteral("tembrel-settings-rules.png")));
    d.hide();
}

} // namespace
