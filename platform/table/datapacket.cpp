#include "datapacket.h"

#include <QDate>
#include <QFile>
#include <QHash>
#include <QXmlStreamReader>
#include <QXmlStreamWriter>
#include <cmath>
#include <limits>

#include "codepage1250.h"
#include "memtable.h"
#include "myutils.h"

namespace {
const QDate kEpoch(1899, 12, 30);

// Characters XML 1.0 cannot carry, not even as a character reference, travel
// through the parser as private-use characters (code page 1250 text never
// decodes to those) and are put back into the values afterwards.
constexpr char16_t kControlBase = 0xE000;

bool isXmlControl(uint c) { return c < 0x20 && c != 0x09 && c != 0x0A && c != 0x0D; }

// True when the raw bytes hold a control character or a reference to one.
bool needsShield(const QByteArray &bytes)
{
    const char *p = bytes.constData();
    const qsizetype n = bytes.size();
    for (qsizetype i = 0; i < n; ++i) {
        const unsigned char c = static_cast<unsigned char>(p[i]);
        if (c < 0x20 && isXmlControl(c))
            return true;
        if (c == '&' && i + 2 < n && p[i + 1] == '#' && p[i + 2] >= '0' && p[i + 2] <= '9') {
            qsizetype j = i + 2;
            uint value = 0;
            while (j < n && p[j] >= '0' && p[j] <= '9' && j - i < 12)
                value = value * 10 + uint(p[j++] - '0');
            if (isXmlControl(value))
                return true;
        }
    }
    return false;
}

QString shieldControls(const QString &text)
{
    QString out;
    out.reserve(text.size());
    const QChar *p = text.constData();
    const qsizetype n = text.size();
    for (qsizetype i = 0; i < n; ++i) {
        const char16_t c = p[i].unicode();
        if (c < 0x20 && isXmlControl(c)) {
            out += QChar(char16_t(kControlBase + c));
            continue;
        }
        if (c == u'&' && i + 2 < n && p[i + 1] == QLatin1Char('#') && p[i + 2].isDigit()) {
            qsizetype j = i + 2;
            uint value = 0;
            while (j < n && p[j].isDigit() && j - i < 12) {
                value = value * 10 + uint(p[j].digitValue());
                ++j;
            }
            if (j < n && p[j] == QLatin1Char(';') && isXmlControl(value)) {
                out += QChar(char16_t(kControlBase + value));
                i = j;
                continue;
            }
        }
        out += p[i];
    }
    return out;
}

QString unshieldControls(QStringView value)
{
    QString s = value.toString();
    for (QChar &c : s)
        if (c.unicode() >= kControlBase && c.unicode() < kControlBase + 0x20)
            c = QChar(char16_t(c.unicode() - kControlBase));
    return s;
}

bool hasShielded(QStringView value)
{
    for (QChar c : value)
        if (c.unicode() >= kControlBase && c.unicode() < kControlBase + 0x20)
            return true;
    return false;
}

struct TypeName {
    const char *name;
    const char *subtype;
    TFieldType type;
};
const TypeName kTypes[] = {
    {"i4", "Autoinc", TFieldType::AutoInc},
    {"i4", nullptr, TFieldType::Integer},
    {"i2", nullptr, TFieldType::SmallInt},
    {"i1", nullptr, TFieldType::ShortInt},
    {"ui1", nullptr, TFieldType::Byte},
    {"ui2", nullptr, TFieldType::Word},
    {"ui4", nullptr, TFieldType::LongWord},
    {"i8", nullptr, TFieldType::LargeInt},
    {"boolean", nullptr, TFieldType::Boolean},
    {"r8", "Money", TFieldType::Currency},
    {"r8", nullptr, TFieldType::Float},
    {"fixed", nullptr, TFieldType::BCD},
    {"date", nullptr, TFieldType::Date},
    {"time", nullptr, TFieldType::Time},
    {"dateTime", nullptr, TFieldType::DateTime},
    {"string", nullptr, TFieldType::String},
    {"string.uni", nullptr, TFieldType::WideString},
    {"bin.hex", "Text", TFieldType::Memo},
    {"bin.hex", "WideText", TFieldType::Memo},
    {"bin.hex", nullptr, TFieldType::Blob},
};

TFieldType typeFromNames(const QString &name, const QString &subtype)
{
    for (const TypeName &t : kTypes)
        if (name == QLatin1String(t.name)
            && (!t.subtype || subtype.compare(QLatin1String(t.subtype), Qt::CaseInsensitive) == 0))
            return t.type;
    return TFieldType::Unknown;
}

const char *typeNameOf(TFieldType type)
{
    for (const TypeName &t : kTypes)
        if (t.type == type)
            return t.name;
    return "string";
}

const char *defaultSubtypeOf(TFieldType type)
{
    switch (type) {
    case TFieldType::AutoInc: return "Autoinc";
    case TFieldType::Currency: return "Money";
    case TFieldType::Memo: return "Text";
    default: return nullptr;
    }
}

// ---- Value forms -----------------------------------------------------------------

void splitDayNumber(double value, qint64 &days, qint64 &msOfDay)
{
    const double day = std::floor(value);
    days = qint64(day);
    msOfDay = qint64(std::llround((value - day) * 86400000.0));
    if (msOfDay >= 86400000) {
        msOfDay -= 86400000;
        ++days;
    }
}

void appendPadded(QByteArray &out, qint64 value, int width)
{
    char buf[24];
    int n = 0;
    bool negative = value < 0;
    quint64 v = negative ? quint64(-(value + 1)) + 1 : quint64(value);
    do {
        buf[n++] = char('0' + v % 10);
        v /= 10;
    } while (v);
    while (n < width)
        buf[n++] = '0';
    if (negative)
        out += '-';
    while (n)
        out += buf[--n];
}

void appendDate(QByteArray &out, qint64 days)
{
    const QDate d = kEpoch.addDays(days);
    appendPadded(out, d.year(), 4);
    appendPadded(out, d.month(), 2);
    appendPadded(out, d.day(), 2);
}

void appendTime(QByteArray &out, qint64 ms)
{
    appendPadded(out, ms / 3600000, 2);
    out += ':';
    appendPadded(out, (ms / 60000) % 60, 2);
    out += ':';
    appendPadded(out, ms % 60000, 5);
}

bool readDigits(QStringView s, qsizetype at, int count, int &value)
{
    if (at + count > s.size())
        return false;
    value = 0;
    for (int i = 0; i < count; ++i) {
        const QChar c = s[at + i];
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            return false;
        value = value * 10 + (c.unicode() - '0');
    }
    return true;
}

bool parseDatePart(QStringView s, double &value)
{
    int y, m, d;
    if (s.size() != 8 || !readDigits(s, 0, 4, y) || !readDigits(s, 4, 2, m) || !readDigits(s, 6, 2, d))
        return false;
    const QDate date(y, m, d);
    if (!date.isValid())
        return false;
    value = double(kEpoch.daysTo(date));
    return true;
}

bool parseTimePart(QStringView s, double &value)
{
    int h, mi, sec;
    // hh:nn:ss followed by up to three digits of milliseconds (the usual form has all five).
    if (s.size() < 8 || s.size() > 11 || !readDigits(s, 0, 2, h) || s[2] != QLatin1Char(':')
        || !readDigits(s, 3, 2, mi) || s[5] != QLatin1Char(':') || !readDigits(s, 6, 2, sec))
        return false;
    int ms = 0;
    const int extra = int(s.size() - 8);
    if (extra > 0 && !readDigits(s, 8, extra, ms))
        return false;
    for (int i = extra; i < 3; ++i)
        ms *= 10;
    if (h > 23 || mi > 59 || sec > 59)
        return false;
    value = ((h * 60.0 + mi) * 60.0 + sec) * 1000.0 + ms;
    value /= 86400000.0;
    return true;
}

bool parseDateTimeView(QStringView s, double &value)
{
    const qsizetype t = s.indexOf(QLatin1Char('T'));
    double date = 0, time = 0;
    if (t < 0)
        return parseDatePart(s, value);
    if (!parseDatePart(s.left(t), date) || !parseTimePart(s.mid(t + 1), time))
        return false;
    value = date + time;
    return true;
}

// ---- Reading ------------------------------------------------------------------------

class PacketReader {
public:
    PacketReader(TMemTable &table, const QString &source) : m_table(table), m_source(source) {}

