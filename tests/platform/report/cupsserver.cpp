#include "cupsserver.h"

#include "peertools.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QStandardPaths>
#include <QTcpServer>
#include <QTimer>

namespace {
void Pause(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, Qt::PreciseTimer, &loop, &QEventLoop::quit);
    loop.exec();
}

bool WriteText(const QString &path, const QString &text)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(text.toUtf8()) == text.toUtf8().size();
}

const char *const kPpd = "/usr/share/ppd/cups-pdf/CUPS-PDF_opt.ppd";
} // namespace

TestCupsServer::~TestCupsServer()
{
    if (m_cupsd.state() != QProcess::NotRunning) {
        m_cupsd.terminate();
        if (!m_cupsd.waitForFinished(10000))
            m_cupsd.kill();
        m_cupsd.waitForFinished();
    }
}

QString TestCupsServer::start()
{
    const QString cupsd = QStandardPaths::findExecutable("cupsd", {"/usr/sbin", "/sbin"});
    if (cupsd.isEmpty() || !HavePeer("lpadmin") || !HavePeer("lpstat"))
        return QStringLiteral("cups and cups-client are not installed");
    if (!QFile::exists(kPpd))
        return QStringLiteral("printer-driver-cups-pdf is not installed (its generic PDF printer driver)");
    if (!m_dir.isValid())
        return QStringLiteral("no temporary folder");
    const QString d = m_dir.path();
    // The filters run as an unprivileged user: they must reach the folders.
    QFile::setPermissions(d, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner | QFile::ReadGroup | QFile::ExeGroup
                                 | QFile::ReadOther | QFile::ExeOther);
    for (const char *sub : {"spool", "cache", "state", "log", "tmp", "out"})
        QDir(d).mkpath(sub);
    for (const char *open : {"tmp", "out"})
        QFile::setPermissions(d + '/' + open, QFileDevice::Permissions(0x7777));
    QTcpServer probe;
    if (!probe.listen(QHostAddress::LocalHost, 0))
        return QStringLiteral("no free loopback port");
    m_port = probe.serverPort();
    probe.close();
    const bool written =
        WriteText(d + "/cups-files.conf",
                  QStringLiteral("ServerRoot %1\nCacheDir %1/cache\nStateDir %1/state\nRequestRoot %1/spool\n"
                                 "TempDir %1/tmp\nAccessLog %1/log/access_log\nErrorLog %1/log/error_log\n"
                                 "PageLog %1/log/page_log\nPrintcap %1/printcap\nFileDevice Yes\n")
                      .arg(d))
        && WriteText(d + "/cupsd.conf",
                     QStringLiteral("Listen 127.0.0.1:%1\nLogLevel debug\nWebInterface No\nBrowsing No\n"
                                    "DefaultAuthType None\n<Location />\n  Order allow,deny\n  Allow all\n</Location>\n"
                                    "<Policy default>\n  <Limit All>\n    Order deny,allow\n  </Limit>\n</Policy>\n")
                         .arg(m_port));
    if (!written)
        return QStringLiteral("cannot write the scheduler's configuration");
    m_cupsd.setProcessChannelMode(QProcess::MergedChannels);
    m_cupsd.start(cupsd, {"-f", "-c", d + "/cupsd.conf", "-s", d + "/cups-files.conf"});
    if (!m_cupsd.waitForStarted(10000))
        return QStringLiteral("cupsd did not start: ") + m_cupsd.errorString();

    QDeadlineTimer deadline(30000);
    QByteArray out;
    while (!deadline.hasExpired()) {
        if (m_cupsd.state() == QProcess::NotRunning)
            return QStringLiteral("cupsd stopped: ") + QString::fromLocal8Bit(m_cupsd.readAll()) + errorLog();
        out.clear();
        RunPeer("lpstat", {"-h", server(), "-r"}, &out);
        if (out.contains("scheduler is running"))
            break;
        Pause(100);
    }
    if (!out.contains("scheduler is running"))
        return QStringLiteral("cupsd does not answer on ") + server();
    QByteArray err;
    if (RunPeer("lpadmin", {"-h", server(), "-p", queue(), "-E", "-v", "file://" + outputFile(), "-P", kPpd}, nullptr, &err) != 0)
        return QStringLiteral("lpadmin refused the queue: ") + QString::fromLocal8Bit(err);
    qputenv("CUPS_SERVER", server().toUtf8());
    return {};
}

bool TestCupsServer::waitForIdle()
{
    QDeadlineTimer deadline(120000);
    while (!deadline.hasExpired()) {
        QByteArray out;
        if (RunPeer("lpstat", {"-h", server(), "-o", queue()}, &out) == 0 && out.trimmed().isEmpty()
            && QFile::exists(outputFile()))
            return true;
        Pause(200);
    }
    return false;
}

QString TestCupsServer::errorLog() const
{
    QFile f(m_dir.filePath("log/error_log"));
    return f.open(QIODevice::ReadOnly) ? QString::fromLocal8Bit(f.readAll().right(3000)) : QString();
}
