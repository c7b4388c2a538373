#pragma once
// The windowless host of the line watch: applies the settings to the TAPI module, picks the
// line, opens it and closes it again. The call log and the recorder are handed in, so the
// console stand-ins used today can later give way to the real modules.
#include "callcontracts.h"
#include "settingsfile.h"
#include "udmtapi.h"

#include <QString>
#include <functional>
#include <memory>

class THeadlessHost {
public:
    THeadlessHost(ICallLog *callLog, IRecorderControl *recorder);
    ~THeadlessHost();

    // The settings the TAPI module takes; with simulate, an empty "TAPIDevice" means the
    // first simulated line. Returns false with the reason when no device matches.
    bool ApplySettings(const TSettings &settings, bool simulate, QString &error);
    // Opens the line; false with the reason when it cannot be opened (the supervision,
    // when switched on, keeps trying).
    bool Start(QString &error);
    // Closes the line; a running recording is stopped and logged.
    void Stop();

    Tdmtapi &Tapi() { return *m_tapi; }
    // Every status report, with the state's display text.
    std::function<void(int state, int callType, const QString &number, const QString &text)> OnStatus;

private:
    std::unique_ptr<Tdmtapi> m_tapi;
};

// A call log that prints each call it is given and writes log lines to the log file.
class TConsoleCallLog : public ICallLog {
public:
    explicit TConsoleCallLog(std::function<void(const QString &)> print) : m_print(std::move(print)) {}
    void GetTempRecordFileName(QString &fileName) override;
    void WriteLog(int level, const QString &text) override;
    double CurrentTime() override;
    void AddCall(int callType, int audioType, double whenStart, double whenEnd, const QString &phoneNumber,
                 const QString &fileName) override;

private:
    std::function<void(const QString &)> m_print;
};

// No recording: no input device, nothing recorded.
class TNoRecorder : public IRecorderControl {
public:
    void StartRecording(const QString &) override {}
    void StopRecording() override {}
    bool InputDeviceAvailable() override { return false; }
    bool RecordingEnabled() override { return false; }
};
