#include "rextmemstream.h"

quint8 TrextMemStream::readU8()
{
    if (m_pos >= m_data.size())
        return 0;
    return quint8(m_data[m_pos++]);
}

quint16 TrextMemStream::readU16()
{
    const quint16 hi = readU8();
    return quint16((hi << 8) | readU8());
}

quint32 TrextMemStream::readU32()
{
    const quint32 hi = readU16();
    return (hi << 16) | readU16();
}

QByteArray TrextMemStream::readText(qsizetype count)
{
    const qsizetype n = qBound<qsizetype>(0, count, m_data.size() - m_pos);
    QByteArray text = m_data.mid(m_pos, n);
    m_pos += n;
    return text;
}
