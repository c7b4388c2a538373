#pragma once
#include <QObject>
#include <QString>
#include <QStringList>
#include <functional>
#include <vector>

// A list of choices, each with a text, an integer code and a check, turned into
// a filter condition on a table field. Holds no widgets: the checked drop-down
// of the windows layer wraps it and shows DisplayText.
enum TCHBQuoteStyle { qsNone, qsSingle, qsDouble };

class TCheckedItems : public QObject {
    Q_OBJECT
public:
    explicit TCheckedItems(QObject *parent = nullptr);

    // Items. Changing them leaves nothing checked.
    void AddItem(const QString &text, int code);
    void SetItems(const QStringList &texts, const std::vector<int> &codes);
    void ClearItems();
    int Count() const { return int(m_items.size()); }
    QString ItemText(int position) const;
    int ItemCode(int position) const;
    bool Sorted() const { return m_sorted; }
    void SetSorted(bool sorted);

    TCHBQuoteStyle QuoteStyle() const { return m_quoteStyle; }
    void SetQuoteStyle(TCHBQuoteStyle style) { m_quoteStyle = style; }
    QString EmptyValue() const { return m_emptyValue; }
    void SetEmptyValue(const QString &text);
    QString AllValue() const { return m_allValue; }
    void SetAllValue(const QString &text);
    bool AllowNone() const { return m_allowNone; }
    void SetAllowNone(bool allow) { m_allowNone = allow; }

    // The list's current item ("Vybrat jeden" checks it); -1 for none.
    int CurrentItem() const { return m_current; }
    void SetCurrentItem(int position) { m_current = position; }

    int CheckedCount() const { return m_checkedCount; }
    bool IsItemChecked(int position) const;
    void SetItemChecked(int position, bool checked);
    // A user's click on an item's check box: refuses to uncheck the last checked
    // item unless AllowNone. Returns whether the check changed.
    bool ToggleByUser(int position);
    void CheckAll();
    void CheckOne();
    void UncheckAll();
    void InvertChecks();

    QString DisplayText() const;
    // What the text field shows: EmptyValue, AllValue or DisplayText.
    QString ShownText() const;
    QString FilterText(const QString &fieldName, bool equalsForm) const;
    QString CheckedIndexText() const;
    void SetCheckedIndexText(const QString &text);

signals:
    // After every change of the checks (OnChange).
    void changed();
    // After a change of the items or of the display texts.
    void displayChanged();

private:
    struct Item {
        QString text;
        int code;
        bool checked;
    };
    void recount();
    QString joinedTexts() const;
    void sortItems();
    std::vector<Item> m_items;
    int m_checkedCount = 0;
    int m_current = -1;
    bool m_sorted = false;
    bool m_allowNone = false;
    TCHBQuoteStyle m_quoteStyle = qsNone;
    QString m_emptyValue;
    QString m_allValue;
};
