// Start, switches, settings command and closing of the whole program.
#include "appfixture.h"

#include <QGuiApplication>
#include <QKeyEvent>
#include <QTranslator>

#include "fltaud.h"
#include "help.h"
#include "stattmb.h"

#include <QCheckBox>
#include <QFileInfo>
#include <QPushButton>
#include <QSpinBox>

#include "autostart.h"
#include "dbfrg.h"
#include "optlist.h"
#include "udmcd.h"

TEST(ProgramSwitches, AnyPrefixCaseAndPlace)
{
    const TProgramSwitches s = TProgramSwitches::FromArguments(
        {QStringLiteral("/usr/bin/tembrel"), QStringLiteral("-CanClose"), QStringLiteral("x"),
         QStringLiteral("/STARTUP"), QStringLiteral("/noShow"), QStringLiteral("-simulate")});
    EXPECT_TRUE(s.canclose);
    EXPECT_TRUE(s.startup);
    EXPECT_TRUE(s.noshow);
    EXPECT_TRUE(s.simulate);
    EXPECT_TRUE(s.StartHidden());
    EXPECT_FALSE(s.install);
    EXPECT_FALSE(s.uninst);
    EXPECT_FALSE(s.close);
    // A double dash or a bare word is no switch.
    const TProgramSwitches none =
        TProgramSwitches::FromArguments({QStringLiteral("--canclose"), QStringLiteral("install")});
    EXPECT_FALSE(none.canclose);
    EXPECT_FALSE(none.install);
    EXPECT_FALSE(none.StartHidden());
}

class LifeCycle : public AppFixture {};

TEST_F(LifeCycle, FirstSimulatedStartWatchesTheSimulatedLine)
{
    ASSERT_FALSE(QFileInfo::exists(ConfigFileName()));
    ASSERT_TRUE(start({QStringLiteral("/simulate")}));
    // The newcomer's settings were written and are in force.
    const TSettings s = LoadSettings(ConfigFileName());
    EXPECT_EQ(s.TAPIDevice, SimulatedLine::NameFor(1));
    EXPECT_TRUE(s.AutoStartWatch);
    EXPECT_TRUE(tapi().Active);
    EXPECT_TRUE(window().isVisible());
    EXPECT_EQ(window().windowTitle(), QStringLiteral("Verandel Tembrel Personal"));
    EXPECT_TRUE(window().stbleft->PanelText(0).startsWith(QStringLiteral(" Simulovaná linka 1")));
    EXPECT_EQ(window().stb->PanelText(0), QStringLiteral(" Status: V klidu"));
    EXPECT_TRUE(window().mm_phone->isEnabled());
    EXPECT_TRUE(window().pm_callnumber->isVisible());
    EXPECT_TRUE(window().mm_callnumber->isEnabled());
    // The list starts unfiltered and says so in the filter button's hint.
    EXPECT_TRUE(window().frg_audio->spbfilter->toolTip().startsWith(QStringLiteral("Typ hovoru: Všechny typy hovorů")));
    EXPECT_TRUE(boxes->calls().isEmpty());
}

TEST_F(LifeCycle, UnwatchedStartShowsInactiveLineAndKeepsSettingsFile)
{
    TSettings s = simulatedSettings();
    s.AutoStartWatch = false;
    s.CommandCalls = false;
    writeSettings(s);
    const QByteArray before = ReadFileToString(ConfigFileName());
    ASSERT_TRUE(start({QStringLiteral("-simulate")}));
    EXPECT_EQ(ReadFileToString(ConfigFileName()), before);
    EXPECT_FALSE(tapi().Active);
    EXPECT_EQ(window().stbleft->PanelText(0), QStringLiteral(" Neaktivní TAPI"));
    EXPECT_EQ(window().stb->PanelText(0), QString());
    EXPECT_FALSE(window().mm_phone->isEnabled());
    EXPECT_FALSE(window().pm_callnumber->isVisible());
    EXPECT_FALSE(window().pm_hangup->isVisible());
    EXPECT_TRUE(window().pm_quit->isVisible());
}

TEST_F(LifeCycle, StartupWaitsStartDelayBeforeTheCallLogOpens)
{
    writeSettings(simulatedSettings(), 5);
    bool logOpenDuringPause = true;
    onPause = [this, &logOpenDuringPause](int) { logOpenDuringPause = app->session->CallData().tb_audio->active(); };
    ASSERT_TRUE(start({QStringLiteral("/simulate"), QStringLiteral("/Startup")}));
    EXPECT_EQ(pauses, QList<int>{5001});
    EXPECT_FALSE(logOpenDuringPause);
    EXPECT_TRUE(app->session->CallData().tb_audio->active());
}

