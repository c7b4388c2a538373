#include <gtest/gtest.h>

#include "formatsettings.h"
#include "myutils.h"

#ifdef TEMBREL_TEST_WIDGETS
#include <QApplication>
using TestApplication = QApplication;
#else
#include <QCoreApplication>
using TestApplication = QCoreApplication;
#endif

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", qgetenv("QT_QPA_PLATFORM").isEmpty() ? "offscreen" : qgetenv("QT_QPA_PLATFORM"));
    TestApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    // Every test sees the Czech system formats unless it sets others.
    SetSystemFormats(FormatSettings::czech());
    InitApplicationFiles(QCoreApplication::applicationFilePath(), {});
    return RUN_ALL_TESTS();
}