    void read(const QString &text)
    {
        QXmlStreamReader xml(text);
        bool sawRoot = false;
        while (!xml.atEnd()) {
            const auto token = xml.readNext();
            switch (token) {
            case QXmlStreamReader::DTD:
                fail(xml, QStringLiteral("document type declarations are not accepted"));
            case QXmlStreamReader::EntityReference:
                fail(xml, QStringLiteral("unknown entity reference"));
            case QXmlStreamReader::StartElement:
                if (sawRoot || xml.name() != QLatin1String("DATAPACKET"))
                    fail(xml, QStringLiteral("the root element must be DATAPACKET"));
                sawRoot = true;
                if (xml.attributes().value(QLatin1String("Version")) != QLatin1String("2.0"))
                    fail(xml, QStringLiteral("only the packet version 2.0 is known"));
                readPacket(xml);
                break;
            case QXmlStreamReader::Characters:
                if (!xml.isWhitespace())
                    fail(xml, QStringLiteral("text outside the packet"));
                break;
            default:
                break;
            }
        }
        if (xml.hasError())
            fail(xml, xml.errorString());
        if (!sawRoot)
            fail(xml, QStringLiteral("no DATAPACKET element"));
        if (!m_sawMetadata)
            fail(xml, QStringLiteral("no METADATA element"));
    }

private:
    [[noreturn]] void fail(const QXmlStreamReader &xml, const QString &what) const
    {
        const QString where = m_source.isEmpty() ? QStringLiteral("data packet") : m_source;
        throw ETableError(QStringLiteral("Invalid data packet \"%1\" (line %2, column %3): %4")
                              .arg(where)
                              .arg(xml.lineNumber())
                              .arg(xml.columnNumber())
                              .arg(what));
    }

