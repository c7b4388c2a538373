#include "alsawavein.h"

#include <alsa/asoundlib.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <QSet>
#include <algorithm>
#include <atomic>
#include <cerrno>
#include <thread>
#include <vector>

namespace {

// Library diagnostics go to stderr by default; our callers get result codes instead.
void QuietErrors(const char *, int, const char *, int, const char *, ...) {}

void InstallQuietErrors()
{
    static bool installed = [] {
        snd_lib_error_set_handler(QuietErrors);
        return true;
    }();
    (void)installed;
}

// PCMs that ship with the plugins package but are converters or need other servers.
const QSet<QString> &NotCaptureDevices()
{
    static const QSet<QString> names = {
        QStringLiteral("null"),      QStringLiteral("lavrate"),  QStringLiteral("samplerate"),
        QStringLiteral("speexrate"), QStringLiteral("speex"),    QStringLiteral("upmix"),
        QStringLiteral("vdownmix"),  QStringLiteral("jack"),     QStringLiteral("oss"),
        QStringLiteral("usbstream"), QStringLiteral("a52"),      QStringLiteral("sysdefault")};
    return names;
}

QString TakeHint(void *hint, const char *id)
{
    char *value = snd_device_name_get_hint(hint, id);
    QString text = value ? QString::fromUtf8(value) : QString();
    free(value);
    return text;
}

snd_pcm_format_t AlsaFormat(const WAVEFORMATEX &format)
{
    switch (format.wBitsPerSample) {
    case 8: return SND_PCM_FORMAT_U8;
    case 16: return SND_PCM_FORMAT_S16_LE;
    case 24: return SND_PCM_FORMAT_S24_3LE;
    case 32: return SND_PCM_FORMAT_S32_LE;
    default: return SND_PCM_FORMAT_UNKNOWN;
    }
}

// Opens for capture without blocking, to learn whether the PCM exists and its channels.
bool ProbeCapture(const QString &address, uint16_t &channels)
{
    snd_pcm_t *pcm = nullptr;
    int rc = snd_pcm_open(&pcm, address.toUtf8().constData(), SND_PCM_STREAM_CAPTURE, SND_PCM_NONBLOCK);
    if (rc == -EBUSY) {
        channels = 2;
        return true;
    }
    if (rc < 0)
        return false;
    channels = 2;
    snd_pcm_hw_params_t *params = nullptr;
    snd_pcm_hw_params_malloc(&params);
    unsigned int maxChannels = 0;
    if (snd_pcm_hw_params_any(pcm, params) >= 0 && snd_pcm_hw_params_get_channels_max(params, &maxChannels) >= 0)
        channels = maxChannels >= 2 ? 2 : 1;
    snd_pcm_hw_params_free(params);
    snd_pcm_close(pcm);
    return true;
}

class TAlsaWaveInSession : public TWaveInSession {
public:
    TAlsaWaveInSession(snd_pcm_t *pcm, const WAVEFORMATEX &format, QObject *window, uintptr_t instance)
        : TWaveInSession(format, window, instance), m_pcm(pcm), m_wake(eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC))
    {
        m_thread = std::thread([this] { Run(); });
    }

    ~TAlsaWaveInSession() override
    {
        Shutdown();
        if (m_wake >= 0)
            ::close(m_wake);
    }

protected:
    void Wake() override
    {
        uint64_t one = 1;
        if (m_wake >= 0)
            (void)::write(m_wake, &one, sizeof one);
    }

    void Shutdown() override
    {
        if (m_thread.joinable()) {
            m_quit = true;
            EndWork();
            m_thread.join();
        }
        if (m_pcm) {
            snd_pcm_close(m_pcm);
            m_pcm = nullptr;
        }
    }

private:
    void Run()
    {
        const unsigned frameBytes = Format().nBlockAlign;
        // Reads of a period at a time; some plugins refuse more than their buffer holds.
        snd_pcm_uframes_t bufferFrames = 0, periodFrames = 0;
        snd_pcm_get_params(m_pcm, &bufferFrames, &periodFrames);
        const snd_pcm_uframes_t chunkFrames = std::clamp<snd_pcm_uframes_t>(periodFrames, 64, 4096);
        std::vector<char> chunk(chunkFrames * frameBytes);
        std::vector<pollfd> fds;
        bool capturing = false;
        uint64_t run = 0;
        size_t pendingFrom = 0, pendingSize = 0;
        while (!m_quit) {
            TState state = State();
            if (state.Ending)
                break;
            // A new start never delivers what the device held from the run before.
            if (capturing && (!state.Started || state.Runs != run)) {
                snd_pcm_drop(m_pcm);
                capturing = false;
                pendingSize = 0;
            }
            if (!state.Started) {
                WaitForChange(state.Serial);
                continue;
            }
            if (!capturing) {
                snd_pcm_prepare(m_pcm);
                snd_pcm_start(m_pcm);
                capturing = true;
                run = state.Runs;
            }
            // No buffer queued: the device keeps capturing into its own buffer for a
            // while; after that it overruns and the audio of that moment is lost.
            if (!state.Queued) {
                WaitForChange(state.Serial);
                continue;
            }
            // What one read brought beyond the queued buffers waits for the next buffer.
            if (pendingSize > 0) {
                size_t taken = Deliver(chunk.data() + pendingFrom, pendingSize);
                pendingFrom += taken;
                pendingSize -= taken;
                continue;
            }
            int count = snd_pcm_poll_descriptors_count(m_pcm);
            fds.resize(size_t(std::max(count, 0)) + 1);
            if (count > 0)
                snd_pcm_poll_descriptors(m_pcm, fds.data(), unsigned(count));
            fds[size_t(count)] = pollfd{m_wake, POLLIN, 0};
            if (poll(fds.data(), fds.size(), 500) < 0 && errno != EINTR)
                break;
            if (fds[size_t(count)].revents & POLLIN) {
                uint64_t drained;
                (void)::read(m_wake, &drained, sizeof drained);
                continue;
            }
            snd_pcm_sframes_t got = snd_pcm_readi(m_pcm, chunk.data(), chunkFrames);
            if (got == -EAGAIN)
                continue;
            if (got < 0) {
                // An overrun (no buffer was queued in time) or a suspend: restart and
                // go on; anything else means the device is gone, so capture ends.
                if (snd_pcm_recover(m_pcm, int(got), 1) < 0) {
                    snd_pcm_drop(m_pcm);
                    capturing = false;
                    if (!WaitUntilStopped())
                        break;
                    continue;
                }
                snd_pcm_start(m_pcm);
                continue;
            }
            pendingFrom = Deliver(chunk.data(), size_t(got) * frameBytes);
            pendingSize = size_t(got) * frameBytes - pendingFrom;
        }
        if (capturing)
            snd_pcm_drop(m_pcm);
    }

