#pragma once
// Recording stand-ins for the call log and the recorder.
#include "callcontracts.h"
#include "clock.h"
#include "exception.h"

#include <QFile>
#include <QString>
#include <QStringList>
#include <utility>
#include <vector>

#include <ostream>

// Readable texts in failure messages.
inline void PrintTo(const QString &text, std::ostream *os) { *os << '"' << text.toStdString() << '"'; }

struct LoggedCall {
    int callType;
    int audioType;
    double start;
    double end;
    QString number;
    QString fileName;
};

class RecordingCallLog : public ICallLog {
public:
    explicit RecordingCallLog(QString tempFile) : tempFile(std::move(tempFile)) {}
    void GetTempRecordFileName(QString &fileName) override { fileName = tempFile; }
    void WriteLog(int level, const QString &text) override { logs.emplace_back(level, text); }
    double CurrentTime() override { return Now(); }
    void AddCall(int callType, int audioType, double whenStart, double whenEnd, const QString &phoneNumber,
                 const QString &fileName) override
    {
        if (failAddCall)
            throw Exception(QStringLiteral("disk full"));
        // The recording is complete when it is handed over.
        fileExistedAtAdd.push_back(!fileName.isEmpty() && QFile::exists(fileName));
        calls.push_back({callType, audioType, whenStart, whenEnd, phoneNumber, fileName});
    }
    QStringList logTexts() const
    {
        QStringList result;
        for (const auto &entry : logs)
            result << QString::number(entry.first) + QLatin1Char(' ') + entry.second;
        return result;
    }

    QString tempFile;
    std::vector<LoggedCall> calls;
    std::vector<bool> fileExistedAtAdd;
    std::vector<std::pair<int, QString>> logs;
    bool failAddCall = false;
};

class FakeRecorder : public IRecorderControl {
public:
    void StartRecording(const QString &fileName) override
    {
        events << QStringLiteral("start");
        if (failStart)
            throw Exception(QStringLiteral("no device"));
        QFile file(fileName);
        if (file.open(QIODevice::WriteOnly))
            file.write("RIFF");
        running = true;
    }
    void StopRecording() override
    {
        events << QStringLiteral("stop");
        running = false;
        if (failStop)
            throw Exception(QStringLiteral("device gone"));
    }
    bool InputDeviceAvailable() override { return inputDevice; }
    bool RecordingEnabled() override { return enabled; }

    QStringList events;
    bool running = false;
    bool inputDevice = true;
    bool enabled = true;
    bool failStart = false;
    bool failStop = false;
};
