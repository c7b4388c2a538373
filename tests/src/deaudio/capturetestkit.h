#pragma once
#include "deACM.h"
#include "simulatedwavein.h"
#include "support/manualclock.h"
#include "waveinregistry.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QMap>
#include <QProcess>
#include <functional>
#include <gtest/gtest.h>

// The virtual input alone, filling buffers as fast as they are taken, on a clock
// that moves by the audio it produced.
class VirtualInputScope {
public:
    explicit VirtualInputScope(ManualClock &clock)
    {
        TWaveInRegistry::Instance().EnableSoundSystem(false);
        EnableSimulatedInput(true);
        SimulatedInput().Signal().UseGeneratedSignal();
        SimulatedInput().SetDrivenClock([&clock](uint32_t ms) { clock.advance(ms); });
    }
    ~VirtualInputScope()
    {
        SimulatedInput().SetDrivenClock(nullptr);
        SimulatedInput().Signal().UseGeneratedSignal();
        EnableSimulatedInput(false);
        TWaveInRegistry::Instance().EnableSoundSystem(true);
    }
};

// Runs the event loop until the condition holds; the time bound only guards against a hang.
// One pass at a time: the virtual input on a driven clock posts its next buffer while the
// last one is handled, so a pass bounded by time alone could run several buffers past the
// condition.
inline bool PumpUntil(const std::function<bool()> &condition, int guardMs = 60000)
{
    QElapsedTimer guard;
    guard.start();
    while (!condition()) {
        if (guard.elapsed() > guardMs)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents);
    }
    return true;
}

inline void DrainEvents()
{
    for (int i = 0; i < 20; ++i)
        QCoreApplication::processEvents();
}

inline TdeWaveFormat PcmWave(uint32_t rate, uint16_t bits, uint16_t channels)
{
    TdeWaveFormat f;
    f.SetPCM(rate, bits, channels);
    return f;
}

// What sox reads from a file: channels, rate, bits, encoding, duration in seconds.
struct SoxView {
    bool Ok = false;
    QString Error;
    int Channels = 0;
    int Rate = 0;
    int Bits = 0;
    QString Encoding;
    double Seconds = 0;
};

inline SoxView SoxRead(const QString &fileName)
{
    SoxView view;
    auto ask = [&](const char *option) {
        QProcess sox;
        sox.start(QStringLiteral("sox"), {QStringLiteral("--i"), QString::fromLatin1(option), fileName});
        if (!sox.waitForFinished(30000) || sox.exitCode() != 0) {
            view.Error = QString::fromLocal8Bit(sox.readAllStandardError());
            return QString();
        }
        return QString::fromLocal8Bit(sox.readAllStandardOutput()).trimmed();
    };
    QString channels = ask("-c");
    if (channels.isEmpty())
        return view;
    view.Channels = channels.toInt();
    view.Rate = ask("-r").toInt();
    view.Bits = ask("-b").toInt();
    view.Encoding = ask("-e");
    view.Seconds = ask("-D").toDouble();
    // Decoding the whole file proves that sox can read every block of it.
    QProcess decode;
    decode.start(QStringLiteral("sox"), {fileName, QStringLiteral("-n"), QStringLiteral("stat")});
    view.Ok = decode.waitForFinished(60000) && decode.exitCode() == 0;
    if (!view.Ok)
        view.Error = QString::fromLocal8Bit(decode.readAllStandardError());
    return view;
}
