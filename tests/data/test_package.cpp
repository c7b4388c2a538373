// The Debian package made by CPack from this build tree: its files and dependencies as
// dpkg-deb reads them, then installed into a throwaway root, started there and removed.
#include "installtree.h"

#include <QDir>
#include <QRegularExpression>
#include <QSet>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

// The package names of a relationship field ("a (>= 1), b | c"), alternatives included.
QSet<QString> PackageNames(const QString &field)
{
    QSet<QString> names;
    for (const QString &alternatives : field.split(QLatin1Char(','), Qt::SkipEmptyParts))
        for (const QString &relation : alternatives.split(QLatin1Char('|'), Qt::SkipEmptyParts))
            names.insert(relation.section(QLatin1Char('('), 0, 0).section(QLatin1Char(':'), 0, 0).trimmed());
    return names;
}

QString Field(const QString &deb, const QString &name)
{
    return RunTool(QStringLiteral("dpkg-deb"), {QStringLiteral("--field"), deb, name}).out.trimmed();
}

// An empty dpkg database, enough for dpkg --root.
bool MakeThrowawayRoot(const QString &root)
{
    const QString admin = root + QStringLiteral("/var/lib/dpkg");
    for (const char *dir : {"info", "updates", "triggers"})
        if (!QDir().mkpath(admin + QLatin1Char('/') + QLatin1String(dir)))
            return false;
    for (const char *name : {"status", "available"}) {
        QFile file(admin + QLatin1Char('/') + QLatin1String(name));
        if (!file.open(QIODevice::WriteOnly))
            return false;
    }
    return true;
}

QStringList DpkgArgs(const QString &root, const QStringList &args)
{
    // Dependencies are the host's; the root holds only this package.
    return QStringList{QStringLiteral("--root=") + root, QStringLiteral("--log=/dev/null"),
                       QStringLiteral("--force-not-root"), QStringLiteral("--force-depends"),
                       QStringLiteral("--force-script-chrootless")}
           + args;
}

