#pragma once
#include "dboutputs.h"
#include "filechooser.h"
#include "memtable.h"
#include "outputwindows.h"
#include "support/scriptedmessagebox.h"
#include "support/tempdatadir.h"

#include <QStringList>
#include <memory>

// A file dialog that answers from a queue (an empty answer cancels) and records its specs.
class ScriptedFileChooser : public IFileChooser {
public:
    ScriptedFileChooser() : m_previous(SetFileChooser(this)) {}
    ~ScriptedFileChooser() override { SetFileChooser(m_previous); }
    void answer(const QString &fileName) { m_answers << fileName; }
    bool ChooseSaveFile(TFileDialogSpec &spec) override { return take(spec); }
    bool ChooseOpenFile(TFileDialogSpec &spec) override { return take(spec); }
    QList<TFileDialogSpec> specs;

private:
    bool take(TFileDialogSpec &spec)
    {
        specs << spec;
        if (m_answers.isEmpty())
            return false;
        spec.FileName = m_answers.takeFirst();
        return !spec.FileName.isEmpty();
    }
    QStringList m_answers;
    IFileChooser *m_previous;
};

// Records the progress window's texts and what would be opened.
class RecordingOutputWindows : public IOutputWindows {
public:
    RecordingOutputWindows() : m_previous(SetOutputWindows(this)) {}
    ~RecordingOutputWindows() override { SetOutputWindows(m_previous); }
    void ProgressShow(const QString &caption, const QString &message) override
    {
        shown << caption + QLatin1Char('|') + message;
        open = true;
    }
    void ProgressMessage(const QString &message) override { messages << message; }
    void ProgressClose() override { open = false; }
    void ProcessEvents() override {}
    bool OpenResult(const QString &fileName) override
    {
        opened << fileName;
        return true;
    }
    QStringList shown, messages, opened;
    bool open = false;

private:
    IOutputWindows *m_previous;
};

// A small log: an integer, a float with a display format, a text, a date-time and a memo.
std::unique_ptr<TMemTable> MakeCallTable(int rows = 0);
void AddCall(TMemTable &table, int type, double length, const QString &number, double when,
             const QString &note = QString());
QByteArray ReadAll(const QString &fileName);
// Runs a program; false (with the reason) when it cannot start.
bool RunPeer(const QString &program, const QStringList &arguments, QByteArray &output, int &exitCode,
             QString &why);
