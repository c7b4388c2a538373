// The codec manager's stream and format operations, and its codecs' bit-level rules.
#include <gtest/gtest.h>

#include <QByteArray>
#include <QSet>
#include <QtEndian>
#include <cmath>
#include <vector>

#include "acmapi.h"
#include "g711.h"
#include "imaadpcm.h"
#include "mp3formats.h"

namespace {

WAVEFORMATEX Pcm(uint32_t rate, uint16_t bits, uint16_t channels)
{
    WAVEFORMATEX w{};
    w.wFormatTag = WAVE_FORMAT_PCM;
    w.nChannels = channels;
    w.nSamplesPerSec = rate;
    w.wBitsPerSample = bits;
    w.nBlockAlign = uint16_t(channels * bits / 8);
    w.nAvgBytesPerSec = rate * w.nBlockAlign;
    return w;
}

// A 512-byte format buffer filled by the manager's suggestion for tag from src.
QByteArray Suggest(const WAVEFORMATEX &src, uint16_t tag, MMRESULT *result = nullptr, uint32_t flags = 0)
{
    QByteArray buffer(512, 0);
    auto *dst = reinterpret_cast<WAVEFORMATEX *>(buffer.data());
    dst->wFormatTag = tag;
    const MMRESULT r = acmFormatSuggest(&src, dst, 512, ACM_FORMATSUGGESTF_WFORMATTAG | flags);
    if (result)
        *result = r;
    return buffer;
}

const WAVEFORMATEX *W(const QByteArray &b)
{
    return reinterpret_cast<const WAVEFORMATEX *>(b.constData());
}

struct Stream {
    HACMSTREAM has = nullptr;
    ~Stream()
    {
        if (has)
            acmStreamClose(has, 0);
    }
};

// The destination bytes of one conversion that takes all of src; empty when it fails or
// leaves source bytes behind.
QByteArray ConvertOnce(HACMSTREAM has, QByteArray src, uint32_t flags)
{
    QByteArray out(1 << 16, 0);
    ACMSTREAMHEADER h{};
    h.cbStruct = sizeof(h);
    h.pbSrc = reinterpret_cast<uint8_t *>(src.data());
    h.cbSrcLength = uint32_t(src.size());
    h.pbDst = reinterpret_cast<uint8_t *>(out.data());
    h.cbDstLength = uint32_t(out.size());
    if (acmStreamPrepareHeader(has, &h, 0) != MMSYSERR_NOERROR)
        return {};
    const MMRESULT r = acmStreamConvert(has, &h, flags);
    acmStreamUnprepareHeader(has, &h, 0);
    if (r != MMSYSERR_NOERROR || h.cbSrcLengthUsed != h.cbSrcLength)
        return {};
    return out.left(qsizetype(h.cbDstLengthUsed));
}

QByteArray Noise(qsizetype size, uint32_t seed)
{
    QByteArray bytes(size, 0);
    for (char &b : bytes) {
        seed = seed * 1103515245u + 12345u;
        b = char(seed >> 16);
    }
    return bytes;
}

} // namespace

