#include "contactimport.h"

#include "codepage1250.h"
#include "exception.h"

#include <QRegularExpression>
#include <QStringDecoder>
#include <QStringList>

namespace {

QString decodeText(const QByteArray &bytes)
{
    QByteArray body = bytes;
    if (body.startsWith("\xEF\xBB\xBF"))
        body.remove(0, 3);
    QStringDecoder utf8(QStringDecoder::Utf8);
    const QString text = utf8(body);
    // What is not UTF-8 is taken for the Czech code page of older exports.
    return utf8.hasError() ? DecodeCp1250(body) : text;
}

// vCard text values escape "\\", ",", ";" and line breaks.
QString unescapeVCard(const QString &value)
{
    QString result;
    result.reserve(value.size());
    for (int i = 0; i < value.size(); ++i) {
        const QChar c = value.at(i);
        if (c == QLatin1Char('\\') && i + 1 < value.size()) {
            const QChar next = value.at(++i);
            result.append(next == QLatin1Char('n') || next == QLatin1Char('N') ? QLatin1Char(' ') : next);
        } else {
            result.append(c);
        }
    }
    return result.simplified();
}

QByteArray decodeQuotedPrintable(const QByteArray &value)
{
    QByteArray result;
    for (int i = 0; i < value.size(); ++i) {
        if (value.at(i) == '=' && i + 2 < value.size()) {
            bool ok = false;
            const int byte = value.mid(i + 1, 2).toInt(&ok, 16);
            if (ok) {
                result.append(char(byte));
                i += 2;
                continue;
            }
        }
        result.append(value.at(i));
    }
    return result;
}

struct ContentLine {
    QString name;   // upper case, without a group
    QString params; // upper case
    QString value;
};

ContentLine splitContentLine(const QString &line)
{
    ContentLine result;
    // The value starts after the first colon outside a quoted parameter value.
    bool quoted = false;
    int colon = -1;
    for (int i = 0; i < line.size(); ++i) {
        if (line.at(i) == QLatin1Char('"'))
            quoted = !quoted;
        else if (line.at(i) == QLatin1Char(':') && !quoted) {
            colon = i;
            break;
        }
    }
    if (colon < 0)
        return result;
    QString head = line.left(colon);
    result.value = line.mid(colon + 1);
    const int semicolon = head.indexOf(QLatin1Char(';'));
    QString name = semicolon < 0 ? head : head.left(semicolon);
    result.params = semicolon < 0 ? QString() : head.mid(semicolon + 1).toUpper();
    const int dot = name.lastIndexOf(QLatin1Char('.'));
    if (dot >= 0)
        name = name.mid(dot + 1);
    result.name = name.trimmed().toUpper();
    return result;
}

QString nameFromN(const QString &value)
{
    // N: family;given;additional;prefixes;suffixes
    const QStringList parts = value.split(QLatin1Char(';'));
    return unescapeVCard(parts.value(1) + QLatin1Char(' ') + parts.value(0));
}

void flush(QList<TPhonebookEntry> &entries, const QString &name, const QStringList &numbers)
{
    for (const QString &number : numbers) {
        TPhonebookEntry e;
        e.Number = number;
        e.Name = name;
        entries.append(e);
    }
}

QStringList splitCsvLine(const QString &line, QChar separator)
{
    QStringList fields;
    QString field;
    bool quoted = false;
    for (int i = 0; i < line.size(); ++i) {
        const QChar c = line.at(i);
        if (quoted) {
            if (c == QLatin1Char('"') && i + 1 < line.size() && line.at(i + 1) == QLatin1Char('"')) {
                field.append(c);
                ++i;
            } else if (c == QLatin1Char('"')) {
                quoted = false;
            } else {
                field.append(c);
            }
        } else if (c == QLatin1Char('"')) {
            quoted = true;
        } else if (c == separator) {
            fields.append(field.trimmed());
            field.clear();
        } else {
            field.append(c);
        }
    }
    fields.append(field.trimmed());
    return fields;
}

bool looksLikeNumber(const QString &text)
{
    static const QRegularExpression pattern(QStringLiteral("^\\+?[0-9][0-9 ()./-]{2,}$"));
    return pattern.match(text.trimmed()).hasMatch();
}

} // namespace

