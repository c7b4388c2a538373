#include "autostart.h"
#include "cfghandler.h"
#include "myutils.h"
#include "support/tempdatadir.h"

#include <QDir>
#include <QFile>
#include <QStandardPaths>

#include <gtest/gtest.h>

class ConfigStore : public DataDirTest {};

TEST_F(ConfigStore, ItemFilesAreNamedKeyCategorySubCategory)
{
    const TFileCfgHandler cfg(data.path() + QLatin1Char('/'));
    EXPECT_EQ(cfg.ItemFileName(QStringLiteral("col"), QString(), QStringLiteral("frg_audio")),
              data.file(QStringLiteral("frg_audio.col")));
    EXPECT_EQ(cfg.ItemFileName(QString(), QString(), QStringLiteral("frg_audio")),
              data.file(QStringLiteral("frg_audio")));
    EXPECT_EQ(cfg.ItemFileName(QStringLiteral("dbo"), QStringLiteral("x"), QStringLiteral("k")),
              data.file(QStringLiteral("k.dbo.x")));
    EXPECT_EQ(cfg.ItemFileName(QString(), QStringLiteral("x"), QStringLiteral("k")), data.file(QStringLiteral("k.x")));
}

TEST_F(ConfigStore, ConstructorMakesTheFolderWithItsParents)
{
    const QString dir = data.file(QStringLiteral("a/b/cfg"));
    TFileCfgHandler cfg(dir);
    EXPECT_TRUE(QFileInfo(dir).isDir());
    EXPECT_TRUE(cfg.WriteCfg(QStringLiteral("col"), QString(), QStringLiteral("grid"), QByteArray("x")));
    EXPECT_TRUE(QFile::exists(JoinPath(dir, QStringLiteral("grid.col"))));
}

TEST_F(ConfigStore, ItemsHoldTheirBytesExactlyAndEmptyReadsAsNothing)
{
    TFileCfgHandler cfg(data.path());
    const QByteArray layout("IDAUDIO=80\r\nPHONENUMBER=120\r\n\xE8\x00tail", 36);
    ASSERT_TRUE(cfg.WriteCfg(QStringLiteral("col"), QString(), QStringLiteral("frg_audio"), layout));
    EXPECT_EQ(ReadFileToString(data.file(QStringLiteral("frg_audio.col"))), layout);
    QByteArray value("stale");
    EXPECT_TRUE(cfg.ReadCfg(QStringLiteral("col"), QString(), QStringLiteral("frg_audio"), value));
    EXPECT_EQ(value, layout);
    // A shorter item replaces the longer one whole.
    ASSERT_TRUE(cfg.WriteCfg(QStringLiteral("col"), QString(), QStringLiteral("frg_audio"), QByteArray("A=1")));
    cfg.ReadCfg(QStringLiteral("col"), QString(), QStringLiteral("frg_audio"), value);
    EXPECT_EQ(value, QByteArray("A=1"));

    EXPECT_TRUE(cfg.WriteCfg(QStringLiteral("dbo"), QString(), QStringLiteral("empty"), QByteArray()));
    EXPECT_TRUE(QFile::exists(data.file(QStringLiteral("empty.dbo"))));
    value = "stale";
    EXPECT_FALSE(cfg.ReadCfg(QStringLiteral("dbo"), QString(), QStringLiteral("empty"), value));
    EXPECT_TRUE(value.isEmpty());
    value = "stale";
    EXPECT_FALSE(cfg.ReadCfg(QStringLiteral("dbo"), QString(), QStringLiteral("missing"), value));
    EXPECT_TRUE(value.isEmpty());
}

TEST_F(ConfigStore, DeleteTellsWhetherAFileWentAndFailedWritesKeepTheOld)
{
    TFileCfgHandler cfg(data.path());
    ASSERT_TRUE(cfg.WriteCfg(QStringLiteral("col"), QString(), QStringLiteral("g"), QByteArray("keep")));
    EXPECT_TRUE(cfg.DeleteCfg(QStringLiteral("col"), QString(), QStringLiteral("g")));
    EXPECT_FALSE(cfg.DeleteCfg(QStringLiteral("col"), QString(), QStringLiteral("g")));
    // With CfgDir pointing at a regular file nothing can be written below it.
    ASSERT_TRUE(cfg.WriteCfg(QString(), QString(), QStringLiteral("plain"), QByteArray("keep")));
    TFileCfgHandler broken(data.file(QStringLiteral("plain")));
    EXPECT_FALSE(broken.WriteCfg(QStringLiteral("col"), QString(), QStringLiteral("g"), QByteArray("x")));
    EXPECT_FALSE(broken.WriteCfg(QStringLiteral("col"), QString(), QStringLiteral("g"), QByteArray()));
    QByteArray value;
    EXPECT_FALSE(broken.ReadCfg(QStringLiteral("col"), QString(), QStringLiteral("g"), value));
    EXPECT_EQ(ReadFileToString(data.file(QStringLiteral("plain"))), QByteArray("keep"));
}

