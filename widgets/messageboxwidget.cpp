#include "messageboxwidget.h"

#include "filechooserwidget.h"
#include "waitcursorwidget.h"

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>

namespace {
QMessageBox::Icon iconOf(int kind)
{
    switch (kind) {
    case mkWarning: return QMessageBox::Warning;
    case mkError: return QMessageBox::Critical;
    case mkInformation: return QMessageBox::Information;
    case mkConfirmation: return QMessageBox::Question;
    default: return QMessageBox::NoIcon;
    }
}

// Button texts of the program's language; English keeps the toolkit's own.
QString buttonText(QMessageBox::StandardButton button)
{
    const int language = LanguageIndex();
    if (language == 1)
        return QString();
    const bool sk = language == 3;
    switch (button) {
    case QMessageBox::Ok: return QStringLiteral("OK");
    case QMessageBox::Cancel: return sk ? QStringLiteral("Zrušiť") : QStringLiteral("Storno");
    case QMessageBox::Yes: return sk ? QStringLiteral("&Áno") : QStringLiteral("&Ano");
    case QMessageBox::No: return sk ? QStringLiteral("&Nie") : QStringLiteral("&Ne");
    case QMessageBox::Abort: return sk ? QStringLiteral("&Prerušiť") : QStringLiteral("&Přerušit");
    case QMessageBox::Retry: return sk ? QStringLiteral("&Opakovať") : QStringLiteral("&Opakovat");
    case QMessageBox::Ignore: return sk ? QStringLiteral("&Ignorovať") : QStringLiteral("&Ignorovat");
    case QMessageBox::Help: return sk ? QStringLiteral("Pomocník") : QStringLiteral("Nápověda");
    default: return QString();
    }
}

// The buttons of an accepted set, the first being the default one.
QList<QMessageBox::StandardButton> buttonsOf(unsigned buttons)
{
    switch (buttons) {
    case mbOK | mbCancel: return {QMessageBox::Ok, QMessageBox::Cancel};
    case mbYes | mbNo: return {QMessageBox::Yes, QMessageBox::No};
    case mbYes | mbNo | mbCancel: return {QMessageBox::Yes, QMessageBox::No, QMessageBox::Cancel};
    case mbCancel | mbRetry: return {QMessageBox::Retry, QMessageBox::Cancel};
    case mbAbort | mbRetry | mbIgnore: return {QMessageBox::Abort, QMessageBox::Retry, QMessageBox::Ignore};
    default: return {QMessageBox::Ok};
    }
}

int codeOf(QMessageBox::StandardButton button)
{
    switch (button) {
    case QMessageBox::Ok: return mrOk;
    case QMessageBox::Cancel: return mrCancel;
    case QMessageBox::Abort: return mrAbort;
    case QMessageBox::Retry: return mrRetry;
    case QMessageBox::Ignore: return mrIgnore;
    case QMessageBox::Yes: return mrYes;
    case QMessageBox::No: return mrNo;
    default: return 0;
    }
}
} // namespace

QMessageBox *TMessageBoxWidget::createBox(const QString &text, const QString &caption, int kind,
                                          unsigned buttons, int helpContext)
{
    auto *box = new QMessageBox(iconOf(kind), caption, text, QMessageBox::NoButton, QApplication::activeWindow());
    const QList<QMessageBox::StandardButton> shown = buttonsOf(buttons);
    for (QMessageBox::StandardButton b : shown) {
        QPushButton *button = box->addButton(b);
        const QString label = buttonText(b);
        if (!label.isEmpty())
            button->setText(label);
    }
    box->setDefaultButton(shown.first());
    if (helpContext > 0) {
        QPushButton *help = box->addButton(QMessageBox::Help);
        if (!buttonText(QMessageBox::Help).isEmpty())
            help->setText(buttonText(QMessageBox::Help));
        // Help asks for help and leaves the box open, like the Help of a system box.
        QObject::disconnect(help, &QAbstractButton::clicked, nullptr, nullptr);
        QObject::connect(help, &QAbstractButton::clicked, box, [helpContext] { ShowHelpContext(helpContext); });
    }
    return box;
}

int TMessageBoxWidget::resultOf(QMessageBox *box, QAbstractButton *clicked)
{
    const int code = clicked ? codeOf(box->standardButton(clicked)) : 0;
    if (code != 0)
        return code;
    // Closed without a button: the answer of the box's escape choice.
    for (QMessageBox::StandardButton b : {QMessageBox::Cancel, QMessageBox::No, QMessageBox::Ok, QMessageBox::Abort})
        if (box->button(b))
            return codeOf(b);
    return mrCancel;
}

int TMessageBoxWidget::showBox(const QString &text, const QString &caption, int kind, unsigned buttons,
                               int helpContext)
{
    QMessageBox *box = createBox(text, caption, kind, buttons, helpContext);
    box->setWindowModality(box->parentWidget() ? Qt::WindowModal : Qt::ApplicationModal);
    box->exec();
    const int result = resultOf(box, box->clickedButton());
    delete box;
    return result;
}

void TMessageBoxWidget::showPlainMessage(const QString &text)
{
    QMessageBox box(QMessageBox::NoIcon, ApplicationTitle(), text, QMessageBox::Ok, QApplication::activeWindow());
    box.exec();
}

void InstallWidgetHandlers()
{
    static TMessageBoxWidget messageBox;
    static TOverrideCursorHandler cursor;
    static TFileChooserWidget fileChooser;
    SetMessageBoxHandler(&messageBox);
    SetCursorHandler(&cursor);
    SetFileChooser(&fileChooser);
}
