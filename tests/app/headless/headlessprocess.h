#pragma once
// The windowless program as a user runs it: a separate process on the simulated line in a
// data directory of its own, rung through the line simulator tool.
#include "codepage1250.h"
#include "datapacket.h"
#include "memtable.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QMap>
#include <QProcess>
#include <QProcessEnvironment>
#include <QTemporaryDir>
#include <gtest/gtest.h>

// The rows of a data.xml, one map of field values per row, in file order.
inline QList<QMap<QString, QString>> ReadRows(const QString &fileName)
{
    TMemTable table;
    LoadDataPacketFile(table, fileName);
    QList<QMap<QString, QString>> rows;
    for (int record = 0; record < table.physicalCount(); ++record) {
        QMap<QString, QString> row;
        for (int i = 0; i < table.fieldCount(); ++i) {
            const TField &field = table.field(i);
            row.insert(field.fieldName(), field.isNullAt(record) ? QString() : field.asStringAt(record));
        }
        rows.append(row);
    }
    return rows;
}

// sox's standard output, or "sox failed: " with its complaint.
inline QString Sox(const QStringList &args)
{
    QProcess sox;
    sox.start(QStringLiteral("sox"), args);
    if (!sox.waitForFinished(30000) || sox.exitCode() != 0)
        return QStringLiteral("sox failed: ") + QString::fromLocal8Bit(sox.readAllStandardError());
    return QString::fromLocal8Bit(sox.readAllStandardOutput()).trimmed();
}

class HeadlessProcess : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("TEMBREL_LINESIM_PREFIX"), dir.filePath(QStringLiteral("sim")));
        // The temporary recording has one name per system; no other test may meet it.
        ASSERT_TRUE(QDir(dir.path()).mkpath(QStringLiteral("tmp")));
        env.insert(QStringLiteral("TMPDIR"), dir.filePath(QStringLiteral("tmp")));
        env.insert(QStringLiteral("ASAN_OPTIONS"), QStringLiteral("detect_leaks=0"));
        // The private temporary folder then lies in the test's own folder too.
        env.remove(QStringLiteral("XDG_RUNTIME_DIR"));
    }

    void TearDown() override
    {
        if (host.state() != QProcess::NotRunning) {
            host.kill();
            host.waitForFinished(5000);
        }
    }

    // The call log delivered with the program, empty.
    void InstallCallLog()
    {
        const QString target = dir.filePath(QStringLiteral("data.xml"));
        QFile::remove(target);
        ASSERT_TRUE(QFile::copy(QStringLiteral(TEMBREL_DELIVERED_DATA), target));
        QFile::setPermissions(target, QFile::ReadOwner | QFile::WriteOwner);
    }

    void WriteSettings(const QString &text)
    {
        QFile file(dir.filePath(QStringLiteral("tembrel-headless.ini")));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(EncodeCp1250(text));
    }

    void Launch(QStringList args)
    {
        args << QStringLiteral("--datadir") << dir.path();
        output.clear();
        host.setProcessEnvironment(env);
        host.start(QStringLiteral(TEMBREL_HEADLESS_EXE), args);
        ASSERT_TRUE(host.waitForStarted(10000));
    }

    void StartHost(const QStringList &args = {QStringLiteral("-simulate")})
    {
        Launch(args);
        ASSERT_TRUE(WaitForOutput(QStringLiteral("READY"))) << output.toStdString();
    }

    // Reads the host's output until the text appears, the host ends or the limit passes.
    bool WaitForOutput(const QString &text, int limitMs = 20000)
    {
        QElapsedTimer timer;
        timer.start();
        while (!output.contains(text)) {
            if (timer.elapsed() > limitMs || host.state() == QProcess::NotRunning)
                return false;
            host.waitForReadyRead(100);
            output += QString::fromLocal8Bit(host.readAllStandardOutput());
        }
        return true;
    }

    // Runs the line simulator; returns its exit code, with its output in simOut/simErr.
    int LineSim(const QStringList &args)
    {
        QProcess sim;
        sim.setProcessEnvironment(env);
        sim.start(QStringLiteral(TEMBREL_LINESIM_EXE), args);
        EXPECT_TRUE(sim.waitForFinished(30000));
        simOut = QString::fromLocal8Bit(sim.readAllStandardOutput());
        simErr = QString::fromLocal8Bit(sim.readAllStandardError());
        return sim.exitCode();
    }

    // Ends the host as a service manager does, and collects the rest of its output.
    void Terminate()
    {
        host.terminate();
        ASSERT_TRUE(host.waitForFinished(20000));
        output += QString::fromLocal8Bit(host.readAllStandardOutput());
        EXPECT_EQ(host.exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(host.exitCode(), 0);
    }

    QTemporaryDir dir;
    QProcessEnvironment env;
    QProcess host;
    QString output;
    QString simOut, simErr;
};
