#pragma once
// The window that lineConfigDialog shows for a line: its name, provider and address, and
// below them the properties the line's provider offers, as a form. OK hands the edited
// properties back to the line; a value the line refuses keeps the window open with the
// reason. InstallLineConfigWindow() puts it behind the line service once (the settings
// dialog makes sure of it when it is created).
#include <QDialog>
#include <QList>

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
    QPushButton *btncancel = nullptr; // only where there is something to edit
    // One editor per property, in the line's order.
    QList<QWidget *> Editors;

    // The properties with the editors' values.
    LineProperties EditedProperties() const;

private:
    void btnokClick();

    DWORD m_deviceId;
    LineProperties m_properties;
};

class TLineConfigWindow : public ILineConfigDialog {
public:
    LONG showLineConfig(DWORD deviceId, const QString &lineName, HWND owner) override;
};

// Installs the program's line configuration window unless the line service has one.
void InstallLineConfigWindow();
