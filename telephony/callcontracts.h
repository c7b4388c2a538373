#pragma once
#include <QString>

// What the call tracker needs from the call log. The call-data module implements it;
// the tracker never owns it.
class ICallLog {
public:
    virtual ~ICallLog() = default;
    // The one temporary recording file; the same path on every call during a run.
    virtual void GetTempRecordFileName(QString &fileName) = 0;
    // One line into the program's log; level 1 error, 2 inconsistency, 3 information.
    virtual void WriteLog(int level, const QString &text) = 0;
    // The current local date-time (day number); every stored time stamp comes from here.
    virtual double CurrentTime() = 0;
    // Appends one finished call; a non-empty fileName hands its recording over. Raises on failure.
    virtual void AddCall(int callType, int audioType, double whenStart, double whenEnd,
                         const QString &phoneNumber, const QString &fileName) = 0;
};

// The recording operations of the audio module, as the tracker sees them.
class IRecorderControl {
public:
    virtual ~IRecorderControl() = default;
    // Deletes any file of that name and starts recording into it when recording is
    // possible; raises when the start fails.
    virtual void StartRecording(const QString &fileName) = 0;
    // Ends the running recording; on return the file is complete and closed.
    virtual void StopRecording() = 0;
    virtual bool InputDeviceAvailable() = 0;
    virtual bool RecordingEnabled() = 0;
    // Whether the call with this number is to be recorded at all (the user's recording
    // rule); asked when the call connects. Every call by default.
    virtual bool RecordingWanted(const QString &number)
    {
        Q_UNUSED(number);
        return true;
    }
};
