#include "simulatedwavein.h"

#include "clock.h"
#include "myutils.h"
#include "waveinregistry.h"

#include <QFile>
#include <QTimer>
#include <algorithm>
#include <cmath>
#include <cstring>

namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr qint64 kMaxWaveFile = 256ll * 1024 * 1024;

// A small fixed-seed generator: the same signal on every run.
struct Lcg {
    uint32_t state;
    double next()
    {
        state = state * 1664525u + 1013904223u;
        return (state >> 8) / double(1u << 24);
    }
};

double NoiseAt(uint64_t index)
{
    uint32_t x = static_cast<uint32_t>(index * 2654435761u) ^ 0x5bd1e995u;
    x ^= x >> 13;
    x *= 0x5bd1e995u;
    x ^= x >> 15;
    return (x / 4294967295.0) * 2.0 - 1.0;
}

uint32_t Le32(const char *p)
{
    auto u = reinterpret_cast<const unsigned char *>(p);
    return u[0] | (u[1] << 8) | (u[2] << 16) | (uint32_t(u[3]) << 24);
}
uint16_t Le16(const char *p)
{
    auto u = reinterpret_cast<const unsigned char *>(p);
    return static_cast<uint16_t>(u[0] | (u[1] << 8));
}

void EncodeSample(double value, int bits, char *out)
{
    value = std::clamp(value, -1.0, 1.0);
    switch (bits) {
    case 8:
        *reinterpret_cast<unsigned char *>(out) = static_cast<unsigned char>(std::lround(value * 127.0) + 128);
        break;
    case 16: {
        int16_t v = static_cast<int16_t>(std::lround(value * 32767.0));
        std::memcpy(out, &v, 2);
        break;
    }
    case 24: {
        int32_t v = static_cast<int32_t>(std::lround(value * 8388607.0));
        out[0] = char(v & 0xFF);
        out[1] = char((v >> 8) & 0xFF);
        out[2] = char((v >> 16) & 0xFF);
        break;
    }
    default: {
        int32_t v = static_cast<int32_t>(std::llround(value * 2147483647.0));
        std::memcpy(out, &v, 4);
        break;
    }
    }
}

} // namespace

TSimulatedSignal::TSimulatedSignal()
{
    // One talk stretch: phrases of 3..7 syllables, short gaps inside a phrase,
    // longer pauses between phrases; then quiet until the cycle ends.
    Lcg random{20240611u};
    double t = 0.3;
    while (t < TalkSeconds - 0.5) {
        int syllables = 3 + int(random.next() * 5);
        for (int i = 0; i < syllables && t < TalkSeconds - 0.5; ++i) {
            Syllable s;
            s.Start = t;
            s.Length = 0.12 + random.next() * 0.2;
            s.Pitch = 110.0 + random.next() * 90.0;
            s.Amplitude = 0.3 + random.next() * 0.35;
            m_talk.push_back(s);
            t += s.Length + 0.03 + random.next() * 0.09;
        }
        t += 0.35 + random.next() * 0.6;
    }
}

double TSimulatedSignal::Generated(double seconds) const
{
    double inCycle = std::fmod(seconds, CycleSeconds);
    auto it = std::upper_bound(m_talk.begin(), m_talk.end(), inCycle,
                               [](double value, const Syllable &s) { return value < s.Start; });
    double background = 0.002 * NoiseAt(static_cast<uint64_t>(std::llround(inCycle * 48000.0)));
    if (it == m_talk.begin())
        return background;
    const Syllable &s = *(it - 1);
    double u = (inCycle - s.Start) / s.Length;
    if (u >= 1.0)
        return background;
    double envelope = std::sin(kPi * u);
    envelope *= envelope;
    // A voiced sound: the pitch with falling harmonics.
    double voice = 0.0;
    for (int k = 1; k <= 6; ++k)
        voice += std::sin(2.0 * kPi * k * s.Pitch * (inCycle - s.Start)) / k;
    return background + s.Amplitude * envelope * voice / 2.45;
}

