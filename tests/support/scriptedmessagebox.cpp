#include "scriptedmessagebox.h"

ScriptedMessageBox::ScriptedMessageBox() : m_previous(MessageBoxHandler()) { SetMessageBoxHandler(this); }

ScriptedMessageBox::~ScriptedMessageBox() { SetMessageBoxHandler(m_previous); }

QList<ScriptedMessageBox::Call> ScriptedMessageBox::boxes() const
{
    QList<Call> result;
    for (const Call &c : m_calls)
        if (!c.plain)
            result.append(c);
    return result;
}

void ScriptedMessageBox::showPlainMessage(const QString &text)
{
    Call c;
    c.plain = true;
    c.text = text;
    m_calls.append(c);
}

int ScriptedMessageBox::showBox(const QString &text, const QString &caption, int kind, unsigned buttons,
                                int helpContext)
{
    m_calls.append(Call{false, text, caption, kind, buttons, helpContext});
    if (!m_answers.isEmpty())
        return m_answers.takeFirst();
    // Without a scripted answer the box's first button is pressed.
    if (buttons & mbOK) return mrOk;
    if (buttons & mbYes) return mrYes;
    if (buttons & mbRetry) return mrRetry;
    return mrAbort;
}