TEST_F(LifeCycle, WithoutStartupSwitchNoPause)
{
    writeSettings(simulatedSettings(), 5);
    ASSERT_TRUE(start({QStringLiteral("/simulate")}));
    EXPECT_TRUE(pauses.isEmpty());
}

TEST_F(LifeCycle, StartMinimizedKeepsTheWindowOutOfSight)
{
    writeSettings(simulatedSettings());
    app = std::make_unique<TTembrelApp>(QStringList{QStringLiteral("tembrel"), QStringLiteral("/simulate"),
                                                    QStringLiteral("/startminimized")});
    app->CreateObjects();
    window().SetTrayAvailable(true);
    ASSERT_TRUE(app->Start());
    settle();
    EXPECT_FALSE(window().isVisible());
    EXPECT_TRUE(tapi().Active); // watching does not depend on the window
    window().pm_openClick();
    EXPECT_TRUE(window().isVisible());
}

TEST_F(LifeCycle, InstallShowsOnlyTheSettingsDialog)
{
    writeSettings(simulatedSettings());
    bool dialogShown = false;
    whenModal([this, &dialogShown] {
        dialogShown = app->foptlist->isVisible();
        app->foptlist->reject();
    });
    EXPECT_FALSE(start({QStringLiteral("/simulate"), QStringLiteral("-INSTALL")}));
    EXPECT_TRUE(dialogShown);
    EXPECT_FALSE(window().isVisible());
    EXPECT_FALSE(tapi().Active);
    EXPECT_FALSE(app->session->CallData().tb_audio->active());
}

TEST_F(LifeCycle, UninstRemovesTheAutostartEntryThenPauses)
{
    ASSERT_TRUE(SetAutoStart(true));
    ASSERT_TRUE(AutoStartEnabled());
    app = std::make_unique<TTembrelApp>(QStringList{QStringLiteral("tembrel"), QStringLiteral("/uninst")});
    app->Prepare();
    EXPECT_FALSE(AutoStartEnabled());
    EXPECT_EQ(pauses, QList<int>{1000});
    EXPECT_TRUE(LoggingEnabled());
    EXPECT_EQ(LogFileName(), JoinPath(DataDirectory(), QStringLiteral("tembrel.log")));
}

TEST_F(LifeCycle, DamagedCallLogEndsTheProgramWithoutWindowOrLine)
{
    writeSettings(simulatedSettings());
    ASSERT_TRUE(WriteStringToFile("<DATAPACKET><broken", dataFile()));
    EXPECT_FALSE(start({QStringLiteral("/simulate")}));
    ASSERT_EQ(boxes->calls().size(), 1);
    EXPECT_TRUE(boxes->calls().at(0).plain);
    EXPECT_EQ(boxes->calls().at(0).text, QStringLiteral("Chyba - nelze otevřít datové úložiště. Program bude ukončen."));
    EXPECT_FALSE(window().isVisible());
    EXPECT_FALSE(tapi().Active);
    // The damaged file is left for the user to rescue.
    EXPECT_EQ(ReadFileToString(dataFile()), QByteArray("<DATAPACKET><broken"));
}

TEST_F(LifeCycle, MissingInputDeviceIsReportedOnceAfterStart)
{
    // Without the simulated input and without a sound system there is nothing to record from.
    ASSERT_TRUE(start({}));
    ASSERT_EQ(boxes->calls().size(), 1);
    EXPECT_TRUE(boxes->calls().at(0).plain);
    EXPECT_EQ(boxes->calls().at(0).text,
              QStringLiteral("Chyba - nebylo nalezeno žádné záznamové zařízení pro nahrávaní."));
    EXPECT_TRUE(ReadFileToString(LogFileName()).contains("Error - No input record device was found"));
}

TEST_F(LifeCycle, LineStartFailureIsShownAndLogged)
{
    writeSettings(simulatedSettings());
    app = std::make_unique<TTembrelApp>(QStringList{QStringLiteral("tembrel"), QStringLiteral("/simulate")});
    app->CreateObjects();
    simulation().injectFault(LineScreenStage::Call, QStringLiteral("lineOpen"), LINEERR_OPERATIONFAILED);
    ASSERT_TRUE(app->Start());
    settle();
    simulation().clearFaults();
    EXPECT_FALSE(tapi().Active);
    ASSERT_EQ(boxes->calls().size(), 1);
    EXPECT_TRUE(boxes->calls().at(0).text.startsWith(QStringLiteral("Chyba při inicializaci TAPI - \"")));
    EXPECT_TRUE(boxes->calls().at(0).text.endsWith(QLatin1Char('"')));
    EXPECT_TRUE(ReadFileToString(LogFileName()).contains("Error StartWatch: "));
}