TEST(CodecManagerStreams, HeaderLifecycleAndErrors)
{
    const WAVEFORMATEX pcm = Pcm(8000, 16, 1);
    const QByteArray gsm = Suggest(pcm, WAVE_FORMAT_GSM610);
    Stream s;
    ASSERT_EQ(acmStreamOpen(&s.has, &pcm, W(gsm), 0), MMSYSERR_NOERROR);

    uint32_t size = 0;
    EXPECT_EQ(acmStreamSize(s.has, 639, &size, ACM_STREAMSIZEF_SOURCE), ACMERR_NOTPOSSIBLE);
    EXPECT_EQ(acmStreamSize(s.has, 1300, &size, ACM_STREAMSIZEF_SOURCE), MMSYSERR_NOERROR);
    EXPECT_EQ(size, 130u);
    EXPECT_EQ(acmStreamSize(s.has, 130, &size, ACM_STREAMSIZEF_DESTINATION), MMSYSERR_NOERROR);
    EXPECT_EQ(size, 1280u);
    EXPECT_EQ(acmStreamSize(s.has, 130, &size, 7), MMSYSERR_INVALFLAG);

    std::vector<uint8_t> src(1300, 0), dst(130, 0);
    ACMSTREAMHEADER h{};
    h.cbStruct = sizeof(h);
    h.pbSrc = src.data();
    h.cbSrcLength = uint32_t(src.size());
    h.pbDst = dst.data();
    h.cbDstLength = uint32_t(dst.size());
    EXPECT_EQ(acmStreamConvert(s.has, &h, ACM_STREAMCONVERTF_BLOCKALIGN), ACMERR_UNPREPARED);
    EXPECT_EQ(acmStreamUnprepareHeader(s.has, &h, 0), ACMERR_UNPREPARED);
    ASSERT_EQ(acmStreamPrepareHeader(s.has, &h, 0), MMSYSERR_NOERROR);
    EXPECT_TRUE(h.fdwStatus & ACMSTREAMHEADER_STATUSF_PREPARED);

    // Block alignment leaves the partial block unconverted.
    ASSERT_EQ(acmStreamConvert(s.has, &h, ACM_STREAMCONVERTF_BLOCKALIGN), MMSYSERR_NOERROR);
    EXPECT_EQ(h.cbSrcLengthUsed, 1280u);
    EXPECT_EQ(h.cbDstLengthUsed, 130u);
    EXPECT_TRUE(h.fdwStatus & ACMSTREAMHEADER_STATUSF_DONE);
    // Without it the rest is taken too (padded), as far as the destination has room.
    h.cbSrcLength = 700;
    ASSERT_EQ(acmStreamConvert(s.has, &h, 0), MMSYSERR_NOERROR);
    EXPECT_EQ(h.cbSrcLengthUsed, 700u);
    EXPECT_EQ(h.cbDstLengthUsed, 130u);
    // A buffer may not grow after preparation.
    h.cbSrcLength = 1301;
    EXPECT_EQ(acmStreamConvert(s.has, &h, ACM_STREAMCONVERTF_BLOCKALIGN), MMSYSERR_INVALPARAM);
    h.cbSrcLength = 1300;
    EXPECT_EQ(acmStreamConvert(s.has, &h, 0x1000), MMSYSERR_INVALFLAG);

    // A stream with a prepared header is still in use.
    EXPECT_EQ(acmStreamClose(s.has, 0), ACMERR_BUSY);
    // A header belongs to the stream that prepared it.
    Stream other;
    ASSERT_EQ(acmStreamOpen(&other.has, &pcm, W(gsm), 0), MMSYSERR_NOERROR);
    EXPECT_EQ(acmStreamConvert(other.has, &h, 0), MMSYSERR_INVALPARAM);
    EXPECT_EQ(acmStreamUnprepareHeader(other.has, &h, 0), MMSYSERR_INVALPARAM);
    ASSERT_EQ(acmStreamUnprepareHeader(s.has, &h, 0), MMSYSERR_NOERROR);
    EXPECT_EQ(acmStreamReset(s.has, 0), MMSYSERR_NOERROR);
    EXPECT_EQ(acmStreamClose(s.has, 0), MMSYSERR_NOERROR);
    // A closed handle is refused, not followed.
    EXPECT_EQ(acmStreamReset(s.has, 0), MMSYSERR_INVALHANDLE);
    EXPECT_EQ(acmStreamClose(s.has, 0), MMSYSERR_INVALHANDLE);
    s.has = nullptr;
}

