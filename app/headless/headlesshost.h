#pragma once
// The windowless program: the call-data, audio and TAPI modules created and joined as the
// windowed program joins them, the settings applied as its settings dialog applies them at
// start, the call log opened and the line watched. What happens is reported through
// callbacks, so the console program decides where it is shown.
#include "callcontracts.h"
#include "settingsfile.h"
#include "udmaudio.h"
#include "udmcd.h"
#include "udmtapi.h"

#include <QString>
#include <functional>
#include <memory>

// One call as the call log stored it.
struct TLoggedCall {
    int Id = 0;
    int CallType = 0;
    int AudioType = 0;
    double WhenStart = 0;
    double WhenEnd = 0;
    int Length = 0;        // whole seconds, as stored
    QString PhoneNumber;
    long long AudioSize = 0;
    QString RecordingFile; // the stored recording; empty when the call has none
};

class THeadlessHost {
public:
    // Creates the modules; the data directory must be set already.
    THeadlessHost();
    ~THeadlessHost();
    THeadlessHost(const THeadlessHost &) = delete;
    THeadlessHost &operator=(const THeadlessHost &) = delete;

    // Applies the settings as the program does at start. With simulate, an empty
    // "TAPIDevice" means the first simulated line, an empty "AudioInputDevice" the
    // virtual input, and the line is watched whatever "AutoStartWatch" says. False with
    // the reason when no line device matches.
    bool ApplySettings(const TSettings &settings, bool simulate, QString &error);
    // Opens data.xml; false with the store's message (the file is left as it is).
    bool OpenCallLog(QString &error);
    // Whether the line is to be watched once the program runs.
    bool WatchWanted() const { return m_tapi->AutoStartWatch; }
    // Opens the line; false with the text the program shows when it cannot (the
    // failure is logged, and the supervision, when switched on, keeps trying).
    bool StartWatch(QString &error);
    // Closes the line; a running recording is stopped and its call logged.
    void StopWatch();

    // The input recorded from, as the settings name it; empty when recording is off.
    QString RecordingInput() const { return m_audio->RecordingEnabled() ? m_inputDevice : QString(); }
    int LinkNumber() const { return m_linkNumber; }

    Tdmcd &CallData() { return *m_cd; }
    Tdmaudio &Audio() { return *m_audio; }
    Tdmtapi &Tapi() { return *m_tapi; }

    // Every status report, with the state's display text.
    std::function<void(int state, int callType, const QString &number, const QString &text)> OnStatus;
    // Every line the call tracker writes to the log.
    std::function<void(int level, const QString &text)> OnLog;
    // Every call stored in the call log, with its recording in place.
    std::function<void(const TLoggedCall &call)> OnCall;
    // A long silence in the running recording; once per recording.
    std::function<void()> OnSilence;

private:
    class TCallLogReporter;

    std::unique_ptr<Tdmcd> m_cd;
    std::unique_ptr<Tdmaudio> m_audio;
    std::unique_ptr<TCallLogReporter> m_reporter;
    std::unique_ptr<Tdmtapi> m_tapi;
    QString m_inputDevice;
    int m_linkNumber = 0;
};
