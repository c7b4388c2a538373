// Files other users must not reach: the private temporary folder, opening without
// following links, moving without replacing, and the data folder lock.
#include "datafolderlock.h"
#include "myutils.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QCoreApplication>
#include <QTemporaryDir>

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

QByteArray fileBytes(const QString &name)
{
    QFile f(name);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

void writeFile(const QString &name, const QByteArray &bytes)
{
    QFile f(name);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(bytes);
}

// TMPDIR and XDG_RUNTIME_DIR pointed into a folder of the test's own.
class PrivateTemp : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(root.isValid());
        oldTmp = qgetenv("TMPDIR");
        oldRuntime = qgetenv("XDG_RUNTIME_DIR");
        qputenv("TMPDIR", QFile::encodeName(root.path()));
        qunsetenv("XDG_RUNTIME_DIR");
        mine = JoinPath(root.path(), QStringLiteral("tembrel-") + QString::number(::geteuid()));
    }
    void TearDown() override
    {
        qputenv("TMPDIR", oldTmp);
        if (oldRuntime.isNull())
            qunsetenv("XDG_RUNTIME_DIR");
        else
            qputenv("XDG_RUNTIME_DIR", oldRuntime);
    }
    static mode_t modeOf(const QString &path)
    {
        struct stat st {};
        ::lstat(QFile::encodeName(path).constData(), &st);
        return st.st_mode & 07777;
    }
    QTemporaryDir root;
    QByteArray oldTmp, oldRuntime;
    QString mine;
};

} // namespace

TEST_F(PrivateTemp, OneClosedFolderPerUserAndDataDirectory)
{
    QString error;
    const QString a = PrivateTempDirectory(QStringLiteral("/srv/a"), &error);
    ASSERT_FALSE(a.isEmpty()) << error.toStdString();
    const QString b = PrivateTempDirectory(QStringLiteral("/srv/b"));
    EXPECT_NE(a, b);
    EXPECT_EQ(a, PrivateTempDirectory(QStringLiteral("/srv/a/")));
    EXPECT_TRUE(a.startsWith(mine + QLatin1Char('/')));
    EXPECT_EQ(modeOf(mine), 0700u);
    EXPECT_EQ(modeOf(a), 0700u);
    // A folder of ours left open to others is closed again.
    ::chmod(QFile::encodeName(a).constData(), 0777);
    EXPECT_EQ(PrivateTempDirectory(QStringLiteral("/srv/a")), a);
    EXPECT_EQ(modeOf(a), 0700u);
    // A usable runtime folder of the user is preferred.
    const QString runtime = JoinPath(root.path(), QStringLiteral("run"));
    ASSERT_TRUE(QDir().mkpath(runtime));
    ::chmod(QFile::encodeName(runtime).constData(), 0700);
    qputenv("XDG_RUNTIME_DIR", QFile::encodeName(runtime));
    EXPECT_TRUE(PrivateTempDirectory(QStringLiteral("/srv/a")).startsWith(runtime + QLatin1Char('/')));
    // One open to others is not.
    ::chmod(QFile::encodeName(runtime).constData(), 0777);
    EXPECT_TRUE(PrivateTempDirectory(QStringLiteral("/srv/a")).startsWith(mine + QLatin1Char('/')));
}

TEST_F(PrivateTemp, AFolderPlantedByAnotherIsRefused)
{
    // A link in place of the user's folder, pointing at a folder the attacker reads.
    const QString trap = JoinPath(root.path(), QStringLiteral("trap"));
    ASSERT_TRUE(QDir().mkpath(trap));
    ASSERT_TRUE(QFile::link(trap, mine));
    QString error;
    EXPECT_TRUE(PrivateTempDirectory(QStringLiteral("/srv/a"), &error).isEmpty());
    EXPECT_TRUE(error.contains(mine));
    EXPECT_TRUE(QDir(trap).entryList(QDir::NoDotAndDotDot | QDir::AllEntries).isEmpty());
    QFile::remove(mine);
    // A folder of another user (made here as the superuser can).
    if (::geteuid() == 0) {
        ASSERT_TRUE(QDir().mkpath(mine));
        ASSERT_EQ(::chown(QFile::encodeName(mine).constData(), 65534, 65534), 0);
        EXPECT_TRUE(PrivateTempDirectory(QStringLiteral("/srv/a"), &error).isEmpty());
        EXPECT_TRUE(error.contains(QStringLiteral("another user")));
    }
}