TEST(CodecManagerStreams, EncodersPadATrailingPartialBlockWithSilence)
{
    struct Case {
        WAVEFORMATEX pcm;
        uint16_t tag;
    };
    for (const Case &c : {Case{Pcm(8000, 16, 1), WAVE_FORMAT_GSM610}, Case{Pcm(44100, 16, 2), WAVE_FORMAT_IMA_ADPCM}}) {
        SCOPED_TRACE(c.tag);
        const QByteArray format = Suggest(c.pcm, c.tag);
        const uint32_t frame = c.pcm.nBlockAlign;
        const uint32_t pcmBlock = qFromLittleEndian<uint16_t>(format.constData() + 18) * frame;
        Stream s;
        ASSERT_EQ(acmStreamOpen(&s.has, &c.pcm, W(format), 0), MMSYSERR_NOERROR);
        // A long tail, then a short one on the same stream: what the short one leaves is silence too.
        // The incomplete last sample frame of each tail is dropped.
        uint32_t seed = 7;
        for (uint32_t tail : {pcmBlock * 3 / 4 + 1, pcmBlock / 4 + 3}) {
            const QByteArray src = Noise(pcmBlock + tail, ++seed);
            QByteArray whole = src.left(pcmBlock + tail - tail % frame);
            whole.append(QByteArray(2 * pcmBlock - whole.size(), 0));
            Stream fresh;
            ASSERT_EQ(acmStreamOpen(&fresh.has, &c.pcm, W(format), 0), MMSYSERR_NOERROR);
            const QByteArray reference = ConvertOnce(fresh.has, whole, ACM_STREAMCONVERTF_BLOCKALIGN);
            ASSERT_EQ(reference.size(), 2 * W(format)->nBlockAlign);
            ASSERT_EQ(acmStreamReset(s.has, 0), MMSYSERR_NOERROR);
            EXPECT_EQ(ConvertOnce(s.has, src, 0), reference);
        }
    }
}

TEST(CodecManagerStreams, OpenChecksTheWholePair)
{
    const WAVEFORMATEX pcm = Pcm(8000, 16, 1);
    EXPECT_EQ(acmStreamOpen(nullptr, &pcm, &pcm, ACM_STREAMOPENF_QUERY), MMSYSERR_NOERROR);
    EXPECT_EQ(acmStreamOpen(nullptr, &pcm, &pcm, 0), MMSYSERR_INVALPARAM);
    EXPECT_EQ(acmStreamOpen(nullptr, &pcm, &pcm, ACM_STREAMOPENF_QUERY | ACM_STREAMOPENF_ASYNC),
              MMSYSERR_NOTSUPPORTED);
    EXPECT_EQ(acmStreamOpen(nullptr, &pcm, &pcm, 0x100), MMSYSERR_INVALFLAG);
    WAVEFORMATEX odd = pcm;
    odd.nBlockAlign = 4; // inconsistent with 16-bit mono
    EXPECT_EQ(acmStreamOpen(nullptr, &pcm, &odd, ACM_STREAMOPENF_QUERY), ACMERR_NOTPOSSIBLE);
    const WAVEFORMATEX fast = Pcm(96000, 16, 1);
    EXPECT_EQ(acmStreamOpen(nullptr, &pcm, &fast, ACM_STREAMOPENF_QUERY), ACMERR_NOTPOSSIBLE);

    QByteArray ima = Suggest(Pcm(8000, 16, 1), WAVE_FORMAT_IMA_ADPCM);
    EXPECT_EQ(acmStreamOpen(nullptr, &pcm, W(ima), ACM_STREAMOPENF_QUERY), MMSYSERR_NOERROR);
    qToLittleEndian<uint16_t>(500, ima.data() + 18); // samples per block no longer fit the block
    EXPECT_EQ(acmStreamOpen(nullptr, &pcm, W(ima), ACM_STREAMOPENF_QUERY), ACMERR_NOTPOSSIBLE);
    // Codecs keep rate and channels; the chain converts those through PCM.
    const QByteArray gsm = Suggest(pcm, WAVE_FORMAT_GSM610);
    const WAVEFORMATEX stereo = Pcm(8000, 16, 2);
    EXPECT_EQ(acmStreamOpen(nullptr, &stereo, W(gsm), ACM_STREAMOPENF_QUERY), ACMERR_NOTPOSSIBLE);
}