    // Reads up to the end of the current element, refusing unknown content.
    bool nextChild(QXmlStreamReader &xml)
    {
        while (!xml.atEnd()) {
            const auto token = xml.readNext();
            switch (token) {
            case QXmlStreamReader::StartElement: return true;
            case QXmlStreamReader::EndElement: return false;
            case QXmlStreamReader::Characters:
                if (!xml.isWhitespace())
                    fail(xml, QStringLiteral("unexpected text"));
                break;
            case QXmlStreamReader::EntityReference: fail(xml, QStringLiteral("unknown entity reference"));
            case QXmlStreamReader::Invalid: fail(xml, xml.errorString());
            default: break;
            }
        }
        fail(xml, xml.hasError() ? xml.errorString() : QStringLiteral("unexpected end of file"));
    }

    void readPacket(QXmlStreamReader &xml)
    {
        while (nextChild(xml)) {
            if (xml.name() == QLatin1String("METADATA") && !m_sawMetadata) {
                m_sawMetadata = true;
                readMetadata(xml);
            } else if (xml.name() == QLatin1String("ROWDATA") && m_sawMetadata && !m_sawRows) {
                m_sawRows = true;
                readRows(xml);
            } else {
                fail(xml, QStringLiteral("unexpected element %1").arg(xml.name()));
            }
        }
    }

    void readMetadata(QXmlStreamReader &xml)
    {
        bool sawFields = false;
        while (nextChild(xml)) {
            if (xml.name() == QLatin1String("FIELDS") && !sawFields) {
                sawFields = true;
                while (nextChild(xml)) {
                    if (xml.name() != QLatin1String("FIELD"))
                        fail(xml, QStringLiteral("unexpected element %1 in FIELDS").arg(xml.name()));
                    if (int(m_table.fieldDefs().size()) >= TMemTable::kMaxFields)
                        fail(xml, QStringLiteral("more than %1 fields").arg(TMemTable::kMaxFields));
                    readField(xml);
                }
            } else if (xml.name() == QLatin1String("PARAMS")) {
                readParams(xml);
            } else {
                fail(xml, QStringLiteral("unexpected element %1 in METADATA").arg(xml.name()));
            }
        }
        if (m_table.fieldDefs().empty())
            fail(xml, QStringLiteral("no field definitions"));
        try {
            m_table.createDataSet();
        } catch (const ETableError &e) {
            fail(xml, e.message());
        }
        m_table.setAutoIncValue(m_autoInc);
        m_names.clear();
        for (const auto &d : m_table.fieldDefs()) {
            m_exact.insert(d.name, int(m_names.size()));
            m_folded.insert(d.name.toCaseFolded(), int(m_names.size()));
            m_names.push_back(d.name);
        }
        m_kinds.clear();
        for (int i = 0; i < m_table.fieldCount(); ++i)
            m_kinds.push_back(ValueKindOf(m_table.field(i).dataType()));
        m_lastText.assign(m_kinds.size(), QString());
    }

