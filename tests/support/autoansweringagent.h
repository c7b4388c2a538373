#pragma once
// A user agent that answers every call on its own, standing in for a user who picks up at
// once where the program under test has no way to answer: a script the line starts
// instead of baresip (TEMBREL_BARESIP), noting each start's process id.
#include <QList>
#include <QString>

class AutoAnsweringAgent {
public:
    // Writes the script into the folder; false when baresip is not installed.
    bool create(const QString &directory);
    QString program() const { return m_script; }
    // The process ids of the agents started so far, oldest first.
    QList<qint64> processIds() const;

private:
    QString m_script;
    QString m_pids;
};
