#include "lcscommon.h"

#include "exception.h"
#include "myutils.h"

#include <array>

namespace {
using Table = std::array<QString, kCommonTextCount>;

Table buildTable(std::span<const CommonTextEntry> entries)
{
    Table table;
    for (const CommonTextEntry &e : entries)
        if (e.index >= 1 && e.index <= kCommonTextCount)
            table[size_t(e.index - 1)] = QString::fromUtf8(e.text);
    return table;
}

const Table &tableFor(int languageIndex)
{
    static const Table czech = buildTable(CommonTextsCsy());
    static const Table slovak = buildTable(CommonTextsSvk());
    return languageIndex == 3 ? slovak : czech;
}

const std::array<const char *, kResourceRecordCount> kResourceDefaults = {
    "'%s' is not a valid date",
    "'%s' is not a valid floating point value for field '%s'",
    "Delete record?",
};

std::array<QString, kResourceRecordCount> &resourceStrings()
{
    static std::array<QString, kResourceRecordCount> strings = [] {
        std::array<QString, kResourceRecordCount> s;
        for (size_t i = 0; i < s.size(); ++i)
            s[i] = QString::fromUtf8(kResourceDefaults[i]);
        return s;
    }();
    return strings;
}

bool validRecord(ResourceRecord record) { return int(record) >= 0 && int(record) < kResourceRecordCount; }
} // namespace

QString CommonTextOf(int languageIndex, int index)
{
    if (index < 1 || index > kCommonTextCount)
        return QString();
    return tableFor(languageIndex)[size_t(index - 1)];
}

QString CommonText(int index)
{
    const QString text = CommonTextOf(LanguageIndex(), index);
    if (text.isEmpty())
        throw Exception(QStringLiteral("Common language index ") + QString::number(index) + QStringLiteral("error"));
    return text;
}

void CommonTextToList(int index, QStringList &list)
{
    // Fetch first so that a bad index leaves the list as it was.
    const QString text = CommonText(index);
    list = text.split(QLatin1Char(';'));
}

bool ReplaceResourceString(ResourceRecord record, const QString &text)
{
    if (!validRecord(record))
        return false;
    resourceStrings()[size_t(record)] = text;
    return true;
}

QString ResourceString(ResourceRecord record)
{
    return validRecord(record) ? resourceStrings()[size_t(record)] : QString();
}

void ResetResourceStrings()
{
    for (size_t i = 0; i < kResourceDefaults.size(); ++i)
        resourceStrings()[i] = QString::fromUtf8(kResourceDefaults[i]);
}
