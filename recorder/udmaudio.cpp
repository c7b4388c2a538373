#include "udmaudio.h"

#include "clock.h"
#include "myutils.h"

#include <QFile>

Tdmaudio::Tdmaudio(QObject *parent) : QObject(parent), m_recorder(std::make_unique<Taudiorec>(true, 30))
{
    m_recorder->LevelSource()->OnDataChanged = [this](QObject *sender) { LevelChanged(sender); };
}

Tdmaudio::~Tdmaudio()
{
    try {
        m_recorder->LevelSource()->OnDataChanged = nullptr;
        m_recorder.reset();
    } catch (...) {
    }
}


void Tdmaudio::StartRecording(const QString &fileName)
{
    if (!InputDeviceAvailable() || !RecordingEnabled())
        return;
    m_silenceStart = 0;
    m_silenceState = 0;
    if (!fileName.isEmpty() && QFile::exists(fileName))
        QFile::remove(fileName);
    m_recorder->Start(fileName);
}

void Tdmaudio::StopRecording()
{
    if (!InputDeviceAvailable() || !RecordingEnabled())
        return;
    m_recorder->Stop();
    if (OnLevel)
        OnLevel(nullptr);
}

void Tdmaudio::LevelChanged(QObject *sender)
{
    auto *source = dynamic_cast<TdeAudioControlSource *>(sender);
    if (source && m_silenceDetection && m_silenceMaxSeconds != 0 && m_silencePeakLevel != 0 && m_silenceState == 0) {
        TdeAudioControlSource *level = m_recorder->LevelSource();
        uint16_t peak = std::max(level->PeakLeft(), level->PeakRight());
        if (peak < m_silencePeakLevel) {
            if (m_silenceStart == 0)
                m_silenceStart = GetTickCount();
            else if (TickDifference(m_silenceStart, GetTickCount()) > uint32_t(m_silenceMaxSeconds) * 1000u) {
                m_silenceState = 1;
                m_silenceStart = 0;
            }
        } else {
            m_silenceStart = 0;
        }
    }
    if (OnLevel)
        OnLevel(source);
}
