// Wave format image, file image, names, suggestion, chooser, and the result-code texts.
#include <gtest/gtest.h>

#include <QBuffer>
#include <QDataStream>
#include <QFile>
#include <QtEndian>

#include "acmapi.h"
#include "audiotestkit.h"
#include "deACM.h"
#include "support/tempdatadir.h"

using audiotest::Pcm;
using audiotest::Suggested;

TEST(WaveFormat, NewFormatIsTheDefaultOverZeroes)
{
    TdeWaveFormat a, b;
    EXPECT_TRUE(a.IsEqual(b));
    EXPECT_EQ(a.FormatTag(), WAVE_FORMAT_PCM);
    EXPECT_EQ(a.Channels(), 2);
    EXPECT_EQ(a.SamplesPerSec(), 11025u);
    EXPECT_EQ(a.AvgBytesPerSec(), 22050u);
    EXPECT_EQ(a.BlockAlign(), 2);
    EXPECT_EQ(a.BitsPerSample(), 8);
    EXPECT_EQ(a.CbSize(), 0);
    for (int i = 18; i < TdeWaveFormat::ImageSize; ++i)
        ASSERT_EQ(a.Bytes()[i], 0) << i;
}

TEST(WaveFormat, EqualityCoversTheWholeImage)
{
    TdeWaveFormat a, b;
    b.Bytes()[511] = 1; // far beyond cbSize
    EXPECT_FALSE(a.IsEqual(b));
    EXPECT_FALSE(a == b);
    a.Assign(b);
    EXPECT_TRUE(a.IsEqual(b));
    TdeWaveFormat c;
    b.AssignTo(c);
    EXPECT_TRUE(c.IsEqual(b));
    // SetDefault touches only the seven fields.
    b.SetPCM(8000, 16, 1);
    b.SetDefault();
    EXPECT_EQ(b.Bytes()[511], 1);
    EXPECT_TRUE(b.IsEqual(a));
}

TEST(WaveFormat, ExtraPartHoldsAtMost494Bytes)
{
    TdeWaveFormat f;
    f.SetCbSize(494);
    EXPECT_EQ(f.CbSize(), 494);
    EXPECT_EQ(f.FormatChunk().size(), 512);
    try {
        f.SetCbSize(495);
        FAIL() << "495 accepted";
    } catch (const EACMError &e) {
        EXPECT_EQ(e.message(), QStringLiteral("The wave format buffer is too small."));
    }
    EXPECT_EQ(f.CbSize(), 494);
    // An image loaded from elsewhere may say more: readers clamp it.
    qToLittleEndian<uint16_t>(600, f.Bytes() + 16);
    EXPECT_EQ(f.ExtraSize(), 494);
    EXPECT_EQ(f.FormatChunk().size(), 512);
}

TEST_F(DataDirTest, WaveFormatFileImage)
{
    TdeWaveFormat f = Suggested(WAVE_FORMAT_GSM610, Pcm(8000, 16, 1));
    f.Bytes()[300] = 0x5A; // carried along although beyond cbSize
    const QString file = data.file(QStringLiteral("audiorec.dat"));
    f.SaveToFile(file);
    EXPECT_EQ(QFileInfo(file).size(), 512);
    TdeWaveFormat g;
    g.LoadFromFile(file);
    EXPECT_TRUE(g.IsEqual(f));

    // A short file replaces only as many bytes as it has.
    QFile shortFile(data.file(QStringLiteral("short.dat")));
    ASSERT_TRUE(shortFile.open(QIODevice::WriteOnly));
    const TdeWaveFormat pcm = Pcm(8000, 16, 1);
    shortFile.write(reinterpret_cast<const char *>(pcm.Bytes()), 20);
    shortFile.close();
    TdeWaveFormat h(f);
    h.LoadFromFile(shortFile.fileName());
    EXPECT_EQ(h.FormatTag(), WAVE_FORMAT_PCM);
    EXPECT_EQ(h.SamplesPerSec(), 8000u);
    EXPECT_EQ(std::memcmp(h.Bytes(), pcm.Bytes(), 20), 0);
    EXPECT_EQ(std::memcmp(h.Bytes() + 20, f.Bytes() + 20, 492), 0);

    // Missing file: an error, and the format stays as it was.
    TdeWaveFormat k(f);
    EXPECT_THROW(k.LoadFromFile(data.file(QStringLiteral("missing.dat"))), EACMError);
    EXPECT_TRUE(k.IsEqual(f));
    // Unwritable target: an error, and the old file is intact.
    EXPECT_THROW(pcm.SaveToFile(data.file(QStringLiteral("no/such/dir/x.dat"))), EACMError);
}

