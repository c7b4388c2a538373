// cmake --install into a prefix of the test's own: every delivered file in its place, the
// menu entry and services naming the installed programs, and the installed logger keeping
// its files in the user's home while the installation stays untouched.
#include "installtree.h"

#include <QDir>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

class Installed : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(work.isValid());
        prefix = work.filePath(QStringLiteral("prefix"));
        const ToolRun install = RunTool(QStringLiteral(TEMBREL_CMAKE),
                                        {QStringLiteral("--install"), QStringLiteral(TEMBREL_BUILD_DIR),
                                         QStringLiteral("--prefix"), prefix});
        ASSERT_EQ(install.exitCode, 0) << install.out.toStdString() << install.err.toStdString();
    }
    // Writable again, so that the temporary folder can go.
    void TearDown() override { SetTreeWritable(prefix, true); }

    QString file(const QString &relative) const { return prefix + QLatin1Char('/') + relative; }

    QTemporaryDir work;
    QString prefix;
};

TEST_F(Installed, PutsEveryFileInItsPlaceAndNamesTheInstalledPrograms)
{
    for (const char *program : {"tembrel", "tembrel-headless", "tembrel-linesim"}) {
        SCOPED_TRACE(program);
        EXPECT_TRUE(QFileInfo(file(QStringLiteral("bin/") + QLatin1String(program))).isExecutable());
    }
    QFile delivered(QStringLiteral(TEMBREL_SOURCE_DIR "/data/data.xml"));
    ASSERT_TRUE(delivered.open(QIODevice::ReadOnly));
    QFile installed(file(QStringLiteral("share/tembrel/data.xml")));
    ASSERT_TRUE(installed.open(QIODevice::ReadOnly));
    EXPECT_EQ(installed.readAll(), delivered.readAll());

    EXPECT_TRUE(ReadText(file(QStringLiteral("share/icons/hicolor/scalable/apps/tembrel.svg"))).contains(QStringLiteral("<svg")));
    for (int size : {16, 22, 24, 32, 48, 64, 128, 256}) {
        SCOPED_TRACE(size);
        EXPECT_EQ(PngSize(file(QStringLiteral("share/icons/hicolor/%1x%1/apps/tembrel.png").arg(size))), QSize(size, size));
    }

    const QString desktop = ReadText(file(QStringLiteral("share/applications/example.tembrel.Personal.desktop")));
    EXPECT_TRUE(desktop.contains(QStringLiteral("\nExec=\"%1\"\n").arg(file(QStringLiteral("bin/tembrel"))))) << desktop.toStdString();
    EXPECT_TRUE(desktop.contains(QStringLiteral("\nTryExec=%1\n").arg(file(QStringLiteral("bin/tembrel")))));
    EXPECT_TRUE(desktop.contains(QStringLiteral("\nIcon=tembrel\n")));
    EXPECT_TRUE(desktop.contains(QStringLiteral("\nComment[cs]=")));
    EXPECT_TRUE(desktop.contains(QStringLiteral("\nGenericName[cs]=Evidence hovorů\n")));

    const QString system = ReadText(file(QStringLiteral("lib/systemd/system/tembrel-headless.service")));
    const QString user = ReadText(file(QStringLiteral("lib/systemd/user/tembrel-headless.service")));
    const QString headless = file(QStringLiteral("bin/tembrel-headless"));
    EXPECT_TRUE(system.contains(QStringLiteral("\nExecStart=\"%1\" --datadir %S/tembrel\n").arg(headless))) << system.toStdString();
    EXPECT_TRUE(system.contains(QStringLiteral("\nStateDirectory=tembrel\n")));
    EXPECT_TRUE(user.contains(QStringLiteral("\nExecStart=\"%1\"\n").arg(headless))) << user.toStdString();
    for (const QString &unit : {system, user}) {
        EXPECT_TRUE(unit.contains(QStringLiteral("\nRestart=on-failure\n")));
        EXPECT_TRUE(unit.contains(QStringLiteral("\nKillSignal=SIGTERM\n")));
    }

    const QString metainfo = ReadText(file(QStringLiteral("share/metainfo/example.tembrel.Personal.metainfo.xml")));
    EXPECT_TRUE(metainfo.contains(QStringLiteral("<launchable type=\"desktop-id\">example.tembrel.Personal.desktop</launchable>")));
    for (const QString &text : {desktop, system, user, metainfo})
        EXPECT_FALSE(text.contains(QRegularExpression(QStringLiteral("@[A-Z_]+@")))) << "a placeholder left: " << text.toStdString();
}

