#pragma once
#include "deACM.h"

#include <QByteArray>
#include <functional>

// A pass-through stage that measures loudness: every buffer of the observed source is
// converted to 16-bit stereo 48 kHz, its peak per channel taken (0..32767), and the
// converted sound pushed on to the component's own observers.
class TdeAudioControlSource : public TdeAudioComponent {
public:
    explicit TdeAudioControlSource(QObject *parent = nullptr);
    ~TdeAudioControlSource() override;

    QObject *AudioSource() const { return m_observer.AudioSource(); }
    void SetAudioSource(QObject *source) { m_observer.SetAudioSource(source); }
    std::function<void(QObject *Sender)> OnDataChanged;
    TObserverErrorEvent OnObserverError;

    uint16_t PeakLeft() const { return m_peakLeft; }
    uint16_t PeakRight() const { return m_peakRight; }
    TdeAudioConvertor &Convertor() { return m_convertor; }

    IdeAudioSubject *QueryAudioSubject() override { return &m_subject; }
    IdeAudioObserver *QueryAudioObserver() override { return &m_observer; }

    // Peaks of 16-bit stereo frames; a trailing partial frame is ignored.
    static void MeasurePeaks(const void *data, int size, uint16_t &left, uint16_t &right);

protected:
    virtual void AudioUpdate(IdeAudioSubject *subject, const void *data, int size);
    virtual void DataChanged();
    virtual void ObserverError(IdeAudioSubject *sender, IdeAudioObserver *observer, const Exception &e,
                               bool &raiseException);

private:
    static void SetMeasuringFormat(TdeWaveFormat &format);
    static bool IsMeasuringFormat(const TdeWaveFormat &format);

    TdeAudioConvertor m_convertor;
    TdeAudioObserver m_observer;
    TdeAudioSubject m_subject;
    QByteArray m_measured; // the converted buffer, measured and pushed on
    uint16_t m_peakLeft = 0;
    uint16_t m_peakRight = 0;
};
