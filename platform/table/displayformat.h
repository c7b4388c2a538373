#pragma once
#include <QString>

// Display formats of fields. Number formats: "0" digits, "#" optional digits,
// "," anywhere before the decimal point turns on thousands grouping, "." the
// decimal point (the system's separators are shown). Date-time formats: d, dd,
// m, mm (minutes after h), yy, yyyy, h, hh, n, nn, s, ss, z, zzz; other
// characters, "." and ":" included, are shown as they are; text in quotes is literal.
QString FormatNumber(const QString &format, double value);
QString FormatDateTimeValue(const QString &format, double value);
