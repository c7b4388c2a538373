#pragma once
#include <QByteArray>
#include <QList>
#include <QPair>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

// A desktop of the test's own for opening files and addresses: the application and
// association folders of the desktop's MIME database point into a temporary folder
// (the system's MIME types stay readable), no desktop environment is detected, and
// the opener's browser fallback is a program that fails. Restores the environment.
class DesktopSandbox {
public:
    DesktopSandbox();
    ~DesktopSandbox();
    DesktopSandbox(const DesktopSandbox &) = delete;
    DesktopSandbox &operator=(const DesktopSandbox &) = delete;

    bool isValid() const { return m_valid; }
    // Makes a shell script the default program for the MIME types and returns its path.
    // The script gets the file as "$1".
    QString associate(const QStringList &mimeTypes, const QByteArray &scriptBody);
    QString path() const { return m_dir.path(); }

private:
    void setEnv(const char *name, const QByteArray &value, bool unset = false);

    QTemporaryDir m_dir;
    bool m_valid = false;
    QList<QPair<QByteArray, QByteArray>> m_saved; // name, old value ("\0" marks unset)
};
