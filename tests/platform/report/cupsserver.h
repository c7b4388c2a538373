#pragma once
#include <QProcess>
#include <QString>
#include <QTemporaryDir>

// A CUPS scheduler of the test's own: private configuration, spool and logs in
// a temporary folder, listening on a loopback port, with one queue that prints
// through the generic PDF printer's driver into a file. The process's CUPS
// clients (libcups, hence QPrinter) are pointed at it.
class TestCupsServer {
public:
    ~TestCupsServer();
    // Empty when running; otherwise why it could not start.
    QString start();
    QString queue() const { return QStringLiteral("tembreltest"); }
    QString server() const { return QStringLiteral("127.0.0.1:%1").arg(m_port); }
    QString outputFile() const { return m_dir.filePath("out/job.out"); }
    // Waits until the queue has no job left; false when it does not empty.
    bool waitForIdle();
    QString errorLog() const;

private:
    QTemporaryDir m_dir{QStringLiteral("/tmp/tembrel-cups-XXXXXX")};
    QProcess m_cupsd;
    int m_port = 0;
};
