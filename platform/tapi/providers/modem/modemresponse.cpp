#include "modemresponse.h"

#include <QRegularExpression>
#include <cctype>

namespace {

constexpr char kDle = 0x10;
// How much of a cut-off or unreadable line the report quotes.
constexpr int kQuoted = 64;

ModemEvent event(ModemEvent::Kind kind, const QString &text = QString(), const QString &field = QString())
{
    ModemEvent e;
    e.kind = kind;
    e.text = text;
    e.field = field;
    return e;
}

// Only printable ASCII reaches the log and the caller-ID fields.
QString printable(const QByteArray &bytes)
{
    QString text;
    for (const char c : bytes) {
        if (c >= 0x20 && c < 0x7F)
            text += QLatin1Char(c);
    }
    return text.trimmed();
}

bool isHex(const QByteArray &text)
{
    for (const char c : text) {
        if (!std::isxdigit(static_cast<unsigned char>(c)))
            return false;
    }
    return !text.isEmpty();
}

void addDateTime(const QByteArray &digits, QList<ModemEvent> &fields)
{
    const QString text = printable(digits);
    if (text.size() < 8)
        return;
    fields.append(event(ModemEvent::Kind::CallerId, text.left(4), QStringLiteral("DATE")));
    fields.append(event(ModemEvent::Kind::CallerId, text.mid(4, 4), QStringLiteral("TIME")));
}

} // namespace

void ModemResponseParser::reset()
{
    m_line.clear();
    m_lineNoise = false;
    m_overlong = false;
    m_dle = false;
}

QList<ModemEvent> ModemResponseParser::feed(const QByteArray &bytes)
{
    QList<ModemEvent> events;
    for (const char c : bytes) {
        if (m_dle) {
            m_dle = false;
            if (c == kDle) {
                m_lineNoise = true;
            } else {
                ModemEvent e = event(ModemEvent::Kind::VoiceEvent);
                e.code = c;
                events.append(e);
            }
            continue;
        }
        if (c == kDle) {
            m_dle = true;
            continue;
        }
        if (c == '\r' || c == '\n') {
            endLine(events);
            continue;
        }
        if (m_overlong)
            continue;
        if ((c >= 0x20 && c < 0x7F) || c == '\t')
            m_line.append(c);
        else
            m_lineNoise = true; // dropped: stray bytes never make a line longer
        if (m_line.size() > kMaxLine) {
            events.append(event(ModemEvent::Kind::Overlong, QString::fromLatin1(m_line.left(kQuoted))));
            m_line.clear();
            m_overlong = true;
        }
    }
    return events;
}

void ModemResponseParser::endLine(QList<ModemEvent> &events)
{
    const QByteArray line = m_line.trimmed();
    const bool noise = m_lineNoise;
    const bool overlong = m_overlong;
    m_line.clear();
    m_lineNoise = false;
    m_overlong = false;
    if (overlong)
        return; // already reported; its rest is dropped
    if (line.isEmpty()) {
        if (noise)
            events.append(event(ModemEvent::Kind::Noise));
        return;
    }
    classify(line, noise, events);
}

