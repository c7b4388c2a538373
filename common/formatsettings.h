#pragma once
#include <QDateTime>
#include <QString>

// The system's formats: short date, long time and separators. Filled from the
// locale; under the C/POSIX locale the Czech forms. Tests replace them.
struct FormatSettings {
    QString shortDateFormat = QStringLiteral("d.M.yyyy"); // Qt date pattern
    QString longTimeFormat = QStringLiteral("H:mm:ss");   // Qt time pattern
    QChar dateSeparator = QLatin1Char('.');
    QChar timeSeparator = QLatin1Char(':');
    QChar thousandSeparator = QChar(0x00A0);
    QChar decimalSeparator = QLatin1Char(',');

    static FormatSettings czech();
    static FormatSettings fromLocale();
};

const FormatSettings &SystemFormats();
void SetSystemFormats(const FormatSettings &formats);

// Date-time values are days since 1899-12-30 plus the time of day as a fraction (local time).
double DateTimeToDouble(const QDateTime &dt);
QDateTime DoubleToDateTime(double value);
double EncodeDate(int year, int month, int day);
double EncodeTime(int hour, int minute, int second, int msec = 0);

QString FormatShortDate(double value);           // system short date
QString FormatLongTime(double value);            // system long time
QString FormatDateTimeText(double value);        // short date, blank, long time (long time omitted at midnight)
// Reads a date ("d.M.yyyy") or date and time in the system formats; false when it is not one.
bool ParseDateTimeText(const QString &text, double &value);
