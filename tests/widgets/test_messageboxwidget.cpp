#include "messageboxwidget.h"
#include "waitcursorwidget.h"

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>

#include <functional>
#include <memory>

#include <gtest/gtest.h>

namespace {
struct LanguageGuard {
    int saved = LanguageIndex();
    ~LanguageGuard() { SetLanguageIndex(saved); }
};

// Installs the widget handlers for one test and takes them away afterwards.
class WidgetBoxes : public ::testing::Test {
protected:
    void SetUp() override { InstallWidgetHandlers(); }
    void TearDown() override
    {
        SetMessageBoxHandler(nullptr);
        SetCursorHandler(nullptr);
        SetHelpHandler(nullptr);
    }
};

// Acts on the next modal message box as soon as it is on the screen.
void onNextBox(std::function<void(QMessageBox *)> act)
{
    auto *timer = new QTimer;
    auto tries = std::make_shared<int>(0);
    QObject::connect(timer, &QTimer::timeout, [timer, tries, act] {
        auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
        if (box && box->isVisible()) {
            timer->deleteLater();
            act(box);
        } else if (++*tries > 500) {
            timer->deleteLater();
        }
    });
    timer->start(5);
}

QStringList buttonTexts(QMessageBox *box)
{
    QStringList texts;
    for (QAbstractButton *b : box->buttons())
        texts << b->text();
    texts.sort();
    return texts;
}
} // namespace

TEST_F(WidgetBoxes, ButtonSetsShowTheirButtonsInTheProgramsLanguage)
{
    LanguageGuard guard;
    SetLanguageIndex(2);
    struct Case {
        unsigned set;
        QStringList texts;
        QMessageBox::StandardButton first;
    };
    const Case cases[] = {
        {mbOK, {QStringLiteral("OK")}, QMessageBox::Ok},
        {mbOK | mbCancel, {QStringLiteral("OK"), QStringLiteral("Storno")}, QMessageBox::Ok},
        {mbYes | mbNo, {QStringLiteral("&Ano"), QStringLiteral("&Ne")}, QMessageBox::Yes},
        {mbYes | mbNo | mbCancel, {QStringLiteral("&Ano"), QStringLiteral("&Ne"), QStringLiteral("Storno")},
         QMessageBox::Yes},
        {mbCancel | mbRetry, {QStringLiteral("&Opakovat"), QStringLiteral("Storno")}, QMessageBox::Retry},
        {mbAbort | mbRetry | mbIgnore,
         {QStringLiteral("&Ignorovat"), QStringLiteral("&Opakovat"), QStringLiteral("&Přerušit")}, QMessageBox::Abort},
    };
    for (const Case &c : cases) {
        std::unique_ptr<QMessageBox> box(TMessageBoxWidget::createBox(QStringLiteral("t"), QStringLiteral("c"),
                                                                      mkWarning, c.set, 0));
        QStringList expected = c.texts;
        expected.sort();
        EXPECT_EQ(buttonTexts(box.get()), expected) << c.set;
        EXPECT_EQ(box->defaultButton(), box->button(c.first)) << c.set;
        EXPECT_EQ(box->button(QMessageBox::Help), nullptr);
    }
    SetLanguageIndex(3);
    std::unique_ptr<QMessageBox> sk(TMessageBoxWidget::createBox(QStringLiteral("t"), QStringLiteral("c"), mkWarning,
                                                                 mbYes | mbNo | mbCancel, 5));
    EXPECT_EQ(buttonTexts(sk.get()), QStringList({QStringLiteral("&Nie"), QStringLiteral("&Áno"),
                                                  QStringLiteral("Pomocník"), QStringLiteral("Zrušiť")}));
}

TEST_F(WidgetBoxes, IconAndCaptionFollowTheKind)
{
    const QMessageBox::Icon icons[] = {QMessageBox::Warning, QMessageBox::Critical, QMessageBox::Information,
                                       QMessageBox::Question, QMessageBox::NoIcon, QMessageBox::NoIcon};
    for (int kind = 0; kind <= 5; ++kind) {
        std::unique_ptr<QMessageBox> box(
            TMessageBoxWidget::createBox(QStringLiteral("t"), MessageBoxCaption(kind), kind, mbOK, 0));
        EXPECT_EQ(box->icon(), icons[kind]) << kind;
        EXPECT_EQ(box->windowTitle(), MessageBoxCaption(kind));
    }
}

