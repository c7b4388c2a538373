#pragma once
// The window that lineConfigDialog shows for a line: the line's name, its provider and
// its address, read from the line service. InstallLineConfigWindow() puts it behind the
// line service once (the settings dialog makes sure of it when it is created), so the
// "Nastavení zařízení..." button of the settings dialog opens it for the chosen line.
#include <QDialog>

#include "lineservice.h"

class QLabel;
class QPushButton;

class TLineConfigDialog : public QDialog {
public:
    TLineConfigDialog(DWORD deviceId, const QString &lineName, QWidget *parent = nullptr);

    QLabel *lb_name;
    QLabel *lb_provider;
    QLabel *lb_address;
    QPushButton *btnok;
};

class TLineConfigWindow : public ILineConfigDialog {
public:
    LONG showLineConfig(DWORD deviceId, const QString &lineName, HWND owner) override;
};

// Installs the program's line configuration window unless the line service has one.
void InstallLineConfigWindow();
