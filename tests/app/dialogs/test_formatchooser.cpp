#include "formatchooser.h"

#include <QComboBox>
#include <QPushButton>
#include <gtest/gtest.h>

#include "deACM.h"
#include "dialogkit.h"

namespace {

const WAVEFORMATEX &Wfx(const QByteArray &image) { return *reinterpret_cast<const WAVEFORMATEX *>(image.constData()); }

QStringList CodecManagerTags()
{
    QStringList names;
    ACMFORMATTAGDETAILS details{};
    details.cbStruct = sizeof(details);
    acmFormatTagEnum(
        &details,
        [&](const ACMFORMATTAGDETAILS &tag) {
            names << QString::fromUtf16(tag.szFormatTag);
            return true;
        },
        0);
    return names;
}

QStringList Items(const QComboBox *combo)
{
    QStringList items;
    for (int i = 0; i < combo->count(); ++i)
        items << combo->itemText(i);
    return items;
}

// The format chooser window installed for the test's lifetime.
class FormatChooserTest : public ::testing::Test {
protected:
    FormatChooserTest() : m_previous(InstallAcmFormatChooser(&chooser)) {}
    ~FormatChooserTest() override { InstallAcmFormatChooser(m_previous); }
    TFormatChooser chooser;

private:
    IAcmFormatChooser *m_previous;
};

TEST_F(FormatChooserTest, ListsEveryTagThenTheFormatsOfTheChosenTag)
{
    TFormatChooserDialog dialog;
    dialog.Init(nullptr);
    const QStringList tags = CodecManagerTags();
    ASSERT_GE(tags.size(), 6);
    EXPECT_EQ(Items(dialog.cb_formattag), tags);
    EXPECT_EQ(dialog.cb_formattag->currentIndex(), 0);
    EXPECT_EQ(dialog.cb_format->currentIndex(), 0);

    for (int i = 0; i < dialog.cb_formattag->count(); ++i) {
        dialog.cb_formattag->setCurrentIndex(i);
        const int tag = dialog.cb_formattag->itemData(i).toInt();
        ASSERT_GT(dialog.cb_format->count(), 0) << tags[i].toStdString();
        for (int f = 0; f < dialog.cb_format->count(); ++f) {
            const QByteArray image = dialog.cb_format->itemData(f).toByteArray();
            EXPECT_EQ(Wfx(image).wFormatTag, tag);
            EXPECT_EQ(uint32_t(image.size()), AcmFormatSize(Wfx(image)));
            EXPECT_FALSE(dialog.cb_format->itemText(f).isEmpty());
        }
    }
}

TEST_F(FormatChooserTest, SelectsTheCurrentFormat)
{
    TFormatChooserDialog dialog;
    dialog.Init(nullptr);
    const int alaw = dialog.cb_formattag->findData(int(WAVE_FORMAT_ALAW));
    ASSERT_GE(alaw, 0);
    dialog.cb_formattag->setCurrentIndex(alaw);
    ASSERT_GT(dialog.cb_format->count(), 3);
    const QByteArray third = dialog.cb_format->itemData(3).toByteArray();

    TFormatChooserDialog again;
    again.Init(&Wfx(third));
    EXPECT_EQ(again.cb_formattag->currentIndex(), alaw);
    EXPECT_EQ(again.cb_format->currentIndex(), 3);
    EXPECT_EQ(again.SelectedFormat(), third);

    // A PCM format with cbSize unset still finds itself; one that is not offered selects the first.
    TdeWaveFormat pcm; // PCM 11025 Hz, 8 bits, stereo
    pcm.Bytes()[16] = 0x7f;
    again.Init(pcm.Data());
    EXPECT_EQ(again.cb_formattag->currentData().toInt(), WAVE_FORMAT_PCM);
    EXPECT_TRUE(TFormatChooserDialog::SameFormat(Wfx(again.SelectedFormat()), *pcm.Data()));
    pcm.SetSamplesPerSec(12345);
    again.Init(pcm.Data());
    EXPECT_EQ(again.cb_format->currentIndex(), 0);

    // Restricted to one tag, only that tag is offered.
    again.Init(nullptr, WAVE_FORMAT_GSM610);
    EXPECT_EQ(Items(again.cb_formattag), QStringList({QStringLiteral("GSM 6.10")}));
}

TEST_F(FormatChooserTest, ChooseFormatTakesTheChoiceOrKeepsTheFormatOnCancel)
{
    TdeWaveFormat format;
    const TdeWaveFormat original = format;
    QString title;
    WhenModal<TFormatChooserDialog>([&](TFormatChooserDialog *w) {
        title = w->windowTitle();
        EXPECT_EQ(w->cb_formattag->currentData().toInt(), WAVE_FORMAT_PCM);
        w->cb_formattag->setCurrentIndex(w->cb_formattag->findData(int(WAVE_FORMAT_GSM610)));
        w->btncancel->click();
    });
    EXPECT_FALSE(format.ChooseFormat(QStringLiteral("Formát výstupu audia")));
    EXPECT_EQ(title, QStringLiteral("Formát výstupu audia"));
    EXPECT_TRUE(format.IsEqual(original));

    QByteArray chosen;
    WhenModal<TFormatChooserDialog>([&](TFormatChooserDialog *w) {
        w->cb_formattag->setCurrentIndex(w->cb_formattag->findData(int(WAVE_FORMAT_GSM610)));
        w->cb_format->setCurrentIndex(w->cb_format->count() - 1);
        chosen = w->SelectedFormat();
        w->btnok->click();
    });
    ASSERT_TRUE(format.ChooseFormat(QStringLiteral("Formát výstupu audia")));
    EXPECT_EQ(format.FormatTag(), WAVE_FORMAT_GSM610);
    EXPECT_EQ(QByteArray(reinterpret_cast<const char *>(format.Bytes()), chosen.size()), chosen);
    EXPECT_TRUE(format.Description().startsWith(QStringLiteral("GSM 6.10: ")));

    // Back to PCM: the shorter image leaves no stale extra length behind.
    WhenModal<TFormatChooserDialog>([&](TFormatChooserDialog *w) {
        EXPECT_EQ(w->cb_formattag->currentData().toInt(), WAVE_FORMAT_GSM610);
        EXPECT_EQ(w->SelectedFormat(), chosen);
        w->cb_formattag->setCurrentIndex(w->cb_formattag->findData(int(WAVE_FORMAT_PCM)));
        w->btnok->click();
    });
    ASSERT_TRUE(format.ChooseFormat(QStringLiteral("Formát výstupu audia")));
    EXPECT_EQ(format.FormatTag(), WAVE_FORMAT_PCM);
    EXPECT_EQ(format.CbSize(), 0);
}

TEST(FormatChooserInstallTest, KeepsAChooserThatIsAlreadyInstalled)
{
    TFormatChooser other;
    IAcmFormatChooser *previous = InstallAcmFormatChooser(&other);
    InstallFormatChooserWindow();
    EXPECT_EQ(InstallAcmFormatChooser(previous), &other);
}

} // namespace