TEST(Package, NamesItsFilesAndDependenciesInstallsIntoAThrowawayRootAndLeavesCleanly)
{
    if (!HasTool(QStringLiteral("dpkg-deb")))
        GTEST_SKIP() << "dpkg-deb is missing";
    QTemporaryDir work;
    ASSERT_TRUE(work.isValid());
    const QString out = work.filePath(QStringLiteral("out"));
    const ToolRun pack = RunTool(QStringLiteral(TEMBREL_CPACK),
                                 {QStringLiteral("--config"), QStringLiteral(TEMBREL_BUILD_DIR "/CPackConfig.cmake"),
                                  QStringLiteral("-B"), out});
    ASSERT_EQ(pack.exitCode, 0) << pack.out.toStdString() << pack.err.toStdString();
    const QStringList debs = QDir(out).entryList({QStringLiteral("tembrel_*.deb")}, QDir::Files);
    ASSERT_EQ(debs.size(), 1) << pack.out.toStdString();
    const QString deb = out + QLatin1Char('/') + debs.first();

    const ToolRun info = RunTool(QStringLiteral("dpkg-deb"), {QStringLiteral("--info"), deb});
    ASSERT_EQ(info.exitCode, 0) << info.err.toStdString();
    EXPECT_TRUE(info.out.contains(QStringLiteral(" Package: tembrel\n"))) << info.out.toStdString();
    const QSet<QString> depends = PackageNames(Field(deb, QStringLiteral("Depends")));
    for (const char *library : {"libqt6core6", "libqt6gui6", "libqt6widgets6", "libqt6charts6", "libqt6network6",
                                "libgsm1", "libmp3lame0", "libsoxr0", "libasound2", "qt6-qpa-plugins",
                                "fonts-liberation"})
        EXPECT_TRUE(depends.contains(QLatin1String(library))) << library << " missing from: " << info.out.toStdString();

    // Every library a packaged program loads comes from a package it depends on, so a
    // library added to the build reaches the package's dependencies by itself.
    const QString unpacked = work.filePath(QStringLiteral("unpacked"));
    ASSERT_EQ(RunTool(QStringLiteral("dpkg-deb"), {QStringLiteral("-x"), deb, unpacked}).exitCode, 0);
    QSet<QString> sonames;
    for (const char *program : {"tembrel", "tembrel-headless", "tembrel-linesim"}) {
        const ToolRun dynamic = RunTool(QStringLiteral("readelf"),
                                        {QStringLiteral("-d"), unpacked + QStringLiteral("/usr/bin/") + QLatin1String(program)});
        ASSERT_EQ(dynamic.exitCode, 0) << dynamic.err.toStdString();
        const QRegularExpression needed(QStringLiteral("\\(NEEDED\\).*\\[(.+)\\]"));
        for (auto it = needed.globalMatch(dynamic.out); it.hasNext();)
            sonames.insert(it.next().captured(1));
    }
    EXPECT_TRUE(sonames.contains(QStringLiteral("libQt6Core.so.6")));
    // One search for all of them: each one scans the whole package database.
    QStringList patterns;
    for (const QString &soname : std::as_const(sonames))
        patterns << QStringLiteral("*/") + soname;
    const ToolRun owners = RunTool(QStringLiteral("dpkg"), QStringList{QStringLiteral("-S")} + patterns);
    for (const QString &soname : std::as_const(sonames)) {
        bool provided = false;
        for (const QString &line : owners.out.split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
            if (!line.endsWith(QLatin1Char('/') + soname))
                continue;
            for (const QString &package : line.section(QStringLiteral(": "), 0, 0).split(QStringLiteral(", ")))
                provided = provided || depends.contains(package.section(QLatin1Char(':'), 0, 0).trimmed());
        }
        EXPECT_TRUE(provided) << soname.toStdString() << " is not among the dependencies: " << owners.out.toStdString();
    }

    const ToolRun contents = RunTool(QStringLiteral("dpkg-deb"), {QStringLiteral("--contents"), deb});
    ASSERT_EQ(contents.exitCode, 0) << contents.err.toStdString();
    QStringList paths;
    for (const QString &line : contents.out.split(QLatin1Char('\n'), Qt::SkipEmptyParts))
        paths << line.section(QLatin1Char(' '), -1);
    for (const char *path : {"./usr/bin/tembrel", "./usr/bin/tembrel-headless", "./usr/bin/tembrel-linesim",
                             "./usr/share/tembrel/data.xml", "./usr/share/applications/example.tembrel.Personal.desktop",
                             "./usr/share/metainfo/example.tembrel.Personal.metainfo.xml",
                             "./usr/share/icons/hicolor/scalable/apps/tembrel.svg",
                             "./usr/share/icons/hicolor/48x48/apps/tembrel.png",
                             "./usr/lib/systemd/system/tembrel-headless.service",
                             "./usr/lib/systemd/user/tembrel-headless.service"})
        EXPECT_TRUE(paths.contains(QLatin1String(path))) << path << " missing from: " << contents.out.toStdString();
    for (const QString &path : std::as_const(paths))
        EXPECT_TRUE(path.startsWith(QLatin1String("./usr/")) && !path.startsWith(QLatin1String("./usr/local")))
            << path.toStdString();

    // Installed into a root of its own, where it names /usr and runs from there.
    const QString root = work.filePath(QStringLiteral("root"));
    ASSERT_TRUE(MakeThrowawayRoot(root));
    const ToolRun install = RunTool(QStringLiteral("dpkg"), DpkgArgs(root, {QStringLiteral("--install"), deb}));
    if (install.exitCode != 0)
        GTEST_SKIP() << "dpkg cannot install into a throwaway root here: " << install.err.toStdString();
    EXPECT_TRUE(ReadText(root + QStringLiteral("/usr/share/applications/example.tembrel.Personal.desktop"))
                    .contains(QStringLiteral("\nExec=\"/usr/bin/tembrel\"\n")));
    EXPECT_TRUE(ReadText(root + QStringLiteral("/usr/lib/systemd/system/tembrel-headless.service"))
                    .contains(QStringLiteral("\nExecStart=\"/usr/bin/tembrel-headless\" --datadir %S/tembrel\n")));

    InstalledLogger logger(root + QStringLiteral("/usr/bin"), work.filePath(QStringLiteral("run")));
    ASSERT_TRUE(logger.Start({QStringLiteral("-simulate")}));
    ASSERT_TRUE(logger.WaitFor(QStringLiteral("READY"))) << logger.output.toStdString();
    EXPECT_TRUE(logger.output.contains(QStringLiteral("DATA %1\n").arg(work.filePath(QStringLiteral("run/home/.local/share/tembrel")))))
        << logger.output.toStdString();
    const ToolRun ring = logger.Ring(QStringLiteral("ring 777; +0.05 answer; +0.3 hangup"));
    EXPECT_EQ(ring.exitCode, 0) << ring.err.toStdString();
    EXPECT_TRUE(logger.WaitFor(QStringLiteral("number=777"))) << logger.output.toStdString();
    EXPECT_TRUE(logger.Terminate());

    const ToolRun purge = RunTool(QStringLiteral("dpkg"), DpkgArgs(root, {QStringLiteral("--purge"), QStringLiteral("tembrel")}));
    EXPECT_EQ(purge.exitCode, 0) << purge.err.toStdString();
    QStringList left;
    QDirIterator it(root + QStringLiteral("/usr"), QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext())
        left << it.next();
    EXPECT_TRUE(left.isEmpty()) << "left behind: " << left.join(QLatin1Char(' ')).toStdString();
}

} // namespace
