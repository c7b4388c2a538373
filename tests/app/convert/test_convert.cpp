// tembrel-convert as users run it: whole processes, with sox reading what it wrote.
#include "convertjob.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QtEndian>
#include <cmath>
#include <gtest/gtest.h>

#include "mmreg.h"
#include "support/tempdatadir.h"

namespace {

struct Outcome {
    int exitCode = -1;
    QString error;
};

Outcome Convert(const QStringList &arguments)
{
    QProcess p;
    p.start(QStringLiteral(TEMBREL_CONVERT_EXE), arguments);
    Outcome r;
    if (!p.waitForFinished(120000) || p.exitStatus() != QProcess::NormalExit)
        return r;
    r.exitCode = p.exitCode();
    r.error = QString::fromLocal8Bit(p.readAllStandardError());
    return r;
}

QByteArray le32(uint32_t v)
{
    QByteArray b(4, '\0');
    qToLittleEndian(v, b.data());
    return b;
}

// A PCM WAVE file of a 440 Hz tone; zeroSizes leaves the size fields as a recording that
// was never completed has them.
QByteArray PcmWave(uint32_t rate, uint16_t channels, int frames, bool zeroSizes = false)
{
    WAVEFORMATEX f{};
    f.wFormatTag = WAVE_FORMAT_PCM;
    f.nChannels = channels;
    f.nSamplesPerSec = rate;
    f.wBitsPerSample = 16;
    f.nBlockAlign = uint16_t(2 * channels);
    f.nAvgBytesPerSec = rate * f.nBlockAlign;
    QByteArray data;
    for (int i = 0; i < frames; ++i)
        for (int c = 0; c < channels; ++c) {
            const auto s = int16_t(std::lround(12000 * std::sin(2 * M_PI * 440.0 * i / rate)));
            data.append(reinterpret_cast<const char *>(&s), 2);
        }
    QByteArray file = "RIFF" + le32(zeroSizes ? 0 : uint32_t(4 + 24 + 8 + data.size())) + "WAVEfmt " + le32(16)
        + QByteArray(reinterpret_cast<const char *>(&f), 16);
    file += "LIST" + le32(3) + "abc" + '\0'; // a chunk of odd size before the data, with its pad byte
    file += "data" + le32(zeroSizes ? 0 : uint32_t(data.size())) + data;
    return file;
}

bool WriteFile(const QString &name, const QByteArray &bytes)
{
    QFile f(name);
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
}

QByteArray ReadFile(const QString &name)
{
    QFile f(name);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// sox's view of a file: channels, rate and samples per channel; empty when sox cannot read it.
struct SoxView {
    int channels = 0;
    int rate = 0;
    qint64 samples = -1;
};
SoxView SoxInfo(const QString &file, const QString &type = {})
{
    SoxView v;
    QStringList args;
    if (!type.isEmpty())
        args << QStringLiteral("-t") << type;
    args << file << QStringLiteral("-t") << QStringLiteral("raw") << QStringLiteral("-e") << QStringLiteral("signed")
         << QStringLiteral("-b") << QStringLiteral("16") << QStringLiteral("-");
    QProcess sox;
    sox.start(QStringLiteral("sox"), args);
    if (!sox.waitForStarted(10000))
        return v;
    sox.waitForFinished(60000);
    if (sox.exitCode() != 0)
        return v;
    const QByteArray raw = sox.readAllStandardOutput();
    QProcess info;
    info.start(QStringLiteral("soxi"), {file});
    info.waitForFinished(10000);
    const QString text = QString::fromLocal8Bit(info.readAllStandardOutput());
    for (const QString &line : text.split(QLatin1Char('\n'))) {
        if (line.startsWith(QLatin1String("Channels")))
            v.channels = line.section(QLatin1Char(':'), 1).trimmed().toInt();
        if (line.startsWith(QLatin1String("Sample Rate")))
            v.rate = line.section(QLatin1Char(':'), 1).trimmed().toInt();
    }
    if (v.channels > 0)
        v.samples = raw.size() / 2 / v.channels;
    return v;
}

class ConvertCommand : public DataDirTest {
protected:
    void SetUp() override
    {
        QProcess probe;
        probe.start(QStringLiteral("sox"), {QStringLiteral("--version")});
        if (!probe.waitForFinished(10000) || probe.exitCode() != 0)
            GTEST_SKIP() << "sox cannot start: " << probe.errorString().toStdString();
        in = data.file(QStringLiteral("in.wav"));
        ASSERT_TRUE(WriteFile(in, PcmWave(44100, 2, 44100 * 3 / 2)));
    }
    QString in;
};

// Every record format, from a 1.5 s 44.1 kHz stereo recording: sox reads each output with
// the rate and channels asked for and the whole length (block formats round up a block).
TEST_F(ConvertCommand, EveryRecordFormatIsReadBySoxWithTheWholeLength)
{
    struct Case {
        const char *spec;
        int rate, channels;
        qint64 slack;
    };
    for (const Case c : {Case{"1,8000,1,16", 8000, 1, 1}, Case{"1,22050,2,8", 22050, 2, 1}, Case{"6,8000,1", 8000, 1, 1},
                         Case{"7,8000,1", 8000, 1, 1}, Case{"17,8000,1", 8000, 1, 505}, Case{"17,44100,2", 44100, 2, 2041},
                         Case{"49,8000,1", 8000, 1, 320}}) {
        SCOPED_TRACE(c.spec);
        const QString out = data.file(QStringLiteral("out.wav"));
        const Outcome r = Convert({in, out, QStringLiteral("--format"), QString::fromLatin1(c.spec)});
        ASSERT_EQ(r.exitCode, 0) << r.error.toStdString();
        const SoxView v = SoxInfo(out);
        EXPECT_EQ(v.rate, c.rate);
        EXPECT_EQ(v.channels, c.channels);
        const qint64 expected = qint64(c.rate) * 3 / 2;
        EXPECT_GE(v.samples, expected - 1);
        EXPECT_LE(v.samples, expected + c.slack);
    }
}

// MPEG frames: sox reads them once they are taken out of the WAVE container.
TEST_F(ConvertCommand, Mp3FramesAreReadBySoxOutOfTheContainer)
{
    const QString out = data.file(QStringLiteral("out.wav"));
    const Outcome r = Convert({in, out, QStringLiteral("--format"), QStringLiteral("85,22050,1")});
    ASSERT_EQ(r.exitCode, 0) << r.error.toStdString();
    QBuffer file;
    file.setData(ReadFile(out));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const TWaveSource source = ReadWaveHeader(file, out);
    EXPECT_EQ(source.format.Data()->wFormatTag, WAVE_FORMAT_MPEGLAYER3);
    const QString mp3 = data.file(QStringLiteral("frames.mp3"));
    ASSERT_TRUE(WriteFile(mp3, file.data().mid(source.dataOffset, source.dataSize)));
    const SoxView v = SoxInfo(mp3, QStringLiteral("mp3"));
    EXPECT_EQ(v.rate, 22050);
    EXPECT_GE(v.samples, 22050 * 3 / 2);
    EXPECT_LT(v.samples, 22050 * 3 / 2 + 3 * 1152);
}

// The stored format file gives the same file as the format named on the command line; an
// archived A-law recording re-encodes to PCM; a recording never completed is taken whole.
TEST_F(ConvertCommand, FormatFileArchivesAndUncompletedRecordings)
{
    const QString dat = data.file(QStringLiteral("audiorec.dat"));
    FormatFromSpec(QStringLiteral("6,8000,1")).SaveToFile(dat);
    const QString a = data.file(QStringLiteral("a.wav")), b = data.file(QStringLiteral("b.wav"));
    ASSERT_EQ(Convert({in, a, QStringLiteral("--format-file"), dat}).exitCode, 0);
    ASSERT_EQ(Convert({in, b, QStringLiteral("--format"), QStringLiteral("6,8000,1")}).exitCode, 0);
    EXPECT_EQ(ReadFile(a), ReadFile(b));

    const QString pcm = data.file(QStringLiteral("pcm.wav"));
    const Outcome r = Convert({a, pcm, QStringLiteral("--format"), QStringLiteral("1,8000,1,16")});
    ASSERT_EQ(r.exitCode, 0) << r.error.toStdString();
    EXPECT_EQ(SoxInfo(pcm).samples, 12000);

    const QString open = data.file(QStringLiteral("open.wav"));
    ASSERT_TRUE(WriteFile(open, PcmWave(8000, 1, 4000, true)));
    ASSERT_EQ(Convert({open, b, QStringLiteral("--format"), QStringLiteral("1,8000,1,16")}).exitCode, 0);
    EXPECT_EQ(SoxInfo(b).samples, 4000);
}

// A format the codec manager cannot reach or does not have: exit code 2, a clear message,
// and nothing left behind; a file already there under that name stays as it was.
TEST_F(ConvertCommand, UnreachableFormatsLeaveNothingBehind)
{
    const QString out = data.file(QStringLiteral("out.wav"));
    for (const QString &spec : {QStringLiteral("49,44100,2"), QStringLiteral("999,8000,1"), QStringLiteral("1,8000,1,12")}) {
        const Outcome r = Convert({in, out, QStringLiteral("--format"), spec});
        EXPECT_EQ(r.exitCode, 2) << spec.toStdString();
        EXPECT_TRUE(r.error.contains(spec)) << r.error.toStdString();
        EXPECT_FALSE(QFile::exists(out));
    }
    // MPEG frames are recorded, never decoded: converting from them is out of reach.
    const QString mp3 = data.file(QStringLiteral("mp3.wav"));
    ASSERT_EQ(Convert({in, mp3, QStringLiteral("--format"), QStringLiteral("85,22050,1")}).exitCode, 0);
    ASSERT_TRUE(WriteFile(out, "keep"));
    const Outcome r = Convert({mp3, out, QStringLiteral("--format"), QStringLiteral("1,8000,1")});
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_TRUE(r.error.contains(QLatin1String("Conversion not possible."))) << r.error.toStdString();
    EXPECT_EQ(ReadFile(out), QByteArray("keep"));
    EXPECT_EQ(QDir(data.path()).entryList(QDir::Files | QDir::Hidden).size(), 3); // in, mp3, out: no leftovers
}

TEST_F(ConvertCommand, BadCommandLinesAndUnreadableInputs)
{
    const QString out = data.file(QStringLiteral("out.wav"));
    for (const QStringList &args : {QStringList{in, out}, QStringList{in, QStringLiteral("--format"), QStringLiteral("6,8000,1")},
                                    QStringList{in, out, QStringLiteral("--format"), QStringLiteral("6,8000")},
                                    QStringList{in, out, QStringLiteral("--format"), QStringLiteral("6,x,1")},
                                    QStringList{in, out, QStringLiteral("--format-file"), data.file(QStringLiteral("none.dat"))},
                                    QStringList{in, out, QStringLiteral("--speed"), QStringLiteral("9")}}) {
        EXPECT_EQ(Convert(args).exitCode, 2) << args.join(QLatin1Char(' ')).toStdString();
    }
    const QString text = data.file(QStringLiteral("text.wav"));
    ASSERT_TRUE(WriteFile(text, "RIFF\4\0\0\0WAVEdata"));
    for (const QString &input : {text, data.file(QStringLiteral("missing.wav"))}) {
        const Outcome r = Convert({input, out, QStringLiteral("--format"), QStringLiteral("6,8000,1")});
        EXPECT_EQ(r.exitCode, 1);
        EXPECT_TRUE(r.error.contains(input)) << r.error.toStdString();
        EXPECT_FALSE(QFile::exists(out));
    }
}

} // namespace
