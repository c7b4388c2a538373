#pragma once
#include <QDialog>
#include <QPointer>

class QLabel;
class QProgressBar;
class QPushButton;

// The window an export shows while it walks the rows. The user cannot close it;
// only ProgressClose (or the application ending) does.
class Tfprogress : public QDialog {
public:
    explicit Tfprogress(QWidget *parent = nullptr);

    QLabel *lbmessage;
    QProgressBar *pb;
    QPushButton *btnabort;

    // Called by ProgressShow and ProgressClose.
    void StandFor(QWidget *window);
    void AllowClose() { m_canClose = true; }
    QWidget *DisabledWindow() const { return m_disabled; }

    void reject() override;

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    bool m_canClose = false;
    QPointer<QWidget> m_disabled;
};

// Shows the window for the given window (none: the active window), which is
// disabled meanwhile. A maximum of 0 keeps the bar empty.
Tfprogress *ProgressShow(const QString &caption, const QString &message, int maximum, QWidget *standFor = nullptr);
void ProgressMessage(Tfprogress *window, const QString &message);
// Re-enables the window it stood for, closes and frees it, and empties the variable.
void ProgressClose(Tfprogress *&window);