    // After a device failure: wait for the caller to stop or close.
    bool WaitUntilStopped()
    {
        while (!m_quit && Running()) {
            pollfd wake{m_wake, POLLIN, 0};
            poll(&wake, 1, 500);
            uint64_t drained;
            (void)::read(m_wake, &drained, sizeof drained);
        }
        return !m_quit;
    }

    snd_pcm_t *m_pcm;
    int m_wake;
    std::atomic<bool> m_quit{false};
    std::thread m_thread;
};

} // namespace

QList<TCaptureDeviceInfo> TAlsaWaveInDriver::EnumerateDevices()
{
    InstallQuietErrors();
    QList<TCaptureDeviceInfo> devices;
    void **hints = nullptr;
    if (snd_device_name_hint(-1, "pcm", &hints) < 0 || !hints)
        return devices;
    unsigned major = 1, minor = 0;
    sscanf(snd_asoundlib_version(), "%u.%u", &major, &minor);
    QSet<QString> names;
    for (void **hint = hints; *hint; ++hint) {
        QString address = TakeHint(*hint, "NAME");
        QString description = TakeHint(*hint, "DESC");
        QString direction = TakeHint(*hint, "IOID");
        if (address.isEmpty() || (!direction.isEmpty() && direction != QLatin1String("Input")))
            continue;
        QString kind = address.section(QLatin1Char(':'), 0, 0);
        bool hardware = kind == QLatin1String("plughw");
        if (NotCaptureDevices().contains(kind) || (address.contains(QLatin1Char(':')) && !hardware))
            continue;
        TCaptureDeviceInfo info;
        if (!ProbeCapture(address, info.Channels))
            continue;
        info.Address = address;
        QString name = description.section(QLatin1Char('\n'), 0, 0).trimmed();
        if (name.isEmpty())
            name = address;
        name = name.left(31);
        // Names identify devices in the settings, so they must be unique.
        for (int n = 2; names.contains(name); ++n) {
            QString suffix = QStringLiteral(" #%1").arg(n);
            name = name.left(31 - suffix.size()) + suffix;
        }
        names.insert(name);
        info.Name = name;
        info.ManufacturerID = MM_WAVEIN_ALSA;
        info.ProductID = hardware ? 2 : 1;
        info.DriverMajor = uint8_t(major);
        info.DriverMinor = uint8_t(minor);
        devices.append(info);
    }
    snd_device_name_free_hint(hints);
    return devices;
}

std::unique_ptr<TWaveInSession> TAlsaWaveInDriver::Open(const TCaptureDeviceInfo &device, const WAVEFORMATEX &format,
                                                        QObject *window, uintptr_t instance, MMRESULT &result)
{
    InstallQuietErrors();
    if (!IsCapturablePcm(format)) {
        result = WAVERR_BADFORMAT;
        return nullptr;
    }
    snd_pcm_t *pcm = nullptr;
    int rc = snd_pcm_open(&pcm, device.Address.toUtf8().constData(), SND_PCM_STREAM_CAPTURE, 0);
    if (rc < 0) {
        result = rc == -EBUSY ? MMSYSERR_ALLOCATED : rc == -ENOENT || rc == -ENODEV ? MMSYSERR_BADDEVICEID
                                                                                     : MMSYSERR_NOTENABLED;
        return nullptr;
    }
    rc = snd_pcm_set_params(pcm, AlsaFormat(format), SND_PCM_ACCESS_RW_INTERLEAVED, format.nChannels,
                            format.nSamplesPerSec, 1, 200000);
    if (rc < 0 || snd_pcm_nonblock(pcm, 1) < 0) {
        snd_pcm_close(pcm);
        result = WAVERR_BADFORMAT;
        return nullptr;
    }
    result = MMSYSERR_NOERROR;
    return std::make_unique<TAlsaWaveInSession>(pcm, format, window, instance);
}
