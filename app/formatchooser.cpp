#include "formatchooser.h"

#include <QApplication>
#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>
#include <cstring>

namespace {

QString TextOf(const char16_t *text, int capacity)
{
    int n = 0;
    while (n < capacity && text[n] != 0)
        ++n;
    return QString::fromUtf16(text, n);
}

void CopyText(char16_t *target, int capacity, const QString &text)
{
    const int n = qMin(int(text.size()), capacity - 1);
    std::memcpy(target, text.utf16(), size_t(n) * sizeof(char16_t));
    target[n] = 0;
}

const WAVEFORMATEX &Wfx(const QByteArray &image) { return *reinterpret_cast<const WAVEFORMATEX *>(image.constData()); }

} // namespace

TFormatChooserDialog::TFormatChooserDialog(QWidget *parent) : QDialog(parent)
{
    setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
    lb_formattag = new QLabel(QStringLiteral("&Formát:"), this);
    cb_formattag = new QComboBox(this);
    lb_format = new QLabel(QStringLiteral("&Atributy:"), this);
    cb_format = new QComboBox(this);
    lb_formattag->setBuddy(cb_formattag);
    lb_format->setBuddy(cb_format);
    cb_formattag->setMinimumWidth(300);
    cb_format->setMinimumWidth(300);
    cb_format->setMaxVisibleItems(16);

    btnok = new QPushButton(QStringLiteral("OK"), this);
    btncancel = new QPushButton(QStringLiteral("Zrušit"), this);
    btnok->setDefault(true);

    auto *grid = new QGridLayout;
    grid->addWidget(lb_formattag, 0, 0);
    grid->addWidget(cb_formattag, 0, 1);
    grid->addWidget(lb_format, 1, 0);
    grid->addWidget(cb_format, 1, 1);
    grid->setColumnStretch(1, 1);
    auto *buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(btnok);
    buttons->addWidget(btncancel);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(grid);
    layout->addLayout(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);

    connect(btnok, &QPushButton::clicked, this, [this] {
        if (!SelectedFormat().isEmpty())
            accept();
    });
    connect(btncancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(cb_formattag, &QComboBox::currentIndexChanged, this, [this](int index) { formatTagChanged(index); });
}

bool TFormatChooserDialog::SameFormat(const WAVEFORMATEX &a, const WAVEFORMATEX &b)
{
    if (a.wFormatTag != b.wFormatTag)
        return false;
    // A PCM format is complete in its first 16 bytes; its cbSize may be left out.
    if (a.wFormatTag == WAVE_FORMAT_PCM)
        return std::memcmp(&a, &b, 16) == 0;
    const uint32_t size = AcmFormatSize(a);
    return size == AcmFormatSize(b) && std::memcmp(&a, &b, size) == 0;
}

void TFormatChooserDialog::Init(const WAVEFORMATEX *initial, int onlyTag)
{
    const QSignalBlocker block(cb_formattag);
    cb_formattag->clear();
    ACMFORMATTAGDETAILS details{};
    details.cbStruct = sizeof(details);
    acmFormatTagEnum(
        &details,
        [&](const ACMFORMATTAGDETAILS &tag) {
            if (onlyTag < 0 || tag.dwFormatTag == uint32_t(onlyTag))
                cb_formattag->addItem(TextOf(tag.szFormatTag, ACMFORMATTAGDETAILS_FORMATTAG_CHARS),
                                      int(tag.dwFormatTag));
            return true;
        },
        0);

    int tagIndex = initial ? cb_formattag->findData(int(initial->wFormatTag)) : -1;
    if (tagIndex < 0 && cb_formattag->count() > 0)
        tagIndex = 0;
    cb_formattag->setCurrentIndex(tagIndex);
    SelectTag(tagIndex);

    if (initial && tagIndex >= 0 && cb_formattag->itemData(tagIndex).toInt() == initial->wFormatTag) {
        for (int i = 0; i < cb_format->count(); ++i) {
            if (SameFormat(Wfx(cb_format->itemData(i).toByteArray()), *initial)) {
                cb_format->setCurrentIndex(i);
                break;
            }
        }
    }
}

void TFormatChooserDialog::SelectTag(int index)
{
    cb_format->clear();
    if (index < 0 || index >= cb_formattag->count())
        return;
    if (cb_formattag->currentIndex() != index) {
        cb_formattag->setCurrentIndex(index); // refills through formatTagChanged
        return;
    }
    QByteArray buffer(int(ACM_MAX_FORMAT_SIZE), '\0');
    ACMFORMATDETAILS details{};
    details.cbStruct = sizeof(details);
    details.pwfx = reinterpret_cast<WAVEFORMATEX *>(buffer.data());
    details.cbwfx = ACM_MAX_FORMAT_SIZE;
    details.pwfx->wFormatTag = uint16_t(cb_formattag->itemData(index).toInt());
    acmFormatEnum(
        &details,
        [&](const ACMFORMATDETAILS &format) {
            const QByteArray image(reinterpret_cast<const char *>(format.pwfx), int(AcmFormatSize(*format.pwfx)));
            cb_format->addItem(TextOf(format.szFormat, ACMFORMATDETAILS_FORMAT_CHARS), image);
            return true;
        },
        ACM_FORMATENUMF_WFORMATTAG);
    if (cb_format->count() > 0)
        cb_format->setCurrentIndex(0);
}

void TFormatChooserDialog::formatTagChanged(int index) { SelectTag(index); }

QByteArray TFormatChooserDialog::SelectedFormat() const
{
    return cb_format->currentIndex() < 0 ? QByteArray() : cb_format->currentData().toByteArray();
}

QString TFormatChooserDialog::SelectedTagName() const { return cb_formattag->currentText(); }

QString TFormatChooserDialog::SelectedFormatText() const { return cb_format->currentText(); }

MMRESULT TFormatChooser::Choose(ACMFORMATCHOOSE &choose)
{
    if (!choose.pwfx || choose.cbwfx < sizeof(WAVEFORMATEX))
        return MMSYSERR_INVALPARAM;
    // Listing restrictions other than "one format tag" are not offered by this chooser.
    if (choose.fdwEnum & ~ACM_FORMATENUMF_WFORMATTAG)
        return MMSYSERR_NOTSUPPORTED;
    int onlyTag = -1;
    if (choose.fdwEnum & ACM_FORMATENUMF_WFORMATTAG) {
        if (!choose.pwfxEnum)
            return MMSYSERR_INVALPARAM;
        onlyTag = choose.pwfxEnum->wFormatTag;
    }

    QWidget *owner = static_cast<QWidget *>(choose.hwndOwner);
    if (!owner)
        owner = QApplication::activeModalWidget() ? QApplication::activeModalWidget() : QApplication::activeWindow();
    TFormatChooserDialog dialog(owner);
    if (choose.pszTitle)
        dialog.setWindowTitle(QString::fromUtf16(choose.pszTitle));
    dialog.Init((choose.fdwStyle & ACMFORMATCHOOSE_STYLEF_INITTOWFXSTRUCT) ? choose.pwfx : nullptr, onlyTag);
    if (dialog.exec() != QDialog::Accepted)
        return ACMERR_CANCELED;

    const QByteArray image = dialog.SelectedFormat();
    if (image.isEmpty())
        return ACMERR_CANCELED;
    if (uint32_t(image.size()) > choose.cbwfx)
        return ACMERR_NOTPOSSIBLE;
    std::memcpy(choose.pwfx, image.constData(), size_t(image.size()));
    if (image.size() < int(sizeof(WAVEFORMATEX)))
        choose.pwfx->cbSize = 0; // a 16-byte PCM image has no cbSize of its own
    CopyText(choose.szFormatTag, ACMFORMATTAGDETAILS_FORMATTAG_CHARS, dialog.SelectedTagName());
    CopyText(choose.szFormat, ACMFORMATDETAILS_FORMAT_CHARS, dialog.SelectedFormatText());
    return MMSYSERR_NOERROR;
}

void InstallFormatChooserWindow()
{
    static TFormatChooser chooser;
    IAcmFormatChooser *previous = InstallAcmFormatChooser(&chooser);
    if (previous && previous != &chooser)
        InstallAcmFormatChooser(previous); // keep the one that was there
}