TEST_F(LifeCycle, ExitWithCancloseEndsWithoutQuestion)
{
    writeSettings(simulatedSettings());
    ASSERT_TRUE(start({QStringLiteral("/simulate"), QStringLiteral("/canclose")}));
    bool ended = false;
    window().EndApplication = [&ended] { ended = true; };
    window().mm_quit->trigger();
    EXPECT_TRUE(boxes->calls().isEmpty());
    EXPECT_TRUE(ended);
    EXPECT_FALSE(tapi().Active);
    EXPECT_EQ(window().stbleft->PanelText(0), QStringLiteral(" Neaktivní TAPI"));
    EXPECT_FALSE(window().isVisible());
}

TEST_F(LifeCycle, CloseButtonWithCancloseEndsTheProgram)
{
    writeSettings(simulatedSettings());
    ASSERT_TRUE(start({QStringLiteral("-canclose"), QStringLiteral("-simulate")}));
    bool ended = false;
    window().EndApplication = [&ended] { ended = true; };
    window().close();
    EXPECT_TRUE(ended);
    EXPECT_FALSE(tapi().Active);
}

TEST_F(LifeCycle, ExitWithoutCancloseAsksFirst)
{
    writeSettings(simulatedSettings());
    ASSERT_TRUE(start({QStringLiteral("/simulate")}));
    bool ended = false;
    window().EndApplication = [&ended] { ended = true; };

    boxes->answer(mrCancel);
    window().pm_quit->trigger();
    ASSERT_EQ(boxes->boxes().size(), 1);
    EXPECT_EQ(boxes->boxes().at(0).text, QStringLiteral("Opravdu ukončit aplikaci Tembrel Personal?"));
    EXPECT_EQ(boxes->boxes().at(0).kind, int(mkConfirmation));
    EXPECT_EQ(boxes->boxes().at(0).buttons, unsigned(mbOK | mbCancel));
    EXPECT_FALSE(ended);
    EXPECT_TRUE(tapi().Active);

    boxes->answer(mrOk);
    window().mm_quit->trigger();
    EXPECT_TRUE(ended);
    EXPECT_FALSE(tapi().Active);
}

TEST_F(LifeCycle, CloseButtonWithoutCancloseOnlyHidesAndCallsAreStillLogged)
{
    writeSettings(simulatedSettings());
    ASSERT_TRUE(start({QStringLiteral("/simulate")}));
    bool ended = false;
    window().EndApplication = [&ended] { ended = true; };
    window().SetTrayAvailable(true);
    window().close();
    settle();
    EXPECT_FALSE(ended);
    EXPECT_FALSE(window().isVisible());
    EXPECT_TRUE(tapi().Active);

    lineEvent(QStringLiteral("ring 603111222"));
    lineEvent(QStringLiteral("hangup"));
    ASSERT_EQ(app->session->CallData().tb_audio->recordCount(), 1);
    EXPECT_EQ(app->session->CallData().tb_audio->fieldByName(QStringLiteral("PHONENUMBER")).asString(), QStringLiteral("603111222"));
}

TEST_F(LifeCycle, CloseButtonWithoutTrayAsksInsteadOfPuttingTheWindowAway)
{
    writeSettings(simulatedSettings());
    ASSERT_TRUE(start({QStringLiteral("/simulate")}));
    window().SetTrayAvailable(false);
    bool ended = false;
    window().EndApplication = [&ended] { ended = true; };

    // Cancelled: the window stays as it was, in sight, and the line is still watched.
    boxes->answer(mrCancel);
    window().close();
    settle();
    ASSERT_EQ(boxes->boxes().size(), 1);
    EXPECT_EQ(boxes->boxes().at(0).text, QStringLiteral("Opravdu ukončit aplikaci Tembrel Personal?"));
    EXPECT_EQ(boxes->boxes().at(0).kind, int(mkConfirmation));
    EXPECT_FALSE(ended);
    EXPECT_TRUE(window().isVisible());
    EXPECT_FALSE(window().isMinimized());
    EXPECT_TRUE(tapi().Active);

    // Confirmed: the program ends.
    boxes->answer(mrOk);
    window().close();
    settle();
    EXPECT_TRUE(ended);
    EXPECT_FALSE(window().isVisible());
    EXPECT_FALSE(tapi().Active);
}

