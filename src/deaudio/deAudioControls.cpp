#include "deAudioControls.h"

#include <cstring>

TdeAudioControlSource::TdeAudioControlSource(QObject *parent)
    : TdeAudioComponent(parent), m_observer(this), m_subject(this, &m_convertor.FormatOut())
{
    m_convertor.SetRequestRealTime(false);
    // Until the first buffer: 16-bit stereo 11025 Hz, block alignment as the default leaves it.
    TdeWaveFormat &out = m_convertor.FormatOut();
    out.SetBitsPerSample(16);
    out.SetChannels(2);
    out.SetSamplesPerSec(11025);
    out.SetAvgBytesPerSec(44100);
    m_observer.OnAudioUpdate = [this](IdeAudioSubject *subject, const void *data, int size) {
        AudioUpdate(subject, data, size);
    };
    m_subject.OnObserverError = [this](IdeAudioSubject *sender, IdeAudioObserver *observer, const Exception &e,
                                       bool &raise) { ObserverError(sender, observer, e, raise); };
}

TdeAudioControlSource::~TdeAudioControlSource() { m_observer.SetAudioSource(nullptr); }

void TdeAudioControlSource::SetMeasuringFormat(TdeWaveFormat &format)
{
    format.SetDefault();
    format.SetBitsPerSample(16);
    format.SetChannels(2);
    format.SetSamplesPerSec(48000);
    format.SetAvgBytesPerSec(192000);
    format.SetBlockAlign(4);
}

void TdeAudioControlSource::AudioUpdate(IdeAudioSubject *subject, const void *data, int size)
{
    TdeWaveFormat *format = subject->GetFormat();
    // Every buffer is measured on its own: a new stream on the same chain while the
    // format stays, a chain built anew when it changes.
    if (m_convertor.Active() && format->IsEqual(m_convertor.FormatIn()) && IsMeasuringFormat(m_convertor.FormatOut())) {
        m_convertor.Restart();
    } else {
        m_convertor.SetActive(false);
        m_convertor.FormatIn().Assign(*format);
        SetMeasuringFormat(m_convertor.FormatOut());
        m_convertor.SetActive(true);
    }
    // The whole buffer, including what the converter's filter holds back at its end.
    m_measured.clear();
    m_convertor.Convert(data, size);
    m_measured.append(static_cast<const char *>(m_convertor.OutData()), m_convertor.OutSize());
    m_convertor.Flush();
    m_measured.append(static_cast<const char *>(m_convertor.OutData()), m_convertor.OutSize());
    MeasurePeaks(m_measured.constData(), int(m_measured.size()), m_peakLeft, m_peakRight);
    DataChanged();
}

bool TdeAudioControlSource::IsMeasuringFormat(const TdeWaveFormat &format)
{
    static const TdeWaveFormat measuring = [] {
        TdeWaveFormat f;
        SetMeasuringFormat(f);
        return f;
    }();
    return format.IsEqual(measuring);
}

void TdeAudioControlSource::MeasurePeaks(const void *data, int size, uint16_t &left, uint16_t &right)
{
    left = 0;
    right = 0;
    if (!data || size < 4)
        return;
    const auto *bytes = static_cast<const uint8_t *>(data);
    int frames = size / 4;
    int maxLeft = 0, maxRight = 0;
    for (int i = 0; i < frames; ++i) {
        int16_t l, r;
        std::memcpy(&l, bytes + 4 * i, 2);
        std::memcpy(&r, bytes + 4 * i + 2, 2);
        maxLeft = std::max(maxLeft, std::abs(int(l)));
        maxRight = std::max(maxRight, std::abs(int(r)));
    }
    left = uint16_t(std::min(maxLeft, 32767));
    right = uint16_t(std::min(maxRight, 32767));
}

void TdeAudioControlSource::DataChanged()
{
    m_subject.Notify(&m_subject, m_measured.isEmpty() ? nullptr : m_measured.constData(), int(m_measured.size()));
    if (OnDataChanged)
        OnDataChanged(this);
}

void TdeAudioControlSource::ObserverError(IdeAudioSubject *sender, IdeAudioObserver *observer, const Exception &e,
                                          bool &raiseException)
{
    if (OnObserverError)
        OnObserverError(sender, observer, e, raiseException);
}
