#include "convertjob.h"

#include <QFile>
#include <QSaveFile>
#include <QtEndian>
#include <cstring>
#include <algorithm>
#include <memory>

#include "acmapi.h"
#include "deAudioStreams.h"

TdeWaveFormat FormatFromSpec(const QString &spec)
{
    const QStringList parts = spec.split(QLatin1Char(','));
    if (parts.size() < 3 || parts.size() > 4)
        throw EConvertUsage(QStringLiteral("The format \"%1\" is not TAG,RATE,CHANNELS[,BITS].").arg(spec));
    uint values[4] = {0, 0, 0, 0};
    for (qsizetype i = 0; i < parts.size(); ++i) {
        bool ok = false;
        values[i] = parts[i].trimmed().toUInt(&ok);
        if (!ok || values[i] == 0 || (i != 1 && values[i] > 0xFFFF))
            throw EConvertUsage(QStringLiteral("The format \"%1\" is not TAG,RATE,CHANNELS[,BITS].").arg(spec));
    }
    const bool withBits = parts.size() == 4;
    TdeWaveFormat found;
    bool matched = false;
    QByteArray buffer(TdeWaveFormat::ImageSize, '\0');
    auto *wfx = reinterpret_cast<WAVEFORMATEX *>(buffer.data());
    wfx->wFormatTag = uint16_t(values[0]);
    ACMFORMATDETAILS details{};
    details.cbStruct = sizeof(details);
    details.pwfx = wfx;
    details.cbwfx = uint32_t(buffer.size());
    acmFormatEnum(
        &details,
        [&](const ACMFORMATDETAILS &d) {
            const WAVEFORMATEX &f = *d.pwfx;
            if (f.nSamplesPerSec != values[1] || f.nChannels != values[2] || (withBits && f.wBitsPerSample != values[3]))
                return true;
            std::memcpy(found.Data(), d.pwfx, std::min<size_t>(AcmFormatSize(f), TdeWaveFormat::ImageSize));
            matched = true;
            return false;
        },
        ACM_FORMATENUMF_WFORMATTAG);
    if (!matched)
        throw EFormatUnreachable(QStringLiteral("The codec manager has no format %1.").arg(spec));
    return found;
}

TConvertRequest ParseConvertArguments(const QStringList &arguments)
{
    TConvertRequest request;
    QStringList files;
    bool haveFormat = false;
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        const QString &a = arguments[i];
        if (a == QLatin1String("--format") || a == QLatin1String("--format-file")) {
            if (i + 1 >= arguments.size())
                throw EConvertUsage(QStringLiteral("%1 needs a value.").arg(a));
            if (haveFormat)
                throw EConvertUsage(QStringLiteral("Give one format only."));
            haveFormat = true;
            const QString value = arguments[++i];
            if (a == QLatin1String("--format")) {
                request.format = FormatFromSpec(value);
            } else {
                try {
                    request.format.LoadFromFile(value);
                } catch (const Exception &e) {
                    throw EConvertUsage(e.message());
                }
            }
        } else if (a.startsWith(QLatin1String("--"))) {
            throw EConvertUsage(QStringLiteral("Unknown option %1.").arg(a));
        } else {
            files.append(a);
        }
    }
    if (files.size() != 2 || !haveFormat)
        throw EConvertUsage(QStringLiteral("Usage: tembrel-convert IN.wav OUT.wav --format TAG,RATE,CHANNELS[,BITS] | "
                                           "--format-file audiorec.dat"));
    request.input = files[0];
    request.output = files[1];
    return request;
}

namespace {
uint32_t le32(const char *p) { return qFromLittleEndian<uint32_t>(p); }
} // namespace

