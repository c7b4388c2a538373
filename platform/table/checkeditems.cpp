#include "checkeditems.h"

#include <algorithm>

#include "lcscommon.h"

TCheckedItems::TCheckedItems(QObject *parent)
    : QObject(parent), m_emptyValue(CommonText(132)), m_allValue(CommonText(131))
{
}

void TCheckedItems::AddItem(const QString &text, int code)
{
    m_items.push_back({text, code, false});
    sortItems();
    recount();
    emit displayChanged();
}

void TCheckedItems::SetItems(const QStringList &texts, const std::vector<int> &codes)
{
    m_items.clear();
    for (qsizetype i = 0; i < texts.size(); ++i)
        m_items.push_back({texts[i], i < qsizetype(codes.size()) ? codes[size_t(i)] : 0, false});
    sortItems();
    m_checkedCount = 0;
    m_current = -1;
    emit displayChanged();
}

void TCheckedItems::ClearItems() { SetItems({}, {}); }

QString TCheckedItems::ItemText(int position) const
{
    return position >= 0 && position < Count() ? m_items[size_t(position)].text : QString();
}

int TCheckedItems::ItemCode(int position) const
{
    return position >= 0 && position < Count() ? m_items[size_t(position)].code : 0;
}

void TCheckedItems::SetSorted(bool sorted)
{
    m_sorted = sorted;
    sortItems();
    emit displayChanged();
}

void TCheckedItems::sortItems()
{
    if (m_sorted)
        std::stable_sort(m_items.begin(), m_items.end(),
                         [](const Item &a, const Item &b) { return a.text.compare(b.text, Qt::CaseInsensitive) < 0; });
}

void TCheckedItems::SetEmptyValue(const QString &text)
{
    m_emptyValue = text;
    emit displayChanged();
}

void TCheckedItems::SetAllValue(const QString &text)
{
    m_allValue = text;
    emit displayChanged();
}

void TCheckedItems::recount()
{
    m_checkedCount = int(std::count_if(m_items.begin(), m_items.end(), [](const Item &i) { return i.checked; }));
}

bool TCheckedItems::IsItemChecked(int position) const
{
    return position >= 0 && position < Count() && m_items[size_t(position)].checked;
}

void TCheckedItems::SetItemChecked(int position, bool checked)
{
    if (position < 0 || position >= Count() || m_items[size_t(position)].checked == checked)
        return;
    m_items[size_t(position)].checked = checked;
    m_checkedCount += checked ? 1 : -1;
    emit changed();
}

bool TCheckedItems::ToggleByUser(int position)
{
    if (position < 0 || position >= Count())
        return false;
    const bool checked = m_items[size_t(position)].checked;
    if (checked && !m_allowNone && m_checkedCount <= 1)
        return false; // the last check stays
    SetItemChecked(position, !checked);
    return true;
}

void TCheckedItems::CheckAll()
{
    for (Item &i : m_items)
        i.checked = true;
    m_checkedCount = Count();
    emit changed();
}

void TCheckedItems::CheckOne()
{
    for (Item &i : m_items)
        i.checked = false;
    m_checkedCount = 0;
    int position = m_current;
    if ((position < 0 || position >= Count()) && Count() > 0)
        position = 0;
    if (position >= 0 && position < Count())
        SetItemChecked(position, true);
    else
        emit changed();
}

void TCheckedItems::UncheckAll()
{
    if (!m_allowNone) {
        CheckOne();
        return;
    }
    for (Item &i : m_items)
        i.checked = false;
    m_checkedCount = 0;
    emit changed();
}

void TCheckedItems::InvertChecks()
{
    if (m_checkedCount == Count() && !m_allowNone) {
        CheckOne();
        return;
    }
    for (Item &i : m_items)
        i.checked = !i.checked;
    recount();
    emit changed();
}

QString TCheckedItems::joinedTexts() const
{
    QStringList parts;
    for (const Item &i : m_items) {
        if (!i.checked)
            continue;
        switch (m_quoteStyle) {
        case qsSingle: parts << QLatin1Char('\'') + i.text + QLatin1Char('\''); break;
        case qsDouble: parts << QLatin1Char('"') + i.text + QLatin1Char('"'); break;
        case qsNone: parts << i.text; break;
        }
    }
    return parts.join(QStringLiteral(", "));
}

QString TCheckedItems::DisplayText() const
{
    if (Count() > 0 && m_checkedCount == Count())
        return m_allValue;
    if (m_checkedCount == 0)
        return m_emptyValue;
    return joinedTexts();
}

QString TCheckedItems::ShownText() const
{
    if (m_checkedCount == 0)
        return m_emptyValue;
    if (m_checkedCount == Count() && !m_allValue.isEmpty())
        return m_allValue;
    return joinedTexts();
}

QString TCheckedItems::FilterText(const QString &fieldName, bool equalsForm) const
{
    if (m_checkedCount == 0 || m_checkedCount == Count())
        return QString();
    QString codes;
    int n = 0;
    for (const Item &i : m_items) {
        if (!i.checked)
            continue;
        const QString code = QString::number(i.code);
        if (n == 0)
            codes = equalsForm ? fieldName + QLatin1Char('=') + code : code;
        else
            codes += equalsForm ? QStringLiteral(" OR ") + fieldName + QLatin1Char('=') + code : QLatin1Char(',') + code;
        ++n;
    }
    if (n == 1)
        return equalsForm ? codes : fieldName + QLatin1Char('=') + codes;
    return equalsForm ? QLatin1Char('(') + codes + QLatin1Char(')') : fieldName + QStringLiteral(" IN (") + codes + QLatin1Char(')');
}

QString TCheckedItems::CheckedIndexText() const
{
    QStringList parts;
    for (int i = 0; i < Count(); ++i)
        if (m_items[size_t(i)].checked)
            parts << QString::number(i);
    return parts.join(QLatin1Char(';'));
}

void TCheckedItems::SetCheckedIndexText(const QString &text)
{
    const bool allowNone = m_allowNone;
    m_allowNone = true;
    for (Item &i : m_items)
        i.checked = false;
    m_checkedCount = 0;
    for (const QString &part : text.split(QLatin1Char(';'))) {
        bool ok = false;
        const int position = part.trimmed().toInt(&ok);
        if (ok && position >= 0 && position < Count())
            m_items[size_t(position)].checked = true;
    }
    recount();
    m_allowNone = allowNone;
    emit changed();
}
