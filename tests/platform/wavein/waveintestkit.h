#pragma once
#include "wavein.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QList>
#include <functional>

// A callback window that keeps every message it receives.
class TRecordingWindow : public QObject {
public:
    struct Message {
        uint32_t Msg;
        WAVEHDR *Header;
        uint32_t Bytes;
        uint32_t Flags;
        QByteArray Data;
    };
    bool event(QEvent *e) override
    {
        if (e->type() != TWaveInMessageEvent::Type())
            return QObject::event(e);
        auto *m = static_cast<TWaveInMessageEvent *>(e);
        Message copy{m->Msg, m->Header, 0, 0, {}};
        if (m->Header) {
            copy.Bytes = m->Header->dwBytesRecorded;
            copy.Flags = m->Header->dwFlags;
            copy.Data = QByteArray(m->Header->lpData, int(m->Header->dwBytesRecorded));
        }
        Messages.append(copy);
        if (OnMessage)
            OnMessage(copy);
        return true;
    }
    int Count(uint32_t msg) const
    {
        int n = 0;
        for (const Message &m : Messages)
            n += m.Msg == msg;
        return n;
    }
    QList<Message> Messages;
    std::function<void(const Message &)> OnMessage;
};

// Runs the event loop until the condition holds; the time bound only guards
// against a hang.
inline bool PumpUntil(const std::function<bool()> &condition, int guardMs = 20000)
{
    QElapsedTimer guard;
    guard.start();
    while (!condition()) {
        if (guard.elapsed() > guardMs)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    }
    return true;
}

// Lets what is already queued run.
inline void DrainEvents()
{
    for (int i = 0; i < 20; ++i)
        QCoreApplication::processEvents();
}

inline WAVEFORMATEX PcmFormat(uint32_t rate, uint16_t bits, uint16_t channels)
{
    WAVEFORMATEX f{};
    f.wFormatTag = WAVE_FORMAT_PCM;
    f.nChannels = channels;
    f.nSamplesPerSec = rate;
    f.wBitsPerSample = bits;
    f.nBlockAlign = uint16_t(channels * bits / 8);
    f.nAvgBytesPerSec = rate * f.nBlockAlign;
    return f;
}