    static bool flag(const QXmlStreamAttributes &a, const char *name)
    {
        return a.value(QLatin1String(name)).compare(QLatin1String("true"), Qt::CaseInsensitive) == 0;
    }

    void readField(QXmlStreamReader &xml)
    {
        const QXmlStreamAttributes a = xml.attributes();
        TFieldDef d;
        d.name = a.value(QLatin1String("attrname")).toString();
        if (d.name.isEmpty())
            fail(xml, QStringLiteral("a FIELD without attrname"));
        const QString typeName = a.value(QLatin1String("fieldtype")).toString();
        d.subtype = a.value(QLatin1String("SUBTYPE")).toString();
        d.type = typeFromNames(typeName, d.subtype);
        if (d.type == TFieldType::Unknown)
            fail(xml, QStringLiteral("unknown field type \"%1\" of field %2").arg(typeName, d.name));
        if (a.hasAttribute(QLatin1String("WIDTH"))) {
            bool ok = false;
            d.size = a.value(QLatin1String("WIDTH")).toInt(&ok);
            if (!ok || d.size < 0 || d.size > 1000000)
                fail(xml, QStringLiteral("invalid WIDTH of field %1").arg(d.name));
        }
        if (a.hasAttribute(QLatin1String("DECIMALS")))
            d.decimals = a.value(QLatin1String("DECIMALS")).toInt();
        d.readOnly = flag(a, "readonly");
        d.required = flag(a, "required");
        d.hidden = flag(a, "hidden");
        m_table.fieldDefs().push_back(d);
        while (nextChild(xml))
            fail(xml, QStringLiteral("unexpected element %1 in FIELD").arg(xml.name()));
    }

    void readParams(QXmlStreamReader &xml)
    {
        for (const QXmlStreamAttribute &attr : xml.attributes()) {
            if (attr.name() == QLatin1String("AUTOINCVALUE")) {
                bool ok = false;
                m_autoInc = attr.value().toInt(&ok);
                if (!ok)
                    fail(xml, QStringLiteral("invalid AUTOINCVALUE \"%1\"").arg(attr.value()));
            } else {
                m_table.extraParams().append({attr.name().toString(), attr.value().toString()});
            }
        }
        while (nextChild(xml))
            fail(xml, QStringLiteral("unexpected element %1 in PARAMS").arg(xml.name()));
    }

    int fieldIndexOf(QStringView name, int hint) const
    {
        // Rows usually list their values in field order: try the next field first.
        const int n = int(m_names.size());
        if (hint >= 0 && hint < n && name == m_names[size_t(hint)])
            return hint;
        const QString key = name.toString();
        if (const auto it = m_exact.constFind(key); it != m_exact.constEnd())
            return *it;
        if (const auto it = m_folded.constFind(key.toCaseFolded()); it != m_folded.constEnd())
            return *it;
        return -1;
    }

    void readRows(QXmlStreamReader &xml)
    {
        int rowNumber = 0;
        while (nextChild(xml)) {
            if (xml.name() != QLatin1String("ROW"))
                fail(xml, QStringLiteral("unexpected element %1 in ROWDATA").arg(xml.name()));
            ++rowNumber;
            const int record = m_table.appendRawRecord();
            int hint = 0;
            for (const QXmlStreamAttribute &attr : xml.attributes()) {
                const QStringView name = attr.name();
                const int f = fieldIndexOf(name, hint);
                if (f < 0) {
                    // Change-log state of other writers; every row here is final.
                    if (name == QLatin1String("RowState"))
                        continue;
                    fail(xml, QStringLiteral("row %1 has a value for the unknown field %2").arg(rowNumber).arg(name));
                }
                hint = f + 1;
                storeValue(xml, record, f, attr.value(), rowNumber);
            }
            while (nextChild(xml))
                fail(xml, QStringLiteral("unexpected element %1 in ROW").arg(xml.name()));
        }
    }