TEST(CodecManagerFormats, SuggestionsPerTag)
{
    MMRESULT r = 0;
    const QByteArray gsm = Suggest(Pcm(8000, 16, 1), WAVE_FORMAT_GSM610, &r);
    ASSERT_EQ(r, MMSYSERR_NOERROR);
    EXPECT_EQ(W(gsm)->nBlockAlign, 65);
    EXPECT_EQ(W(gsm)->nAvgBytesPerSec, 1625u);
    EXPECT_EQ(W(gsm)->cbSize, 2);
    EXPECT_EQ(qFromLittleEndian<uint16_t>(gsm.constData() + 18), 320);
    Suggest(Pcm(44100, 16, 2), WAVE_FORMAT_GSM610, &r);
    EXPECT_EQ(r, ACMERR_NOTPOSSIBLE);

    const QByteArray ima = Suggest(Pcm(44100, 16, 2), WAVE_FORMAT_IMA_ADPCM, &r);
    ASSERT_EQ(r, MMSYSERR_NOERROR);
    EXPECT_EQ(W(ima)->nBlockAlign, 2048);
    EXPECT_EQ(qFromLittleEndian<uint16_t>(ima.constData() + 18), 2041);
    EXPECT_EQ(W(ima)->wBitsPerSample, 4);

    const QByteArray mp3 = Suggest(Pcm(22050, 16, 2), WAVE_FORMAT_MPEGLAYER3, &r);
    ASSERT_EQ(r, MMSYSERR_NOERROR);
    EXPECT_EQ(W(mp3)->cbSize, 12);
    EXPECT_EQ(W(mp3)->nAvgBytesPerSec, 64000u / 8);
    const auto *mp3f = reinterpret_cast<const MPEGLAYER3WAVEFORMAT *>(mp3.constData());
    EXPECT_EQ(mp3f->wID, MPEGLAYER3_ID_MPEG);
    EXPECT_EQ(mp3f->nBlockSize, 208); // 576 samples at 64 kbit/s and 22 050 Hz
    EXPECT_EQ(mp3f->nFramesPerBlock, 1);

    // Decoding suggestions, with fields the caller fixes.
    const QByteArray back = Suggest(*W(ima), WAVE_FORMAT_PCM, &r);
    ASSERT_EQ(r, MMSYSERR_NOERROR);
    EXPECT_EQ(std::memcmp(back.constData(), &static_cast<const WAVEFORMATEX &>(Pcm(44100, 16, 2)), 18), 0);
    QByteArray fixed(512, 0);
    auto *dst = reinterpret_cast<WAVEFORMATEX *>(fixed.data());
    dst->wFormatTag = WAVE_FORMAT_PCM;
    dst->nSamplesPerSec = 16000;
    dst->wBitsPerSample = 8;
    const WAVEFORMATEX src = Pcm(44100, 16, 2);
    ASSERT_EQ(acmFormatSuggest(&src, dst, 512,
                               ACM_FORMATSUGGESTF_WFORMATTAG | ACM_FORMATSUGGESTF_NSAMPLESPERSEC
                                   | ACM_FORMATSUGGESTF_WBITSPERSAMPLE),
              MMSYSERR_NOERROR);
    EXPECT_EQ(dst->nSamplesPerSec, 16000u);
    EXPECT_EQ(dst->wBitsPerSample, 8);
    EXPECT_EQ(dst->nChannels, 2);
    EXPECT_EQ(dst->nAvgBytesPerSec, 32000u);
    // A destination too small for the codec's extra bytes.
    WAVEFORMATEX small{};
    small.wFormatTag = WAVE_FORMAT_GSM610;
    const WAVEFORMATEX pcm8k = Pcm(8000, 16, 1);
    EXPECT_EQ(acmFormatSuggest(&pcm8k, &small, sizeof(small), ACM_FORMATSUGGESTF_WFORMATTAG), ACMERR_NOTPOSSIBLE);
}

