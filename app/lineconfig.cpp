#include "lineconfig.h"

#include "exception.h"
#include "myutils.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>

namespace {

QWidget *editorFor(const LineProperty &property, QWidget *parent)
{
    using Kind = LineProperty::Kind;
    switch (property.kind) {
    case Kind::Text:
    case Kind::Password: {
        auto *edit = new QLineEdit(property.value, parent);
        if (property.kind == Kind::Password)
            edit->setEchoMode(QLineEdit::Password);
        edit->setMinimumWidth(220);
        return edit;
    }
    case Kind::Number: {
        auto *spin = new QSpinBox(parent);
        spin->setRange(property.minimum, property.maximum);
        spin->setValue(property.value.toInt());
        return spin;
    }
    case Kind::Choice: {
        auto *combo = new QComboBox(parent);
        combo->addItems(property.choices);
        const int index = property.choices.indexOf(property.value);
        if (index >= 0) {
            combo->setCurrentIndex(index);
        } else if (!property.value.isEmpty()) {
            combo->setEditable(true);
            combo->setEditText(property.value);
        }
        return combo;
    }
    case Kind::Flag: {
        auto *check = new QCheckBox(parent);
        check->setChecked(property.value == QLatin1String("1"));
        return check;
    }
    case Kind::Info:
        break;
    }
    auto *label = new QLabel(property.value, parent);
    label->setTextInteractionFlags(Qt::TextSelectableByMouse);
    return label;
}

QString editorValue(const QWidget *editor)
{
    if (auto *edit = qobject_cast<const QLineEdit *>(editor))
        return edit->text();
    if (auto *spin = qobject_cast<const QSpinBox *>(editor))
        return QString::number(spin->value());
    if (auto *combo = qobject_cast<const QComboBox *>(editor))
        return combo->currentText();
    if (auto *check = qobject_cast<const QCheckBox *>(editor))
        return check->isChecked() ? QStringLiteral("1") : QStringLiteral("0");
    if (auto *label = qobject_cast<const QLabel *>(editor))
        return label->text();
    return QString();
}

} // namespace

TLineConfigDialog::TLineConfigDialog(DWORD deviceId, const QString &lineName, QWidget *parent)
    : QDialog(parent), m_deviceId(deviceId)
{
    setWindowTitle(lineName + QStringLiteral(" - vlastnosti"));
    setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);

    const LineDevice *device = LineService::instance().device(deviceId);
    lb_name = new QLabel(lineName, this);
    lb_provider = new QLabel(device ? device->providerInfo() : QString(), this);
    const QString address = device ? device->address() : QString();
    lb_address = new QLabel(address.isEmpty() ? QStringLiteral("-") : address, this);
    for (QLabel *label : {lb_name, lb_provider, lb_address})
        label->setTextInteractionFlags(Qt::TextSelectableByMouse);

    auto *form = new QFormLayout;
    form->addRow(QStringLiteral("Zařízení:"), lb_name);
    form->addRow(QStringLiteral("Poskytovatel:"), lb_provider);
    form->addRow(QStringLiteral("Adresa:"), lb_address);

    bool editable = false;
    if (device)
        m_properties = device->properties();
    for (const LineProperty &property : std::as_const(m_properties)) {
        QWidget *editor = editorFor(property, this);
        editor->setObjectName(property.key);
        Editors.append(editor);
        form->addRow(property.label, editor);
        editable = editable || property.kind != LineProperty::Kind::Info;
    }

    btnok = new QPushButton(QStringLiteral("OK"), this);
    btnok->setDefault(true);
    auto *buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(btnok);
    if (editable) {
        btncancel = new QPushButton(QStringLiteral("Zrušit"), this);
        connect(btncancel, &QPushButton::clicked, this, &QDialog::reject);
        buttons->addWidget(btncancel);
        connect(btnok, &QPushButton::clicked, this, [this] { btnokClick(); });
    } else {
        connect(btnok, &QPushButton::clicked, this, &QDialog::accept);
    }
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addLayout(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);
}

LineProperties TLineConfigDialog::EditedProperties() const
{
    LineProperties edited = m_properties;
    for (int i = 0; i < edited.size() && i < Editors.size(); ++i)
        edited[i].value = editorValue(Editors.at(i));
    return edited;
}

void TLineConfigDialog::btnokClick()
{
    LineDevice *device = LineService::instance().device(m_deviceId);
    if (!device) {
        ShowMessageBox(QStringLiteral("Zařízení již není k dispozici"), mkError, mbOK);
        return;
    }
    try {
        device->setProperties(EditedProperties());
    } catch (const std::exception &e) {
        ShowMessageBox(QString::fromUtf8(e.what()), mkError, mbOK);
        return;
    }
    accept();
}

LONG TLineConfigWindow::showLineConfig(DWORD deviceId, const QString &lineName, HWND owner)
{
    QWidget *parent = static_cast<QWidget *>(owner);
    if (!parent)
        parent = QApplication::activeModalWidget() ? QApplication::activeModalWidget() : QApplication::activeWindow();
    TLineConfigDialog dialog(deviceId, lineName, parent);
    dialog.exec();
    return 0;
}

void InstallLineConfigWindow()
{
    static TLineConfigWindow window;
    if (!LineService::instance().configDialog())
        LineService::instance().setConfigDialog(&window);
}