TEST_F(WidgetBoxes, PressedButtonComesBackAsItsCode)
{
    QString seenCaption, seenText;
    onNextBox([&](QMessageBox *box) {
        seenCaption = box->windowTitle();
        seenText = box->text();
        box->button(QMessageBox::No)->click();
    });
    EXPECT_EQ(ShowMessageBox(QStringLiteral("Smazat záznam?"), mkConfirmation, mbYes | mbNo), mrNo);
    EXPECT_EQ(seenCaption, QStringLiteral("Potvrzení"));
    EXPECT_EQ(seenText, QStringLiteral("Smazat záznam?"));

    onNextBox([](QMessageBox *box) { box->button(QMessageBox::Ok)->click(); });
    EXPECT_EQ(ShowMessageBox(QStringLiteral("Hotovo"), mkInformation, mbOK), mrOk);
    onNextBox([](QMessageBox *box) { box->button(QMessageBox::Ignore)->click(); });
    EXPECT_EQ(ShowMessageBox(QStringLiteral("x"), mkError, mbAbort | mbRetry | mbIgnore), mrIgnore);
    // Closed by the window's close button: the escape choice, Cancel when there is one.
    onNextBox([](QMessageBox *box) { box->close(); });
    EXPECT_EQ(ShowMessageBox(QStringLiteral("x"), mkWarning, mbYes | mbNo | mbCancel), mrCancel);
}

TEST_F(WidgetBoxes, UnlistedButtonSetComplainsFirstThenShowsOk)
{
    QStringList seen;
    onNextBox([&](QMessageBox *first) {
        seen << first->text() + QLatin1Char('|') + first->windowTitle();
        onNextBox([&](QMessageBox *second) {
            seen << second->text() + QLatin1Char('|') + buttonTexts(second).join(QLatin1Char(','));
            second->button(QMessageBox::Ok)->click();
        });
        first->button(QMessageBox::Ok)->click();
    });
    EXPECT_EQ(ShowMessageBox(QStringLiteral("Text"), mkWarning, mbYes | mbOK), mrOk);
    EXPECT_EQ(seen, QStringList({QStringLiteral("Msgdlg buttons error!|Tembrel Personal"), QStringLiteral("Text|OK")}));
}

TEST_F(WidgetBoxes, HelpButtonAsksForHelpAndKeepsTheBoxOpen)
{
    int helpAsked = 0;
    bool stillOpen = false;
    SetHelpHandler([&](int context) { helpAsked = context; });
    onNextBox([&](QMessageBox *box) {
        box->button(QMessageBox::Help)->click();
        QCoreApplication::processEvents();
        stillOpen = box->isVisible();
        box->button(QMessageBox::Cancel)->click();
    });
    EXPECT_EQ(ShowMessageBox(QStringLiteral("x"), mkWarning, mbOK | mbCancel, 310), mrCancel);
    EXPECT_EQ(helpAsked, 310);
    EXPECT_TRUE(stillOpen);
}

TEST_F(WidgetBoxes, BoxBelongsToTheActiveWindow)
{
    QWidget window;
    window.show();
    window.activateWindow();
    QApplication::setActiveWindow(&window);
    QCoreApplication::processEvents();
    if (QApplication::activeWindow() != &window)
        GTEST_SKIP() << "the platform does not activate windows";
    std::unique_ptr<QMessageBox> box(
        TMessageBoxWidget::createBox(QStringLiteral("t"), QStringLiteral("c"), mkWarning, mbOK, 0));
    EXPECT_EQ(box->parentWidget(), &window);
}

TEST_F(WidgetBoxes, BusyCursorIsTheOverrideCursorAndComesOffWithTheOutermostEnd)
{
    ASSERT_EQ(QGuiApplication::overrideCursor(), nullptr);
    BeginWait();
    ASSERT_NE(QGuiApplication::overrideCursor(), nullptr);
    EXPECT_EQ(QGuiApplication::overrideCursor()->shape(), Qt::WaitCursor);
    BeginWait();
    EndWait();
    ASSERT_NE(QGuiApplication::overrideCursor(), nullptr);
    EndWait();
    EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
    EndWait();
    EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);

    // Someone else's override cursor is what comes back.
    QGuiApplication::setOverrideCursor(Qt::IBeamCursor);
    {
        WaitScope wait;
        EXPECT_EQ(QGuiApplication::overrideCursor()->shape(), Qt::WaitCursor);
    }
    ASSERT_NE(QGuiApplication::overrideCursor(), nullptr);
    EXPECT_EQ(QGuiApplication::overrideCursor()->shape(), Qt::IBeamCursor);
    QGuiApplication::restoreOverrideCursor();
    EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
}