    void storeValue(QXmlStreamReader &xml, int record, int field, QStringView value, int rowNumber)
    {
        const TField &f = m_table.field(field);
        auto bad = [&]() {
            fail(xml, QStringLiteral("row %1: \"%2\" is not a valid %3 value for field %4")
                          .arg(rowNumber)
                          .arg(value.left(40))
                          .arg(QLatin1String(typeNameOf(f.dataType())), f.fieldName()));
        };
        switch (m_kinds[size_t(field)]) {
        case TValueKind::Text:
            if (f.dataType() == TFieldType::Memo) {
                m_table.setRawText(field, record, DecodeCp1250(QByteArray::fromBase64(value.toLatin1())));
            } else {
                // Repeated texts (type names, frequent numbers) share one string.
                QString &last = m_lastText[size_t(field)];
                if (hasShielded(value))
                    m_table.setRawText(field, record, unshieldControls(value));
                else if (!last.isNull() && value == last)
                    m_table.setRawText(field, record, last);
                else
                    m_table.setRawText(field, record, last = value.toString());
            }
            return;
        case TValueKind::Int: {
            if (f.dataType() == TFieldType::Boolean) {
                if (value.compare(QLatin1String("TRUE"), Qt::CaseInsensitive) == 0 || value == QLatin1String("1"))
                    m_table.setRawInt(field, record, 1);
                else if (value.compare(QLatin1String("FALSE"), Qt::CaseInsensitive) == 0 || value == QLatin1String("0"))
                    m_table.setRawInt(field, record, 0);
                else
                    bad();
                return;
            }
            bool ok = false;
            const qint64 v = value.toLongLong(&ok);
            if (!ok)
                bad();
            // Out-of-range values are refused rather than wrapped.
            const bool fits = [&] {
                switch (f.dataType()) {
                case TFieldType::Integer:
                case TFieldType::AutoInc: return v >= INT32_MIN && v <= INT32_MAX;
                case TFieldType::SmallInt: return v >= -32768 && v <= 32767;
                case TFieldType::ShortInt: return v >= -128 && v <= 127;
                case TFieldType::Byte: return v >= 0 && v <= 255;
                case TFieldType::Word: return v >= 0 && v <= 65535;
                case TFieldType::LongWord: return v >= 0 && v <= qint64(UINT32_MAX);
                default: return true;
                }
            }();
            if (!fits)
                bad();
            m_table.setRawInt(field, record, v);
            return;
        }
        case TValueKind::Float: {
            double v = 0;
            bool ok = false;
            switch (f.dataType()) {
            case TFieldType::DateTime: ok = parseDateTimeView(value, v); break;
            case TFieldType::Date: ok = parseDatePart(value, v); break;
            case TFieldType::Time: ok = parseTimePart(value, v); break;
            default:
                v = value.toDouble(&ok);
                ok = ok && std::isfinite(v);
                break;
            }
            if (!ok)
                bad();
            m_table.setRawFloat(field, record, v);
            return;
        }
        }
    }

