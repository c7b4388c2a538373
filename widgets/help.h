#pragma once
#include <QDialog>
#include <QObject>
#include <QString>
#include <functional>

class QTextBrowser;
class QWidget;

// The help of one window: what the window is for and its keys, as rich text. The
// section is the window's object name; an unknown one gives the program's overview.
QString HelpText(const QString &section);

// The help window: the text of one section, closed with Esc or "Zavřít".
class Tfhelp : public QDialog {
public:
    explicit Tfhelp(const QString &section, QWidget *parent = nullptr);
    QTextBrowser *text;
};

// F1 anywhere in the program opens the help of the window the user is in.
class THelpKey : public QObject {
public:
    explicit THelpKey(QObject *parent = nullptr);
    // Shows the section; replaceable for tests. By default a modal Tfhelp.
    std::function<void(const QString &section, QWidget *window)> ShowSection;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
};
