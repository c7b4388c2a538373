#pragma once
#include <QDialog>
#include <functional>

class QListWidget;
class QPushButton;
class QToolButton;
class TDBGridEx;

// The column order editor: the grid's visible columns by title, moved up and
// down in place. Changes act on the grid at once; there is no cancel.
class Tfdbfrgcols : public QDialog {
public:
    explicit Tfdbfrgcols(QWidget *parent = nullptr);

    QListWidget *lb;
    QToolButton *spbtop;
    QToolButton *spbup;
    QToolButton *spbdn;
    QToolButton *spbbottom;
    QPushButton *btndefault;
    QPushButton *btnclose;

    // Lists the grid's visible columns; the standard-settings button is shown
    // only when an action is given.
    void Fill(TDBGridEx *grid, std::function<void()> standardAction = nullptr);
    // Moves the selected entries by k positions (negative: up).
    void MoveSelection(int k);
    void UpdateButtons();

protected:
    void showEvent(QShowEvent *event) override;

private:
    int gridIndexOfEntry(int entry) const;
    void refill();

    TDBGridEx *m_grid = nullptr;
    std::function<void()> m_standardAction;
};
