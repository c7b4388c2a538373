#include "deAudioStreams.h"
#include "capturetestkit.h"

#include <QBuffer>
#include <QFile>
#include <QTemporaryDir>
#include <QtEndian>
#include <csignal>
#include <sys/resource.h>
#include <gtest/gtest.h>
#include <memory>

namespace {

uint32_t U32At(const QByteArray &bytes, int offset)
{
    return qFromLittleEndian<uint32_t>(reinterpret_cast<const uchar *>(bytes.constData() + offset));
}

QByteArray Written(const TdeWaveFormat &format, const QList<QByteArray> &blocks)
{
    QBuffer buffer;
    buffer.open(QIODevice::ReadWrite);
    {
        TdeRIFFAudioWriter writer(&buffer);
        writer.SetFormat(format);
        for (const QByteArray &block : blocks)
            writer.Write(block.constData(), int(block.size()));
    }
    return buffer.data();
}

TEST(RiffWriter, PcmFileHasTheExactLayoutAndSoxReadsIt)
{
    QTemporaryDir dir;
    QString name = dir.filePath("pcm.wav");
    QByteArray audio;
    for (int i = 0; i < 8000; ++i) {
        int16_t v = int16_t((i * 97) % 20000 - 10000);
        audio.append(reinterpret_cast<const char *>(&v), 2);
    }
    {
        QFile file(name);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        TdeRIFFAudioWriter writer(&file);
        writer.SetFormat(PcmWave(8000, 16, 1));
        // Blocks of uneven length arrive in order.
        writer.Write(audio.constData(), 6000);
        EXPECT_EQ(writer.DataChunkPosition(), 36);
        writer.Write(audio.constData() + 6000, 10000);
        EXPECT_EQ(writer.DataSize(), 16000);
    }
    QFile file(name);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    QByteArray bytes = file.readAll();
    ASSERT_EQ(bytes.size(), 16044);
    EXPECT_EQ(bytes.left(4), QByteArray("RIFF"));
    EXPECT_EQ(U32At(bytes, 4), 16036u);
    EXPECT_EQ(bytes.mid(8, 8), QByteArray("WAVEfmt "));
    EXPECT_EQ(U32At(bytes, 16), 16u);
    EXPECT_EQ(bytes.mid(20, 16), QByteArray(reinterpret_cast<const char *>(PcmWave(8000, 16, 1).Bytes()), 16));
    EXPECT_EQ(bytes.mid(36, 4), QByteArray("data"));
    EXPECT_EQ(U32At(bytes, 40), 16000u);
    EXPECT_EQ(bytes.mid(44), audio);

    SoxView sox = SoxRead(name);
    ASSERT_TRUE(sox.Ok) << sox.Error.toStdString();
    EXPECT_EQ(sox.Channels, 1);
    EXPECT_EQ(sox.Rate, 8000);
    EXPECT_EQ(sox.Bits, 16);
    EXPECT_DOUBLE_EQ(sox.Seconds, 1.0);
}

TEST(RiffWriter, CompressedFormatsCarryCbSizeAndTheirExtraBytes)
{
    TdeWaveFormat gsm = PcmWave(8000, 0, 1);
    gsm.SetFormatTag(WAVE_FORMAT_GSM610);
    gsm.SetAvgBytesPerSec(1625);
    gsm.SetBlockAlign(65);
    gsm.SetCbSize(2);
    gsm.Extra()[0] = 0x40;
    gsm.Extra()[1] = 0x01;
    gsm.Extra()[2] = 0x77; // beyond cbSize: not written
    QByteArray bytes = Written(gsm, {QByteArray(65, 'g')});
    EXPECT_EQ(U32At(bytes, 16), 20u);
    EXPECT_EQ(bytes.mid(20, 20), QByteArray(reinterpret_cast<const char *>(gsm.Bytes()), 20));
    EXPECT_EQ(bytes.mid(40, 4), QByteArray("data"));
    EXPECT_EQ(U32At(bytes, 44), 65u);
    // No pad byte and no fact chunk: the odd data size is written as it is.
    EXPECT_EQ(bytes.size(), 48 + 65);
    EXPECT_EQ(U32At(bytes, 4), uint32_t(bytes.size() - 8));

    // A cbSize beyond the image counts as the 494 bytes the image holds.
    TdeWaveFormat huge = gsm;
    huge.Data()->cbSize = 600;
    bytes = Written(huge, {QByteArray(3, 'x')});
    EXPECT_EQ(U32At(bytes, 16), 512u);
    EXPECT_EQ(bytes.mid(20, 512), QByteArray(reinterpret_cast<const char *>(huge.Bytes()), 512));
    EXPECT_EQ(bytes.size(), 20 + 512 + 8 + 3);
}

TEST(RiffWriter, NothingIsWrittenWithoutAudioAndATaglessFormatIsRefused)
{
    EXPECT_TRUE(Written(PcmWave(8000, 16, 1), {}).isEmpty());
    // An empty block neither starts the file nor brings a second header later.
    QByteArray bytes = Written(PcmWave(8000, 8, 1), {QByteArray(), QByteArray("abc"), QByteArray()});
    EXPECT_EQ(bytes.size(), 44 + 3);
    EXPECT_EQ(bytes.count("RIFF"), 1);

    TdeWaveFormat tagless = PcmWave(8000, 16, 1);
    tagless.SetFormatTag(0);
    QBuffer buffer;
    buffer.open(QIODevice::ReadWrite);
    TdeRIFFAudioWriter writer(&buffer);
    writer.SetFormat(tagless);
    EXPECT_THROW(writer.Write("ab", 2), EACMError);
    EXPECT_EQ(buffer.size(), 0);

    EXPECT_THROW(TdeRIFFAudioWriter(nullptr), EACMError);
}

TEST(RiffWriter, HeaderStartsWhereTheStreamStood)
{
    QBuffer buffer;
    buffer.open(QIODevice::ReadWrite);
    buffer.write("prefix");
    {
        TdeRIFFAudioWriter writer(&buffer);
        writer.SetFormat(PcmWave(8000, 8, 1));
        EXPECT_EQ(writer.StartPosition(), 6);
        writer.Write("12345", 5);
    }
    QByteArray bytes = buffer.data();
    EXPECT_EQ(bytes.mid(6, 4), QByteArray("RIFF"));
    EXPECT_EQ(U32At(bytes, 10), uint32_t(bytes.size() - 6 - 8));
    EXPECT_EQ(U32At(bytes, 6 + 40), 5u);
    EXPECT_EQ(buffer.pos(), bytes.size());
}

// A random-access device that keeps only the first bytes: lets a writer run up to
// the 4 GiB limit without the disk space.
class THeaderOnlyDevice : public QIODevice {
public:
    QByteArray head = QByteArray(64, '\0');
    qint64 end = 0;
    bool isSequential() const override { return false; }
    qint64 size() const override { return end; }

protected:
    qint64 readData(char *, qint64) override { return 0; }
    qint64 writeData(const char *data, qint64 len) override
    {
        qint64 at = pos();
        for (qint64 i = 0; i < len && at + i < head.size(); ++i)
            head[int(at + i)] = data[i];
        end = std::max(end, at + len);
        return len;
    }
};

TEST(RiffWriter, StopsAtTheLargestSizeTheHeaderCanHold)
{
    THeaderOnlyDevice device;
    device.open(QIODevice::ReadWrite);
    const int block = 1 << 20;
    QByteArray audio(block, 'a');
    qint64 written = 0;
    {
        TdeRIFFAudioWriter writer(&device);
        writer.SetFormat(PcmWave(44100, 16, 2));
        bool refused = false;
        while (!refused) {
            try {
                writer.Write(audio.constData(), block);
                written += block;
            } catch (const EWaveFileFull &) {
                refused = true;
            }
        }
        EXPECT_EQ(writer.DataSize(), written);
    }
    // Every accepted byte is described by sizes that did not wrap.
    EXPECT_LE(device.end, TdeRIFFAudioWriter::MaxFileSize);
    EXPECT_GT(device.end + block, TdeRIFFAudioWriter::MaxFileSize);
    EXPECT_EQ(U32At(device.head, 4), uint32_t(device.end - 8));
    EXPECT_EQ(U32At(device.head, 40), uint32_t(written));
    EXPECT_EQ(qint64(U32At(device.head, 40)), written);
}

} // namespace

