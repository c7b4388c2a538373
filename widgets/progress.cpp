#include "progress.h"

#include "windowfont.h"

#include "myutils.h"

#include <QApplication>
#include <QCloseEvent>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QStyle>

Tfprogress::Tfprogress(QWidget *parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint)
{
    setFixedSize(344, 82);
    setFont(WindowFont());

    lbmessage = new QLabel(this);
    lbmessage->setGeometry(6, 5, 331, 14);

    pb = new QProgressBar(this);
    pb->setGeometry(5, 21, 332, 22);
    pb->setTextVisible(false);
    pb->setRange(0, 1);
    pb->setValue(0);

    // Shown for the look of it; exports cannot be aborted.
    const int language = LanguageIndex();
    btnabort = new QPushButton(language == 1 ? QStringLiteral("&Abort")
                               : language == 3 ? QStringLiteral("&Prerušiť")
                                               : QStringLiteral("&Přerušit"),
                               this);
    btnabort->setGeometry(262, 50, 75, 25);
    btnabort->setEnabled(false);

    if (QScreen *screen = QGuiApplication::primaryScreen())
        setGeometry(QStyle::alignedRect(Qt::LeftToRight, Qt::AlignCenter, size(), screen->availableGeometry()));
}

void Tfprogress::StandFor(QWidget *window)
{
    if (window && window != this && window->isEnabled()) {
        window->setEnabled(false);
        m_disabled = window;
    }
}

void Tfprogress::reject()
{
    // Esc lands here; it closes nothing unless closing is allowed.
    if (m_canClose || QCoreApplication::closingDown())
        QDialog::reject();
}

void Tfprogress::closeEvent(QCloseEvent *event)
{
    if (m_canClose || QCoreApplication::closingDown())
        QDialog::closeEvent(event);
    else
        event->ignore();
}

Tfprogress *ProgressShow(const QString &caption, const QString &message, int maximum, QWidget *standFor)
{
    if (!standFor)
        standFor = QApplication::activeWindow();
    auto *window = new Tfprogress;
    window->setWindowTitle(caption);
    window->lbmessage->setText(message);
    // A range of 0..0 would animate as "busy"; an empty bar is what is meant.
    window->pb->setRange(0, maximum > 0 ? maximum : 1);
    window->pb->setValue(0);
    window->StandFor(standFor);
    window->show();
    window->raise();
    window->activateWindow();
    window->repaint();
    return window;
}

void ProgressMessage(Tfprogress *window, const QString &message)
{
    if (!window)
        return;
    window->lbmessage->setText(message);
    window->lbmessage->repaint();
}

void ProgressClose(Tfprogress *&window)
{
    if (!window)
        return;
    if (QWidget *disabled = window->DisabledWindow())
        disabled->setEnabled(true);
    window->AllowClose();
    window->close();
    delete window;
    window = nullptr;
}
