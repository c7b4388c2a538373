#pragma once
// The whole program in a test: a temporary program folder (settings file, data.xml,
// log, autostart folder, single-instance lock), the simulated line and the virtual
// input, the start-up pauses recorded instead of slept, and scripted message boxes.
#include <QCoreApplication>
#include <QAction>
#include <QFile>
#include <QList>
#include <QMenu>
#include <QTemporaryDir>
#include <QTimer>
#include <gtest/gtest.h>
#include <functional>
#include <memory>

#include "clock.h"
#include "linescenario.h"
#include "maintmb.h"
#include "myappmsg.h"
#include "myutils.h"
#include "settingsfile.h"
#include "simulatedline.h"
#include "support/scriptedmessagebox.h"
#include "tembrelapp.h"
#include "session.h"
#include "udmtapi.h"
#include "waveinregistry.h"

class AppFixture : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        // The executable's folder is the program's folder: point it at ours.
        InitApplicationFiles(JoinPath(dir.path(), QStringLiteral("tembrel")), {});
        SetLoggingEnabled(true);
        qputenv("XDG_CONFIG_HOME", JoinPath(dir.path(), QStringLiteral("config")).toUtf8());
        qputenv("TEMBREL_LINESIM_PREFIX",
                QStringLiteral("tembrel-test-appmain-%1").arg(QCoreApplication::applicationPid()).toUtf8());
        // The lock of a start that checked for another copy lasts to the end of the process.
        static QTemporaryDir lockDir;
        SetSingleInstanceDirectory(lockDir.path());
        // The temporary recording has one name per system: ours lives here.
        m_oldTmp = qgetenv("TMPDIR");
        qputenv("TMPDIR", dir.path().toUtf8());
        ASSERT_TRUE(QFile::copy(QStringLiteral(TEMBREL_SOURCE_DIR "/data/data.xml"), dataFile()));
        QFile::setPermissions(dataFile(), QFile::ReadOwner | QFile::WriteOwner);
        TWaveInRegistry::Instance().EnableSoundSystem(false);
        SetPauseFunction([this](int ms) {
            pauses.append(ms);
            if (onPause)
                onPause(ms);
        });
        boxes = std::make_unique<ScriptedMessageBox>();
    }

    void TearDown() override
    {
        app.reset();
        boxes.reset();
        SetPauseFunction(nullptr);
        EnableSimulatedInput(false);
        TWaveInRegistry::Instance().EnableSoundSystem(true);
        qunsetenv("XDG_CONFIG_HOME");
        qunsetenv("TEMBREL_LINESIM_PREFIX");
        if (m_oldTmp.isEmpty())
            qunsetenv("TMPDIR");
        else
            qputenv("TMPDIR", m_oldTmp);
        InitApplicationFiles(QCoreApplication::applicationFilePath(), {});
    }

    QString dataFile() const { return JoinPath(dir.path(), QStringLiteral("data.xml")); }

    // The settings a newcomer's simulated start writes, changed by the test.
    static TSettings simulatedSettings()
    {
        TSettings s;
        s.TAPIDevice = SimulatedLine::NameFor(1);
        s.AudioInputDevice = QStringLiteral("Simulovaný vstup");
        s.AutoStartWatch = true;
        s.CommandCalls = true;
        s.MissedCalls = true;
        return s;
    }
    void writeSettings(const TSettings &settings, int startDelay = 0)
    {
        SaveSettings(ConfigFileName(), settings);
        if (startDelay != 0) {
            TSettingsFile file(ConfigFileName());
            file.WriteInteger(QStringLiteral("StartDelay"), startDelay);
            file.Save();
        }
    }

    // Creates the program as the entry does and runs its start-up step.
    bool start(const QStringList &switches)
    {
        app = std::make_unique<TTembrelApp>(QStringList{QStringLiteral("tembrel")} + switches);
        app->CreateObjects();
        const bool started = app->Start();
        settle();
        return started;
    }
    Tfmaintmb &window() { return *app->fmaintmb; }
    Tdmtapi &tapi() { return app->session->Tapi(); }
    SimulatedProvider &simulation() { return *app->session->Simulation(); }
    SimulatedLine &line() { return simulation().line(1); }

    // One event on the simulated line, then the line messages are handled.
    void lineEvent(const QString &text)
    {
        line().execute(ParseLineEvent(text, 1));
        settle();
    }
    static void settle()
    {
        for (int i = 0; i < 5; ++i)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    // Runs the action on the modal dialog once it is up.
    static void whenModal(std::function<void()> action) { QTimer::singleShot(0, std::move(action)); }

    QTemporaryDir dir;
    std::unique_ptr<ScriptedMessageBox> boxes;
    std::unique_ptr<TTembrelApp> app;
    QList<int> pauses;
    std::function<void(int)> onPause;

private:
    QByteArray m_oldTmp;
};
