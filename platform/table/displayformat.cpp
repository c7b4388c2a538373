#include "displayformat.h"

#include <QDateTime>
#include <cmath>

#include "formatsettings.h"

QString FormatNumber(const QString &format, double value)
{
    // Sections: "positive;negative" - only the first one is used for both signs.
    const QString f = format.section(QLatin1Char(';'), 0, 0);
    const int point = f.indexOf(QLatin1Char('.'));
    const QString intPart = point < 0 ? f : f.left(point);
    const QString fracPart = point < 0 ? QString() : f.mid(point + 1);
    const bool grouping = intPart.contains(QLatin1Char(','));
    const int minInt = int(intPart.count(QLatin1Char('0')));
    const int minFrac = int(fracPart.count(QLatin1Char('0')));
    const int maxFrac = minFrac + int(fracPart.count(QLatin1Char('#')));

    const bool negative = value < 0;
    QString digits = QString::number(std::fabs(value), 'f', maxFrac);
    QString whole = digits.section(QLatin1Char('.'), 0, 0);
    QString frac = maxFrac > 0 ? digits.section(QLatin1Char('.'), 1, 1) : QString();
    while (frac.size() > minFrac && frac.endsWith(QLatin1Char('0')))
        frac.chop(1);
    if (whole == QLatin1String("0") && minInt == 0)
        whole.clear();
    while (whole.size() < minInt)
        whole.prepend(QLatin1Char('0'));
    if (grouping && whole.size() > 3) {
        const QChar sep = SystemFormats().thousandSeparator;
        for (int i = int(whole.size()) - 3; i > 0; i -= 3)
            whole.insert(i, sep);
    }
    QString result = whole;
    if (!frac.isEmpty())
        result += SystemFormats().decimalSeparator + frac;
    const bool isZero = std::round(std::fabs(value) * std::pow(10.0, maxFrac)) == 0;
    if (negative && !isZero)
        result.prepend(QLatin1Char('-'));
    return result;
}

namespace {
// A date or time part: zero-padded to width digits when its letter was repeated.
QString PartText(int value, bool padded, int width = 2)
{
    return padded ? QStringLiteral("%1").arg(value, width, 10, QLatin1Char('0')) : QString::number(value);
}
} // namespace

QString FormatDateTimeValue(const QString &format, double value)
{
    const QDateTime dt = DoubleToDateTime(value);
    const QDate d = dt.date();
    const QTime t = dt.time();
    QString out;
    bool afterHour = false; // "m" right after an hour means minutes
    const int n = int(format.size());
    for (int i = 0; i < n;) {
        const QChar c = format[i];
        if (c == QLatin1Char('"') || c == QLatin1Char('\'')) {
            const int end = format.indexOf(c, i + 1);
            const int stop = end < 0 ? n : end;
            out += format.mid(i + 1, stop - i - 1);
            i = stop + 1;
            continue;
        }
        const QChar lc = c.toLower();
        int run = 1;
        while (i + run < n && format[i + run].toLower() == lc)
            ++run;
        switch (lc.unicode()) {
        case 'd':
            out += PartText(d.day(), run >= 2);
            afterHour = false;
            break;
        case 'm':
            if (afterHour && run <= 2)
                out += PartText(t.minute(), run == 2);
            else
                out += PartText(d.month(), run >= 2);
            afterHour = false;
            break;
        case 'y':
            out += run <= 2 ? PartText(d.year() % 100, true) : QString::number(d.year());
            afterHour = false;
            break;
        case 'h':
            out += PartText(t.hour(), run >= 2);
            afterHour = true;
            break;
        case 'n':
            out += PartText(t.minute(), run >= 2);
            afterHour = false;
            break;
        case 's':
            out += PartText(t.second(), run >= 2);
            afterHour = false;
            break;
        case 'z':
            out += PartText(t.msec(), run >= 3, 3);
            afterHour = false;
            break;
        default:
            out += QString(run, c);
            break;
        }
        i += run;
    }
    return out;
}