    TMemTable &m_table;
    QString m_source;
    bool m_sawMetadata = false;
    bool m_sawRows = false;
    int m_autoInc = 1;
    std::vector<QString> m_names;
    std::vector<TValueKind> m_kinds;
    std::vector<QString> m_lastText;
    QHash<QString, int> m_exact, m_folded;
};

// ---- Writing ---------------------------------------------------------------------------

void appendEscaped(QByteArray &out, const QString &text)
{
    const QChar *p = text.constData();
    const qsizetype n = text.size();
    for (qsizetype i = 0; i < n; ++i) {
        const char16_t c = p[i].unicode();
        switch (c) {
        case u'<': out += "&lt;"; continue;
        case u'>': out += "&gt;"; continue;
        case u'&': out += "&amp;"; continue;
        case u'\'': out += "&apos;"; continue;
        case u'"': out += "&quot;"; continue;
        case u'\r': out += "&#013;"; continue;
        case u'\n': out += "&#010;"; continue;
        case u'\t': out += "&#009;"; continue;
        case u'\\': out += "&#092;"; continue;
        default: break;
        }
        if (c >= 0x20 && c < 0x80) {
            out += char(c);
            continue;
        }
        if (c < 0x20) { // other controls: a reference keeps them (readers accept any)
            out += "&#";
            appendPadded(out, c, 3);
            out += ';';
            continue;
        }
        const QString one(p[i]);
        if (IsCp1250Representable(one)) {
            out += EncodeCp1250(one);
            continue;
        }
        // Beyond code page 1250: a character reference instead of a lossy '?'.
        char32_t code = c;
        if (QChar::isHighSurrogate(c) && i + 1 < n && p[i + 1].isLowSurrogate()) {
            code = QChar::surrogateToUcs4(c, p[i + 1].unicode());
            ++i;
        } else if (QChar::isSurrogate(c) || c == 0xFFFE || c == 0xFFFF) {
            code = 0xFFFD; // no XML reader takes these back: the replacement character keeps the file readable
        }
        out += "&#";
        appendPadded(out, qint64(code), 1);
        out += ';';
    }
}

bool isPlainAscii(const QString &text)
{
    for (QChar ch : text) {
        const char16_t c = ch.unicode();
        if (c < 0x20 || c >= 0x80 || c == u'<' || c == u'>' || c == u'&' || c == u'\'' || c == u'"' || c == u'\\')
            return false;
    }
    return true;
}

void appendAttr(QByteArray &out, const char *name, const QString &value)
{
    out += ' ';
    out += name;
    out += "=\"";
    appendEscaped(out, value);
    out += '"';
}
QByteArray rowText(const TMemTable &table, const std::vector<QByteArray> &names, int r)
{
    QByteArray row;
    const int fields = table.fieldCount();
    row += "<ROW";
    for (int i = 0; i < fields; ++i) {
        if (table.cellNull(i, r))
            continue;
        const TField &f = table.field(i);
        row += ' ';
        row += names[size_t(i)];
        row += "=\"";
        switch (f.dataType()) {
        case TFieldType::Boolean: row += table.cellInt(i, r) ? "TRUE" : "FALSE"; break;
        case TFieldType::DateTime: {
            qint64 days, ms;
            splitDayNumber(table.cellFloat(i, r), days, ms);
            appendDate(row, days);
            row += 'T';
            appendTime(row, ms);
            break;
        }
        case TFieldType::Date: {
            qint64 days, ms;
            splitDayNumber(table.cellFloat(i, r), days, ms);
            appendDate(row, days);
            break;
        }
        case TFieldType::Time: {
            qint64 days, ms;
            splitDayNumber(table.cellFloat(i, r), days, ms);
            appendTime(row, ms);
            break;
        }
        case TFieldType::Float:
        case TFieldType::Currency:
        case TFieldType::BCD:
            row += QByteArray::number(table.cellFloat(i, r), 'g', QLocale::FloatingPointShortest);
            break;
        case TFieldType::Memo: row += EncodeCp1250(table.cellText(i, r)).toBase64(); break;
        case TFieldType::Blob: appendEscaped(row, table.cellText(i, r)); break;
        default:
            if (ValueKindOf(f.dataType()) == TValueKind::Int) {
                appendPadded(row, table.cellInt(i, r), 1);
            } else {
                const QString &s = table.cellText(i, r);
                if (isPlainAscii(s))
                    row += s.toLatin1();
                else
                    appendEscaped(row, s);
            }
            break;
        }
        row += '"';
    }
    row += "/>";
    row.squeeze();
    return row;
}
} // namespace

QString PacketDateTimeText(double value)
{
    QByteArray out;
    qint64 days, ms;
    splitDayNumber(value, days, ms);
    appendDate(out, days);
    out += 'T';
    appendTime(out, ms);
    return QString::fromLatin1(out);
}

QString PacketDateText(double value)
{
    QByteArray out;
    qint64 days, ms;
    splitDayNumber(value, days, ms);
    appendDate(out, days);
    return QString::fromLatin1(out);
}

