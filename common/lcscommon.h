#pragma once
#include <QString>
#include <QStringList>

#include <span>

// The common texts: numbered user texts shared by the grid toolkit, the output
// dialogs and the print preview, in a Czech and a Slovak table. The language
// index (myutils.h) picks the table: 3 Slovak, anything else Czech.
constexpr int kCommonTextCount = 199;

// Text of the slot in the current language. An index outside 1..199 or an empty
// slot raises Exception("Common language index <n>error").
QString CommonText(int index);
// Replaces the list's content with the ";"-separated items of the slot text.
void CommonTextToList(int index, QStringList &list);
// The slot text of the given language's table, empty for an empty slot or a bad index.
QString CommonTextOf(int languageIndex, int index);

// One filled slot of a language table.
struct CommonTextEntry {
    int index;
    const char *text; // UTF-8
};
std::span<const CommonTextEntry> CommonTextsCsy();
std::span<const CommonTextEntry> CommonTextsSvk();

// Messages our table engine and field helpers raise or ask with. The program
// puts its own texts into them at start-up; until then they hold English defaults.
enum ResourceRecord : int {
    rsInvalidDate = 0,          // "'%s' is not a valid date"
    rsInvalidFloatForField = 1, // "'%s' is not a valid floating point value for field '%s'"
    rsDeleteRecordQuestion = 2, // "Delete record?"
};
constexpr int kResourceRecordCount = 3;

// Points the record at the text; false for a record that does not exist.
bool ReplaceResourceString(ResourceRecord record, const QString &text);
// The record's current text (empty for a record that does not exist).
QString ResourceString(ResourceRecord record);
// Puts the English defaults back (tests and a language switch use it).
void ResetResourceStrings();