bool TSimulatedSignal::LoadWaveFile(const QString &fileName, QString *error)
{
    auto fail = [&](const QString &why) {
        if (error)
            *error = QStringLiteral("%1: %2").arg(fileName, why);
        return false;
    };
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly))
        return fail(file.errorString());
    if (file.size() > kMaxWaveFile)
        return fail(QStringLiteral("the file is too large"));
    QByteArray bytes = file.readAll();
    if (bytes.size() < 12 || !bytes.startsWith("RIFF") || bytes.mid(8, 4) != "WAVE")
        return fail(QStringLiteral("not a RIFF WAVE file"));
    const char *fmt = nullptr;
    const char *data = nullptr;
    qint64 dataSize = 0;
    qint64 pos = 12;
    while (pos + 8 <= bytes.size()) {
        const char *chunk = bytes.constData() + pos;
        qint64 size = Le32(chunk + 4);
        qint64 available = std::min<qint64>(size, bytes.size() - pos - 8);
        if (std::memcmp(chunk, "fmt ", 4) == 0 && available >= 16)
            fmt = chunk + 8;
        else if (std::memcmp(chunk, "data", 4) == 0) {
            data = chunk + 8;
            dataSize = available;
        }
        pos += 8 + size + (size & 1);
    }
    if (!fmt || !data)
        return fail(QStringLiteral("the file has no format or no data chunk"));
    uint16_t tag = Le16(fmt);
    int channels = Le16(fmt + 2);
    uint32_t rate = Le32(fmt + 4);
    int bits = Le16(fmt + 14);
    if (tag != WAVE_FORMAT_PCM || channels < 1 || channels > 8 || rate < 1000 || rate > 384000 ||
        (bits != 8 && bits != 16 && bits != 24 && bits != 32))
        return fail(QStringLiteral("only PCM files with 8, 16, 24 or 32 bits can be played"));
    int sampleBytes = bits / 8;
    qint64 frames = dataSize / (sampleBytes * channels);
    if (frames == 0)
        return fail(QStringLiteral("the file holds no audio"));
    std::vector<float> samples(static_cast<size_t>(frames * channels));
    for (qint64 i = 0; i < frames * channels; ++i) {
        const unsigned char *p = reinterpret_cast<const unsigned char *>(data) + i * sampleBytes;
        double v;
        switch (bits) {
        case 8: v = (p[0] - 128) / 128.0; break;
        case 16: v = int16_t(p[0] | (p[1] << 8)) / 32768.0; break;
        case 24: v = (int32_t(uint32_t(p[0] << 8) | uint32_t(p[1] << 16) | uint32_t(p[2]) << 24) >> 8) / 8388608.0; break;
        default: v = int32_t(p[0] | (p[1] << 8) | (p[2] << 16) | (uint32_t(p[3]) << 24)) / 2147483648.0; break;
        }
        samples[static_cast<size_t>(i)] = static_cast<float>(v);
    }
    m_file = std::move(samples);
    m_fileChannels = channels;
    m_fileRate = rate;
    return true;
}

void TSimulatedSignal::UseGeneratedSignal()
{
    m_file.clear();
    m_fileChannels = 0;
    m_fileRate = 0;
}

double TSimulatedSignal::FileSample(const WAVEFORMATEX &format, uint64_t position, int channel) const
{
    // Linear interpolation from the file's rate to the capture rate, looping.
    const uint64_t frames = m_file.size() / m_fileChannels;
    double source = double(position) * m_fileRate / format.nSamplesPerSec;
    double whole = std::floor(source);
    double frac = source - whole;
    uint64_t i0 = static_cast<uint64_t>(whole) % frames;
    uint64_t i1 = (i0 + 1) % frames;
    auto at = [&](uint64_t frame) {
        if (format.nChannels == 1 && m_fileChannels > 1) {
            double sum = 0;
            for (int c = 0; c < m_fileChannels; ++c)
                sum += m_file[frame * m_fileChannels + c];
            return sum / m_fileChannels;
        }
        int c = std::min(channel, m_fileChannels - 1);
        return double(m_file[frame * m_fileChannels + c]);
    };
    return at(i0) * (1.0 - frac) + at(i1) * frac;
}

void TSimulatedSignal::Render(const WAVEFORMATEX &format, uint64_t position, char *out, uint32_t frames) const
{
    const int bytes = format.wBitsPerSample / 8;
    for (uint32_t f = 0; f < frames; ++f) {
        uint64_t frame = position + f;
        if (UsesFile()) {
            for (int c = 0; c < format.nChannels; ++c, out += bytes)
                EncodeSample(FileSample(format, frame, c), format.wBitsPerSample, out);
        } else {
            double value = Generated(double(frame) / format.nSamplesPerSec);
            for (int c = 0; c < format.nChannels; ++c, out += bytes)
                EncodeSample(value, format.wBitsPerSample, out);
        }
    }
}

