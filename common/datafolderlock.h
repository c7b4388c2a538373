#pragma once
#include <QString>

// One logger per data folder: the holder keeps an exclusive lock on a file in the folder
// for as long as it lives, with its process number and program name written in the file
// so that a second logger can say who holds the folder.
class TDataFolderLock {
public:
    TDataFolderLock() = default;
    ~TDataFolderLock();
    TDataFolderLock(const TDataFolderLock &) = delete;
    TDataFolderLock &operator=(const TDataFolderLock &) = delete;

    // Takes the lock on the folder. False with the message when another process holds it.
    // A folder where the lock file cannot be made (a read-only folder) is not locked, and
    // that is no failure: nobody can write there anyway.
    bool Acquire(const QString &folder, QString *error = nullptr);
    void Release();
    bool Held() const { return m_fd >= 0; }

    static QString LockFileName(const QString &folder);

private:
    int m_fd = -1;
    QString m_folder;
};
