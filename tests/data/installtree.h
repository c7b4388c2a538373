#pragma once
// What the installation tests share: running tools, looking at installed trees, and the
// installed windowless logger run as a user runs it, in a home folder of its own.
#include <QDirIterator>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QProcessEnvironment>
#include <QSize>
#include <QStandardPaths>
#include <QStringList>
#include <QtEndian>

struct ToolRun {
    int exitCode = -1; // -1: it did not start or did not end in time
    QString out;
    QString err;
};

inline ToolRun RunTool(const QString &program, const QStringList &args,
                       const QProcessEnvironment &env = QProcessEnvironment::systemEnvironment(), int limitMs = 600000)
{
    ToolRun run;
    QProcess process;
    process.setProcessEnvironment(env);
    process.start(program, args);
    if (!process.waitForStarted(30000)) {
        run.err = program + QStringLiteral(": ") + process.errorString();
        return run;
    }
    if (!process.waitForFinished(limitMs)) {
        process.kill();
        process.waitForFinished(5000);
        run.err = program + QStringLiteral(" did not end");
        return run;
    }
    run.out = QString::fromLocal8Bit(process.readAllStandardOutput());
    run.err = QString::fromLocal8Bit(process.readAllStandardError());
    run.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    return run;
}

inline bool HasTool(const QString &name) { return !QStandardPaths::findExecutable(name).isEmpty(); }

inline QString ReadText(const QString &fileName)
{
    QFile file(fileName);
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

// Every entry below root with its kind, size, permissions and modification time: a run
// that changes none of them wrote nothing there.
inline QStringList TreeSnapshot(const QString &root)
{
    QStringList entries;
    QDirIterator it(root, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QFileInfo info(it.next());
        entries << QStringLiteral("%1 %2 %3 %4 %5")
                       .arg(info.filePath().mid(root.size()), info.isDir() ? QStringLiteral("d") : QStringLiteral("f"))
                       .arg(info.isDir() ? 0 : info.size())
                       .arg(int(info.permissions()), 0, 16)
                       .arg(info.lastModified().toMSecsSinceEpoch());
    }
    entries.sort();
    return entries;
}

// The whole tree read-only (as an installation under /usr is to a user), or writable again.
inline bool SetTreeWritable(const QString &root, bool writable)
{
    return RunTool(QStringLiteral("chmod"), {QStringLiteral("-R"), writable ? QStringLiteral("u+w") : QStringLiteral("a-w"), root})
               .exitCode
           == 0;
}

// Width and height from a PNG file's header; empty when it is no PNG.
inline QSize PngSize(const QString &fileName)
{
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly))
        return QSize();
    const QByteArray head = file.read(24);
    if (head.size() < 24 || !head.startsWith("\x89PNG\r\n\x1a\n") || head.mid(12, 4) != "IHDR")
        return QSize();
    return QSize(int(qFromBigEndian<quint32>(head.constData() + 16)), int(qFromBigEndian<quint32>(head.constData() + 20)));
}

// The installed tembrel-headless on the simulated line, rung with the installed tembrel-linesim.
// HOME, the temporary folder and the line's socket all lie in work.
class InstalledLogger {
public:
    InstalledLogger(const QString &binDir, const QString &work) : m_bin(binDir)
    {
        env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("HOME"), work + QStringLiteral("/home"));
        env.remove(QStringLiteral("XDG_DATA_HOME"));
        env.insert(QStringLiteral("TMPDIR"), work + QStringLiteral("/tmp"));
        env.insert(QStringLiteral("TEMBREL_LINESIM_PREFIX"), work + QStringLiteral("/sim"));
        env.insert(QStringLiteral("ASAN_OPTIONS"), QStringLiteral("detect_leaks=0"));
        QDir().mkpath(work + QStringLiteral("/home"));
        QDir().mkpath(work + QStringLiteral("/tmp"));
    }
    ~InstalledLogger()
    {
        if (m_process.state() != QProcess::NotRunning) {
            m_process.kill();
            m_process.waitForFinished(5000);
        }
    }

    bool Start(const QStringList &args)
    {
        output.clear();
        m_process.setProcessEnvironment(env);
        m_process.start(m_bin + QStringLiteral("/tembrel-headless"), args);
        return m_process.waitForStarted(10000);
    }

    // Reads the output until the text appears, the logger ends or the limit passes.
    bool WaitFor(const QString &text, int limitMs = 30000)
    {
        QElapsedTimer timer;
        timer.start();
        while (!output.contains(text)) {
            if (timer.elapsed() > limitMs || m_process.state() == QProcess::NotRunning) {
                output += QString::fromLocal8Bit(m_process.readAllStandardOutput());
                return output.contains(text);
            }
            m_process.waitForReadyRead(100);
            output += QString::fromLocal8Bit(m_process.readAllStandardOutput());
        }
        return true;
    }

    ToolRun Ring(const QString &events) { return RunTool(m_bin + QStringLiteral("/tembrel-linesim"), {events}, env, 30000); }

    // Ends it as a service manager does; true when it ended cleanly.
    bool Terminate()
    {
        m_process.terminate();
        const bool ended = m_process.waitForFinished(30000);
        output += QString::fromLocal8Bit(m_process.readAllStandardOutput());
        return ended && m_process.exitStatus() == QProcess::NormalExit && m_process.exitCode() == 0;
    }

    QProcessEnvironment env;
    QString output;

private:
    QString m_bin;
    QProcess m_process;
};