namespace {

class TSimulatedWaveInSession : public TWaveInSession {
public:
    TSimulatedWaveInSession(const TSimulatedSignal &signal, std::function<void(uint32_t)> advance,
                            const WAVEFORMATEX &format, QObject *window, uintptr_t instance)
        : TWaveInSession(format, window, instance), m_signal(signal), m_advance(std::move(advance))
    {
        m_timer.setInterval(20);
        m_timer.setTimerType(Qt::PreciseTimer);
        QObject::connect(&m_timer, &QTimer::timeout, [this] { Produce(); });
    }

protected:
    void CaptureStarted() override
    {
        m_startTick = GetTickCount();
        m_startPosition = m_position;
        if (m_advance)
            SchedulePump();
        else
            m_timer.start();
    }
    void CaptureStopped() override { m_timer.stop(); }
    void BufferQueued() override
    {
        if (m_advance)
            SchedulePump();
    }
    void Shutdown() override
    {
        m_timer.stop();
        ++m_life;
    }

private:
    void Produce()
    {
        uint64_t due = m_startPosition +
                       uint64_t(TickDifference(m_startTick, GetTickCount())) * Format().nSamplesPerSec / 1000;
        // Catch up at most two seconds after a stall of the event loop.
        uint64_t limit = uint64_t(Format().nSamplesPerSec) * 2;
        if (due > m_position + limit)
            m_position = due - limit;
        if (due > m_position)
            Emit(static_cast<uint32_t>(due - m_position));
    }

    void Emit(uint32_t frames)
    {
        m_chunk.resize(size_t(frames) * Format().nBlockAlign);
        m_signal.Render(Format(), m_position, m_chunk.data(), frames);
        m_position += frames;
        Deliver(m_chunk.data(), m_chunk.size());
    }

    void SchedulePump()
    {
        if (m_pumpPending)
            return;
        m_pumpPending = true;
        uint64_t life = m_life;
        QMetaObject::invokeMethod(
            &m_timer,
            [this, life] {
                if (life != m_life)
                    return;
                m_pumpPending = false;
                Pump();
            },
            Qt::QueuedConnection);
    }

    // Driven clock: fills the buffer being filled, moves the clock by its length,
    // and comes back for the next one after the event loop has delivered it.
    void Pump()
    {
        size_t room = FrontRoom();
        if (room == 0)
            return;
        uint32_t frames = static_cast<uint32_t>((room + Format().nBlockAlign - 1) / Format().nBlockAlign);
        uint64_t before = m_position * 1000 / Format().nSamplesPerSec;
        Emit(frames);
        uint64_t after = m_position * 1000 / Format().nSamplesPerSec;
        m_advance(static_cast<uint32_t>(after - before));
        SchedulePump();
    }

    const TSimulatedSignal &m_signal;
    std::function<void(uint32_t)> m_advance;
    QTimer m_timer;
    std::vector<char> m_chunk;
    uint64_t m_position = 0;
    uint64_t m_startPosition = 0;
    uint32_t m_startTick = 0;
    uint64_t m_life = 0;
    bool m_pumpPending = false;
};

} // namespace

QString TSimulatedWaveInDriver::DeviceName() { return QStringLiteral("Simulovaný vstup"); }

QList<TCaptureDeviceInfo> TSimulatedWaveInDriver::EnumerateDevices()
{
    TCaptureDeviceInfo info;
    info.Name = DeviceName();
    info.Address = QStringLiteral("virtual");
    info.ManufacturerID = MM_WAVEIN_VIRTUAL;
    info.ProductID = 1;
    info.DriverMajor = 1;
    info.DriverMinor = 0;
    info.Channels = 2;
    return {info};
}

std::unique_ptr<TWaveInSession> TSimulatedWaveInDriver::Open(const TCaptureDeviceInfo &, const WAVEFORMATEX &format,
                                                             QObject *window, uintptr_t instance, MMRESULT &result)
{
    if (!IsCapturablePcm(format)) {
        result = WAVERR_BADFORMAT;
        return nullptr;
    }
    result = MMSYSERR_NOERROR;
    return std::make_unique<TSimulatedWaveInSession>(m_signal, m_advance, format, window, instance);
}
