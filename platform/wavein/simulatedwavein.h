#pragma once
#include "waveindriver.h"

#include <QString>
#include <functional>
#include <vector>

// The signal of the virtual input: by default speech-like bursts and pauses with a
// long quiet stretch in every cycle (so that silence detection shows), or a WAVE
// file that plays in a loop. Renders any capturable PCM format.
class TSimulatedSignal {
public:
    TSimulatedSignal();
    // Loads a PCM WAVE file (8/16/24/32 bits, any rate and channel count).
    bool LoadWaveFile(const QString &fileName, QString *error);
    void UseGeneratedSignal();
    bool UsesFile() const { return !m_file.empty(); }

    // Writes frames of the format, continuing from the frame position.
    void Render(const WAVEFORMATEX &format, uint64_t position, char *out, uint32_t frames) const;

    // Level of the generated signal at a time (seconds), -1..1; exposed for tests.
    double Generated(double seconds) const;

    static constexpr double CycleSeconds = 28.0;
    static constexpr double TalkSeconds = 20.0;

private:
    struct Syllable {
        double Start, Length, Pitch, Amplitude;
    };
    double FileSample(const WAVEFORMATEX &format, uint64_t position, int channel) const;

    std::vector<Syllable> m_talk;
    std::vector<float> m_file;   // interleaved, m_fileChannels per frame
    int m_fileChannels = 0;
    uint32_t m_fileRate = 0;
};

// The virtual input driver: one device, "Simulovaný vstup". It fills buffers at
// real-time pace on the main thread (a timer and the tick count), or, on a driven
// clock, as fast as buffers are queued, moving that clock by the audio produced.
class TSimulatedWaveInDriver : public TWaveInDriver {
public:
    static QString DeviceName();

    QList<TCaptureDeviceInfo> EnumerateDevices() override;
    std::unique_ptr<TWaveInSession> Open(const TCaptureDeviceInfo &device, const WAVEFORMATEX &format,
                                         QObject *window, uintptr_t instance, MMRESULT &result) override;

    TSimulatedSignal &Signal() { return m_signal; }
    // With a function set, buffers are filled as soon as they are queued and the
    // function is told how many milliseconds of audio each buffer held.
    void SetDrivenClock(std::function<void(uint32_t ms)> advance) { m_advance = std::move(advance); }

private:
    TSimulatedSignal m_signal;
    std::function<void(uint32_t)> m_advance;
};

TSimulatedWaveInDriver &SimulatedInput();