void ModemResponseParser::classify(const QByteArray &line, bool hadNoise, QList<ModemEvent> &events)
{
    using Kind = ModemEvent::Kind;
    const QByteArray upper = line.toUpper();
    if (!m_lastCommand.isEmpty() && upper == m_lastCommand) {
        events.append(event(Kind::Echo, QString::fromLatin1(line)));
        return;
    }
    static const struct {
        const char *text;
        Kind kind;
    } results[] = {{"OK", Kind::Ok},           {"ERROR", Kind::Error},           {"RING", Kind::Ring},
                   {"NO CARRIER", Kind::NoCarrier}, {"BUSY", Kind::Busy},     {"NO DIALTONE", Kind::NoDialtone},
                   {"NO DIAL TONE", Kind::NoDialtone}, {"NO ANSWER", Kind::NoAnswer}, {"VCON", Kind::Connect}};
    for (const auto &result : results) {
        if (upper == result.text) {
            events.append(event(result.kind, QString::fromLatin1(line)));
            return;
        }
    }
    if (upper.startsWith("CONNECT")) {
        events.append(event(Kind::Connect, QString::fromLatin1(line)));
        return;
    }
    if (upper.startsWith("+CME ERROR") || upper.startsWith("+CMS ERROR")) {
        events.append(event(Kind::Error, QString::fromLatin1(line)));
        return;
    }

    // Formatted caller ID: "NMBR = 5551234", with or without blanks around "=".
    static const QRegularExpression field(QStringLiteral("^(DATE|TIME|NMBR|DDN_NMBR|NAME|MESG)\\s*=\\s*(.*)$"));
    const QRegularExpressionMatch match = field.match(QString::fromLatin1(line));
    if (match.hasMatch()) {
        const QString key = match.captured(1);
        const QString value = match.captured(2).trimmed();
        if (key == QLatin1String("MESG")) {
            QList<ModemEvent> fields;
            QByteArray hex = value.toLatin1();
            hex.replace(' ', QByteArray());
            if (DecodeMessage(hex, fields))
                events.append(fields);
            else
                events.append(event(Kind::BadCallerId, value.left(kQuoted)));
        } else {
            events.append(event(Kind::CallerId, value,
                                key == QLatin1String("DDN_NMBR") ? QStringLiteral("NMBR") : key));
        }
        return;
    }
    // The raw message without a label, as some modems give it: decoded only when it is one
    // (message type and checksum agree), so no other hex answer is mistaken for a call.
    if (line.size() >= 12 && line.size() % 2 == 0 && isHex(line) && (upper.startsWith("04") || upper.startsWith("80"))) {
        QList<ModemEvent> fields;
        if (DecodeMessage(line, fields)) {
            events.append(fields);
            return;
        }
    }
    events.append(event(hadNoise ? Kind::Noise : Kind::Info, QString::fromLatin1(line.left(hadNoise ? kQuoted : kMaxLine))));
}

bool ModemResponseParser::DecodeMessage(const QByteArray &hex, QList<ModemEvent> &fields)
{
    if (!isHex(hex) || hex.size() % 2)
        return false;
    const QByteArray bytes = QByteArray::fromHex(hex);
    if (bytes.size() < 3)
        return false;
    const auto type = uint8_t(bytes[0]);
    const int length = uint8_t(bytes[1]);
    if (bytes.size() < length + 2)
        return false;
    // Some modems pass the checksum on, some drop it; when it is there it must add up.
    if (bytes.size() >= length + 3) {
        uint8_t sum = 0;
        for (int i = 0; i < length + 3; ++i)
            sum = uint8_t(sum + uint8_t(bytes[i]));
        if (sum != 0)
            return false;
    }
    const QByteArray body = bytes.mid(2, length);
    QList<ModemEvent> decoded;
    if (type == 0x04) {
        // Single data message: date and time, then the number or the reason for none.
        if (body.size() < 8)
            return false;
        addDateTime(body.left(8), decoded);
        decoded.append(event(ModemEvent::Kind::CallerId, printable(body.mid(8)), QStringLiteral("NMBR")));
    } else if (type == 0x80) {
        // Multiple data message: parameters of type, length and value.
        int pos = 0;
        while (pos + 2 <= body.size()) {
            const auto param = uint8_t(body[pos]);
            const int size = uint8_t(body[pos + 1]);
            if (pos + 2 + size > body.size())
                return false;
            const QByteArray value = body.mid(pos + 2, size);
            pos += 2 + size;
            switch (param) {
            case 0x01:
                addDateTime(value, decoded);
                break;
            case 0x02: // calling number
            case 0x04: // why there is none: P or O
                decoded.append(event(ModemEvent::Kind::CallerId, printable(value), QStringLiteral("NMBR")));
                break;
            case 0x07: // calling name
            case 0x08: // why there is none
                decoded.append(event(ModemEvent::Kind::CallerId, printable(value), QStringLiteral("NAME")));
                break;
            default:
                break;
            }
        }
    } else {
        return false;
    }
    fields.append(decoded);
    return true;
}
