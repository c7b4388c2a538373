#include "audiotestkit.h"

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QtEndian>
#include <cmath>
#include <random>

#include "acmapi.h"

namespace audiotest {

QVector<int16_t> SpeechLikeSignal(int rate, double seconds, uint32_t seed, bool sweepDown, double level)
{
    const int n = int(rate * seconds);
    QVector<int16_t> out(n);
    std::mt19937 random(seed);
    std::normal_distribution<double> noise(0.0, 1.0);
    const double f0 = sweepDown ? 3000 : 200;
    const double f1 = sweepDown ? 200 : 3000;
    double phase = 0;
    double low = 0, band = 0; // a resonator shapes the noise towards a formant
    const double formant = 500.0 + (seed % 7) * 150.0;
    const double r = 0.97;
    const double c = 2 * r * std::cos(2 * M_PI * formant / rate);
    for (int i = 0; i < n; ++i) {
        const double t = double(i) / rate;
        const double f = f0 + (f1 - f0) * t / seconds;
        phase += 2 * M_PI * f / rate;
        const double x = noise(random);
        const double y = x + c * low - r * r * band;
        band = low;
        low = y;
        const double envelope = 0.5 + 0.5 * std::sin(2 * M_PI * 4.0 * t + seed);
        const double v = level * (0.6 * std::sin(phase) + 0.4 * envelope * y / 12.0);
        out[i] = int16_t(std::lround(std::clamp(v, -1.0, 1.0) * 32767));
    }
    return out;
}

QVector<int16_t> Tone(int rate, double seconds, double frequency, double level)
{
    const int n = int(rate * seconds);
    QVector<int16_t> out(n);
    for (int i = 0; i < n; ++i)
        out[i] = int16_t(std::lround(level * 32767 * std::sin(2 * M_PI * frequency * i / rate)));
    return out;
}

QVector<int16_t> Interleave(const QVector<int16_t> &left, const QVector<int16_t> &right)
{
    QVector<int16_t> out(left.size() * 2);
    for (qsizetype i = 0; i < left.size(); ++i) {
        out[2 * i] = left[i];
        out[2 * i + 1] = right[i];
    }
    return out;
}

QVector<int16_t> Channel(const QVector<int16_t> &interleaved, int channels, int index)
{
    QVector<int16_t> out(interleaved.size() / channels);
    for (qsizetype i = 0; i < out.size(); ++i)
        out[i] = interleaved[i * channels + index];
    return out;
}

QByteArray PcmBytes(const QVector<int16_t> &samples, int bits)
{
    if (bits == 16)
        return QByteArray(reinterpret_cast<const char *>(samples.constData()), int(samples.size() * 2));
    QByteArray out(samples.size(), Qt::Uninitialized);
    for (qsizetype i = 0; i < samples.size(); ++i)
        out[i] = char(uint8_t((samples[i] >> 8) + 128));
    return out;
}

static void Put32(QByteArray &b, uint32_t v)
{
    char x[4];
    qToLittleEndian(v, x);
    b.append(x, 4);
}

bool WriteWave(const QString &fileName, const TdeWaveFormat &format, const QByteArray &data, uint32_t samplesPerChannel)
{
    const bool pcm = format.FormatTag() == WAVE_FORMAT_PCM;
    const QByteArray fmt = pcm ? format.FormatChunk().left(16) : format.FormatChunk();
    QByteArray body("WAVE");
    body.append("fmt ");
    Put32(body, uint32_t(fmt.size()));
    body.append(fmt);
    if (fmt.size() % 2)
        body.append('\0');
    if (!pcm) {
        body.append("fact");
        Put32(body, 4);
        Put32(body, samplesPerChannel);
    }
    body.append("data");
    Put32(body, uint32_t(data.size()));
    body.append(data);
    if (data.size() % 2)
        body.append('\0');
    QByteArray file("RIFF");
    Put32(file, uint32_t(body.size()));
    file.append(body);
    QFile f(fileName);
    return f.open(QIODevice::WriteOnly) && f.write(file) == file.size();
}

QVector<int16_t> SoxDecode(const QString &fileName, int *channels, QString *error, const QString &extraOutputArgs)
{
    QTemporaryDir dir;
    const QString raw = dir.filePath(QStringLiteral("out.raw"));
    QProcess sox;
    QStringList args{fileName, QStringLiteral("-t"), QStringLiteral("raw"), QStringLiteral("-e"),
                     QStringLiteral("signed"), QStringLiteral("-b"), QStringLiteral("16")};
    if (!extraOutputArgs.isEmpty())
        args += extraOutputArgs.split(QLatin1Char(' '));
    args << raw;
    sox.start(QStringLiteral("sox"), args);
    if (!sox.waitForFinished(60000) || sox.exitStatus() != QProcess::NormalExit || sox.exitCode() != 0) {
        if (error)
            *error = QString::fromLocal8Bit(sox.readAllStandardError()) + sox.errorString();
        return {};
    }
    QProcess info;
    info.start(QStringLiteral("soxi"), {QStringLiteral("-c"), fileName});
    info.waitForFinished(60000);
    if (channels)
        *channels = info.readAllStandardOutput().trimmed().toInt();
    QFile f(raw);
    if (!f.open(QIODevice::ReadOnly)) {
        if (error)
            *error = QStringLiteral("no output");
        return {};
    }
    const QByteArray bytes = f.readAll();
    QVector<int16_t> out(bytes.size() / 2);
    std::memcpy(out.data(), bytes.constData(), size_t(out.size()) * 2);
    return out;
}

void CollectOutput(TdeAudioConvertor &convertor, QByteArray &out)
{
    convertor.OnAudioConverted = [&out](QObject *, const void *d, int n, bool &) {
        out.append(static_cast<const char *>(d), n);
    };
}

QByteArray ConvertAll(TdeAudioConvertor &convertor, const QByteArray &data, int chunk)
{
    QByteArray out;
    CollectOutput(convertor, out);
    for (int pos = 0; pos < data.size(); pos += chunk)
        convertor.Convert(data.constData() + pos, std::min<int>(chunk, int(data.size()) - pos));
    convertor.OnAudioConverted = nullptr;
    return out;
}

QByteArray ConvertWhole(TdeAudioConvertor &convertor, const QByteArray &data, int chunk)
{
    QByteArray out = ConvertAll(convertor, data, chunk);
    CollectOutput(convertor, out);
    convertor.Flush();
    convertor.OnAudioConverted = nullptr;
    return out;
}

namespace {
Match CompareAt(const QVector<int16_t> &reference, const QVector<int16_t> &decoded, int lag, int stride)
{
    const qsizetype n = reference.size();
    double sr = 0, sd = 0, sx = 0, err = 0;
    for (qsizetype i = n / 20; i < n - n / 10; i += stride) {
        const qsizetype j = i + lag;
        const double r = reference[i];
        const double d = (j >= 0 && j < decoded.size()) ? decoded[j] : 0.0;
        sr += r * r;
        sd += d * d;
        sx += r * d;
        err += (r - d) * (r - d);
    }
    Match m;
    m.lag = lag;
    m.correlation = (sr > 0 && sd > 0) ? sx / std::sqrt(sr * sd) : 0;
    m.snrDb = err > 0 ? 10 * std::log10(sr / err) : 200;
    return m;
}
} // namespace

Match Compare(const QVector<int16_t> &reference, const QVector<int16_t> &decoded, int maxLag)
{
    // A coarse pass on every fourth sample finds the alignment, a full pass measures it.
    const int minLag = -std::min(maxLag, 64);
    Match coarse;
    for (int lag = minLag; lag <= maxLag; ++lag) {
        const Match m = CompareAt(reference, decoded, lag, 4);
        if (m.correlation > coarse.correlation)
            coarse = m;
    }
    Match best;
    for (int lag = std::max(minLag, coarse.lag - 3); lag <= std::min(maxLag, coarse.lag + 3); ++lag) {
        const Match m = CompareAt(reference, decoded, lag, 1);
        if (m.correlation > best.correlation)
            best = m;
    }
    return best;
}

double ToneShare(const QVector<int16_t> &samples, int rate, double frequency)
{
    const qsizetype n = samples.size();
    if (n == 0)
        return 0;
    double re = 0, im = 0, total = 0;
    for (qsizetype i = 0; i < n; ++i) {
        const double w = 2 * M_PI * frequency * double(i) / rate;
        re += samples[i] * std::cos(w);
        im += samples[i] * std::sin(w);
        total += double(samples[i]) * samples[i];
    }
    const double amplitude = 2 * std::sqrt(re * re + im * im) / double(n);
    const double tonePower = amplitude * amplitude / 2;
    return total > 0 ? tonePower / (total / double(n)) : 0;
}

TdeWaveFormat Pcm(uint32_t rate, uint16_t bits, uint16_t channels)
{
    TdeWaveFormat f;
    f.SetPCM(rate, bits, channels);
    return f;
}

TdeWaveFormat Suggested(uint16_t tag, const TdeWaveFormat &pcm)
{
    TdeWaveFormat f(pcm);
    f.SetFormatTag(tag);
    CheckMMResult<EACMConversionError>(
        acmFormatSuggest(pcm.Data(), f.Data(), TdeWaveFormat::ImageSize, ACM_FORMATSUGGESTF_WFORMATTAG));
    return f;
}

} // namespace audiotest