// A file system that holds only so many bytes: the file size limit of this process,
// lowered for the test's own writes and raised again afterwards.
class SmallFileSystem {
public:
    explicit SmallFileSystem(rlim_t bytes)
    {
        ::getrlimit(RLIMIT_FSIZE, &m_old);
        m_oldHandler = std::signal(SIGXFSZ, SIG_IGN);
        rlimit small = m_old;
        small.rlim_cur = bytes;
        ::setrlimit(RLIMIT_FSIZE, &small);
    }
    ~SmallFileSystem()
    {
        ::setrlimit(RLIMIT_FSIZE, &m_old);
        std::signal(SIGXFSZ, m_oldHandler);
    }

private:
    rlimit m_old {};
    void (*m_oldHandler)(int) = nullptr;
};

TEST(RiffWriter, AFullDiskLeavesWholeBlocksUnderTrueSizes)
{
    QTemporaryDir dir;
    const QString name = dir.filePath("cut.wav");
    TdeWaveFormat pcm;
    pcm.SetPCM(8000, 16, 1);
    const QByteArray block(3000, '\x11');
    int refused = 0;
    {
        QFile file(name);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Unbuffered));
        TdeRIFFAudioWriter writer(&file);
        writer.SetFormat(pcm);
        SmallFileSystem disk(10000);
        for (int i = 0; i < 5; ++i) {
            try {
                writer.Write(block.constData(), int(block.size()));
            } catch (const EStreamWriteError &) {
                ++refused;
            }
        }
        writer.Complete();
    }
    EXPECT_EQ(refused, 2);
    QFile file(name);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray bytes = file.readAll();
    // Three blocks of 3000 behind a 44-byte header; the refused fourth is taken back.
    ASSERT_EQ(bytes.size(), 44 + 9000);
    EXPECT_EQ(U32At(bytes, 4), uint32_t(bytes.size() - 8));
    EXPECT_EQ(U32At(bytes, 40), 9000u);

    // Not even the header fits: the file stays empty and nothing claims to be written.
    const QString none = dir.filePath("none.wav");
    QFile empty(none);
    ASSERT_TRUE(empty.open(QIODevice::WriteOnly | QIODevice::Unbuffered));
    TdeRIFFAudioWriter writer(&empty);
    writer.SetFormat(pcm);
    {
        SmallFileSystem disk(20);
        EXPECT_THROW(writer.Write(block.constData(), int(block.size())), EStreamWriteError);
    }
    EXPECT_EQ(writer.DataSize(), 0);
    EXPECT_EQ(empty.size(), 0);
}
