#pragma once
#include <QString>
#include <QTemporaryDir>
#include <gtest/gtest.h>

// A temporary data directory of the test's own: the data directory seam and the
// log file point into it while it lives, and logging is on.
class TempDataDir {
public:
    TempDataDir();
    ~TempDataDir();
    QString path() const { return m_dir.path(); }
    QString file(const QString &name) const;

private:
    QTemporaryDir m_dir;
    QString m_oldData;
    QString m_oldLog;
    bool m_oldLogging;
};

// Fixture base for tests that need their own data directory.
class DataDirTest : public ::testing::Test {
protected:
    TempDataDir data;
};