TEST(WaveFormat, FormatBufferPropertyIsExactly512Bytes)
{
    TdeWaveFormat f = Suggested(WAVE_FORMAT_IMA_ADPCM, Pcm(22050, 16, 2));
    const QByteArray stored = f.FormatBuffer();
    EXPECT_EQ(stored.size(), 512);
    TdeWaveFormat g;
    g.SetFormatBuffer(stored);
    EXPECT_TRUE(g.IsEqual(f));
    EXPECT_THROW(g.SetFormatBuffer(stored.left(511)), EACMError);
    EXPECT_TRUE(g.IsEqual(f));

    QByteArray bytes;
    {
        QDataStream out(&bytes, QIODevice::WriteOnly);
        out << f;
    }
    EXPECT_EQ(bytes.size(), 512);
    TdeWaveFormat h;
    QDataStream in(bytes);
    in >> h;
    EXPECT_EQ(in.status(), QDataStream::Ok);
    EXPECT_TRUE(h.IsEqual(f));
    TdeWaveFormat untouched;
    QDataStream shortIn(bytes.left(100));
    shortIn >> untouched;
    EXPECT_EQ(shortIn.status(), QDataStream::ReadPastEnd);
    EXPECT_TRUE(untouched.IsEqual(TdeWaveFormat()));
}

TEST(WaveFormat, DescriptionNamesTagAndDetails)
{
    EXPECT_EQ(TdeWaveFormat().Description(), QStringLiteral("PCM: 11 025 Hz, 8 bitů, stereo"));
    EXPECT_EQ(Pcm(8000, 16, 1).Description(), QStringLiteral("PCM: 8 000 Hz, 16 bitů, mono"));
    EXPECT_EQ(Suggested(WAVE_FORMAT_ALAW, Pcm(8000, 16, 1)).Description(),
              QStringLiteral("CCITT A-Law: 8 000 Hz, 8 bitů, mono"));
    EXPECT_EQ(Suggested(WAVE_FORMAT_MULAW, Pcm(44100, 16, 2)).Description(),
              QStringLiteral("CCITT u-Law: 44 100 Hz, 8 bitů, stereo"));
    EXPECT_EQ(Suggested(WAVE_FORMAT_IMA_ADPCM, Pcm(11025, 16, 1)).Description(),
              QStringLiteral("IMA ADPCM: 11 025 Hz, 4 bity, mono"));
    EXPECT_EQ(Suggested(WAVE_FORMAT_GSM610, Pcm(8000, 16, 1)).Description(), QStringLiteral("GSM 6.10: 8 000 Hz, mono"));
    EXPECT_EQ(Suggested(WAVE_FORMAT_MPEGLAYER3, Pcm(8000, 16, 1)).Description(),
              QStringLiteral("MPEG Layer-3: 16 kbit/s, 8 000 Hz, mono"));
    // A known tag with inconsistent details has no description; an unknown tag neither.
    TdeWaveFormat broken = Pcm(8000, 16, 1);
    broken.SetBlockAlign(3);
    EXPECT_EQ(broken.Description(), QString());
    TdeWaveFormat unknown;
    unknown.SetFormatTag(0x7777);
    EXPECT_EQ(unknown.Description(), QString());
}