QString PacketTimeText(double value)
{
    QByteArray out;
    qint64 days, ms;
    splitDayNumber(value, days, ms);
    appendTime(out, ms);
    return QString::fromLatin1(out);
}

bool ParsePacketDateTime(const QString &text, double &value) { return parseDateTimeView(QStringView(text), value); }

bool ParsePacketDate(const QString &text, double &value) { return parseDatePart(QStringView(text), value); }
bool ParsePacketTime(const QString &text, double &value) { return parseTimePart(QStringView(text), value); }

void LoadDataPacket(TMemTable &table, const QByteArray &bytes, const QString &sourceName)
{
    TMemTable loaded;
    PacketReader reader(loaded, sourceName);
    reader.read(needsShield(bytes) ? shieldControls(DecodeCp1250(bytes)) : DecodeCp1250(bytes));
    table.replaceContent(loaded);
}

QByteArray SaveDataPacket(const TMemTable &table)
{
    if (!table.active())
        throw ETableError(QStringLiteral("Cannot save a closed dataset"));
    QByteArray out;
    const int rows = table.physicalCount();
    const int fields = table.fieldCount();
    out.reserve(qsizetype(rows) * (fields * 16 + 16) + 4096);
    out += "<?xml version=\"1.0\" standalone=\"yes\"?>\r\n<DATAPACKET Version=\"2.0\"><METADATA><FIELDS>";
    std::vector<QByteArray> names;
    for (int i = 0; i < fields; ++i) {
        const TFieldDef &d = table.field(i).def();
        out += "<FIELD";
        appendAttr(out, "attrname", d.name);
        out += " fieldtype=\"";
        out += typeNameOf(d.type);
        out += '"';
        if (d.type == TFieldType::BCD) {
            out += " DECIMALS=\"";
            appendPadded(out, d.decimals, 1);
            out += '"';
        }
        if (d.size > 0 || d.type == TFieldType::String || d.type == TFieldType::WideString || d.type == TFieldType::BCD) {
            out += " WIDTH=\"";
            appendPadded(out, d.size, 1);
            out += '"';
        }
        const QString subtype = d.subtype.isEmpty() ? QString::fromLatin1(defaultSubtypeOf(d.type)) : d.subtype;
        if (!subtype.isEmpty())
            appendAttr(out, "SUBTYPE", subtype);
        if (d.readOnly)
            out += " readonly=\"true\"";
        if (d.required)
            out += " required=\"true\"";
        if (d.hidden)
            out += " hidden=\"true\"";
        out += "/>";
        QByteArray name;
        appendEscaped(name, d.name);
        names.push_back(name);
    }
    out += "</FIELDS><PARAMS";
    for (const auto &p : table.extraParams()) {
        out += ' ';
        appendEscaped(out, p.first);
        out += "=\"";
        appendEscaped(out, p.second);
        out += '"';
    }
    out += " AUTOINCVALUE=\"";
    appendPadded(out, table.autoIncValue(), 1);
    out += "\"/></METADATA><ROWDATA>";
    for (int r = 0; r < rows; ++r) {
        QByteArray &row = table.rowCache(r);
        if (row.isEmpty())
            row = rowText(table, names, r);
        out += row;
    }
    out += "</ROWDATA></DATAPACKET>";
    return out;
}

void LoadDataPacketFile(TMemTable &table, const QString &fileName)
{
    QFile f(fileName);
    if (!f.open(QIODevice::ReadOnly))
        throw ETableError(QStringLiteral("Cannot open file \"%1\": %2").arg(fileName, f.errorString()));
    const QByteArray bytes = f.readAll();
    if (f.error() != QFileDevice::NoError)
        throw ETableError(QStringLiteral("Cannot read file \"%1\": %2").arg(fileName, f.errorString()));
    LoadDataPacket(table, bytes, fileName);
}

void SaveDataPacketFile(const TMemTable &table, const QString &fileName)
{
    const QByteArray bytes = SaveDataPacket(table);
    if (!WriteStringToFile(bytes, fileName))
        throw ETableError(QStringLiteral("Cannot write file \"%1\"").arg(fileName));
}