TEST_F(PrivateTemp, CreatingNeverFollowsALinkNorWaitsOnAPipe)
{
    const QString victim = JoinPath(root.path(), QStringLiteral("victim"));
    writeFile(victim, "precious");
    const QString link = JoinPath(root.path(), QStringLiteral("link.wav"));
    ASSERT_TRUE(QFile::link(victim, link));
    QString error;
    EXPECT_EQ(CreateFileNoFollow(link, &error), -1);
    EXPECT_EQ(fileBytes(victim), QByteArray("precious"));
    const QString pipe = JoinPath(root.path(), QStringLiteral("pipe.wav"));
    ASSERT_EQ(::mkfifo(QFile::encodeName(pipe).constData(), 0600), 0);
    EXPECT_EQ(CreateFileNoFollow(pipe, &error), -1);
    const QString plain = JoinPath(root.path(), QStringLiteral("plain.wav"));
    writeFile(plain, "old content");
    const int fd = CreateFileNoFollow(plain, &error);
    ASSERT_GE(fd, 0);
    EXPECT_EQ(::write(fd, "new", 3), 3);
    ::close(fd);
    EXPECT_EQ(fileBytes(plain), QByteArray("new"));
}

TEST_F(PrivateTemp, MovingNeverReplacesAndCrossesFileSystems)
{
    const QString a = JoinPath(root.path(), QStringLiteral("a.wav"));
    const QString b = JoinPath(root.path(), QStringLiteral("b.wav"));
    writeFile(a, "first");
    writeFile(b, "second");
    QString error;
    EXPECT_FALSE(MoveFileNoReplace(a, b, &error));
    EXPECT_EQ(fileBytes(a), QByteArray("first"));
    EXPECT_EQ(fileBytes(b), QByteArray("second"));
    const QString c = JoinPath(root.path(), QStringLiteral("c.wav"));
    EXPECT_TRUE(MoveFileNoReplace(a, c, &error));
    EXPECT_FALSE(QFile::exists(a));
    EXPECT_EQ(fileBytes(c), QByteArray("first"));

    // Onto another file system the file is copied whole and linked in under its name.
    QTemporaryDir other(QStringLiteral("/dev/shm/tembrel-test-XXXXXX"));
    struct stat here {}, there {};
    if (!other.isValid() || ::stat(QFile::encodeName(root.path()).constData(), &here) != 0
        || ::stat(QFile::encodeName(other.path()).constData(), &there) != 0 || here.st_dev == there.st_dev)
        GTEST_SKIP() << "no second file system at /dev/shm";
    const QByteArray big(300000, 'x');
    writeFile(a, big);
    const QString far = JoinPath(other.path(), QStringLiteral("far.wav"));
    EXPECT_TRUE(MoveFileNoReplace(a, far, &error)) << error.toStdString();
    EXPECT_EQ(fileBytes(far), big);
    EXPECT_FALSE(QFile::exists(a));
    writeFile(a, "again");
    EXPECT_FALSE(MoveFileNoReplace(a, far, &error));
    EXPECT_EQ(fileBytes(far), big);
    EXPECT_EQ(QDir(other.path()).entryList(QDir::Files | QDir::Hidden).size(), 1);
}

TEST(DataFolderLock, ASecondProcessIsRefusedAndToldWhoHoldsTheFolder)
{
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    int ready[2], done[2];
    ASSERT_EQ(::pipe(ready), 0);
    ASSERT_EQ(::pipe(done), 0);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        ::close(done[1]);
        ::close(ready[0]);
        ::alarm(60); // never outlives a parent that gave up
        TDataFolderLock lock;
        const char ok = lock.Acquire(folder.path()) && lock.Held() ? 'y' : 'n';
        [[maybe_unused]] ssize_t n = ::write(ready[1], &ok, 1);
        char byte;
        n = ::read(done[0], &byte, 1);
        ::_exit(0);
    }
    ::close(done[0]);
    ::close(ready[1]);
    char ok = 0;
    ASSERT_EQ(::read(ready[0], &ok, 1), 1);
    ASSERT_EQ(ok, 'y');
    TDataFolderLock lock;
    QString error;
    EXPECT_FALSE(lock.Acquire(folder.path(), &error));
    EXPECT_TRUE(error.contains(folder.path())) << error.toStdString();
    EXPECT_TRUE(error.contains(QStringLiteral("PID %1").arg(child))) << error.toStdString();
    EXPECT_TRUE(error.contains(QFileInfo(QCoreApplication::applicationFilePath()).fileName()));
    // Once the holder is gone the folder is free, and a second holder in this process shares it.
    ::close(done[1]);
    int status = 0;
    ::waitpid(child, &status, 0);
    EXPECT_TRUE(lock.Acquire(folder.path(), &error));
    TDataFolderLock same;
    EXPECT_TRUE(same.Acquire(folder.path()));
    same.Release();
    EXPECT_TRUE(lock.Held());
    ::close(ready[0]);
}