TEST(CodecManagerFormats, EveryEnumeratedFormatIsNamedAndReachable)
{
    QList<uint16_t> tags;
    ACMFORMATTAGDETAILS tag{};
    tag.cbStruct = sizeof(tag);
    ASSERT_EQ(acmFormatTagEnum(&tag, [&](const ACMFORMATTAGDETAILS &t) {
        tags.append(uint16_t(t.dwFormatTag));
        return true;
    }, 0), MMSYSERR_NOERROR);
    EXPECT_EQ(tags, QList<uint16_t>({WAVE_FORMAT_PCM, WAVE_FORMAT_ALAW, WAVE_FORMAT_MULAW, WAVE_FORMAT_IMA_ADPCM,
                                     WAVE_FORMAT_GSM610, WAVE_FORMAT_MPEGLAYER3}));
    tag.dwFormatTag = WAVE_FORMAT_GSM610;
    ASSERT_EQ(acmFormatTagDetails(&tag, ACM_FORMATTAGDETAILSF_FORMATTAG), MMSYSERR_NOERROR);
    EXPECT_EQ(QString::fromUtf16(tag.szFormatTag), QStringLiteral("GSM 6.10"));
    EXPECT_EQ(tag.cStandardFormats, 1u);
    tag.dwFormatTag = 0x7777;
    EXPECT_EQ(acmFormatTagDetails(&tag, ACM_FORMATTAGDETAILSF_FORMATTAG), ACMERR_NOTPOSSIBLE);

    QByteArray buffer(512, 0);
    ACMFORMATDETAILS details{};
    details.cbStruct = sizeof(details);
    details.pwfx = reinterpret_cast<WAVEFORMATEX *>(buffer.data());
    details.cbwfx = 512;
    int count = 0;
    QSet<QString> names;
    ASSERT_EQ(acmFormatEnum(&details, [&](const ACMFORMATDETAILS &d) {
        ++count;
        const QString name = QString::fromUtf16(d.szFormat);
        EXPECT_FALSE(name.isEmpty());
        names.insert(QString::number(d.dwFormatTag) + name);
        // Every codec format is reached from the PCM its driver suggests for it.
        QByteArray pcm(512, 0);
        auto *p = reinterpret_cast<WAVEFORMATEX *>(pcm.data());
        p->wFormatTag = WAVE_FORMAT_PCM;
        EXPECT_EQ(acmFormatSuggest(d.pwfx, p, 512, ACM_FORMATSUGGESTF_WFORMATTAG), MMSYSERR_NOERROR) << qPrintable(name);
        if (d.dwFormatTag != WAVE_FORMAT_PCM) {
            EXPECT_EQ(acmStreamOpen(nullptr, p, d.pwfx, ACM_STREAMOPENF_QUERY), MMSYSERR_NOERROR) << qPrintable(name);
        }
        return true;
    }, 0), MMSYSERR_NOERROR);
    EXPECT_EQ(names.size(), count); // names tell the formats apart
    EXPECT_GT(count, 100);

    // The chooser's format list: one tag only.
    details.pwfx->wFormatTag = WAVE_FORMAT_MULAW;
    QStringList mulaw;
    acmFormatEnum(&details, [&](const ACMFORMATDETAILS &d) {
        EXPECT_EQ(d.dwFormatTag, WAVE_FORMAT_MULAW);
        mulaw.append(QString::fromUtf16(d.szFormat));
        return mulaw.size() < 3;
    }, ACM_FORMATENUMF_WFORMATTAG);
    EXPECT_EQ(mulaw, QStringList({"8 000 Hz, 8 bitů, mono", "8 000 Hz, 8 bitů, stereo", "11 025 Hz, 8 bitů, mono"}));
}

TEST(G711, LawsMatchTheirDefinition)
{
    // Fixed points of both laws.
    EXPECT_EQ(g711::LinearToUlaw(0), 0xFF);
    EXPECT_EQ(g711::LinearToUlaw(32767), 0x80);
    EXPECT_EQ(g711::LinearToUlaw(-32768), 0x00);
    EXPECT_EQ(g711::UlawToLinear(0x80), 32124);
    EXPECT_EQ(g711::UlawToLinear(0x00), -32124);
    EXPECT_EQ(g711::LinearToAlaw(0), 0xD5);
    EXPECT_EQ(g711::LinearToAlaw(-1), 0x55);
    EXPECT_EQ(g711::LinearToAlaw(32767), 0xAA);
    EXPECT_EQ(g711::LinearToAlaw(-32768), 0x2A);
    EXPECT_EQ(g711::AlawToLinear(0xAA), 32256);
    EXPECT_EQ(g711::AlawToLinear(0x2A), -32256);
    // Every code survives decoding and encoding again, and decoded values rise with the code.
    for (int code = 0; code < 256; ++code) {
        EXPECT_EQ(g711::LinearToUlaw(g711::UlawToLinear(uint8_t(code))), code == 0x7F ? 0xFF : code) << code;
        EXPECT_EQ(g711::LinearToAlaw(g711::AlawToLinear(uint8_t(code))), code) << code;
    }
    // The quantisation error stays within half a step of the law's segment.
    for (int s = -32768; s <= 32767; s += 7) {
        const int a = g711::AlawToLinear(g711::LinearToAlaw(int16_t(s)));
        const int u = g711::UlawToLinear(g711::LinearToUlaw(int16_t(s)));
        ASSERT_LE(std::abs(a - s), std::max(16, std::abs(s) / 32 + 16)) << s;
        ASSERT_LE(std::abs(u - s), std::max(8, std::abs(s) / 32 + 132)) << s;
    }
}

