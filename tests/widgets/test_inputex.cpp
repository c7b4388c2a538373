#include "inputex.h"

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QKeyEvent>
#include <QTimer>

#include <gtest/gtest.h>

#include "keyclick.h"

#include <functional>

namespace {
// Runs the action on the input dialog once it is shown modally.
void whenShown(std::function<void(Tfinputex *)> action)
{
    QTimer::singleShot(0, [action] {
        auto *dialog = dynamic_cast<Tfinputex *>(QApplication::activeModalWidget());
        ASSERT_NE(dialog, nullptr);
        action(dialog);
    });
}
} // namespace

TEST(InputText, CancelKeepsTheValueAndReturnsFalse)
{
    QString value = QStringLiteral("603123456");
    whenShown([](Tfinputex *dialog) {
        EXPECT_EQ(dialog->windowTitle(), QStringLiteral("Vytočit číslo"));
        EXPECT_EQ(dialog->lbprompt->text(), QStringLiteral("Telefonní číslo"));
        EXPECT_EQ(dialog->edvalue->text(), QStringLiteral("603123456"));
        EXPECT_EQ(dialog->btnok->text(), QStringLiteral("&OK"));
        EXPECT_EQ(dialog->btncancel->text(), QStringLiteral("&Zrušit"));
        dialog->edvalue->setText(QStringLiteral("something else"));
        dialog->btncancel->click();
    });
    EXPECT_FALSE(InputText(QStringLiteral("Vytočit číslo"), QStringLiteral("Telefonní číslo"), value));
    EXPECT_EQ(value, QStringLiteral("603123456"));

    whenShown([](Tfinputex *dialog) {
        dialog->edvalue->setText(QStringLiteral("changed"));
        keyClick(dialog->edvalue, Qt::Key_Escape);
    });
    EXPECT_FALSE(InputText(QStringLiteral("Zoom"), QStringLiteral("Zoom (10% - 200%):"), value));
    EXPECT_EQ(value, QStringLiteral("603123456"));
}

TEST(InputText, OkTakesTheTextEvenWhenEmpty)
{
    QString value = QStringLiteral("old");
    whenShown([](Tfinputex *dialog) {
        for (const QChar c : QStringLiteral("Moje šablona"))
            keyClick(dialog->edvalue, 0, Qt::NoModifier, QString(c));
        keyClick(dialog->edvalue, Qt::Key_Return); // OK is the default button
    });
    EXPECT_TRUE(InputText(QStringLiteral("Uložit šablonu"), QStringLiteral("Název šablony:"), value));
    EXPECT_EQ(value, QStringLiteral("Moje šablona")) << "the prefilled text is selected and typed over";

    whenShown([](Tfinputex *dialog) {
        dialog->edvalue->clear();
        dialog->btnok->click();
    });
    EXPECT_TRUE(InputText(QStringLiteral("Uložit šablonu"), QStringLiteral("Název šablony:"), value));
    EXPECT_TRUE(value.isEmpty());
}
