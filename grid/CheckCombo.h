#pragma once
#include <QFrame>
#include <QPointer>
#include <functional>

#include "checkeditems.h"

class QLineEdit;
class QListWidget;
class QMenu;
class QAction;
class QToolButton;
class TCheckedComboBox;

// The drop-down of the checked combo box: a borderless window with the check list.
class TCheckedDropDown : public QFrame {
public:
    explicit TCheckedDropDown(TCheckedComboBox *owner);
    QListWidget *List() const { return m_list; }

protected:
    void hideEvent(QHideEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    TCheckedComboBox *m_owner;
    QListWidget *m_list;
};

// A combo-box-like control for choosing several values: a read-only text shows
// the choice, the button opens a check list. Each item carries an integer code,
// and the checked codes become a filter condition on a table field.
class TCheckedComboBox : public QFrame {
public:
    explicit TCheckedComboBox(QWidget *parent = nullptr);
    ~TCheckedComboBox() override;

    // ---- Items ------------------------------------------------------------------
    TCheckedItems &Items() { return m_items; }
    const TCheckedItems &Items() const { return m_items; }
    void AddItem(const QString &text, int code) { m_items.AddItem(text, code); }
    void SetItems(const QStringList &texts, const std::vector<int> &codes) { m_items.SetItems(texts, codes); }

    bool Sorted() const { return m_items.Sorted(); }
    void SetSorted(bool sorted) { m_items.SetSorted(sorted); }
    TCHBQuoteStyle QuoteStyle() const { return m_items.QuoteStyle(); }
    void SetQuoteStyle(TCHBQuoteStyle style);
    int Columns() const { return m_columns; }
    void SetColumns(int columns);
    int DropDownLines() const { return m_dropDownLines; }
    // Values outside 2..20 are ignored.
    void SetDropDownLines(int lines);
    QString EmptyValue() const { return m_items.EmptyValue(); }
    void SetEmptyValue(const QString &text) { m_items.SetEmptyValue(text); }
    QString AllValue() const { return m_items.AllValue(); }
    void SetAllValue(const QString &text) { m_items.SetAllValue(text); }
    bool AllowNone() const { return m_items.AllowNone(); }
    void SetAllowNone(bool allow);
    QColor Color() const { return m_color; }
    void SetColor(const QColor &color);

    std::function<void()> OnChange;
    std::function<void()> OnCloseUp;
    std::function<void()> OnClick;

    // ---- Checks -------------------------------------------------------------------
    QString DisplayText() const { return m_items.DisplayText(); }
    QString FilterText(const QString &fieldName, bool equalsForm) const { return m_items.FilterText(fieldName, equalsForm); }
    QString CheckedIndexText() const { return m_items.CheckedIndexText(); }
    void SetCheckedIndexText(const QString &text) { m_items.SetCheckedIndexText(text); }
    void CheckAll() { m_items.CheckAll(); }
    void CheckOne();
    void UncheckAll() { m_items.UncheckAll(); }
    void InvertChecks() { m_items.InvertChecks(); }
    void SetItemChecked(int position, bool checked) { m_items.SetItemChecked(position, checked); }
    bool IsItemChecked(int position) const { return m_items.IsItemChecked(position); }
    int CheckedCount() const { return m_items.CheckedCount(); }

    // ---- Parts ------------------------------------------------------------------------
    QLineEdit *Edit() const { return m_edit; }
    QToolButton *Button() const { return m_button; }
    TCheckedDropDown *DropDown() const { return m_dropDown; }
    QMenu *ListMenu() const { return m_menu; }
    QAction *UncheckAllAction() const { return m_uncheckAll; }
    bool DroppedDown() const;
    // The drop-down's place for a screen: below the control, or above it when it
    // would come closer than 20 pixels to the screen's bottom.
    QRect DropDownRect(const QRect &screen) const;
    // The 13 x 13 button glyph: a dotted line above a downward triangle.
    static QPixmap ButtonGlyph();

    void DropDownClick();
    // What the drop-down does when it loses activation.
    void CloseUp();
    // A user's click on the check of a list item.
    void ToggleItemByUser(int position);

protected:
    void changeEvent(QEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    void layoutParts();
    void updateDisplay();
    void refillList();
    void syncChecks();
    void adjustHeight();

    TCheckedItems m_items;
    QLineEdit *m_edit;
    QToolButton *m_button;
    TCheckedDropDown *m_dropDown;
    QMenu *m_menu;
    QAction *m_uncheckAll;
    int m_columns = 0;
    int m_dropDownLines = 6;
    QColor m_color;
    bool m_closedOverButton = false;
};
