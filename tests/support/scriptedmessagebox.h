#pragma once
#include "myutils.h"

#include <QList>
#include <QString>

// A message box for tests: installed for its lifetime, records every box and
// plain message, and answers from a queue (OK-ish default when the queue is empty).
class ScriptedMessageBox : public IMessageBoxHandler {
public:
    struct Call {
        bool plain = false; // a plain message (showPlainMessage)
        QString text;
        QString caption;
        int kind = -1;
        unsigned buttons = 0;
        int helpContext = 0;
    };

    ScriptedMessageBox();
    ~ScriptedMessageBox() override;
    ScriptedMessageBox(const ScriptedMessageBox &) = delete;
    ScriptedMessageBox &operator=(const ScriptedMessageBox &) = delete;

    // Answers for the next boxes, in order.
    void answer(int result) { m_answers.append(result); }
    const QList<Call> &calls() const { return m_calls; }
    // Only the boxes (plain messages left out).
    QList<Call> boxes() const;
    void clear() { m_calls.clear(); }

    void showPlainMessage(const QString &text) override;
    int showBox(const QString &text, const QString &caption, int kind, unsigned buttons,
                int helpContext) override;

private:
    QList<Call> m_calls;
    QList<int> m_answers;
    IMessageBoxHandler *m_previous;
};
