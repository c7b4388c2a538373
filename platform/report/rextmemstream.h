#pragma once
#include <QByteArray>
#include <QString>
#include <cstdint>

// A read cursor over font data: big-endian 16- and 32-bit reads, text reads and
// skips that stop at the end instead of running past it. A read past the end
// gives zeros, so a truncated table yields empty results rather than garbage.
class TrextMemStream {
public:
    TrextMemStream() = default;
    explicit TrextMemStream(QByteArray data) : m_data(std::move(data)) {}

    qsizetype size() const { return m_data.size(); }
    qsizetype position() const { return m_pos; }
    void seek(qsizetype pos) { m_pos = qBound<qsizetype>(0, pos, m_data.size()); }
    void skip(qsizetype count) { seek(m_pos + qMax<qsizetype>(0, count)); }
    bool atEnd() const { return m_pos >= m_data.size(); }

    quint8 readU8();
    quint16 readU16();
    qint16 readS16() { return qint16(readU16()); }
    quint32 readU32();
    QByteArray readText(qsizetype count);
    const QByteArray &data() const { return m_data; }

private:
    QByteArray m_data;
    qsizetype m_pos = 0;
};
