#include "lineconfig.h"

#include <QApplication>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

TLineConfigDialog::TLineConfigDialog(DWORD deviceId, const QString &lineName, QWidget *parent) : QDialog(parent)
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

    btnok = new QPushButton(QStringLiteral("OK"), this);
    btnok->setDefault(true);
    connect(btnok, &QPushButton::clicked, this, &QDialog::accept);

    auto *form = new QFormLayout;
    form->addRow(QStringLiteral("Zařízení:"), lb_name);
    form->addRow(QStringLiteral("Poskytovatel:"), lb_provider);
    form->addRow(QStringLiteral("Adresa:"), lb_address);
    auto *buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(btnok);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addLayout(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);
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
