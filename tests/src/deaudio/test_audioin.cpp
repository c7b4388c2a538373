#include "deAudioIO.h"
#include "capturetestkit.h"

#include <gtest/gtest.h>

namespace {

// Collects what the wave-in component pushes; optionally acts inside the push.
class TProbe : public TdeAudioComponent {
public:
    TProbe() : observer(this)
    {
        observer.OnAudioUpdate = [this](IdeAudioSubject *subject, const void *data, int size) {
            formats.append(*subject->GetFormat());
            sizes.append(size);
            bytes += QByteArray(static_cast<const char *>(data), size);
            if (action)
                action();
        };
    }
    IdeAudioObserver *QueryAudioObserver() override { return &observer; }
    TdeAudioObserver observer;
    QList<int> sizes;
    QList<TdeWaveFormat> formats;
    QByteArray bytes;
    std::function<void()> action;
};

template <class E>
QString ErrorOf(const std::function<void()> &f)
{
    try {
        f();
    } catch (const E &e) {
        return e.message();
    }
    return QStringLiteral("<nothing raised>");
}

class AudioInTest : public ::testing::Test {
protected:
    ManualClock clock;
    VirtualInputScope input{clock};
    TdeAudioIn wavein;
    TProbe probe;
};

TEST_F(AudioInTest, BufferCountBelowTwoIsRefused)
{
    EXPECT_EQ(wavein.BufferCount(), 4);
    EXPECT_EQ(ErrorOf<EACMAudioIOError>([&] { wavein.SetBufferCount(1); }), QStringLiteral("Invalid input buffer size."));
    EXPECT_EQ(wavein.BufferCount(), 4);
    wavein.SetBufferCount(2);
    EXPECT_EQ(wavein.BufferCount(), 2);
    wavein.SetBufferCount(255);
    EXPECT_EQ(wavein.BufferCount(), 255);
}

TEST_F(AudioInTest, BufferSizeIsRoundedToWholeFramesOrRefused)
{
    EXPECT_EQ(wavein.BufferSize(), 22050u);
    wavein.SetFormat(PcmWave(11025, 8, 2));
    wavein.SetBufferSize(2761);
    probe.observer.SetAudioSource(&wavein);
    wavein.Open();
    EXPECT_EQ(wavein.BufferSize(), 2760u);
    ASSERT_TRUE(PumpUntil([&] { return probe.sizes.size() >= 3; }));
    for (int size : probe.sizes)
        EXPECT_EQ(size, 2760);
    wavein.Close();

    wavein.SetAutoAdjustBufferSize(false);
    wavein.SetFormat(PcmWave(8000, 16, 1));
    wavein.SetBufferSize(2761);
    EXPECT_EQ(ErrorOf<EACMAudioInError>([&] { wavein.Open(); }), QStringLiteral("Invalid input buffer size."));
    EXPECT_FALSE(wavein.Active());
}

TEST_F(AudioInTest, SizeAndDeviceCannotChangeWhileActive)
{
    wavein.SetFormat(PcmWave(8000, 8, 1));
    wavein.SetBufferSize(1000);
    wavein.Open();
    EXPECT_EQ(ErrorOf<EACMAudioIOError>([&] { wavein.SetBufferSize(500); }),
              QStringLiteral("Cannot perform this action while active."));
    EXPECT_EQ(ErrorOf<EACMAudioIOError>([&] { wavein.SetDeviceID(0); }),
              QStringLiteral("Cannot perform this action while active."));
    EXPECT_EQ(wavein.BufferSize(), 1000u);
    EXPECT_EQ(wavein.DeviceID(), -1);
    wavein.Close();
    wavein.SetDeviceID(0);
    EXPECT_EQ(wavein.DeviceID(), 0);
}

TEST_F(AudioInTest, OpenFailuresCarryThePrefixAndTheResultText)
{
    // The mapper takes a compressed format to device 0 through the mapper, which
    // has no compressed capture to offer.
    TdeWaveFormat gsm = PcmWave(8000, 16, 1);
    gsm.SetFormatTag(WAVE_FORMAT_GSM610);
    wavein.SetFormat(gsm);
    EXPECT_EQ(ErrorOf<EACMAudioInError>([&] { wavein.Open(); }),
              QStringLiteral("Error opening audio device for input.\r\n"
                             "The selected audio format is not supported on this machine."));
    EXPECT_FALSE(wavein.Active());

    wavein.SetFormat(PcmWave(8000, 16, 1));
    wavein.SetDeviceID(7);
    EXPECT_EQ(ErrorOf<EACMAudioInError>([&] { wavein.Open(); }),
              QStringLiteral("Error opening audio device for input.\r\nBad device ID."));
    // A failed open leaves nothing behind: the device opens right after.
    wavein.SetDeviceID(-1);
    wavein.Open();
    EXPECT_TRUE(wavein.Active());
    EXPECT_EQ(wavein.HeaderCount(), 4);
}

TEST_F(AudioInTest, PoolTakesTheClosestBlockBelowTwiceTheRequest)
{
    void *a = wavein.GetBuffer(1500);
    void *b = wavein.GetBuffer(1999);
    void *c = wavein.GetBuffer(2500);
    wavein.ReleaseBuffer(c);
    wavein.ReleaseBuffer(b);
    wavein.ReleaseBuffer(a);
    EXPECT_EQ(wavein.GetBuffer(1000), a);
    EXPECT_EQ(wavein.FreeBlockSizes(), (QList<uint32_t>{2500, 1999}));
    EXPECT_EQ(wavein.BlockCount(), 3);
    // An exact fit wins over any earlier block.
    EXPECT_EQ(wavein.GetBuffer(1999), b);
    wavein.FreeAllBuffers();

    void *d = wavein.GetBuffer(2000);
    wavein.ReleaseBuffer(d);
    void *e = wavein.GetBuffer(1000);
    EXPECT_NE(e, d);
    EXPECT_EQ(wavein.BlockCount(), 2);
    EXPECT_EQ(wavein.FreeBlockSizes(), (QList<uint32_t>{2000}));
    // Data blocks hold any structure: the headers live in them too.
    EXPECT_EQ(reinterpret_cast<uintptr_t>(e) % alignof(std::max_align_t), 0u);
}

TEST_F(AudioInTest, ObserversGetEveryFullBufferInTheCaptureFormatUntilClose)
{
    TProbe second;
    wavein.SetFormat(PcmWave(8000, 16, 2));
    wavein.SetBufferSize(3200);
    probe.observer.SetAudioSource(&wavein);
    second.observer.SetAudioSource(&wavein);
    int recorded = 0;
    wavein.OnAudioRecorded = [&](QObject *sender, const void *, int size) {
        EXPECT_EQ(sender, &wavein);
        EXPECT_EQ(size, 3200);
        ++recorded;
    };
    wavein.Open();
    ASSERT_TRUE(PumpUntil([&] { return probe.sizes.size() >= 10; }));
    wavein.Close();
    int pushed = probe.sizes.size();
    DrainEvents();
    EXPECT_EQ(probe.sizes.size(), pushed);
    EXPECT_EQ(second.sizes, probe.sizes);
    EXPECT_EQ(recorded, pushed);
    for (int size : probe.sizes)
        EXPECT_EQ(size, 3200);
    EXPECT_TRUE(probe.formats.first().IsEqual(PcmWave(8000, 16, 2)));
    // Closing gave every block back.
    EXPECT_EQ(wavein.BlockCount(), 0);
    EXPECT_EQ(wavein.HeaderCount(), 0);
}

TEST_F(AudioInTest, AnObserverMayCloseTheDeviceInsideAPush)
{
    TProbe later;
    wavein.SetFormat(PcmWave(8000, 8, 1));
    wavein.SetBufferSize(800);
    probe.observer.SetAudioSource(&wavein);
    later.observer.SetAudioSource(&wavein);
    probe.action = [&] {
        if (probe.sizes.size() == 3) {
            later.observer.SetAudioSource(nullptr);
            wavein.Close();
        }
    };
    wavein.Open();
    ASSERT_TRUE(PumpUntil([&] { return !wavein.Active(); }));
    DrainEvents();
    EXPECT_EQ(probe.sizes.size(), 3);
    EXPECT_EQ(later.sizes.size(), 2);
    // It opens again and records on.
    probe.action = nullptr;
    wavein.Open();
    ASSERT_TRUE(PumpUntil([&] { return probe.sizes.size() >= 6; }));
    wavein.Close();
}

TEST_F(AudioInTest, AFailingObserverCostsOnlyItsBuffers)
{
    wavein.SetFormat(PcmWave(8000, 8, 1));
    wavein.SetBufferSize(800);
    wavein.SetBufferCount(3);
    probe.observer.SetAudioSource(&wavein);
    int failures = 0;
    probe.action = [&] {
        if (failures < 2) {
            ++failures;
            throw EACMConversionError(QStringLiteral("Conversion not possible."));
        }
    };
    wavein.Open();
    // Two buffers leave the ring; the third keeps the recording going.
    ASSERT_TRUE(PumpUntil([&] { return probe.sizes.size() >= 8; }));
    EXPECT_TRUE(wavein.Active());
    wavein.Close();
}

TEST_F(AudioInTest, DeviceListFollowsTheDrivers)
{
    RefreshDevices();
    ASSERT_EQ(InputDeviceCount(), 1);
    TdeAudioInDevice *device = InputDevice(0);
    EXPECT_EQ(device->Name, QStringLiteral("Simulovaný vstup"));
    EXPECT_EQ(device->DeviceID, 0);
    EXPECT_EQ(device->Channels, 2);
    EXPECT_EQ(device->ManufacturerID, MM_WAVEIN_VIRTUAL);
    EXPECT_EQ(InputDevice(1), nullptr);

    EnableSimulatedInput(false);
    RefreshDevices();
    EXPECT_EQ(InputDeviceCount(), 0);
    wavein.SetFormat(PcmWave(8000, 8, 1));
    EXPECT_EQ(ErrorOf<EACMAudioInError>([&] { wavein.Open(); }),
              QStringLiteral("Error opening audio device for input.\r\nBad device ID."));
    EnableSimulatedInput(true);
    RefreshDevices();
}

} // namespace