namespace {
// Points the user's configuration folder into the test's data directory.
class AutoStart : public DataDirTest {
protected:
    void SetUp() override
    {
        m_saved = qgetenv("XDG_CONFIG_HOME");
        m_had = qEnvironmentVariableIsSet("XDG_CONFIG_HOME");
        qputenv("XDG_CONFIG_HOME", data.file(QStringLiteral("config")).toLocal8Bit());
    }
    void TearDown() override
    {
        if (m_had)
            qputenv("XDG_CONFIG_HOME", m_saved);
        else
            qunsetenv("XDG_CONFIG_HOME");
    }
    QString entry() const { return data.file(QStringLiteral("config/autostart/Tembrel Personal.desktop")); }

private:
    QByteArray m_saved;
    bool m_had = false;
};
} // namespace

TEST_F(AutoStart, EntryStartsTheExecutableMinimisedAndGoesAway)
{
    ASSERT_EQ(AutoStartFileName(), entry());
    EXPECT_FALSE(AutoStartEnabled());
    EXPECT_TRUE(QFileInfo(data.file(QStringLiteral("config/autostart"))).isDir()); // the query makes the folder
    ASSERT_TRUE(SetAutoStart(true));
    EXPECT_TRUE(AutoStartEnabled());
    const QString text = QString::fromUtf8(ReadFileToString(entry()));
    EXPECT_TRUE(text.startsWith(QStringLiteral("[Desktop Entry]\n"))) << text.toStdString();
    EXPECT_TRUE(text.contains(QStringLiteral("\nType=Application\n")));
    EXPECT_TRUE(text.contains(QStringLiteral("\nName=Tembrel Personal\n")));
    EXPECT_TRUE(text.contains(QStringLiteral("\nExec=\"") + ExecutablePath() + QStringLiteral("\" /startup /startminimized\n")))
        << text.toStdString();
    ASSERT_TRUE(SetAutoStart(false));
    EXPECT_FALSE(QFile::exists(entry()));
    EXPECT_FALSE(AutoStartEnabled());
    EXPECT_TRUE(SetAutoStart(false)); // nothing to remove is fine
}

TEST_F(AutoStart, AnyEntryOfThatNameCounts)
{
    ASSERT_TRUE(EnsureDirectory(data.file(QStringLiteral("config/autostart"))));
    ASSERT_TRUE(WriteStringToFile(QByteArray("Exec=/somewhere/else/program"), entry()));
    EXPECT_TRUE(AutoStartEnabled());
    ASSERT_TRUE(SetAutoStart(true)); // overwritten with ours
    EXPECT_TRUE(QString::fromUtf8(ReadFileToString(entry())).contains(ExecutablePath()));
}

TEST_F(AutoStart, FolderThatCannotBeMadeMeansOffAndNoChange)
{
    ASSERT_TRUE(WriteStringToFile(QByteArray("not a folder"), data.file(QStringLiteral("config"))));
    EXPECT_FALSE(AutoStartEnabled());
    EXPECT_FALSE(SetAutoStart(true));
    EXPECT_EQ(ReadFileToString(data.file(QStringLiteral("config"))), QByteArray("not a folder"));
}

TEST(AutoStartCommandLine, PathIsQuotedWithItsSpecialCharactersEscaped)
{
    EXPECT_EQ(AutoStartCommand(QStringLiteral("/opt/Tembrel Personal/tembrel")),
              QStringLiteral("\"/opt/Tembrel Personal/tembrel\" /startup /startminimized"));
    EXPECT_EQ(AutoStartCommand(QStringLiteral("/opt/a$b\"c%d/t")),
              QStringLiteral("\"/opt/a\\$b\\\"c%%d/t\" /startup /startminimized"));
}