QList<TPhonebookEntry> ImportVCard(const QByteArray &bytes)
{
    const QString text = decodeText(bytes);
    // Unfold: a line that starts with a blank continues the one before.
    QStringList lines;
    for (QString raw : text.split(QLatin1Char('\n'))) {
        if (raw.endsWith(QLatin1Char('\r')))
            raw.chop(1);
        if ((raw.startsWith(QLatin1Char(' ')) || raw.startsWith(QLatin1Char('\t'))) && !lines.isEmpty())
            lines.last() += raw.mid(1);
        else if (!lines.isEmpty() && lines.last().endsWith(QLatin1Char('=')) && lines.last().contains(QStringLiteral("QUOTED-PRINTABLE"), Qt::CaseInsensitive))
            lines.last() = lines.last().chopped(1) + raw; // a soft line break of vCard 2.1
        else
            lines.append(raw);
    }

    QList<TPhonebookEntry> entries;
    bool inCard = false;
    int cards = 0;
    QString formatted, structured;
    QStringList numbers;
    for (const QString &line : std::as_const(lines)) {
        const ContentLine c = splitContentLine(line);
        if (c.name == QLatin1String("BEGIN") && c.value.trimmed().compare(QLatin1String("VCARD"), Qt::CaseInsensitive) == 0) {
            if (inCard)
                throw Exception(QStringLiteral("Kontakt vCard č. %1 není ukončen").arg(cards));
            inCard = true;
            ++cards;
            formatted.clear();
            structured.clear();
            numbers.clear();
        } else if (c.name == QLatin1String("END") && inCard) {
            inCard = false;
            flush(entries, formatted.isEmpty() ? structured : formatted, numbers);
        } else if (inCard) {
            QString value = c.value;
            if (c.params.contains(QStringLiteral("QUOTED-PRINTABLE")))
                value = QString::fromUtf8(decodeQuotedPrintable(value.toLatin1()));
            if (c.name == QLatin1String("FN"))
                formatted = unescapeVCard(value);
            else if (c.name == QLatin1String("N"))
                structured = nameFromN(value);
            else if (c.name == QLatin1String("TEL")) {
                QString number = value.trimmed();
                if (number.startsWith(QLatin1String("tel:"), Qt::CaseInsensitive))
                    number = number.mid(4);
                number = number.section(QLatin1Char(';'), 0, 0); // tel: URIs may carry parameters
                if (!number.isEmpty())
                    numbers.append(number);
            }
        }
    }
    if (inCard)
        throw Exception(QStringLiteral("Kontakt vCard č. %1 není ukončen").arg(cards));
    if (cards == 0)
        throw Exception(QStringLiteral("Soubor neobsahuje žádný kontakt vCard"));
    return entries;
}

QList<TPhonebookEntry> ImportCsv(const QByteArray &bytes)
{
    const QString text = decodeText(bytes);
    QStringList lines;
    for (QString line : text.split(QLatin1Char('\n'))) {
        if (line.endsWith(QLatin1Char('\r')))
            line.chop(1);
        if (!line.trimmed().isEmpty())
            lines.append(line);
    }
    if (lines.isEmpty())
        throw Exception(QStringLiteral("Soubor neobsahuje žádný kontakt"));
    const QChar separator = lines.first().count(QLatin1Char(';')) >= lines.first().count(QLatin1Char(','))
        ? QLatin1Char(';')
        : QLatin1Char(',');

    // A header names the columns; without one the column that looks like a number is it.
    int nameColumn = -1;
    int numberColumn = -1;
    const QStringList header = splitCsvLine(lines.first(), separator);
    for (int i = 0; i < header.size(); ++i) {
        const QString h = header.at(i).toLower();
        if (numberColumn < 0
            && (h.contains(QStringLiteral("číslo")) || h.contains(QStringLiteral("telefon")) || h.contains(QStringLiteral("phone"))
                || h.contains(QStringLiteral("number")) || h.contains(QStringLiteral("tel"))))
            numberColumn = i;
        else if (nameColumn < 0 && (h.contains(QStringLiteral("jméno")) || h.contains(QStringLiteral("name")) || h.contains(QStringLiteral("název"))))
            nameColumn = i;
    }
    int first = 1;
    if (numberColumn < 0) {
        first = 0;
        const QStringList row = header;
        numberColumn = looksLikeNumber(row.value(0)) ? 0 : 1;
        nameColumn = numberColumn == 0 ? 1 : 0;
    } else if (nameColumn < 0) {
        nameColumn = numberColumn == 0 ? 1 : 0;
    }

    QList<TPhonebookEntry> entries;
    for (int i = first; i < lines.size(); ++i) {
        const QStringList fields = splitCsvLine(lines.at(i), separator);
        const QString number = fields.value(numberColumn);
        if (!looksLikeNumber(number))
            throw Exception(QStringLiteral("Řádek %1 souboru CSV nemá telefonní číslo: \"%2\"").arg(i + 1).arg(number));
        TPhonebookEntry e;
        e.Number = number.trimmed();
        e.Name = fields.value(nameColumn).simplified();
        entries.append(e);
    }
    if (entries.isEmpty())
        throw Exception(QStringLiteral("Soubor neobsahuje žádný kontakt"));
    return entries;
}

QList<TPhonebookEntry> ImportContacts(const QByteArray &bytes)
{
    if (bytes.contains("BEGIN:VCARD") || bytes.contains("begin:vcard"))
        return ImportVCard(bytes);
    return ImportCsv(bytes);
}
