#include "inputex.h"

#include "lcscommon.h"

#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QStyle>

namespace {
// Client area of the form; the outer height with the title bar is 130.
constexpr int kClientWidth = 270;
constexpr int kClientHeight = 100;
} // namespace

Tfinputex::Tfinputex(const QString &caption, const QString &prompt, const QString &value, QWidget *parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint
                          | Qt::WindowCloseButtonHint)
{
    setWindowTitle(caption);
    setFixedSize(kClientWidth, kClientHeight);

    lbprompt = new QLabel(prompt, this);
    lbprompt->move(22, 12);
    lbprompt->adjustSize();

    edvalue = new QLineEdit(value, this);
    edvalue->setGeometry(22, 30, 225, 21);
    lbprompt->setBuddy(edvalue);

    btnok = new QPushButton(CommonText(1), this);
    btnok->setGeometry(50, 67, 75, 25);
    btnok->setDefault(true);
    connect(btnok, &QPushButton::clicked, this, &QDialog::accept);

    btncancel = new QPushButton(CommonText(2), this);
    btncancel->setGeometry(142, 67, 75, 25);
    connect(btncancel, &QPushButton::clicked, this, &QDialog::reject);

    if (QScreen *screen = QGuiApplication::primaryScreen())
        setGeometry(QStyle::alignedRect(Qt::LeftToRight, Qt::AlignCenter, size(), screen->availableGeometry()));
    edvalue->setFocus();
    edvalue->selectAll();
}

bool InputText(const QString &caption, const QString &prompt, QString &value)
{
    Tfinputex dialog(caption, prompt, value);
    if (dialog.exec() != QDialog::Accepted)
        return false;
    value = dialog.edvalue->text();
    return true;
}
