#pragma once
#include "audiorec.h"

#include <QObject>
#include <functional>
#include <memory>

// The audio module: owns the recorder, says whether recording is possible and
// wanted, watches the level for a long silence and passes every level event on to
// whichever window shows levels. Needs no window of its own.
class Tdmaudio : public QObject {
public:
    explicit Tdmaudio(QObject *parent = nullptr);
    ~Tdmaudio() override;

    // The recording operations the TAPI module uses (through the session).
    // Deletes any file of that name and records into it when recording is possible;
    // raises when the start fails.
    void StartRecording(const QString &fileName);
    // On return the file is complete and closed.
    void StopRecording();
    bool InputDeviceAvailable() const { return m_inputDeviceAvailable; }
    bool RecordingEnabled() const { return m_recordingEnabled; }

    void SetInputDeviceAvailable(bool v) { m_inputDeviceAvailable = v; }
    void SetRecordingEnabled(bool v) { m_recordingEnabled = v; }
    bool SilenceDetection() const { return m_silenceDetection; }
    void SetSilenceDetection(bool v) { m_silenceDetection = v; }
    uint16_t SilenceMaxSeconds() const { return m_silenceMaxSeconds; }
    void SetSilenceMaxSeconds(uint16_t v) { m_silenceMaxSeconds = v; }
    uint16_t SilencePeakLevel() const { return m_silencePeakLevel; }
    void SetSilencePeakLevel(uint16_t v) { m_silencePeakLevel = v; }
    uint32_t SilenceStart() const { return m_silenceStart; }
    // 0 none found, 1 a long silence in the running recording, 2 reported.
    int32_t SilenceState() const { return m_silenceState; }
    void SetSilenceState(int32_t v) { m_silenceState = v; }

    Taudiorec &Recorder() { return *m_recorder; }

    // Receiver of level events: the level source, or none when a run has ended.
    std::function<void(TdeAudioControlSource *Sender)> OnLevel;
    // The handler of the level source's OnDataChanged.
    void LevelChanged(QObject *sender);


private:
    std::unique_ptr<Taudiorec> m_recorder;
    bool m_inputDeviceAvailable = true;
    bool m_recordingEnabled = false;
    bool m_silenceDetection = false;
    uint16_t m_silenceMaxSeconds = 0;
    uint16_t m_silencePeakLevel = 0;
    uint32_t m_silenceStart = 0;
    int32_t m_silenceState = 0;
};
