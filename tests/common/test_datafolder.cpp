// Which folder holds the program's files: beside the executable, or the user's data
// folder for an installed copy, filled with the delivered call log on first start.
#include "datafolder.h"

#include "myutils.h"
#include "support/tempdatadir.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

const QByteArray kDelivered("<?xml version=\"1.0\"?><DATAPACKET Version=\"2.0\"/>");

class DataFolder : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        m_oldXdg = qgetenv("XDG_DATA_HOME");
        m_hadXdg = qEnvironmentVariableIsSet("XDG_DATA_HOME");
    }
    void TearDown() override
    {
        if (m_hadXdg)
            qputenv("XDG_DATA_HOME", m_oldXdg);
        else
            qunsetenv("XDG_DATA_HOME");
    }

    QString path(const QString &name) const { return dir.filePath(name); }
    void write(const QString &name, const QByteArray &bytes) const
    {
        ASSERT_TRUE(QDir().mkpath(QFileInfo(path(name)).path()));
        QFile file(path(name));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(bytes);
    }
    // An installation: executables in bin, the delivered call log under share.
    QString install()
    {
        write(QStringLiteral("usr/share/tembrel/data.xml"), kDelivered);
        EXPECT_TRUE(QDir().mkpath(path(QStringLiteral("usr/bin"))));
        return path(QStringLiteral("usr/bin"));
    }
    QString home() const { return path(QStringLiteral("home/.local/share")); }

    QTemporaryDir dir;

private:
    QByteArray m_oldXdg;
    bool m_hadXdg = false;
};

TEST_F(DataFolder, AWritableCopyOutsideAnInstallationKeepsItsFilesBesideTheExecutable)
{
    // The build folder: it holds the call log.
    write(QStringLiteral("build/bin/data.xml"), kDelivered);
    TDataFolder folder = ChooseDataFolder(path(QStringLiteral("build/bin/")), home());
    EXPECT_EQ(folder.Directory, path(QStringLiteral("build/bin")));
    EXPECT_FALSE(folder.UserFolder);
    EXPECT_TRUE(folder.TemplateFile.isEmpty());

    // A fresh portable copy may hold them too.
    ASSERT_TRUE(QDir().mkpath(path(QStringLiteral("portable"))));
    folder = ChooseDataFolder(path(QStringLiteral("portable")), home());
    EXPECT_EQ(folder.Directory, path(QStringLiteral("portable")));
    EXPECT_FALSE(folder.UserFolder);
}

TEST_F(DataFolder, AnInstalledProgramUsesTheUsersFolderEvenWhereItCouldWriteItsOwn)
{
    const QString bin = install();
    // Writable here, as /usr/bin is for root: it is still the installation.
    ASSERT_TRUE(QFileInfo(bin).isWritable());
    const TDataFolder folder = ChooseDataFolder(bin, home());
    EXPECT_TRUE(folder.UserFolder);
    EXPECT_EQ(folder.Directory, JoinPath(home(), QStringLiteral("tembrel")));
    EXPECT_EQ(folder.TemplateFile, path(QStringLiteral("usr/share/tembrel/data.xml")));

    // Not an installation: the share folder holds no call log.
    ASSERT_TRUE(QDir().mkpath(path(QStringLiteral("opt/bin"))));
    ASSERT_TRUE(QDir().mkpath(path(QStringLiteral("opt/share/tembrel/data.xml"))));
    EXPECT_TRUE(InstalledTemplateFile(path(QStringLiteral("opt/bin"))).isEmpty());
    EXPECT_TRUE(InstalledTemplateFile(QString()).isEmpty());
}