TEST_F(LifeCycle, SettingsCommandReopensTheLineOnlyWhenNeeded)
{
    writeSettings(simulatedSettings());
    ASSERT_TRUE(start({QStringLiteral("/simulate")}));
    ASSERT_TRUE(tapi().Active);
    const HLINE first = tapi().Line;

    // Only the line number: the line stays as it is.
    whenModal([this] {
        app->foptlist->spe_link->setValue(42);
        app->foptlist->btnok->click();
    });
    window().mm_settings->trigger();
    settle();
    EXPECT_EQ(app->session->CallData().LinkNumber(), 42);
    EXPECT_TRUE(tapi().Active);
    EXPECT_EQ(tapi().Line, first);

    // The phone commands switched off: opened anew, without the menus.
    whenModal([this] {
        app->foptlist->chb_commandcalls->setChecked(false);
        app->foptlist->btnok->click();
    });
    window().mm_settings->trigger();
    settle();
    EXPECT_TRUE(tapi().Active);
    EXPECT_NE(tapi().Line, first);
    EXPECT_FALSE(window().mm_phone->isEnabled());
    EXPECT_FALSE(window().pm_callnumber->isVisible());

    // A cancelled dialog changes nothing.
    const HLINE second = tapi().Line;
    whenModal([this] {
        app->foptlist->chb_autostartwatch->setChecked(false);
        app->foptlist->btncancel->click();
    });
    window().mm_settings->trigger();
    settle();
    EXPECT_TRUE(tapi().Active);
    EXPECT_EQ(tapi().Line, second);

    // Watching switched off: the line closes.
    whenModal([this] {
        app->foptlist->chb_autostartwatch->setChecked(false);
        app->foptlist->btnok->click();
    });
    window().mm_settings->trigger();
    settle();
    EXPECT_FALSE(tapi().Active);
    EXPECT_EQ(window().stbleft->PanelText(0), QStringLiteral(" Neaktivní TAPI"));
}

TEST_F(LifeCycle, CloseRequestFromAnotherCopyEndsTheRunningOne)
{
    writeSettings(simulatedSettings());
    app = std::make_unique<TTembrelApp>(QStringList{QStringLiteral("tembrel"), QStringLiteral("/simulate")});
    app->Prepare();
    app->CreateObjects();
    ASSERT_TRUE(app->Start());
    settle();
    bool ended = false;
    window().EndApplication = [&ended] { ended = true; };
    ASSERT_NE(AppMsgObject(), nullptr);
    window().hide();
    AppMsgObject()->Receive(amcFront);
    EXPECT_TRUE(window().isVisible());
    AppMsgObject()->Receive(amcClose);
    EXPECT_TRUE(ended);
    EXPECT_FALSE(tapi().Active);
}

TEST(Toolkit, OwnDialogsSpeakCzech)
{
    QTranslator *translator = InstallToolkitTranslations();
    ASSERT_NE(translator, nullptr) << "the toolkit's Czech translations (qt6-translations-l10n) are missing";
    for (const char *text : {"Look in:", "File &name:", "Directory:", "&Choose"})
        EXPECT_NE(QCoreApplication::translate("QFileDialog", text), QString::fromLatin1(text)) << text;
    EXPECT_NE(QCoreApplication::translate("QPlatformTheme", "Cancel"), QStringLiteral("Cancel"));
    QCoreApplication::removeTranslator(translator);
    delete translator;
}

TEST(Toolkit, CaptionsCarryNoAddedProgramName)
{
    // A display name would be appended by the platform to every caption, cutting
    // "Hledání" to "Hledání — T...". After naming, the display name follows the
    // application's name wherever that goes: none of its own is set.
    NameApplication();
    EXPECT_EQ(QCoreApplication::applicationName(), QStringLiteral("Tembrel Personal"));
    QCoreApplication::setApplicationName(QStringLiteral("probe"));
    EXPECT_EQ(QGuiApplication::applicationDisplayName(), QStringLiteral("probe"));
    QCoreApplication::setApplicationName(QStringLiteral("Tembrel Personal"));
}

TEST_F(LifeCycle, F1OpensTheHelpOfTheWindowInUse)
{
    writeSettings(simulatedSettings());
    ASSERT_TRUE(start({QStringLiteral("/simulate")}));
    ASSERT_NE(app->helpKey, nullptr);
    QStringList sections;
    app->helpKey->ShowSection = [&sections](const QString &section, QWidget *) { sections << section; };
    auto pressF1 = [](QWidget *widget) {
        QKeyEvent press(QEvent::KeyPress, Qt::Key_F1, Qt::NoModifier);
        QCoreApplication::sendEvent(widget, &press);
    };
    pressF1(window().frg_audio->gr);
    pressF1(app->foptlist->spe_link);
    pressF1(app->ffltaud->edlinkafrom);
    pressF1(app->fstattmb->frg_stat->gr);
    EXPECT_EQ(sections, (QStringList{"fmaintmb", "foptlist", "ffltaud", "fstattmb"}));
    // Each has a text of its own, and the main window's tells its Alt keys.
    EXPECT_NE(HelpText(QStringLiteral("foptlist")), HelpText(QStringLiteral("fmaintmb")));
    EXPECT_TRUE(HelpText(QStringLiteral("fmaintmb")).contains(QStringLiteral("Alt+S")));
}
