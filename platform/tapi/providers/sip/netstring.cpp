#include "netstring.h"

QByteArray EncodeNetstring(const QByteArray &payload)
{
    return QByteArray::number(payload.size()) + ':' + payload + ',';
}

bool NetstringReader::feed(const QByteArray &bytes)
{
    if (broken())
        return false;
    m_buffer.append(bytes);
    parse();
    return !broken();
}

bool NetstringReader::next(QByteArray &payload)
{
    if (m_ready.isEmpty())
        return false;
    payload = m_ready.takeFirst();
    return true;
}

void NetstringReader::reset()
{
    m_buffer.clear();
    m_ready.clear();
    m_error.clear();
}

void NetstringReader::parse()
{
    const int maxDigits = int(QByteArray::number(m_limit).size());
    qsizetype pos = 0;
    while (pos < m_buffer.size()) {
        // Length: decimal digits, no sign, no leading zero except "0" itself.
        qsizetype colon = pos;
        qint64 length = 0;
        while (colon < m_buffer.size() && m_buffer.at(colon) >= '0' && m_buffer.at(colon) <= '9') {
            if (colon - pos >= maxDigits) {
                m_error = QStringLiteral("netstring length over %1 bytes").arg(m_limit);
                break;
            }
            length = length * 10 + (m_buffer.at(colon) - '0');
            ++colon;
        }
        if (broken())
            break;
        if (colon == m_buffer.size())
            break; // the length is still arriving
        if (colon == pos || m_buffer.at(colon) != ':') {
            m_error = QStringLiteral("netstring without a length at byte %1").arg(pos);
            break;
        }
        if (colon - pos > 1 && m_buffer.at(pos) == '0') {
            m_error = QStringLiteral("netstring length with a leading zero");
            break;
        }
        if (length > m_limit) {
            m_error = QStringLiteral("netstring of %1 bytes over the limit of %2").arg(length).arg(m_limit);
            break;
        }
        const qsizetype end = colon + 1 + qsizetype(length);
        if (end >= m_buffer.size())
            break; // the body or its comma is still arriving
        if (m_buffer.at(end) != ',') {
            m_error = QStringLiteral("netstring not closed by a comma");
            break;
        }
        m_ready.append(m_buffer.mid(colon + 1, qsizetype(length)));
        pos = end + 1;
    }
    if (broken())
        m_buffer.clear();
    else
        m_buffer.remove(0, pos);
}