TEST_F(DataFolder, AReadOnlyExecutableFolderSendsTheFilesToTheUsersFolder)
{
    write(QStringLiteral("cdrom/data.xml"), kDelivered);
    const QString cd = path(QStringLiteral("cdrom"));
    ASSERT_TRUE(QFile::setPermissions(cd, QFile::ReadOwner | QFile::ExeOwner));
    if (QFileInfo(cd).isWritable()) {
        QFile::setPermissions(cd, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        GTEST_SKIP() << "running as a user who writes into read-only folders";
    }
    const TDataFolder folder = ChooseDataFolder(cd, home());
    QFile::setPermissions(cd, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    EXPECT_TRUE(folder.UserFolder);
    EXPECT_EQ(folder.Directory, JoinPath(home(), QStringLiteral("tembrel")));
    // Its own call log is the user's, not a template to copy.
    EXPECT_TRUE(folder.TemplateFile.isEmpty());
}

TEST_F(DataFolder, UserDataHomeTakesOnlyAnAbsoluteXdgValue)
{
    qputenv("XDG_DATA_HOME", path(QStringLiteral("xdg/")).toUtf8());
    EXPECT_EQ(UserDataHome(), path(QStringLiteral("xdg")));
    const QString fallback = JoinPath(QDir::homePath(), QStringLiteral(".local/share"));
    qputenv("XDG_DATA_HOME", "relative/share");
    EXPECT_EQ(UserDataHome(), fallback);
    qputenv("XDG_DATA_HOME", "");
    EXPECT_EQ(UserDataHome(), fallback);
}

TEST_F(DataFolder, PreparingMakesAPrivateFolderWithAWritableCopyOfTheDeliveredLog)
{
    // The installation is read-only; the copy must not inherit that.
    write(QStringLiteral("share/data.xml"), kDelivered);
    const QString delivered = path(QStringLiteral("share/data.xml"));
    ASSERT_TRUE(QFile::setPermissions(delivered, QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther));
    const QString target = path(QStringLiteral("home/.local/share/tembrel"));
    QString error;
    ASSERT_TRUE(PrepareDataFolder(target, delivered, error)) << error.toStdString();
    EXPECT_TRUE(error.isEmpty());
    EXPECT_EQ(QFileInfo(target).permissions() & (QFile::ReadGroup | QFile::ReadOther | QFile::WriteGroup), 0);
    const QString log = JoinPath(target, QStringLiteral("data.xml"));
    EXPECT_EQ(ReadFileToString(log), kDelivered);
    EXPECT_TRUE(QFileInfo(log).permissions() & QFile::WriteOwner);
    EXPECT_EQ(QDir(target).entryList(QDir::Files), QStringList{QStringLiteral("data.xml")}) << "no temporary left";

    // A second start keeps the log it finds, calls and all.
    write(QStringLiteral("home/.local/share/tembrel/data.xml"), "the user's calls");
    ASSERT_TRUE(PrepareDataFolder(target, delivered, error));
    EXPECT_EQ(ReadFileToString(log), QByteArray("the user's calls"));
}

TEST_F(DataFolder, PreparingReportsWhatItCouldNotDo)
{
    write(QStringLiteral("afile"), "x");
    QString error;
    EXPECT_FALSE(PrepareDataFolder(path(QStringLiteral("afile/tembrel")), QString(), error));
    EXPECT_TRUE(error.contains(path(QStringLiteral("afile/tembrel")))) << error.toStdString();

    // A missing template leaves no empty call log behind to be taken for a real one.
    error.clear();
    EXPECT_FALSE(PrepareDataFolder(path(QStringLiteral("new")), path(QStringLiteral("missing.xml")), error));
    EXPECT_TRUE(error.contains(QStringLiteral("missing.xml"))) << error.toStdString();
    EXPECT_FALSE(QFileInfo::exists(path(QStringLiteral("new/data.xml"))));

    // Without a template (outside an installation) only the folder is made.
    error.clear();
    EXPECT_TRUE(PrepareDataFolder(path(QStringLiteral("plain")), QString(), error));
    EXPECT_TRUE(QFileInfo(path(QStringLiteral("plain"))).isDir());
    EXPECT_FALSE(QFileInfo::exists(path(QStringLiteral("plain/data.xml"))));
}

TEST_F(DataFolder, SettingsAndLogFollowTheSelectedFolder)
{
    TempDataDir restore;
    const QString exe = ExecutablePath();
    const QString bin = install();
    qputenv("XDG_DATA_HOME", home().toUtf8());
    InitApplicationFiles(JoinPath(bin, QStringLiteral("tembrel-headless")), {});
    QString error;
    const bool selected = SelectDataFolder(error);
    const QString data = DataDirectory(), config = ConfigFileName(), logFile = LogFileName(), line = DataFolderLogLine();
    InitApplicationFiles(exe, {});
    SetLoggingEnabled(true);

    ASSERT_TRUE(selected) << error.toStdString();
    const QString folder = JoinPath(home(), QStringLiteral("tembrel"));
    EXPECT_EQ(data, folder);
    EXPECT_EQ(config, JoinPath(folder, QStringLiteral("tembrel-headless.ini")));
    EXPECT_EQ(logFile, JoinPath(folder, QStringLiteral("tembrel-headless.log")));
    EXPECT_EQ(line, QStringLiteral("Data folder: ") + folder);
    EXPECT_EQ(ReadFileToString(JoinPath(folder, QStringLiteral("data.xml"))), kDelivered);
    EXPECT_EQ(QDir(bin).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), QStringList()) << "nothing in the installation";
}

} // namespace
