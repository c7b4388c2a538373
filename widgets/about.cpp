#include "about.h"

#include "myutils.h"

#include <QApplication>
#include <QDir>
#include <QFrame>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QScreen>
#include <QStyle>
#include <algorithm>

const char kMakerNotice[] = "Copyright © 2026 Tembrel. Všechna práva vyhrazena.";
const char kMakerMail[] = "info@tembrel.example";
const char kMakerWeb[] = "https://www.tembrel.example";
const char kNoMailProgramText[] = "Nepodařilo se najít program asociovaný k odeslání e-mailu!";
const char kNoBrowserText[] = "Nepodařilo se najít program asociovaný k otevření webové stránky!";

namespace {
const QColor kMakerColor(156, 0, 66);
} // namespace

TLinkLabel::TLinkLabel(const QString &text, QWidget *parent) : QLabel(text, parent)
{
    setCursor(Qt::PointingHandCursor);
}

void TLinkLabel::mouseReleaseEvent(QMouseEvent *event)
{
    if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint()) && OnClick)
        OnClick();
    QLabel::mouseReleaseEvent(event);
}

QString AboutVersionText(const QString &version)
{
    QString rest = version;
    const QString major = SplitFirst(rest, QStringLiteral("."));
    const QString minor = SplitFirst(rest, QStringLiteral("."));
    const QString release = SplitFirst(rest, QStringLiteral("."));
    return major + QLatin1Char('.') + minor + QStringLiteral(", release ") + release + QStringLiteral(", build ")
           + rest;
}

QPixmap ProductLogo(int size)
{
    // A rounded tile with a handset and three sound waves: a line that is listened to.
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    const qreal s = size / 48.0;
    p.scale(s, s);
    p.setPen(Qt::NoPen);
    p.setBrush(kMakerColor);
    p.drawRoundedRect(QRectF(1, 1, 46, 46), 9, 9);

    QPainterPath handset;
    handset.moveTo(11, 13);
    handset.cubicTo(14, 10, 17, 11, 18, 14);
    handset.lineTo(19, 18);
    handset.cubicTo(19.5, 20, 18, 21, 16.5, 21.5);
    handset.cubicTo(17, 25, 19.5, 29, 23, 31);
    handset.cubicTo(24, 29.5, 25.5, 28.5, 27.5, 29.5);
    handset.lineTo(31, 31);
    handset.cubicTo(34, 32.5, 33.5, 35.5, 31, 37.5);
    handset.cubicTo(22, 42, 6, 26, 11, 13);
    p.setBrush(Qt::white);
    p.drawPath(handset);

    QPen wave(Qt::white, 2.2, Qt::SolidLine, Qt::RoundCap);
    p.setPen(wave);
    p.setBrush(Qt::NoBrush);
    for (int i = 0; i < 3; ++i) {
        const qreal r = 6 + 5 * i;
        p.drawArc(QRectF(24 - r, 24 - r, 2 * r, 2 * r).translated(6, -6), 0 * 16, 90 * 16);
    }
    return pixmap;
}

Tfabout::Tfabout(const QString &versionFile, QWidget *parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint
                          | Qt::WindowCloseButtonHint)
{
    const bool slovak = LanguageIndex() == 3;
    setWindowTitle(slovak ? QStringLiteral("O aplikácii") : QStringLiteral("O aplikaci"));
    setFixedSize(272, 204);
    setAutoFillBackground(true);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, Qt::white);
    setPalette(pal);

    imgicon = new QLabel(this);
    imgicon->setGeometry(12, 10, 32, 32);
    const QIcon icon = QApplication::windowIcon();
    imgicon->setPixmap(icon.isNull() ? ProductLogo(32) : icon.pixmap(32, 32));

    lprogcaption = new QLabel(QStringLiteral("Program:"), this);
    lprogcaption->setGeometry(56, 10, 56, 16);
    lvercaption = new QLabel(slovak ? QStringLiteral("Verzia:") : QStringLiteral("Verze:"), this);
    lvercaption->setGeometry(56, 28, 56, 16);

    lprog = new QLabel(ApplicationTitle(), this);
    QFont bold = lprog->font();
    bold.setBold(true);
    lprog->setFont(bold);
    lver = new QLabel(AboutVersionText(GetVersionInfo(versionFile, VersionKind::Product)), this);
    // The values start after the wider caption in the font in use, not at a fixed place.
    const int captions = std::max(lprogcaption->fontMetrics().horizontalAdvance(lprogcaption->text()),
                                  lvercaption->fontMetrics().horizontalAdvance(lvercaption->text()));
    const int valueLeft = std::max(112, 56 + captions + 8);
    lprogcaption->setFixedWidth(valueLeft - 56);
    lvercaption->setFixedWidth(valueLeft - 56);
    lprog->setGeometry(valueLeft, 10, width() - valueLeft - 6, 16);
    lver->setGeometry(valueLeft, 28, width() - valueLeft - 6, 16);

    auto *rule = new QFrame(this);
    rule->setFrameShape(QFrame::HLine);
    rule->setFrameShadow(QFrame::Sunken);
    rule->setGeometry(8, 52, 256, 4);

    imglogo = new QLabel(this);
    imglogo->setGeometry(20, 63, 48, 48);
    imglogo->setPixmap(ProductLogo(48));

    QPalette maker = palette();
    maker.setColor(QPalette::WindowText, kMakerColor);
    lnotice = new QLabel(QString::fromUtf8(kMakerNotice), this);
    lnotice->setWordWrap(true);
    lnotice->setGeometry(80, 63, 184, 32);
    lmail = new TLinkLabel(QString::fromUtf8(kMakerMail), this);
    lmail->setGeometry(80, 104, 184, 16);
    lweb = new TLinkLabel(QString::fromUtf8(kMakerWeb), this);
    lweb->setGeometry(80, 124, 184, 16);
    for (QLabel *line : {lnotice, static_cast<QLabel *>(lmail), static_cast<QLabel *>(lweb)})
        line->setPalette(maker);
    // A long path wraps at its separators (zero-width spaces), and the tip holds it whole.
    const QString folder = QDir::toNativeSeparators(DataDirectory());
    QString wrappable = folder;
    wrappable.replace(QLatin1Char('/'), QStringLiteral("/\u200B"));
    ldatafolder = new QLabel(
        (slovak ? QStringLiteral("Dátový priečinok: ") : QStringLiteral("Datová složka: ")) + wrappable, this);
    ldatafolder->setToolTip(folder);
    ldatafolder->setWordWrap(true);
    ldatafolder->setGeometry(12, 150, 252, 46);
    ldatafolder->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    // The box may be gone when the opener fails: the reports hold on to nothing of it.
    lmail->OnClick = [this] {
        const auto failed = [] { ShowMessageBox(QString::fromUtf8(kNoMailProgramText), mkError, mbOK); };
        if (!SendMail(lmail->text(), QString(), failed))
            failed();
    };
    lweb->OnClick = [this] {
        const auto failed = [] { ShowMessageBox(QString::fromUtf8(kNoBrowserText), mkError, mbOK); };
        if (!OpenDocument(lweb->text(), true, failed))
            failed();
    };

    if (QScreen *screen = QGuiApplication::primaryScreen())
        setGeometry(QStyle::alignedRect(Qt::LeftToRight, Qt::AlignCenter, size(), screen->availableGeometry()));
}

void ShowAbout(const QString &versionFile)
{
    Tfabout box(versionFile);
    box.exec();
}
