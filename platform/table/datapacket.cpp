#include "datapacket.h"

#include <QDate>
#include <QFile>
#include <QHash>
#include <QXmlStreamWriter>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <expat.h>
#include <fcntl.h>
#include <limits>
#include <sys/stat.h>
#include <unistd.h>

#include "codepage1250.h"
#include "memtable.h"
#include "myutils.h"

namespace {
const QDate kEpoch(1899, 12, 30);

// Characters XML 1.0 cannot carry, not even as a character reference, travel
// through the parser as private-use characters (code page 1250 text never decodes to
// those) and are put back into the values afterwards. A private-use character of that
// range that the file itself names by reference travels behind kShieldEscape, so that
// it comes back as itself and never as a control character.
constexpr char16_t kControlBase = 0xE000;
constexpr char16_t kShieldEscape = 0xE020;

bool isXmlControl(uint c) { return c < 0x20 && c != 0x09 && c != 0x0A && c != 0x0D; }
bool isShieldRange(uint c) { return c >= kControlBase && c <= kShieldEscape; }

QString unshieldControls(QStringView value)
{
    QString s;
    s.reserve(value.size());
    for (qsizetype i = 0; i < value.size(); ++i) {
        const char16_t c = value[i].unicode();
        if (c == kShieldEscape && i + 1 < value.size() && isShieldRange(value[i + 1].unicode()))
            s += value[++i];
        else if (c >= kControlBase && c < kShieldEscape)
            s += QChar(char16_t(c - kControlBase));
        else
            s += value[i];
    }
    return s;
}

bool hasShielded(QStringView value)
{
    for (QChar c : value)
        if (isShieldRange(c.unicode()))
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

bool isDigit(char c, bool hex)
{
    return (c >= '0' && c <= '9') || (hex && ((c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F')));
}

// A numeric character reference at i ("&#65;" or "&#x41;"): its value, saturated
// above the largest character, and the position of its ';'.
bool reference(const char *p, qsizetype i, qsizetype end, uint &value, qsizetype &semicolon)
{
    qsizetype j = i + 1;
    if (j >= end || p[j] != '#')
        return false;
    const bool hex = j + 1 < end && p[j + 1] == 'x';
    j += hex ? 2 : 1;
    const qsizetype first = j;
    quint64 v = 0;
    while (j < end && isDigit(p[j], hex)) {
        const char d = p[j++];
        const uint digit = d <= '9' ? uint(d - '0') : uint((d | 0x20) - 'a' + 10);
        v = std::min<quint64>(v * (hex ? 16 : 10) + digit, 0x110000);
    }
    if (j == first || j >= end || p[j] != ';')
        return false;
    value = uint(v);
    semicolon = j;
    return true;
}

// Code page 1250 bytes to the UTF-8 the parser reads, in pieces, so that a large file is
// never held whole. Control characters XML cannot carry (raw, or as a decimal reference)
// become private-use characters on the way.
class Cp1250Feed {
public:
    Cp1250Feed()
    {
        for (int b = 0; b < 256; ++b) {
            const QString decoded = DecodeCp1250(QByteArray(1, char(b)));
            m_table[b] = (b < 0x20 && isXmlControl(uint(b))) ? shielded(uint(b)) : decoded.toUtf8();
        }
        for (uint c = 0; c < 0x20; ++c)
            m_shielded[c] = shielded(c);
        m_back.assign(0x2200, 0);
        for (int b = 0x80; b < 256; ++b) {
            const QString decoded = DecodeCp1250(QByteArray(1, char(b)));
            if (decoded.size() == 1 && decoded[0].unicode() < m_back.size() && decoded[0].unicode() >= 0x80)
                m_back[decoded[0].unicode()] = uint8_t(b);
        }
    }

    // The bytes of the file that gave this UTF-8 (any character the feed produced maps back);
    // false for a character it did not produce.
    bool back(QByteArrayView utf8, QByteArray &out) const
    {
        out.resize(utf8.size());
        char *o = out.data();
        const auto *p = reinterpret_cast<const unsigned char *>(utf8.data());
        const auto *end = p + utf8.size();
        while (p < end) {
            uint code = *p;
            if (code < 0x80) {
                *o++ = char(*p++);
                continue;
            }
            if ((code & 0xE0) == 0xC0 && end - p >= 2) {
                code = ((code & 0x1F) << 6) | (p[1] & 0x3F);
                p += 2;
            } else if ((code & 0xF0) == 0xE0 && end - p >= 3) {
                code = ((code & 0x0F) << 12) | ((p[1] & 0x3F) << 6) | (p[2] & 0x3F);
                p += 3;
            } else {
                return false;
            }
            if (code >= m_back.size() || !m_back[code])
                return false;
            *o++ = char(m_back[code]);
        }
        out.resize(o - out.constData());
        return true;
    }

    // Converts the next piece; the tail that may begin a split reference waits for the next.
    const QByteArray &next(const char *data, qsizetype size, bool last)
    {
        const qsizetype before = m_pending.size();
        m_pending.append(data, size);
        qsizetype end = m_pending.size();
        if (!last) {
            if (const qsizetype tag = unfinishedTag(before); tag >= 0) {
                end = tag;
            } else {
                const qsizetype amp = m_pending.lastIndexOf('&');
                if (amp >= 0 && mayContinueReference(m_pending.constData() + amp + 1, end - amp - 1))
                    end = amp;
            }
        }
        // At most three bytes of UTF-8 per byte (a reference gives no more than its own
        // length); written through a pointer, trimmed after.
        m_out.resize(end * 3);
        char *out = m_out.data();
        const char *p = m_pending.constData();
        for (qsizetype i = 0; i < end; ++i) {
            const unsigned char c = static_cast<unsigned char>(p[i]);
            if (c >= 0x20 && c < 0x80) {
                uint value = 0;
                qsizetype semicolon = 0;
                if (c == '&' && reference(p, i, end, value, semicolon)) {
                    if (isXmlControl(value)) {
                        out = put(out, m_shielded[value]);
                        i = semicolon;
                        continue;
                    }
                    if (isShieldRange(value)) {
                        out = put(out, m_escape);
                        out = put(out, shielded(value - kControlBase));
                        i = semicolon;
                        continue;
                    }
                }
                *out++ = char(c);
            } else {
                out = put(out, m_table[c]);
            }
        }
        m_out.resize(out - m_out.constData());
        m_pending.remove(0, end);
        return m_out;
    }

private:
    static QByteArray shielded(uint c) { return QString(QChar(char16_t(kControlBase + c))).toUtf8(); }
    static char *put(char *out, const QByteArray &code)
    {
        std::memcpy(out, code.constData(), size_t(code.size()));
        return out + code.size();
    }
    // Where the markup that the pending bytes end in begins, when it is not complete yet
    // (-1 when it is). It waits for the rest of it: the parser would scan an unfinished
    // start tag again from its beginning with every new piece, and a row of many values
    // would cost the square of its size. Only what arrived since the last call is looked
    // at while a held tag grows. A '>' inside a value merely hands a tag over early.
    qsizetype unfinishedTag(qsizetype before)
    {
        qsizetype from = 0;
        if (m_heldTag) {
            const qsizetype close = m_pending.indexOf('>', before);
            if (close < 0)
                return 0;
            from = close;
        }
        const qsizetype open = m_pending.lastIndexOf('<');
        m_heldTag = open >= from && m_pending.indexOf('>', open) < 0;
        if (!m_heldTag)
            return -1;
        return open;
    }
    // What follows an '&' at the end of a piece could still become a character reference.
    static bool mayContinueReference(const char *p, qsizetype n)
    {
        if (n == 0)
            return true;
        if (p[0] != '#')
            return false; // a named entity: the parser joins its pieces itself
        const bool hex = n > 1 && p[1] == 'x';
        for (qsizetype i = hex ? 2 : 1; i < n; ++i)
            if (!isDigit(p[i], hex))
                return false;
        return true;
    }
    QByteArray m_table[256];
    QByteArray m_shielded[0x20];
    const QByteArray m_escape = QString(QChar(kShieldEscape)).toUtf8();
    std::vector<uint8_t> m_back;
    QByteArray m_pending;
    QByteArray m_out;
    bool m_heldTag = false; // the pending bytes begin with an unfinished tag
};

// Thrown by a reader reading rows quickly when the packet is not in the form it knows;
// the packet is then read again through the parser alone, which also names any fault.
struct QuickRowsDeclined {};

bool isXmlSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }

// An XML name of ASCII letters, digits and "_.-:", not beginning with a digit, '.' or '-'.
bool isPlainName(QByteArrayView name)
{
    if (name.isEmpty())
        return false;
    for (qsizetype i = 0; i < name.size(); ++i) {
        const char c = name[i];
        const bool letter = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_' || c == ':';
        const bool other = (c >= '0' && c <= '9') || c == '.' || c == '-';
        if (!letter && !(i > 0 && other))
            return false;
    }
    return true;
}

// The UTF-8 of a character XML allows, appended; false for one it does not.
bool appendXmlChar(QByteArray &out, uint c)
{
    const bool allowed = c == 0x09 || c == 0x0A || c == 0x0D || (c >= 0x20 && c <= 0xD7FF)
                         || (c >= 0xE000 && c <= 0xFFFD) || (c >= 0x10000 && c <= 0x10FFFF);
    if (allowed) {
        const char32_t code = c;
        out += QString::fromUcs4(&code, 1).toUtf8();
    }
    return allowed;
}

// Where the tag that begins at from ends (its '>'), skipping quoted values; -1 when the
// bytes end first.
qsizetype tagEnd(const char *data, qsizetype from, qsizetype size)
{
    const char *p = data + from;
    const char *end = data + size;
    while (p < end) {
        const char c = *p;
        if (c == '>')
            return p - data;
        if (c == '"' || c == '\'') {
            p = static_cast<const char *>(std::memchr(p + 1, c, size_t(end - p - 1)));
            if (!p)
                return -1;
        }
        ++p;
    }
    return -1;
}

// "</NAME>", with blanks before the '>'.
bool isEndTag(QByteArrayView tag, QByteArrayView name)
{
    if (!tag.startsWith("</") || tag.size() < name.size() + 3 || tag.sliced(2, name.size()) != name)
        return false;
    for (qsizetype i = 2 + name.size(); i < tag.size() - 1; ++i)
        if (!isXmlSpace(tag[i]))
            return false;
    return true;
}

class PacketReader {
public:
    // expectedBytes: the size of the whole packet when known, to make room for its rows at once.
    // quickRows: the rows of a packet in the writer's form are read without the parser
    // (see readRowsQuickly); anything else makes feed() throw QuickRowsDeclined.
    PacketReader(TMemTable &table, const QString &source, qint64 expectedBytes, bool quickRows)
        : m_table(table), m_source(source), m_expectedBytes(expectedBytes), m_quickAllowed(quickRows)
    {
        // The encoding given here overrides any declaration: the feed always gives UTF-8.
        m_parser = XML_ParserCreate("UTF-8");
        if (!m_parser)
            throw ETableError(QStringLiteral("Cannot read a data packet: out of memory"));
        XML_SetUserData(m_parser, this);
        XML_SetElementHandler(m_parser, &PacketReader::onStart, &PacketReader::onEnd);
        XML_SetCharacterDataHandler(m_parser, &PacketReader::onText);
        XML_SetStartDoctypeDeclHandler(m_parser, &PacketReader::onDoctype);
        XML_SetEntityDeclHandler(m_parser, &PacketReader::onEntityDecl);
        XML_SetSkippedEntityHandler(m_parser, &PacketReader::onSkippedEntity);
        XML_SetParamEntityParsing(m_parser, XML_PARAM_ENTITY_PARSING_NEVER);
    }
    ~PacketReader() { XML_ParserFree(m_parser); }
    PacketReader(const PacketReader &) = delete;
    PacketReader &operator=(const PacketReader &) = delete;

    // Parses the next piece of the file (code page 1250 bytes); last ends the document.
    void feed(const char *data, qsizetype size, bool last)
    {
        const QByteArray &utf8 = m_feed.next(data, size, last);
        if (m_quick) {
            readRowsQuickly(utf8.constData(), utf8.size(), last);
        } else {
            const XML_Status status = XML_Parse(m_parser, utf8.constData(), int(utf8.size()), last);
            if (status == XML_STATUS_SUSPENDED) {
                // Suspended right after the ROWDATA start tag: the rest of the piece is ours.
                const qint64 at = m_rowsFrom - m_fedBefore;
                if (at < 0 || at > utf8.size())
                    throw QuickRowsDeclined();
                m_quick = true;
                readRowsQuickly(utf8.constData() + at, utf8.size() - at, last);
            } else if (status != XML_STATUS_OK) {
                if (!m_error.isEmpty())
                    throw ETableError(m_error);
                fail(QString::fromUtf8(XML_ErrorString(XML_GetErrorCode(m_parser))));
            }
        }
        m_fedBefore += utf8.size();
        if (!last)
            return;
        if (!m_sawRoot)
            fail(QStringLiteral("no DATAPACKET element"));
        if (!m_sawMetadata)
            fail(QStringLiteral("no METADATA element"));
    }

private:
    enum class Place { Document, Packet, Metadata, Fields, Leaf, Rows };

    static PacketReader &self(void *data) { return *static_cast<PacketReader *>(data); }

    QString where(const QString &what) const
    {
        const QString name = m_source.isEmpty() ? QStringLiteral("data packet") : m_source;
        return QStringLiteral("Invalid data packet \"%1\" (line %2, column %3): %4")
            .arg(name)
            .arg(XML_GetCurrentLineNumber(m_parser))
            .arg(XML_GetCurrentColumnNumber(m_parser) + 1)
            .arg(what);
    }
    [[noreturn]] void fail(const QString &what) const { throw ETableError(where(what)); }
    // Inside a parser callback: remember the failure and stop; it is raised after the parser returns.
    void stop(const QString &what)
    {
        if (m_error.isEmpty())
            m_error = where(what);
        XML_StopParser(m_parser, XML_FALSE);
    }
    bool stopped() const { return !m_error.isEmpty(); }

    static void XMLCALL onDoctype(void *data, const XML_Char *, const XML_Char *, const XML_Char *, int)
    {
        self(data).stop(QStringLiteral("document type declarations are not accepted"));
    }
    static void XMLCALL onEntityDecl(void *data, const XML_Char *, int, const XML_Char *, int, const XML_Char *,
                                     const XML_Char *, const XML_Char *, const XML_Char *)
    {
        self(data).stop(QStringLiteral("document type declarations are not accepted"));
    }
    static void XMLCALL onSkippedEntity(void *data, const XML_Char *, int)
    {
        self(data).stop(QStringLiteral("unknown entity reference"));
    }
    static void XMLCALL onText(void *data, const XML_Char *s, int len)
    {
        PacketReader &r = self(data);
        for (int i = 0; i < len && !r.stopped(); ++i)
            if (s[i] != ' ' && s[i] != '\t' && s[i] != '\n' && s[i] != '\r')
                r.stop(r.m_places.isEmpty() ? QStringLiteral("text outside the packet") : QStringLiteral("unexpected text"));
    }
    static void XMLCALL onStart(void *data, const XML_Char *name, const XML_Char **atts)
    {
        PacketReader &r = self(data);
        if (r.stopped())
            return;
        try {
            r.start(name, atts);
        } catch (const ETableError &e) {
            r.stop(e.message());
        } catch (const std::exception &e) {
            r.stop(QString::fromLocal8Bit(e.what()));
        }
    }
    static void XMLCALL onEnd(void *data, const XML_Char *)
    {
        PacketReader &r = self(data);
        if (r.stopped() || r.m_places.isEmpty())
            return;
        try {
            const Place place = r.m_places.takeLast();
            if (place == Place::Metadata)
                r.finishMetadata();
        } catch (const ETableError &e) {
            r.stop(e.message());
        }
    }

    static QString text(const char *s)
    {
        const QString value = QString::fromUtf8(s);
        return hasShielded(value) ? unshieldControls(value) : value;
    }

    void start(const char *name, const char **atts)
    {
        const QByteArrayView tag(name);
        const Place place = m_places.isEmpty() ? Place::Document : m_places.last();
        switch (place) {
        case Place::Document:
            if (m_sawRoot || tag != "DATAPACKET")
                return stop(QStringLiteral("the root element must be DATAPACKET"));
            m_sawRoot = true;
            if (attr(atts, "Version") != QByteArrayView("2.0"))
                return stop(QStringLiteral("only the packet version 2.0 is known"));
            m_places.append(Place::Packet);
            return;
        case Place::Packet:
            if (tag == "METADATA" && !m_sawMetadata) {
                m_sawMetadata = true;
                m_places.append(Place::Metadata);
            } else if (tag == "ROWDATA" && m_sawMetadata && !m_sawRows) {
                m_sawRows = true;
                m_places.append(Place::Rows);
                if (m_quickAllowed && !isEmptyElement()) {
                    m_rowsFrom = qint64(XML_GetCurrentByteIndex(m_parser)) + XML_GetCurrentByteCount(m_parser);
                    XML_StopParser(m_parser, XML_TRUE);
                }
            } else {
                stop(QStringLiteral("unexpected element %1").arg(text(name)));
            }
            return;
        case Place::Metadata:
            if (tag == "FIELDS" && !m_sawFields) {
                m_sawFields = true;
                m_places.append(Place::Fields);
            } else if (tag == "PARAMS") {
                readParams(atts);
                m_places.append(Place::Leaf);
            } else {
                stop(QStringLiteral("unexpected element %1 in METADATA").arg(text(name)));
            }
            return;
        case Place::Fields:
            if (tag != "FIELD")
                return stop(QStringLiteral("unexpected element %1 in FIELDS").arg(text(name)));
            if (int(m_table.fieldDefs().size()) >= TMemTable::kMaxFields)
                return stop(QStringLiteral("more than %1 fields").arg(TMemTable::kMaxFields));
            readField(atts);
            m_places.append(Place::Leaf);
            m_leafName = QStringLiteral("FIELD");
            return;
        case Place::Leaf:
            return stop(QStringLiteral("unexpected element %1 in %2").arg(text(name), m_leafName));
        case Place::Rows:
            if (tag != "ROW")
                return stop(QStringLiteral("unexpected element %1 in ROWDATA").arg(text(name)));
            readRow(atts);
            m_places.append(Place::Leaf);
            m_leafName = QStringLiteral("ROW");
            return;
        }
    }

    static QByteArrayView attr(const char **atts, const char *name)
    {
        for (int i = 0; atts[i]; i += 2)
            if (std::strcmp(atts[i], name) == 0)
                return QByteArrayView(atts[i + 1]);
        return QByteArrayView();
    }
    static bool has(const char **atts, const char *name)
    {
        for (int i = 0; atts[i]; i += 2)
            if (std::strcmp(atts[i], name) == 0)
                return true;
        return false;
    }
    static bool flag(const char **atts, const char *name)
    {
        return text(attr(atts, name).data()).compare(QLatin1String("true"), Qt::CaseInsensitive) == 0;
    }

    void readField(const char **atts)
    {
        TFieldDef d;
        d.name = text(attr(atts, "attrname").data());
        if (d.name.isEmpty())
            fail(QStringLiteral("a FIELD without attrname"));
        const QString typeName = text(attr(atts, "fieldtype").data());
        d.subtype = text(attr(atts, "SUBTYPE").data());
        d.type = typeFromNames(typeName, d.subtype);
        if (d.type == TFieldType::Unknown)
            fail(QStringLiteral("unknown field type \"%1\" of field %2").arg(typeName, d.name));
        if (has(atts, "WIDTH")) {
            bool ok = false;
            d.size = text(attr(atts, "WIDTH").data()).toInt(&ok);
            if (!ok || d.size < 0 || d.size > 1000000)
                fail(QStringLiteral("invalid WIDTH of field %1").arg(d.name));
        }
        if (has(atts, "DECIMALS"))
            d.decimals = text(attr(atts, "DECIMALS").data()).toInt();
        d.readOnly = flag(atts, "readonly");
        d.required = flag(atts, "required");
        d.hidden = flag(atts, "hidden");
        m_table.fieldDefs().push_back(d);
    }

    void readParams(const char **atts)
    {
        m_leafName = QStringLiteral("PARAMS");
        for (int i = 0; atts[i]; i += 2) {
            if (std::strcmp(atts[i], "AUTOINCVALUE") == 0) {
                bool ok = false;
                m_autoInc = text(atts[i + 1]).toInt(&ok);
                if (!ok)
                    fail(QStringLiteral("invalid AUTOINCVALUE \"%1\"").arg(text(atts[i + 1])));
            } else {
                m_table.extraParams().append({text(atts[i]), text(atts[i + 1])});
            }
        }
    }

    void finishMetadata()
    {
        if (m_table.fieldDefs().empty())
            fail(QStringLiteral("no field definitions"));
        try {
            m_table.createDataSet();
        } catch (const ETableError &e) {
            fail(e.message());
        }
        m_table.setAutoIncValue(m_autoInc);
        // Room for the rows a packet of this size usually holds (a value takes some 16
        // bytes of the file) spares the columns growing and copying themselves while they
        // fill; more rows than that just grow them as before.
        if (m_expectedBytes > 0)
            m_table.reserveRecords(int(std::min<qint64>(m_expectedBytes / (16 + 16 * qint64(m_table.fieldCount())), 4000000)));
        for (const auto &d : m_table.fieldDefs()) {
            m_exact.insert(d.name, int(m_names.size()));
            m_folded.insert(d.name.toCaseFolded(), int(m_names.size()));
            m_names.push_back(d.name.toUtf8());
        }
        for (int i = 0; i < m_table.fieldCount(); ++i)
            m_kinds.push_back(ValueKindOf(m_table.field(i).dataType()));
        m_lastText.assign(m_kinds.size(), QString());
        m_lastBytes.assign(m_kinds.size(), QByteArray());
        // Only plain ASCII names are matched without the parser; a row naming another field
        // goes to the parser.
        for (const QByteArray &name : m_names)
            m_quickNames.push_back(isPlainName(name) ? name : QByteArray());
    }

    int fieldIndexOf(const char *name, int hint) const
    {
        // Rows usually list their values in field order, skipping empty ones: try the
        // fields after the last one first.
        const int n = int(m_names.size());
        for (int i = std::max(hint, 0); i < n; ++i)
            if (m_names[size_t(i)] == name)
                return i;
        const QString key = text(name);
        if (const auto it = m_exact.constFind(key); it != m_exact.constEnd())
            return *it;
        if (const auto it = m_folded.constFind(key.toCaseFolded()); it != m_folded.constEnd())
            return *it;
        return -1;
    }

    void readRow(const char **atts)
    {
        ++m_rowNumber;
        const int record = m_table.appendRawRecord();
        int hint = 0;
        bool plain = true; // the row's own text may stand for it when the file is written again
        for (int i = 0; atts[i]; i += 2) {
            const int f = fieldIndexOf(atts[i], hint);
            if (f < 0) {
                // Change-log state of other writers; every row here is final.
                if (std::strcmp(atts[i], "RowState") == 0) {
                    plain = false;
                    continue;
                }
                fail(QStringLiteral("row %1 has a value for the unknown field %2").arg(m_rowNumber).arg(text(atts[i])));
            }
            hint = f + 1;
            plain = storeValue(record, f, QByteArrayView(atts[i + 1])) && plain;
        }
        if (plain)
            keepRowText(record);
    }

    // The row's start tag as it stands in the file is what the writer would give for it.
    void keepRowText(int record)
    {
        int offset = 0, size = 0;
        const char *context = XML_GetInputContext(m_parser, &offset, &size);
        const int count = XML_GetCurrentByteCount(m_parser);
        if (!context || count < 6 || offset < 0 || offset + count > size)
            return;
        const QByteArrayView tag(context + offset, count);
        if (!tag.startsWith("<ROW") || !tag.endsWith("/>"))
            return;
        QByteArray bytes;
        if (m_feed.back(tag, bytes))
            m_table.rowCache(record) = std::move(bytes);
    }

    bool isEmptyElement() const
    {
        int offset = 0, size = 0;
        const char *context = XML_GetInputContext(m_parser, &offset, &size);
        const int count = XML_GetCurrentByteCount(m_parser);
        return !context || count < 2 || offset < 0 || offset + count > size || context[offset + count - 2] == '/';
    }

    // The rows of a packet in the form the writer gives it (and what any tidy writer
    // would: blanks and line breaks between rows and values, either quote, the five
    // named references and numeric ones) are read here rather than through the parser,
    // which costs most of a large log's start. Every row is checked as strictly as the
    // parser checks it; what this reader does not know (a comment, a row with content,
    // a value the fields refuse, a damaged end) declines, and the packet is read again
    // through the parser.
    void readRowsQuickly(const char *piece, qsizetype pieceSize, bool last)
    {
        try {
            const char *data = piece;
            qsizetype size = pieceSize;
            if (!m_carry.isEmpty()) {
                m_carry.append(piece, pieceSize);
                data = m_carry.constData();
                size = m_carry.size();
            }
            qsizetype at = 0;
            for (;;) {
                while (at < size && isXmlSpace(data[at]))
                    ++at;
                if (at == size)
                    break;
                if (data[at] != '<' || m_packetClosed)
                    throw QuickRowsDeclined();
                const qsizetype end = tagEnd(data, at, size);
                if (end < 0)
                    break;
                const QByteArrayView tag(data + at, end + 1 - at);
                if (!m_rowsClosed && tag.size() > 5 && tag.startsWith("<ROW") && (isXmlSpace(tag[4]) || tag[4] == '/'))
                    readRowQuickly(tag);
                else if (!m_rowsClosed && isEndTag(tag, "ROWDATA"))
                    m_rowsClosed = true;
                else if (m_rowsClosed && isEndTag(tag, "DATAPACKET"))
                    m_packetClosed = true;
                else
                    throw QuickRowsDeclined();
                at = end + 1;
            }
            // An unfinished tag waits for the next piece; one that grows without end is left
            // to the parser, which reads it in linear time.
            constexpr qsizetype kLongestCarry = 1 << 20;
            if (size - at > kLongestCarry)
                throw QuickRowsDeclined();
            QByteArray rest(data + at, size - at);
            m_carry = std::move(rest);
            if (last && (!m_packetClosed || !m_carry.isEmpty()))
                throw QuickRowsDeclined();
            if (m_packetClosed)
                m_places.clear();
        } catch (const ETableError &) {
            throw QuickRowsDeclined();
        } catch (const std::exception &) {
            throw QuickRowsDeclined();
        }
    }

    // One "<ROW .../>" tag, complete up to its '>'.
    void readRowQuickly(QByteArrayView tag)
    {
        ++m_rowNumber;
        const int record = m_table.appendRawRecord();
        const int fields = int(m_quickNames.size());
        int hint = 0;
        bool plain = true;
        const char *p = tag.data() + 4;
        const char *const end = tag.data() + tag.size() - 1; // the '>'
        for (;;) {
            const char *const blank = p;
            while (p < end && isXmlSpace(*p))
                ++p;
            if (p == end)
                throw QuickRowsDeclined(); // a row with content
            if (*p == '/') {
                if (p + 1 != end)
                    throw QuickRowsDeclined();
                break;
            }
            if (p == blank)
                throw QuickRowsDeclined(); // values must stand apart
            const char *const name = p;
            while (p < end && *p != '=' && !isXmlSpace(*p))
                ++p;
            const QByteArrayView nameView(name, p - name);
            // In field order, each at most once: the parser would refuse a repeated value.
            int f = hint;
            while (f < fields && m_quickNames[size_t(f)] != nameView)
                ++f;
            if (f == fields)
                throw QuickRowsDeclined();
            while (p < end && isXmlSpace(*p))
                ++p;
            if (p == end || *p != '=')
                throw QuickRowsDeclined();
            ++p;
            while (p < end && isXmlSpace(*p))
                ++p;
            if (p == end || (*p != '"' && *p != '\''))
                throw QuickRowsDeclined();
            const char quote = *p++;
            const char *const close = static_cast<const char *>(std::memchr(p, quote, size_t(end - p)));
            if (!close)
                throw QuickRowsDeclined();
            plain = storeValue(record, f, quickValue(QByteArrayView(p, close - p))) && plain;
            hint = f + 1;
            p = close + 1;
        }
        if (plain) {
            QByteArray bytes;
            if (m_feed.back(tag, bytes))
                m_table.rowCache(record) = std::move(bytes);
        }
    }

    // A value as the parser would report it: references resolved. Raw tabs and line breaks
    // (which the parser turns into blanks) and anything unknown decline.
    QByteArrayView quickValue(QByteArrayView raw)
    {
        bool references = false;
        for (const char c : raw) {
            if (static_cast<unsigned char>(c) < 0x20 || c == '<')
                throw QuickRowsDeclined();
            references = references || c == '&';
        }
        if (!references)
            return raw;
        m_decoded.clear();
        for (qsizetype i = 0; i < raw.size(); ++i) {
            if (raw[i] != '&') {
                m_decoded += raw[i];
                continue;
            }
            const qsizetype amp = i;
            const qsizetype semicolon = raw.indexOf(';', amp);
            if (semicolon < 0)
                throw QuickRowsDeclined();
            const QByteArrayView name = raw.sliced(amp + 1, semicolon - amp - 1);
            i = semicolon;
            if (name == "lt") {
                m_decoded += '<';
            } else if (name == "gt") {
                m_decoded += '>';
            } else if (name == "amp") {
                m_decoded += '&';
            } else if (name == "apos") {
                m_decoded += '\'';
            } else if (name == "quot") {
                m_decoded += '"';
            } else {
                uint value = 0;
                qsizetype end = 0;
                if (!reference(raw.data(), amp, raw.size(), value, end) || !appendXmlChar(m_decoded, value))
                    throw QuickRowsDeclined();
            }
        }
        return m_decoded;
    }

    // Digits with an optional minus sign, short enough not to overflow: read directly.
    static bool plainInteger(QByteArrayView bytes, bool &ok)
    {
        const qsizetype sign = !bytes.isEmpty() && bytes[0] == '-' ? 1 : 0;
        if (bytes.size() <= sign || bytes.size() - sign > 18)
            return false;
        for (qsizetype i = sign; i < bytes.size(); ++i)
            if (bytes[i] < '0' || bytes[i] > '9')
                return false;
        ok = true;
        return true;
    }
    static qint64 parsedInteger(QByteArrayView bytes)
    {
        const bool negative = bytes[0] == '-';
        qint64 v = 0;
        for (qsizetype i = negative ? 1 : 0; i < bytes.size(); ++i)
            v = v * 10 + (bytes[i] - '0');
        return negative ? -v : v;
    }

    // Stores one value; false when the value carried a shielded control character.
    bool storeValue(int record, int field, QByteArrayView bytes)
    {
        const TField &f = m_table.field(field);
        auto bad = [&]() {
            fail(QStringLiteral("row %1: \"%2\" is not a valid %3 value for field %4")
                     .arg(m_rowNumber)
                     .arg(QString::fromUtf8(bytes).left(40))
                     .arg(QLatin1String(typeNameOf(f.dataType())), f.fieldName()));
        };
        if (m_kinds[size_t(field)] == TValueKind::Text) {
            if (f.dataType() == TFieldType::Memo) {
                m_table.setRawText(field, record, DecodeCp1250(QByteArray::fromBase64(QByteArray(bytes.data(), bytes.size()))));
                return true;
            }
            // Repeated texts (type names, frequent numbers) share one string.
            QByteArray &lastBytes = m_lastBytes[size_t(field)];
            QString &last = m_lastText[size_t(field)];
            if (!last.isNull() && bytes == lastBytes) {
                m_table.setRawText(field, record, last);
                return true;
            }
            const QString value = QString::fromUtf8(bytes);
            if (hasShielded(value)) {
                m_table.setRawText(field, record, unshieldControls(value));
                return false;
            }
            lastBytes = bytes.toByteArray();
            m_table.setRawText(field, record, last = value);
            return true;
        }
        // Numbers and dates are short; a value of other characters is refused below anyway.
        char16_t buffer[64];
        QString wide;
        QStringView value;
        if (bytes.size() <= 64) {
            for (qsizetype i = 0; i < bytes.size(); ++i)
                buffer[i] = char16_t(static_cast<unsigned char>(bytes[i]));
            value = QStringView(buffer, bytes.size());
        } else {
            wide = QString::fromUtf8(bytes);
            value = wide;
        }
        switch (m_kinds[size_t(field)]) {
        case TValueKind::Text: break;
        case TValueKind::Int: {
            if (f.dataType() == TFieldType::Boolean) {
                if (value.compare(QLatin1String("TRUE"), Qt::CaseInsensitive) == 0 || value == QLatin1String("1"))
                    m_table.setRawInt(field, record, 1);
                else if (value.compare(QLatin1String("FALSE"), Qt::CaseInsensitive) == 0 || value == QLatin1String("0"))
                    m_table.setRawInt(field, record, 0);
                else
                    bad();
                return true;
            }
            bool ok = false;
            const qint64 v = plainInteger(bytes, ok) ? parsedInteger(bytes) : value.toLongLong(&ok);
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
            return true;
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
            return true;
        }
        }
        return true;
    }

    TMemTable &m_table;
    QString m_source;
    qint64 m_expectedBytes = 0;
    XML_Parser m_parser = nullptr;
    Cp1250Feed m_feed;
    QString m_error;
    QList<Place> m_places;
    QString m_leafName;
    bool m_sawRoot = false;
    bool m_sawMetadata = false;
    bool m_sawFields = false;
    bool m_sawRows = false;
    int m_autoInc = 1;
    int m_rowNumber = 0;
    std::vector<QByteArray> m_names;
    std::vector<TValueKind> m_kinds;
    std::vector<QString> m_lastText;
    std::vector<QByteArray> m_lastBytes;
    QHash<QString, int> m_exact, m_folded;
    // Reading rows without the parser.
    bool m_quickAllowed = false;
    bool m_quick = false;       // the parser is suspended at ROWDATA; rows are read here
    bool m_rowsClosed = false;  // </ROWDATA> was read
    bool m_packetClosed = false; // </DATAPACKET> was read
    qint64 m_fedBefore = 0;     // UTF-8 bytes given to the parser before this piece
    qint64 m_rowsFrom = -1;     // where the rows begin in those bytes
    QByteArray m_carry;         // an unfinished tag at the end of a piece
    QByteArray m_decoded;       // a value with references, decoded
    std::vector<QByteArray> m_quickNames;
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
        if (f.def().calculated)
            continue;
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

namespace {
// Reads a packet, its rows quickly where it allows that (see PacketReader), else (or when
// quickRows is false) through the parser alone; pieces feeds the reader the whole packet.
template <class Pieces>
void ReadPacket(TMemTable &table, const QString &source, qint64 expectedBytes, bool quickRows, const Pieces &pieces)
{
    if (quickRows) {
        try {
            TMemTable loaded;
            PacketReader reader(loaded, source, expectedBytes, true);
            pieces(reader);
            table.replaceContent(loaded);
            return;
        } catch (const QuickRowsDeclined &) {
        }
    }
    TMemTable loaded;
    PacketReader reader(loaded, source, expectedBytes, false);
    pieces(reader);
    table.replaceContent(loaded);
}
} // namespace

namespace {
void ReadPacketBytes(TMemTable &table, const QByteArray &bytes, const QString &sourceName, bool quickRows)
{
    ReadPacket(table, sourceName, bytes.size(), quickRows, [&](PacketReader &reader) {
        // In pieces, as from a file.
        constexpr qsizetype kPiece = 1 << 18;
        qsizetype at = 0;
        do {
            const qsizetype n = std::min(kPiece, bytes.size() - at);
            reader.feed(bytes.constData() + at, n, at + n >= bytes.size());
            at += n;
        } while (at < bytes.size());
    });
}
} // namespace

void LoadDataPacket(TMemTable &table, const QByteArray &bytes, const QString &sourceName)
{
    ReadPacketBytes(table, bytes, sourceName, true);
}

void LoadDataPacketThroughParser(TMemTable &table, const QByteArray &bytes, const QString &sourceName)
{
    ReadPacketBytes(table, bytes, sourceName, false);
}

QByteArray SaveDataPacket(const TMemTable &table)
{
    if (!table.active())
        throw ETableError(QStringLiteral("Cannot save a closed dataset"));
    QByteArray out;
    const int rows = table.physicalCount();
    const int fields = table.fieldCount();
    // The whole size up front: growing a buffer of the log's size copies it all again.
    qsizetype expected = 4096 + qsizetype(fields) * 128;
    for (int r = 0; r < rows; ++r) {
        const QByteArray &row = table.rowCache(r);
        expected += row.isEmpty() ? qsizetype(fields) * 24 + 16 : row.size();
    }
    out.reserve(expected);
    out += "<?xml version=\"1.0\" standalone=\"yes\"?>\r\n<DATAPACKET Version=\"2.0\"><METADATA><FIELDS>";
    std::vector<QByteArray> names;
    for (int i = 0; i < fields; ++i) {
        const TFieldDef &d = table.field(i).def();
        if (d.calculated) {
            names.emplace_back(); // held in memory only
            continue;
        }
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
    // Anything but a regular file (a pipe, a device) is refused before it can block.
    const int fd = ::open(QFile::encodeName(fileName).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        throw ETableError(
            QStringLiteral("Cannot open file \"%1\": %2").arg(fileName, QString::fromLocal8Bit(std::strerror(errno))));
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        throw ETableError(QStringLiteral("Cannot open file \"%1\": not a regular file").arg(fileName));
    }
    QFile f;
    if (!f.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        throw ETableError(QStringLiteral("Cannot open file \"%1\": %2").arg(fileName, f.errorString()));
    }
    // Read and parsed in pieces: memory stays near the size of the loaded table.
    QByteArray piece(1 << 18, Qt::Uninitialized);
    ReadPacket(table, fileName, qint64(st.st_size), true, [&](PacketReader &reader) {
        if (!f.seek(0))
            throw ETableError(QStringLiteral("Cannot read file \"%1\": %2").arg(fileName, f.errorString()));
        for (;;) {
            const qint64 n = f.read(piece.data(), piece.size());
            if (n < 0)
                throw ETableError(QStringLiteral("Cannot read file \"%1\": %2").arg(fileName, f.errorString()));
            const bool last = n == 0;
            reader.feed(piece.constData(), qsizetype(n), last);
            if (last)
                break;
        }
    });
}

void SaveDataPacketFile(const TMemTable &table, const QString &fileName)
{
    const QByteArray bytes = SaveDataPacket(table);
    if (!WriteStringToFile(bytes, fileName))
        throw ETableError(QStringLiteral("Cannot write file \"%1\"").arg(fileName));
}
