#include "formatsettings.h"

#include <QLocale>
#include <QRegularExpression>
#include <QTimeZone>
#include <cmath>

namespace {
FormatSettings g_formats = FormatSettings::fromLocale();
const QDate kEpoch(1899, 12, 30);

QChar firstSeparator(const QString &pattern, QChar fallback)
{
    for (QChar c : pattern)
        if (!c.isLetter())
            return c;
    return fallback;
}
} // namespace

FormatSettings FormatSettings::czech()
{
    return FormatSettings{};
}

FormatSettings FormatSettings::fromLocale()
{
    const QLocale locale = QLocale::system();
    if (locale.language() == QLocale::C)
        return czech();
    FormatSettings f;
    f.shortDateFormat = locale.dateFormat(QLocale::ShortFormat);
    f.longTimeFormat = locale.timeFormat(QLocale::LongFormat);
    // Time-zone names have no place in stored or shown times.
    f.longTimeFormat.remove(QRegularExpression(QStringLiteral("\\s*t+")));
    f.dateSeparator = firstSeparator(f.shortDateFormat, QLatin1Char('.'));
    f.timeSeparator = firstSeparator(f.longTimeFormat, QLatin1Char(':'));
    f.thousandSeparator = locale.groupSeparator().isEmpty() ? QChar(' ') : locale.groupSeparator().at(0);
    f.decimalSeparator = locale.decimalPoint().isEmpty() ? QChar('.') : locale.decimalPoint().at(0);
    return f;
}

const FormatSettings &SystemFormats() { return g_formats; }
void SetSystemFormats(const FormatSettings &formats) { g_formats = formats; }

double EncodeDate(int year, int month, int day)
{
    return double(kEpoch.daysTo(QDate(year, month, day)));
}

double EncodeTime(int hour, int minute, int second, int msec)
{
    return (((hour * 60.0 + minute) * 60.0 + second) * 1000.0 + msec) / 86400000.0;
}

double DateTimeToDouble(const QDateTime &dt)
{
    const QDateTime local = dt.toLocalTime();
    const QTime t = local.time();
    return EncodeDate(local.date().year(), local.date().month(), local.date().day())
        + EncodeTime(t.hour(), t.minute(), t.second(), t.msec());
}

QDateTime DoubleToDateTime(double value)
{
    const double day = std::floor(value);
    qint64 ms = qint64(std::llround((value - day) * 86400000.0));
    qint64 days = qint64(day);
    if (ms >= 86400000) { // rounding carried into the next day
        ms -= 86400000;
        ++days;
    }
    return QDateTime(kEpoch.addDays(days), QTime::fromMSecsSinceStartOfDay(int(ms)));
}

QString FormatShortDate(double value)
{
    return DoubleToDateTime(value).date().toString(g_formats.shortDateFormat);
}

QString FormatLongTime(double value)
{
    return DoubleToDateTime(value).time().toString(g_formats.longTimeFormat);
}

QString FormatDateTimeText(double value)
{
    const QDateTime dt = DoubleToDateTime(value);
    QString text = dt.date().toString(g_formats.shortDateFormat);
    if (dt.time().msecsSinceStartOfDay() != 0)
        text += QLatin1Char(' ') + dt.time().toString(g_formats.longTimeFormat);
    return text;
}

bool ParseDateTimeText(const QString &text, double &value)
{
    const QString trimmed = text.trimmed();
    const int blank = trimmed.indexOf(QLatin1Char(' '));
    const QString datePart = blank < 0 ? trimmed : trimmed.left(blank);
    const QString timePart = blank < 0 ? QString() : trimmed.mid(blank + 1).trimmed();
    const QDate date = QDate::fromString(datePart, g_formats.shortDateFormat);
    if (!date.isValid())
        return false;
    QTime time(0, 0);
    if (!timePart.isEmpty()) {
        time = QTime::fromString(timePart, g_formats.longTimeFormat);
        if (!time.isValid()) {
            // Accept the time without seconds as well.
            QString shortFormat = g_formats.longTimeFormat;
            shortFormat.remove(QRegularExpression(QStringLiteral("[^Hhm]s+")));
            time = QTime::fromString(timePart, shortFormat);
        }
        if (!time.isValid())
            return false;
    }
    value = EncodeDate(date.year(), date.month(), date.day())
        + EncodeTime(time.hour(), time.minute(), time.second(), time.msec());
    return true;
}
