#pragma once
// Netstrings ("<length>:<bytes>,"), the framing of the user agent's control connection.
// The reader takes bytes as they arrive and hands out whole messages; anything that is not
// a netstring, or longer than the limit, is a broken stream: the connection cannot be
// resynchronised and must be dropped.
#include <QByteArray>
#include <QList>
#include <QString>

QByteArray EncodeNetstring(const QByteArray &payload);

class NetstringReader {
public:
    // The user agent's messages are a few hundred bytes; a call list is a few kilobytes.
    static constexpr qsizetype kDefaultLimit = 1024 * 1024;

    explicit NetstringReader(qsizetype limit = kDefaultLimit) : m_limit(limit) {}

    // Appends received bytes; false once the stream is broken (see error()).
    bool feed(const QByteArray &bytes);
    // The next whole message, in order; false when none is complete.
    bool next(QByteArray &payload);
    bool broken() const { return !m_error.isEmpty(); }
    QString error() const { return m_error; }
    void reset();

private:
    void parse();

    qsizetype m_limit;
    QByteArray m_buffer;
    QList<QByteArray> m_ready;
    QString m_error;
};
