#include "frmfind.h"

#include "exception.h"
#include "formatsettings.h"
#include "lcscommon.h"
#include "memtable.h"
#include "myutils.h"

#include <QDate>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QStyle>
#include <QTime>
#include <QTimer>

namespace {
QString withText(int common, const QString &text)
{
    QString message = CommonText(common);
    message.replace(QStringLiteral("%s"), text);
    return message;
}

bool readsAsNumber(const QString &text)
{
    QString n = text.trimmed();
    const QChar decimal = SystemFormats().decimalSeparator;
    if (decimal != QLatin1Char('.') && n.contains(QLatin1Char('.')))
        return false;
    n.replace(decimal, QLatin1Char('.'));
    bool ok = false;
    n.toDouble(&ok);
    return ok && !n.isEmpty();
}

bool readsAsTime(const QString &text)
{
    const QString t = text.trimmed();
    for (const QString &format : {SystemFormats().longTimeFormat, QStringLiteral("H:mm:ss"), QStringLiteral("H:mm")})
        if (QTime::fromString(t, format).isValid())
            return true;
    return false;
}
} // namespace

Tffrmfind::Tffrmfind(QWidget *parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint
                          | Qt::WindowCloseButtonHint)
{
    setWindowTitle(CommonText(73));
    setFixedSize(273, 104);

    Label1 = new QLabel(this);
    Label1->setGeometry(10, 8, 253, 16);
    QPalette navy = Label1->palette();
    navy.setColor(QPalette::WindowText, QColor(0, 0, 128));
    Label1->setPalette(navy);

    Edit1 = new QLineEdit(this);
    Edit1->setGeometry(10, 28, 253, 22);
    Label1->setBuddy(Edit1);

    btnok = new QPushButton(CommonText(74), this);
    btnok->setGeometry(10, 68, 75, 25);
    btnok->setDefault(true);
    btnaccurate = new QPushButton(CommonText(75), this);
    btnaccurate->setGeometry(94, 68, 90, 25);
    btncancel = new QPushButton(CommonText(2), this);
    btncancel->setGeometry(193, 68, 70, 25);

    connect(btnok, &QPushButton::clicked, this, [this] { btnokClick(btnok); });
    connect(btnaccurate, &QPushButton::clicked, this, [this] { btnokClick(btnaccurate); });
    connect(btncancel, &QPushButton::clicked, this, &QDialog::reject);

    if (QScreen *screen = QGuiApplication::primaryScreen())
        setGeometry(QStyle::alignedRect(Qt::LeftToRight, Qt::AlignCenter, size(), screen->availableGeometry()));
}

void Tffrmfind::CheckText(const TField *field, const QString &text)
{
    if (!field)
        return;
    switch (field->dataType()) {
    case TFieldType::SmallInt:
    case TFieldType::Integer:
    case TFieldType::Word:
    case TFieldType::AutoInc: {
        bool ok = false;
        text.trimmed().toLongLong(&ok);
        if (!ok)
            throw Exception(withText(16, text));
        break;
    }
    case TFieldType::Float:
    case TFieldType::Currency:
    case TFieldType::BCD:
        if (!readsAsNumber(text))
            throw Exception(withText(76, text));
        break;
    case TFieldType::Date: {
        double value = 0;
        if (!ParseDateTimeText(text, value) || text.trimmed().contains(QLatin1Char(' ')))
            throw Exception(withText(77, text));
        break;
    }
    case TFieldType::Time:
        if (!readsAsTime(text))
            throw Exception(withText(78, text));
        break;
    case TFieldType::DateTime: {
        double value = 0;
        if (!ParseDateTimeText(text, value))
            throw Exception(withText(79, text));
        break;
    }
    default:
        break;
    }
}

void Tffrmfind::btnokClick(QPushButton *sender)
{
    if (Field) {
        const QString text = Edit1->text();
        Edit1->setFocus();
        try {
            CheckText(Field, text);
        } catch (const Exception &e) {
            // The dialog stays open for a corrected text.
            ShowMessageBox(e.message(), mkError, mbOK);
            return;
        }
    }
    Accurate = sender == btnaccurate;
    accept();
}

void Tffrmfind::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    if (!FirstActivate) {
        FirstActivate = true;
        // After the focus has put the selection on the text.
        QTimer::singleShot(0, Edit1, [edit = Edit1] { edit->deselect(); edit->end(false); });
    } else {
        Edit1->selectAll();
    }
}
