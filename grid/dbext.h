#pragma once
#include <QString>

// AndFilter lives with the filter expressions of the table engine, so that the
// call log below the windows layer builds its filters with it as well.
#include "tablefilter.h"

class TField;
class TMemTable;
class TDBGridEx;

// Gives the field the display (and edit) format of its type: grouped integers,
// two decimals, dd.mm.yyyy dates, hh:nn:ss times, memos shown on one line.
void SetFieldDisplayFormat(TField &field);
// SetFieldDisplayFormat for the field of every visible column of the grid.
void ApplyDisplayFormats(TDBGridEx &grid);
// Puts the program's own texts into the table engine's messages for an invalid
// date, an invalid real number of a field and the delete question.
void ReplaceDataMessages();
// The memo's display text: line ends as blanks, cut after 100 characters.
QString MemoDisplayText(const QString &text);
