#pragma once
// The control socket of a simulated line. A client sends scenario events, one per line
// (UTF-8, "\n"-terminated); each event is played after its delay, counted from the
// previous event of the same connection, and answered with one line: "OK <event>" when
// carried out, "ERROR <reason>" when it could not be parsed or carried out. The socket is
// reachable by the user who owns it only.
#include <QString>
#include <functional>

class QLocalServer;
class SimulatedLine;

// "tembrel-linesim-<user>-<line number>"; the environment variable TEMBREL_LINESIM_PREFIX,
// when set, replaces "tembrel-linesim-<user>" (tests run side by side with it).
QString LineSimSocketName(int lineNumber);

class LineSimServer {
public:
    explicit LineSimServer(SimulatedLine &line);
    ~LineSimServer();
    LineSimServer(const LineSimServer &) = delete;
    LineSimServer &operator=(const LineSimServer &) = delete;

    // Listens under the name; a stale socket left by a crashed run is replaced, a live
    // one (another program answering) is not. False with errorString() on failure.
    bool listen(const QString &name);
    QString errorString() const { return m_error; }
    QString serverName() const;
    // Every event played, with its error text (empty when carried out).
    std::function<void(const QString &event, const QString &error)> onEvent;

private:
    void acceptConnections();

    SimulatedLine &m_line;
    QLocalServer *m_server = nullptr;
    QString m_error;
};