TWaveSource ReadWaveHeader(QIODevice &file, const QString &name)
{
    auto bad = [&name](const QString &what) {
        return Exception(QStringLiteral("\"%1\" is not a WAVE file the converter reads: %2").arg(name, what));
    };
    const QByteArray riff = file.read(12);
    if (riff.size() < 12 || !riff.startsWith("RIFF") || riff.mid(8, 4) != "WAVE")
        throw bad(QStringLiteral("no RIFF WAVE header"));
    const qint64 fileSize = file.size();
    TWaveSource source;
    bool sawFormat = false;
    for (;;) {
        const QByteArray head = file.read(8);
        if (head.size() < 8)
            throw bad(QStringLiteral("no data chunk"));
        const uint32_t size = le32(head.constData() + 4);
        const qint64 body = file.pos();
        if (head.startsWith("fmt ")) {
            if (size < 16)
                throw bad(QStringLiteral("the format chunk is too short"));
            const QByteArray fmt = file.read(std::min<qint64>(size, TdeWaveFormat::ImageSize));
            if (fmt.size() < 16)
                throw bad(QStringLiteral("the format chunk is cut short"));
            TdeWaveFormat format;
            std::memset(format.Data(), 0, TdeWaveFormat::ImageSize);
            std::memcpy(format.Data(), fmt.constData(), size_t(fmt.size()));
            // A cbSize beyond what the chunk holds would describe bytes that are not there.
            if (fmt.size() < 18 || format.Data()->wFormatTag == WAVE_FORMAT_PCM)
                format.Data()->cbSize = 0;
            else
                format.Data()->cbSize = uint16_t(std::min<int>(format.Data()->cbSize, int(fmt.size()) - 18));
            source.format = format;
            sawFormat = true;
        } else if (head.startsWith("data")) {
            if (!sawFormat)
                throw bad(QStringLiteral("the data chunk comes before the format"));
            source.dataOffset = body;
            const qint64 rest = fileSize - body;
            source.dataSize = (size == 0 || qint64(size) > rest) ? rest : qint64(size);
            return source;
        }
        // Chunks are padded to an even size.
        if (!file.seek(body + qint64(size) + (size & 1)))
            throw bad(QStringLiteral("a chunk runs past the end"));
    }
}

void ConvertWaveFile(const TConvertRequest &request)
{
    QFile in(request.input);
    if (!in.open(QIODevice::ReadOnly))
        throw Exception(QStringLiteral("Cannot open \"%1\": %2").arg(request.input, in.errorString()));
    const TWaveSource source = ReadWaveHeader(in, request.input);

    // The chain is built before anything is written: an unreachable format leaves nothing.
    TdeAudioConvertor convertor;
    convertor.SetFormatIn(source.format);
    convertor.SetFormatOut(request.format);
    try {
        convertor.Open();
    } catch (const EACMError &e) {
        throw EFormatUnreachable(QStringLiteral("Cannot convert %1 to %2: %3")
                                     .arg(source.format.Description(), request.format.Description(), e.message()));
    }

    QSaveFile out(request.output);
    if (!out.open(QIODevice::WriteOnly))
        throw Exception(QStringLiteral("Cannot create \"%1\": %2").arg(request.output, out.errorString()));
    {
        TdeRIFFAudioWriter writer(&out);
        writer.SetFormat(request.format);
        convertor.OnAudioConverted = [&writer](QObject *, const void *data, int size, bool &) {
            writer.Write(data, size);
        };
        // An eighth of a second per push, as the recorder gets it from the device.
        const int align = std::max<int>(1, source.format.Data()->nBlockAlign);
        const int piece = std::max(align, int(source.format.Data()->nAvgBytesPerSec / 8) / align * align);
        QByteArray buffer(piece, Qt::Uninitialized);
        if (!in.seek(source.dataOffset))
            throw Exception(QStringLiteral("Cannot read \"%1\": %2").arg(request.input, in.errorString()));
        qint64 left = source.dataSize;
        while (left > 0) {
            const qint64 n = in.read(buffer.data(), std::min<qint64>(piece, left));
            if (n <= 0)
                throw Exception(QStringLiteral("Cannot read \"%1\": %2").arg(request.input, in.errorString()));
            convertor.Convert(buffer.constData(), int(n));
            left -= n;
        }
        convertor.Flush();
        convertor.OnAudioConverted = nullptr;
    } // the writer completes the sizes here
    if (!out.commit())
        throw Exception(QStringLiteral("Cannot write \"%1\": %2").arg(request.output, out.errorString()));
}