TEST(WaveFormat, SuggestPCMFromEveryRecordFormat)
{
    TdeWaveFormat f;
    f.Bytes()[400] = 7;
    const TdeWaveFormat gsm = Suggested(WAVE_FORMAT_GSM610, Pcm(8000, 16, 1));
    f.SuggestPCMFrom(gsm);
    // The header is the suggestion; the rest of the image is the source's.
    EXPECT_EQ(std::memcmp(f.Bytes(), Pcm(8000, 16, 1).Bytes(), 18), 0) << qPrintable(f.Description());
    EXPECT_EQ(std::memcmp(f.Bytes() + 18, gsm.Bytes() + 18, 494), 0);
    f.SuggestPCMFrom(Suggested(WAVE_FORMAT_IMA_ADPCM, Pcm(22050, 16, 2)));
    EXPECT_EQ(f.Description(), QStringLiteral("PCM: 22 050 Hz, 16 bitů, stereo"));
    f.SuggestPCMFrom(Suggested(WAVE_FORMAT_ALAW, Pcm(8000, 16, 1)));
    EXPECT_EQ(f.Description(), QStringLiteral("PCM: 8 000 Hz, 16 bitů, mono"));
    // The encoder-only format still gets the PCM that feeds it.
    f.SuggestPCMFrom(Suggested(WAVE_FORMAT_MPEGLAYER3, Pcm(44100, 16, 2)));
    EXPECT_EQ(f.Description(), QStringLiteral("PCM: 44 100 Hz, 16 bitů, stereo"));
    f.SuggestPCMFrom(TdeWaveFormat());
    EXPECT_TRUE(f.IsEqual(TdeWaveFormat()));

    TdeWaveFormat unknown;
    unknown.SetFormatTag(0x7777);
    const TdeWaveFormat before = f;
    try {
        f.SuggestPCMFrom(unknown);
        FAIL();
    } catch (const EACMConversionError &e) {
        EXPECT_EQ(e.message(), QStringLiteral("The requested operation cannot be performed."));
    }
    EXPECT_TRUE(f.IsEqual(before));
}

TEST(WaveFormat, StreamQueryHonoursBothFormats)
{
    const TdeWaveFormat gsm = Suggested(WAVE_FORMAT_GSM610, Pcm(8000, 16, 1));
    EXPECT_TRUE(Pcm(8000, 16, 1).CanConvertTo(gsm, false));
    EXPECT_TRUE(Pcm(8000, 16, 1).CanConvertTo(gsm, true));
    EXPECT_TRUE(gsm.CanConvertTo(Pcm(8000, 16, 1), false));
    EXPECT_FALSE(Pcm(44100, 16, 2).CanConvertTo(gsm, false));
    EXPECT_TRUE(Pcm(44100, 16, 2).CanConvertTo(Pcm(8000, 8, 1), false));
    const TdeWaveFormat mp3 = Suggested(WAVE_FORMAT_MPEGLAYER3, Pcm(16000, 16, 1));
    EXPECT_TRUE(Pcm(16000, 16, 1).CanConvertTo(mp3, false));
    EXPECT_FALSE(mp3.CanConvertTo(Pcm(16000, 16, 1), false)); // encoding only
}

namespace {
// Stands in for the chooser window: answers with a preset result and format.
class FakeChooser : public IAcmFormatChooser {
public:
    MMRESULT result = MMSYSERR_NOERROR;
    TdeWaveFormat answer;
    QString seenTitle;
    TdeWaveFormat seenInitial;
    uint32_t seenStyle = 0;
    MMRESULT Choose(ACMFORMATCHOOSE &choose) override
    {
        seenTitle = QString::fromUtf16(choose.pszTitle);
        seenStyle = choose.fdwStyle;
        std::memcpy(seenInitial.Bytes(), choose.pwfx, choose.cbwfx);
        // A chooser may scribble on the working copy even when it does not accept.
        std::memset(choose.pwfx, 0xAB, 18);
        if (result == MMSYSERR_NOERROR)
            std::memcpy(choose.pwfx, answer.Bytes(), choose.cbwfx);
        return result;
    }
};

class ChooserTest : public ::testing::Test {
protected:
    void SetUp() override { previous = InstallAcmFormatChooser(&chooser); }
    void TearDown() override { InstallAcmFormatChooser(previous); }
    FakeChooser chooser;
    IAcmFormatChooser *previous = nullptr;
};
} // namespace

