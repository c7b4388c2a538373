#include "about.h"

#include "myutils.h"

#include <QApplication>
#include <QDeadlineTimer>
#include <QImage>
#include <QRegularExpression>
#include <QStringList>

#include "support/desktopsandbox.h"
#include "support/scriptedmessagebox.h"
#include <utility>

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

    // A long path without blanks still fits: it wraps at its separators.
    const QString folder = DataDirectory();
    const QString path = QStringLiteral("/home/jana.novakova/.local/share/tembrel/and/a/long/tail/of/folders");
    SetDataDirectory(path);
    Tfabout withFolder;
    SetDataDirectory(folder);
    EXPECT_EQ(withFolder.ldatafolder->text().remove(QChar(0x200B)), QStringLiteral("Datová složka: ") + path);
    EXPECT_EQ(withFolder.ldatafolder->toolTip(), path);
    const QRect label = withFolder.ldatafolder->geometry();
    EXPECT_TRUE(withFolder.rect().contains(label));
    // Every piece between two places where a line may break fits the label's width.
    const QStringList pieces = withFolder.ldatafolder->text().split(QRegularExpression(QStringLiteral("[ \\x{200B}]")));
    for (const QString &piece : pieces)
        EXPECT_LE(withFolder.ldatafolder->fontMetrics().horizontalAdvance(piece), label.width()) << piece.toStdString();
    EXPECT_LE(withFolder.ldatafolder->heightForWidth(label.width()), label.height()) << "the path is shown whole";

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

TEST(AboutBox, CaptionsEndBeforeTheirValues)
{
    // Whatever the font, "Program:" is followed by space before the program's name.
    const QFont saved = QApplication::font();
    for (int points : {8, 12}) {
        QFont font = saved;
        font.setPointSize(points);
        QApplication::setFont(font);
        Tfabout box;
        for (auto [caption, value] : {std::pair{box.lprogcaption, box.lprog}, std::pair{box.lvercaption, box.lver}}) {
            const int captionEnd = caption->x() + caption->fontMetrics().horizontalAdvance(caption->text());
            EXPECT_LT(captionEnd, value->x()) << caption->text().toStdString() << " at " << points << " pt";
            EXPECT_LE(value->geometry().right(), box.width());
        }
    }
    QApplication::setFont(saved);
}

TEST(AboutBox, LinksThatNoProgramTakesSaySo)
{
    // The opener fails for an address no program takes: the box tells the user.
    ScriptedMessageBox boxes;
    DesktopSandbox desktop;
    ASSERT_TRUE(desktop.isValid());
    Tfabout box;
    box.lweb->setText(QStringLiteral("tembrel-nothing://web"));
    box.lweb->OnClick();
    box.lmail->OnClick();
    QDeadlineTimer deadline(20000);
    while (boxes.boxes().size() < 2 && !deadline.hasExpired())
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    ASSERT_EQ(boxes.boxes().size(), 2);
    QStringList texts{boxes.boxes().at(0).text, boxes.boxes().at(1).text};
    texts.sort();
    EXPECT_EQ(texts, (QStringList{QString::fromUtf8(kNoMailProgramText), QString::fromUtf8(kNoBrowserText)}));
    EXPECT_EQ(boxes.boxes().at(0).kind, int(mkError));
}
