#include "about.h"

#include "myutils.h"

#include <QImage>

#include <gtest/gtest.h>

TEST(AboutBox, VersionTextFromFourNumbers)
{
    EXPECT_EQ(AboutVersionText(QStringLiteral("1.2.3.45")), QStringLiteral("1.2, release 3, build 45"));
    EXPECT_EQ(AboutVersionText(QString()), QStringLiteral("., release , build "));
    EXPECT_EQ(AboutVersionText(QStringLiteral("1.0")), QStringLiteral("1.0, release , build "));
}

TEST(AboutBox, ShowsTitleVersionAndMakerLines)
{
    Tfabout box;
    EXPECT_EQ(box.windowTitle(), QStringLiteral("O aplikaci"));
    EXPECT_EQ(box.lvercaption->text(), QStringLiteral("Verze:"));
    EXPECT_EQ(box.lprog->text(), ApplicationTitle());
    EXPECT_EQ(box.lver->text(), AboutVersionText(GetVersionInfo()));
    EXPECT_EQ(box.lmail->cursor().shape(), Qt::PointingHandCursor);
    EXPECT_EQ(box.lweb->cursor().shape(), Qt::PointingHandCursor);
    EXPECT_EQ(box.lmail->palette().color(QPalette::WindowText), QColor(156, 0, 66));
    EXPECT_EQ(box.imglogo->pos(), QPoint(20, 63));

    const QString folder = DataDirectory();
    SetDataDirectory(QStringLiteral("/home/jana/.local/share/tembrel"));
    Tfabout withFolder;
    SetDataDirectory(folder);
    EXPECT_EQ(withFolder.ldatafolder->text(), QStringLiteral("Datová složka: /home/jana/.local/share/tembrel"));
    EXPECT_TRUE(withFolder.rect().contains(withFolder.ldatafolder->geometry())) << "the path is shown whole";

    const int before = LanguageIndex();
    SetLanguageIndex(3);
    Tfabout slovak;
    SetLanguageIndex(before);
    EXPECT_EQ(slovak.windowTitle(), QStringLiteral("O aplikácii"));
    EXPECT_EQ(slovak.lvercaption->text(), QStringLiteral("Verzia:"));
}

TEST(AboutBox, LogoIsDrawnInTheMakersColour)
{
    const QImage logo = ProductLogo(48).toImage();
    ASSERT_EQ(logo.size(), QSize(48, 48));
    EXPECT_EQ(QColor(logo.pixel(4, 40)), QColor(156, 0, 66));
    EXPECT_EQ(qAlpha(logo.pixel(0, 0)), 0) << "the corners stay transparent";
}