TEST_F(ChooserTest, AcceptedFormatReplacesTheImage)
{
    chooser.answer = Suggested(WAVE_FORMAT_GSM610, Pcm(8000, 16, 1));
    TdeWaveFormat f = Pcm(8000, 16, 1);
    EXPECT_TRUE(f.ChooseFormat(QStringLiteral("Formát nahrávání")));
    EXPECT_TRUE(f.IsEqual(chooser.answer));
    EXPECT_EQ(chooser.seenTitle, QStringLiteral("Formát nahrávání"));
    EXPECT_EQ(chooser.seenStyle, ACMFORMATCHOOSE_STYLEF_INITTOWFXSTRUCT);
    EXPECT_TRUE(chooser.seenInitial.IsEqual(Pcm(8000, 16, 1)));
}

TEST_F(ChooserTest, CancelAndFailureLeaveTheFormat)
{
    const TdeWaveFormat original = Pcm(22050, 16, 2);
    TdeWaveFormat f = original;
    chooser.result = ACMERR_CANCELED;
    EXPECT_FALSE(f.ChooseFormat(QStringLiteral("x")));
    EXPECT_TRUE(f.IsEqual(original));
    chooser.result = MMSYSERR_NOMEM;
    try {
        f.ChooseFormat(QStringLiteral("x"));
        FAIL();
    } catch (const EACMConversionError &e) {
        EXPECT_EQ(e.message(), QStringLiteral("Error selecting format.\r\nThe system is unable to allocate resources."));
    }
    EXPECT_TRUE(f.IsEqual(original));
    // No chooser installed: the platform has nothing to offer.
    InstallAcmFormatChooser(nullptr);
    EXPECT_THROW(f.ChooseFormat(QStringLiteral("x")), EACMConversionError);
    EXPECT_TRUE(f.IsEqual(original));
}

TEST(ResultCodes, EveryTextOfTheTable)
{
    const struct {
        MMRESULT code;
        const char *text;
    } table[] = {
        {2, "Bad device ID."},
        {3, "Driver not enabled."},
        {4, "Device already allocated."},
        {5, "The specified handle is invalid."},
        {6, "A suitable driver is not available to provide valid format selections."},
        {7, "The system is unable to allocate resources."},
        {8, "Function not supported."},
        {10, "At least one flag is invalid."},
        {11, "At least one parameter is invalid."},
        {12, "Device handle in use."},
        {32, "The selected audio format is not supported on this machine."},
        {33, "Audio device is still playing."},
        {34, "Cannot perform this action on a header that has not been prepared."},
        {35, "Device is synchronous."},
        {512, "The requested operation cannot be performed."},
        {513, "The conversion stream is already in use."},
        {514, "Cannot perform this action on a header that has not been prepared."},
        {1, "An unexpected error has occurred (code #1)."},
        {515, "An unexpected error has occurred (code #515)."},
    };
    for (const auto &row : table) {
        EXPECT_EQ(MMResultText(row.code), QString::fromLatin1(row.text)) << row.code;
        EXPECT_EQ(MMResultText(row.code, QStringLiteral("Error opening audio device for input.")),
                  QStringLiteral("Error opening audio device for input.\r\n") + QString::fromLatin1(row.text));
    }
}

TEST(ResultCodes, CheckRaisesTheRequestedClass)
{
    EXPECT_NO_THROW(CheckMMResult(0, QStringLiteral("prefix")));
    try {
        CheckMMResult<EACMAudioInError>(2, QStringLiteral("Error opening audio device for input."));
        FAIL();
    } catch (const EACMAudioIOError &e) {
        EXPECT_NE(dynamic_cast<const EACMAudioInError *>(&e), nullptr);
        EXPECT_EQ(e.message(), QStringLiteral("Error opening audio device for input.\r\nBad device ID."));
    }
    try {
        CheckMMResult<EACMCodecError>(8);
        FAIL();
    } catch (const Exception &e) {
        EXPECT_NE(dynamic_cast<const EACMError *>(&e), nullptr);
        EXPECT_STREQ(e.what(), "Function not supported.");
    }
    EXPECT_THROW(CheckMMResult<EACMAudioOutError>(7), EACMAudioIOError);
}
