// The rate converter against sox's default rate conversion, on the same data in the same
// run: CPU per conversion, and the sound (alias rejection, pass-band ripple, SNR against the
// exact band-limited result). Then whole conversions of a 60 s 44.1 kHz stereo WAVE file
// by tembrel-convert and by sox as processes, CPU of the child process.
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cmath>
#include <cstring>
#include <ctime>
#include <vector>

#include "deACM.h"

namespace {

constexpr int kInRate = 44100;
constexpr int kOutRate = 8000;

QTemporaryDir &Dir()
{
    static QTemporaryDir dir;
    return dir;
}

QByteArray WaveBytes(const std::vector<int16_t> &samples, int rate, int channels)
{
    auto le32 = [](uint32_t v) {
        QByteArray b(4, '\0');
        std::memcpy(b.data(), &v, 4);
        return b;
    };
    auto le16 = [](uint16_t v) { return QByteArray(reinterpret_cast<const char *>(&v), 2); };
    const uint32_t data = uint32_t(samples.size() * 2);
    return "RIFF" + le32(36 + data) + "WAVEfmt " + le32(16) + le16(1) + le16(uint16_t(channels)) + le32(uint32_t(rate))
        + le32(uint32_t(rate * channels * 2)) + le16(uint16_t(channels * 2)) + le16(16) + "data" + le32(data)
        + QByteArray(reinterpret_cast<const char *>(samples.data()), qsizetype(data));
}

QString WriteWave(const QString &name, const std::vector<int16_t> &samples, int rate, int channels)
{
    const QString path = Dir().filePath(name);
    QFile f(path);
    if (f.open(QIODevice::WriteOnly))
        f.write(WaveBytes(samples, rate, channels));
    return path;
}

std::vector<int16_t> ReadWaveSamples(const QString &path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    const QByteArray bytes = f.readAll();
    const qsizetype at = bytes.indexOf("data");
    if (at < 0)
        return {};
    std::vector<int16_t> out(size_t(bytes.size() - at - 8) / 2);
    std::memcpy(out.data(), bytes.constData() + at + 8, out.size() * 2);
    return out;
}

// The sum of tones, at 0.8 of full scale in all.
std::vector<int16_t> Tones(const std::vector<double> &frequencies, int rate, double seconds)
{
    std::vector<int16_t> out(size_t(rate * seconds));
    const double each = 0.8 * 32767 / double(frequencies.size());
    for (size_t i = 0; i < out.size(); ++i) {
        double v = 0;
        for (size_t k = 0; k < frequencies.size(); ++k)
            v += each * std::sin(2 * M_PI * frequencies[k] * double(i) / rate + double(k));
        out[i] = int16_t(std::lround(v));
    }
    return out;
}

// Amplitude of one frequency in the middle half of a signal.
double Amplitude(const std::vector<int16_t> &s, int rate, double frequency)
{
    const size_t from = s.size() / 4, to = s.size() * 3 / 4;
    double c = 0, q = 0;
    for (size_t i = from; i < to; ++i) {
        c += s[i] * std::cos(2 * M_PI * frequency * double(i) / rate);
        q += s[i] * std::sin(2 * M_PI * frequency * double(i) / rate);
    }
    return 2 * std::hypot(c, q) / double(to - from);
}

double Power(const std::vector<int16_t> &s)
{
    const size_t from = s.size() / 4, to = s.size() * 3 / 4;
    double p = 0;
    for (size_t i = from; i < to; ++i)
        p += double(s[i]) * s[i];
    return p / double(to - from);
}

std::vector<int16_t> OurConversion(const std::vector<int16_t> &in)
{
    TdeAudioConvertor c;
    TdeWaveFormat from, to;
    from.SetPCM(kInRate, 16, 1);
    to.SetPCM(kOutRate, 16, 1);
    c.SetFormatIn(from);
    c.SetFormatOut(to);
    c.Open();
    std::vector<int16_t> out;
    c.OnAudioConverted = [&out](QObject *, const void *d, int n, bool &) {
        const auto *p = static_cast<const int16_t *>(d);
        out.insert(out.end(), p, p + n / 2);
    };
    const int piece = kInRate / 8;
    for (size_t at = 0; at < in.size(); at += size_t(piece))
        c.Convert(in.data() + at, int(std::min(in.size() - at, size_t(piece)) * 2));
    c.Flush();
    return out;
}

// CPU seconds of the children waited for so far.
double ChildrenCpu()
{
    rusage u{};
    getrusage(RUSAGE_CHILDREN, &u);
    return double(u.ru_utime.tv_sec + u.ru_stime.tv_sec) + double(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

double OwnCpu()
{
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return double(t.tv_sec) + double(t.tv_nsec) / 1e9;
}

bool RunProcess(const QString &program, const QStringList &args)
{
    QProcess p;
    p.start(program, args);
    return p.waitForFinished(600000) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
}

std::vector<int16_t> SoxConversion(const std::vector<int16_t> &in)
{
    const QString src = WriteWave(QStringLiteral("sox-in.wav"), in, kInRate, 1);
    const QString dst = Dir().filePath(QStringLiteral("sox-out.wav"));
    if (!RunProcess(QStringLiteral("sox"), {src, QStringLiteral("-b"), QStringLiteral("16"), dst, QStringLiteral("rate"),
                                            QString::number(kOutRate)}))
        return {};
    return ReadWaveSamples(dst);
}

// Quality of a 44.1 -> 8 kHz conversion: 0 = ours, 1 = sox.
void BM_ResamplerQuality(benchmark::State &state)
{
    auto convert = state.range(0) == 0 ? OurConversion : SoxConversion;
    const std::vector<double> pass = {100, 300, 700, 1000, 1500, 2000, 2500, 3000, 3400, 3600, 3750};
    const std::vector<double> stop = {4400, 5000, 6000, 8000, 11000, 15000, 20000};
    double ripple = 0, alias = 0, snr = 0;
    for (auto _ : state) {
        double lo = 1e9, hi = -1e9;
        for (double f : pass) {
            const std::vector<int16_t> out = convert(Tones({f}, kInRate, 1.0));
            if (out.empty())
                return state.SkipWithError("sox cannot run");
            const double gain = 20 * std::log10(Amplitude(out, kOutRate, f) / (0.8 * 32767));
            lo = std::min(lo, gain);
            hi = std::max(hi, gain);
        }
        ripple = hi - lo;
        alias = 1e9;
        for (double f : stop) {
            const std::vector<int16_t> out = convert(Tones({f}, kInRate, 1.0));
            const double in = 0.8 * 32767 * 0.8 * 32767 / 2;
            alias = std::min(alias, 10 * std::log10(in / std::max(Power(out), 1e-3)));
        }
        // In-band tones: the exact result is the same tones taken at 8 kHz.
        const std::vector<double> band = {230, 870, 1470, 2310, 3130};
        const std::vector<int16_t> out = convert(Tones(band, kInRate, 2.0));
        const std::vector<int16_t> exact = Tones(band, kOutRate, 2.0);
        double signal = 0, error = 0;
        const size_t n = std::min(out.size(), exact.size());
        for (size_t i = n / 4; i < n * 3 / 4; ++i) {
            signal += double(exact[i]) * exact[i];
            error += (double(out[i]) - exact[i]) * (double(out[i]) - exact[i]);
        }
        snr = 10 * std::log10(signal / std::max(error, 1e-9));
    }
    state.counters["ripple_dB"] = ripple;
    state.counters["alias_rejection_dB"] = alias;
    state.counters["snr_dB"] = snr;
    state.SetLabel(state.range(0) == 0 ? "ours" : "sox");
}
BENCHMARK(BM_ResamplerQuality)->Arg(0)->Arg(1)->Iterations(1)->Unit(benchmark::kMillisecond);

const std::vector<int16_t> &Speech60s()
{
    static const std::vector<int16_t> s = [] {
        std::vector<int16_t> out(size_t(kInRate) * 60 * 2);
        uint32_t seed = 1;
        double phase = 0;
        for (size_t i = 0; i < out.size() / 2; ++i) {
            const double t = double(i) / kInRate;
            phase += 2 * M_PI * (150 + 3000 * std::fmod(t, 3.0) / 3.0) / kInRate;
            seed = seed * 1664525u + 1013904223u;
            const double noise = (double(seed >> 9) / double(1u << 23) - 0.5) * 4000 * (0.5 + 0.5 * std::sin(6 * t));
            out[2 * i] = int16_t(std::lround(9000 * std::sin(phase) + noise));
            out[2 * i + 1] = int16_t(std::lround(9000 * std::sin(phase + 1) - noise));
        }
        return out;
    }();
    return s;
}

// The rate conversion alone on 60 s of 44.1 kHz mono, CPU: 0 = ours in process, 1 = sox.
void BM_ResampleOnly(benchmark::State &state)
{
    std::vector<int16_t> mono(Speech60s().size() / 2);
    for (size_t i = 0; i < mono.size(); ++i)
        mono[i] = Speech60s()[2 * i];
    const QString src = WriteWave(QStringLiteral("mono60.wav"), mono, kInRate, 1);
    const QString dst = Dir().filePath(QStringLiteral("mono60-8k.wav"));
    for (auto _ : state) {
        if (state.range(0) == 0) {
            const double before = OwnCpu();
            benchmark::DoNotOptimize(OurConversion(mono).size());
            state.SetIterationTime(OwnCpu() - before);
        } else {
            const double before = ChildrenCpu();
            if (!RunProcess(QStringLiteral("sox"), {src, dst, QStringLiteral("rate"), QString::number(kOutRate)}))
                return state.SkipWithError("sox cannot run");
            state.SetIterationTime(ChildrenCpu() - before);
        }
    }
    state.SetLabel(state.range(0) == 0 ? "ours" : "sox");
}
BENCHMARK(BM_ResampleOnly)->Arg(0)->Arg(1)->UseManualTime()->Repetitions(5)->ReportAggregatesOnly(true)
    ->Unit(benchmark::kMillisecond);

#ifdef TEMBREL_CONVERT_EXE
// A whole 60 s 44.1 kHz stereo WAVE file to each 8 kHz mono record format, as processes,
// CPU of the child.
struct Target {
    const char *name;
    const char *format;
    QStringList sox;
    const char *suffix;
};
const Target kTargets[] = {
    {"PCM", "1,8000,1,16", {QStringLiteral("-b"), QStringLiteral("16")}, "wav"},
    {"A-law", "6,8000,1", {QStringLiteral("-e"), QStringLiteral("a-law")}, "wav"},
    {"u-law", "7,8000,1", {QStringLiteral("-e"), QStringLiteral("u-law")}, "wav"},
    {"IMA", "17,8000,1", {QStringLiteral("-e"), QStringLiteral("ima-adpcm")}, "wav"},
    {"GSM", "49,8000,1", {QStringLiteral("-e"), QStringLiteral("gsm-full-rate")}, "wav"},
    {"MP3", "85,8000,1", {QStringLiteral("-C"), QStringLiteral("16")}, "mp3"},
};

// Paired runs: every iteration runs tembrel-convert and then sox on the same file; the
// time is tembrel-convert's, the counters give both and their ratio.
void BM_WholeConversion(benchmark::State &state)
{
    const Target &t = kTargets[state.range(0)];
    const QString src = WriteWave(QStringLiteral("stereo60.wav"), Speech60s(), kInRate, 2);
    const QString ours = Dir().filePath(QStringLiteral("ours.wav"));
    const QString theirs = Dir().filePath(QStringLiteral("sox.") + QLatin1String(t.suffix));
    const QStringList convertArgs = {src, ours, QStringLiteral("--format"), QLatin1String(t.format)};
    const QStringList soxArgs = QStringList{src} << t.sox << QStringLiteral("-c") << QStringLiteral("1")
                                                 << QStringLiteral("-r") << QString::number(kOutRate) << theirs;
    double oursTotal = 0, soxTotal = 0;
    for (auto _ : state) {
        double before = ChildrenCpu();
        if (!RunProcess(QStringLiteral(TEMBREL_CONVERT_EXE), convertArgs))
            return state.SkipWithError("tembrel-convert cannot run");
        const double oursCpu = ChildrenCpu() - before;
        before = ChildrenCpu();
        if (!RunProcess(QStringLiteral("sox"), soxArgs))
            return state.SkipWithError("sox cannot run");
        soxTotal += ChildrenCpu() - before;
        oursTotal += oursCpu;
        state.SetIterationTime(oursCpu);
    }
    const double n = double(state.iterations());
    state.counters["ours_ms"] = 1000 * oursTotal / n;
    state.counters["sox_ms"] = 1000 * soxTotal / n;
    state.counters["x_sox"] = oursTotal / soxTotal;
    state.SetLabel(t.name);
}
BENCHMARK(BM_WholeConversion)->DenseRange(0, 5)->UseManualTime()->Iterations(3)->Repetitions(7)
    ->ReportAggregatesOnly(true)->Unit(benchmark::kMillisecond);
#endif

} // namespace
