#include "columnlayout.h"

#include "exception.h"

#include <QDataStream>
#include <QIODevice>
#include <QtEndian>

namespace {
constexpr quint32 kColumnsMagic = 0x54434F4C; // "TCOL"
constexpr quint16 kColumnsVersion = 1;

void writeColor(QDataStream &out, const TColumnColor &color)
{
    out << color.Valid << quint32(color.Valid ? color.Argb : 0);
}

TColumnColor readColor(QDataStream &in)
{
    TColumnColor color;
    quint32 argb = 0;
    in >> color.Valid >> argb;
    color.Argb = color.Valid ? argb : 0;
    return color;
}

[[noreturn]] void damaged() { throw Exception(QStringLiteral("Damaged column set")); }

// Every count and length in the stream is checked against the bytes that remain before
// anything is allocated for it: a damaged count must not ask for gigabytes.
quint32 readCount(QDataStream &in, quint32 leastBytesEach)
{
    quint32 count = 0;
    in >> count;
    if (in.status() != QDataStream::Ok)
        damaged();
    const qint64 remaining = in.device()->bytesAvailable();
    if (count != 0xFFFFFFFFu && qint64(count) * leastBytesEach > remaining)
        damaged();
    return count;
}

// A text: its length in bytes (0xFFFFFFFF for a null text), then UTF-16 big-endian units.
QString readText(QDataStream &in)
{
    const quint32 bytes = readCount(in, 1);
    if (bytes == 0xFFFFFFFFu)
        return QString();
    if (bytes % 2 != 0)
        damaged();
    QString text(qsizetype(bytes / 2), Qt::Uninitialized);
    if (in.readRawData(reinterpret_cast<char *>(text.data()), int(bytes)) != int(bytes))
        damaged();
    qFromBigEndian<char16_t>(text.constData(), text.size(), text.data());
    return text;
}

// A list of texts: its count, then each text (at least its four-byte length).
QStringList readTextList(QDataStream &in)
{
    const quint32 count = readCount(in, 4);
    if (count == 0xFFFFFFFFu)
        damaged();
    QStringList list;
    list.reserve(qsizetype(count));
    for (quint32 i = 0; i < count; ++i)
        list.append(readText(in));
    return list;
}

void writeFont(QDataStream &out, const TColumnFont &font) { out << font.Description; }

TColumnFont readFont(QDataStream &in)
{
    TColumnFont font;
    font.Description = readText(in);
    if (!font.IsWellFormed())
        throw Exception(QStringLiteral("Damaged font in the column settings"));
    return font;
}
} // namespace

QString TColumnFont::Family() const { return Description.section(QLatin1Char(','), 0, 0); }

double TColumnFont::PointSize() const
{
    bool ok = false;
    const double size = Description.section(QLatin1Char(','), 1, 1).toDouble(&ok);
    return ok ? size : -1;
}

bool TColumnFont::IsWellFormed() const
{
    if (Description.isEmpty())
        return true;
    // The shapes the windows layer writes: family alone, family and size, or the
    // full list of 10 to 17 parts.
    const qsizetype parts = Description.count(QLatin1Char(',')) + 1;
    if (Family().isEmpty() || (parts > 2 && parts < 10) || parts > 17)
        return false;
    return parts == 1 || PointSize() >= 0 || Description.section(QLatin1Char(','), 1, 1).isEmpty();
}

QByteArray SaveColumns(const TColumns &columns)
{
    QByteArray bytes;
    QDataStream out(&bytes, QIODevice::WriteOnly);
    out.setVersion(QDataStream::Qt_6_4);
    out << kColumnsMagic << kColumnsVersion << quint32(columns.size());
    for (const TColumn &c : columns) {
        out << c.FieldName << c.Title.Caption;
        writeFont(out, c.Title.Font);
        writeColor(out, c.Title.FontColor);
        out << qint32(c.Title.Alignment.toInt()) << qint32(c.Width) << c.Visible;
        writeFont(out, c.Font);
        writeColor(out, c.FontColor);
        out << qint32(c.Alignment.toInt()) << c.PickList << qint32(c.ButtonStyle);
    }
    return bytes;
}

TColumns LoadColumns(const QByteArray &bytes)
{
    QDataStream in(bytes);
    in.setVersion(QDataStream::Qt_6_4);
    quint32 magic = 0, count = 0;
    quint16 version = 0;
    in >> magic >> version >> count;
    if (in.status() != QDataStream::Ok || magic != kColumnsMagic || version != kColumnsVersion)
        throw Exception(QStringLiteral("Not a column set"));
    // Each column takes well over 16 bytes; a larger count is damage, not data.
    if (count > quint32(bytes.size() / 16))
        damaged();
    TColumns columns;
    columns.reserve(count);
    for (quint32 i = 0; i < count; ++i) {
        TColumn c;
        qint32 titleAlign = 0, width = 0, align = 0, style = 0;
        c.FieldName = readText(in);
        c.Title.Caption = readText(in);
        c.Title.Font = readFont(in);
        c.Title.FontColor = readColor(in);
        in >> titleAlign >> width >> c.Visible;
        c.Font = readFont(in);
        c.FontColor = readColor(in);
        in >> align;
        c.PickList = readTextList(in);
        in >> style;
        if (in.status() != QDataStream::Ok || width < 0 || style < 0 || style > int(TColumnButtonStyle::cbsNone))
            damaged();
        c.Title.Alignment = Qt::Alignment::fromInt(titleAlign);
        c.Width = width;
        c.Alignment = Qt::Alignment::fromInt(align);
        c.ButtonStyle = TColumnButtonStyle(style);
        columns.push_back(std::move(c));
    }
    if (!in.atEnd())
        damaged();
    return columns;
}