TEST(ImaAdpcm, BlockLayoutAndChannels)
{
    const int channels = 2;
    const int spb = imaadpcm::SamplesPerBlock(512, channels);
    ASSERT_EQ(spb, 505);
    std::vector<int16_t> pcm(size_t(spb) * channels);
    for (int i = 0; i < spb; ++i) {
        pcm[size_t(2 * i)] = int16_t(8000 * std::sin(i * 0.05));      // left: slow sine
        pcm[size_t(2 * i + 1)] = int16_t(-12000 * std::cos(i * 0.2)); // right: faster, other phase
    }
    imaadpcm::ChannelState state[2];
    std::vector<uint8_t> block(512);
    imaadpcm::EncodeBlock(pcm.data(), channels, spb, state, block.data());
    // Per channel header: the first sample exactly, the step index, a zero byte.
    EXPECT_EQ(qFromLittleEndian<int16_t>(block.data()), pcm[0]);
    EXPECT_EQ(qFromLittleEndian<int16_t>(block.data() + 4), pcm[1]);
    EXPECT_EQ(block[2], 0);
    EXPECT_EQ(block[3], 0);
    EXPECT_EQ(block[7], 0);
    std::vector<int16_t> decoded(pcm.size());
    imaadpcm::DecodeBlock(block.data(), channels, spb, decoded.data());
    double errL = 0, errR = 0, sigL = 0, sigR = 0;
    for (int i = 8; i < spb; ++i) {
        errL += std::pow(decoded[size_t(2 * i)] - pcm[size_t(2 * i)], 2);
        errR += std::pow(decoded[size_t(2 * i + 1)] - pcm[size_t(2 * i + 1)], 2);
        sigL += std::pow(pcm[size_t(2 * i)], 2);
        sigR += std::pow(pcm[size_t(2 * i + 1)], 2);
    }
    EXPECT_GT(10 * std::log10(sigL / errL), 20);
    EXPECT_GT(10 * std::log10(sigR / errR), 20);
    // The step index carries into the next block's header.
    const int carried = state[1].index;
    EXPECT_GT(carried, 0);
    std::vector<uint8_t> next(512);
    imaadpcm::EncodeBlock(pcm.data(), channels, spb, state, next.data());
    EXPECT_EQ(next[6], carried);
    // A damaged header index does not read past the step table.
    block[2] = 200;
    imaadpcm::DecodeBlock(block.data(), channels, spb, decoded.data());
}

TEST(Mp3Formats, RatesAndBitRates)
{
    EXPECT_EQ(mp3formats::MpegVersion(44100), 1);
    EXPECT_EQ(mp3formats::MpegVersion(16000), 2);
    EXPECT_EQ(mp3formats::MpegVersion(8000), 3);
    EXPECT_EQ(mp3formats::MpegVersion(9000), 0);
    EXPECT_TRUE(mp3formats::BitRates(8000).contains(8));
    EXPECT_FALSE(mp3formats::BitRates(44100).contains(8));
    EXPECT_TRUE(mp3formats::BitRates(48000).contains(320));
    const MPEGLAYER3WAVEFORMAT f = mp3formats::Format(44100, 2, 128);
    EXPECT_EQ(f.nBlockSize, 417);
    EXPECT_TRUE(mp3formats::IsValid(f.wfx));
    MPEGLAYER3WAVEFORMAT bad = f;
    bad.wfx.nAvgBytesPerSec = 1000; // 8 kbit/s is no MPEG-1 rate
    EXPECT_FALSE(mp3formats::IsValid(bad.wfx));
}
