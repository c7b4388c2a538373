#include "progress.h"

#include "myutils.h"

#include <QApplication>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QKeyEvent>

#include <gtest/gtest.h>

#include "keyclick.h"

TEST(ProgressWindow, RefusesToBeClosedByTheUserUntilProgressClose)
{
    QWidget owner;
    owner.show();
    Tfprogress *progress = ProgressShow(QStringLiteral("Export do CSV souboru"),
                                        QStringLiteral("Probíhá exportování záznamů..."), 0, &owner);
    ASSERT_NE(progress, nullptr);
    EXPECT_TRUE(progress->isVisible());
    EXPECT_FALSE(owner.isEnabled());
    EXPECT_EQ(progress->windowTitle(), QStringLiteral("Export do CSV souboru"));
    EXPECT_EQ(progress->pb->value(), 0);
    EXPECT_GT(progress->pb->maximum(), 0) << "a maximum of 0 must not turn into a busy animation";

    // Alt+F4 reaches the window as a close request; so do Esc and the window's close().
    keyClick(progress, Qt::Key_F4, Qt::AltModifier);
    EXPECT_FALSE(progress->close());
    keyClick(progress, Qt::Key_Escape);
    EXPECT_TRUE(progress->isVisible());

    // The abort button is only shown, never usable.
    EXPECT_FALSE(progress->btnabort->isEnabled());
    EXPECT_EQ(progress->btnabort->text(), QStringLiteral("&Přerušit"));

    ProgressMessage(progress, QStringLiteral("Vyexportováno 500 záznamů"));
    EXPECT_EQ(progress->lbmessage->text(), QStringLiteral("Vyexportováno 500 záznamů"));

    ProgressClose(progress);
    EXPECT_EQ(progress, nullptr);
    EXPECT_TRUE(owner.isEnabled());
    ProgressClose(progress); // an empty variable: nothing happens
}

TEST(ProgressWindow, WindowAlreadyDisabledStaysDisabled)
{
    QWidget owner;
    owner.setEnabled(false);
    Tfprogress *progress = ProgressShow(QStringLiteral("Export"), QStringLiteral("..."), 0, &owner);
    ProgressClose(progress);
    EXPECT_FALSE(owner.isEnabled());
}

TEST(ProgressWindow, AbortCaptionFollowsTheLanguage)
{
    const int before = LanguageIndex();
    const std::pair<int, QString> cases[] = {
        {1, QStringLiteral("&Abort")}, {3, QStringLiteral("&Prerušiť")}, {2, QStringLiteral("&Přerušit")}};
    for (const auto &[language, caption] : cases) {
        SetLanguageIndex(language);
        Tfprogress window;
        EXPECT_EQ(window.btnabort->text(), caption) << language;
    }
    SetLanguageIndex(before);
}