TEST_F(Installed, MenuEntryAndMetainfoPassTheirValidators)
{
    QStringList missing;
    if (HasTool(QStringLiteral("desktop-file-validate"))) {
        const ToolRun run = RunTool(QStringLiteral("desktop-file-validate"),
                                    {file(QStringLiteral("share/applications/example.tembrel.Personal.desktop"))});
        EXPECT_EQ(run.exitCode, 0) << run.out.toStdString() << run.err.toStdString();
        EXPECT_TRUE(run.out.trimmed().isEmpty()) << "no warnings either: " << run.out.toStdString();
    } else {
        missing << QStringLiteral("desktop-file-validate (desktop-file-utils)");
    }
    if (HasTool(QStringLiteral("appstreamcli"))) {
        const ToolRun run = RunTool(QStringLiteral("appstreamcli"),
                                    {QStringLiteral("validate"), QStringLiteral("--no-net"),
                                     file(QStringLiteral("share/metainfo/example.tembrel.Personal.metainfo.xml"))});
        EXPECT_EQ(run.exitCode, 0) << run.out.toStdString() << run.err.toStdString();
    } else {
        missing << QStringLiteral("appstreamcli (appstream)");
    }
    if (HasTool(QStringLiteral("systemd-analyze"))) {
        // Both units, with the installed executable they name; warnings count as faults.
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        ASSERT_TRUE(QDir().mkpath(work.filePath(QStringLiteral("runtime"))));
        QFile::setPermissions(work.filePath(QStringLiteral("runtime")), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), work.filePath(QStringLiteral("runtime")));
        for (const char *scope : {"system", "user"}) {
            SCOPED_TRACE(scope);
            const ToolRun run = RunTool(QStringLiteral("systemd-analyze"),
                                        {QStringLiteral("--") + QLatin1String(scope), QStringLiteral("verify"),
                                         file(QStringLiteral("lib/systemd/%1/tembrel-headless.service").arg(QLatin1String(scope)))},
                                        env);
            if (run.err.contains(QStringLiteral("Failed to initialize manager"))) {
                missing << QStringLiteral("a systemd manager for systemd-analyze --%1").arg(QLatin1String(scope));
                continue;
            }
            EXPECT_EQ(run.exitCode, 0) << run.err.toStdString();
            EXPECT_TRUE(run.err.trimmed().isEmpty()) << run.err.toStdString();
        }
    } else {
        missing << QStringLiteral("systemd-analyze (systemd)");
    }
    if (!missing.isEmpty())
        GTEST_SKIP() << "not installed: " << missing.join(QStringLiteral(", ")).toStdString();
}

TEST_F(Installed, HeadlessLoggerKeepsItsFilesInTheUsersHomeAndWritesNothingUnderThePrefix)
{
    ASSERT_TRUE(SetTreeWritable(prefix, false));
    const QStringList before = TreeSnapshot(prefix);
    ASSERT_FALSE(before.isEmpty());

    InstalledLogger logger(file(QStringLiteral("bin")), work.path());
    const QString folder = work.filePath(QStringLiteral("home/.local/share/tembrel"));
    ASSERT_TRUE(logger.Start({QStringLiteral("-simulate")}));
    ASSERT_TRUE(logger.WaitFor(QStringLiteral("READY"))) << logger.output.toStdString();
    EXPECT_TRUE(logger.output.contains(QStringLiteral("DATA %1\n").arg(folder))) << logger.output.toStdString();

    const ToolRun ring = logger.Ring(QStringLiteral("ring 603123456; +0.05 answer; +1.2 hangup"));
    ASSERT_EQ(ring.exitCode, 0) << ring.err.toStdString();
    ASSERT_TRUE(logger.WaitFor(QStringLiteral("number=603123456"))) << logger.output.toStdString();
    EXPECT_TRUE(logger.output.contains(QRegularExpression(
        QStringLiteral("CALL type=3 audio=1 .* number=603123456 file=%1\n")
            .arg(QRegularExpression::escape(folder + QStringLiteral("/data/0000001.wav"))))))
        << logger.output.toStdString();
    EXPECT_TRUE(logger.Terminate()) << logger.output.toStdString();

    EXPECT_TRUE(ReadText(folder + QStringLiteral("/data.xml")).contains(QStringLiteral("603123456")));
    EXPECT_GT(QFileInfo(folder + QStringLiteral("/data/0000001.wav")).size(), 44);
    EXPECT_TRUE(ReadText(folder + QStringLiteral("/tembrel-headless.log")).contains(QStringLiteral("Data folder: ") + folder));
    EXPECT_EQ(QFileInfo(folder).permissions() & (QFile::ReadOther | QFile::ReadGroup), 0) << "the recordings stay private";

    // XDG_DATA_HOME moves the folder.
    logger.env.insert(QStringLiteral("XDG_DATA_HOME"), work.filePath(QStringLiteral("xdg")));
    ASSERT_TRUE(logger.Start({QStringLiteral("-simulate")}));
    ASSERT_TRUE(logger.WaitFor(QStringLiteral("READY"))) << logger.output.toStdString();
    EXPECT_TRUE(logger.output.contains(QStringLiteral("DATA %1\n").arg(work.filePath(QStringLiteral("xdg/tembrel")))));
    EXPECT_TRUE(logger.Terminate());
    EXPECT_TRUE(QFileInfo::exists(work.filePath(QStringLiteral("xdg/tembrel/data.xml"))));

    EXPECT_EQ(TreeSnapshot(prefix), before) << "the installation was written";
}

} // namespace
