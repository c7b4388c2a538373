#include "mxNativeExcel.h"

#include "codepage1250.h"
#include "dboutputs.h"
#include "exception.h"

#include <QFileInfo>
#include <cstring>

namespace {
constexpr uint16_t kBofOpcodes[] = {0x0009, 0x0209, 0x0409, 0x0809};
constexpr uint8_t kAlignmentCodes[] = {0, 1, 3, 2, 4, 7};

void rangeError() { throw Exception(QStringLiteral("Range check error")); }
} // namespace

TmxNativeExcel::TmxNativeExcel() { Reset(); }

void TmxNativeExcel::put16(uint16_t value)
{
    const char bytes[2] = {char(value & 0xFF), char(value >> 8)};
    m_buffer.append(bytes, 2);
}

void TmxNativeExcel::put32(uint32_t value)
{
    put16(uint16_t(value & 0xFFFF));
    put16(uint16_t(value >> 16));
}

void TmxNativeExcel::beginRecord(uint16_t opcode, uint16_t length)
{
    if (m_state == stClosed)
        Reset();
    put16(opcode);
    put16(length);
}

void TmxNativeExcel::Reset()
{
    m_state = stOpen;
    m_buffer.clear();
    const uint8_t version = m_version > 3 ? 3 : m_version;
    if (version == 0) {
        beginRecord(kBofOpcodes[0], 4);
        put16(0x0200);
        put16(0x0010);
        beginRecord(0x0000, 8);
    } else {
        beginRecord(kBofOpcodes[version], 6);
        put16(0x0200);
        put16(0x0010);
        put16(0x0000);
        beginRecord(0x0200, 10);
    }
    put16(FirstRow);
    put16(LastRow);
    put16(FirstColumn);
    put16(LastColumn);
    if (version != 0)
        put16(0);
    beginRecord(0x0042, 4);
    put32(1250);
}

void TmxNativeExcel::Close()
{
    beginRecord(0x000A, 0);
    m_state = stClosed;
}

void TmxNativeExcel::SetVersion(uint8_t version)
{
    if (version == m_version)
        return;
    m_version = version;
    Reset();
}

void TmxNativeExcel::SetFileName(const QString &fileName)
{
    if (fileName == m_fileName)
        return;
    m_fileName = fileName;
    const QFileInfo info(fileName);
    if (info.suffix().compare(QLatin1String("xls"), Qt::CaseInsensitive) != 0) {
        if (!info.suffix().isEmpty())
            m_fileName.chop(info.suffix().size() + 1);
        m_fileName += QStringLiteral(".XLS");
    }
}

void TmxNativeExcel::SetRow(uint16_t row)
{
    if (row == 0 || row > LastRow || row == m_row)
        return;
    m_row = row;
}

void TmxNativeExcel::SetColumn(uint16_t column)
{
    if (column == 0 || column > LastColumn || column == m_column)
        return;
    m_column = column;
}

void TmxNativeExcel::advanceCursor()
{
    switch (CursorDirection) {
    case dirRight:
        if (m_column < LastColumn)
            ++m_column;
        else if (m_row < LastRow) {
            m_column = 1;
            ++m_row;
        }
        break;
    case dirDown:
        if (m_row < LastRow)
            ++m_row;
        else if (m_column < LastColumn) {
            m_row = 1;
            ++m_column;
        }
        break;
    case dirLeft:
        if (m_column > 1)
            --m_column;
        else if (m_row > 1) {
            m_column = LastColumn;
            --m_row;
        }
        break;
    case dirUp:
        if (m_row > 1)
            --m_row;
        else if (m_column > 1) {
            m_row = LastRow;
            --m_column;
        }
        break;
    }
}

void TmxNativeExcel::putCellStart(uint16_t row, uint16_t column)
{
    SetRow(row);
    SetColumn(column);
    put16(uint16_t(m_row - 1));
    put16(uint16_t(m_column - 1));
    advanceCursor();
}

void TmxNativeExcel::putAttributes()
{
    uint8_t b0 = Locked ? 0x40 : 0x00;
    if (Hidden)
        b0 |= 0x80;
    const uint8_t b1 = uint8_t((FontIndex & 3) * 0x40);
    uint8_t b2 = kAlignmentCodes[HorizontalAlignment <= 5 ? HorizontalAlignment : 0];
    if (Shaded)
        b2 |= 0x80;
    if (Borders & bdTop)
        b2 |= 0x20;
    if (Borders & bdBottom)
        b2 |= 0x40;
    if (Borders & bdLeft)
        b2 |= 0x08;
    if (Borders & bdRight)
        b2 |= 0x10;
    m_buffer.append(char(b0));
    m_buffer.append(char(b1));
    m_buffer.append(char(b2));
}

void TmxNativeExcel::WriteNumber(uint16_t row, uint16_t column, double value)
{
    beginRecord(0x0003, 15);
    putCellStart(row, column);
    putAttributes();
    uint64_t bits = 0;
    std::memcpy(&bits, &value, sizeof bits);
    put32(uint32_t(bits & 0xFFFFFFFFu));
    put32(uint32_t(bits >> 32));
}

void TmxNativeExcel::WriteText(uint16_t row, uint16_t column, const QString &text)
{
    QByteArray bytes = EncodeCp1250(text);
    if (bytes.size() > 255)
        bytes.truncate(255);
    beginRecord(0x0004, uint16_t(8 + bytes.size()));
    putCellStart(row, column);
    putAttributes();
    m_buffer.append(char(uint8_t(bytes.size())));
    m_buffer.append(bytes);
}

void TmxNativeExcel::SetColumnWidth(uint16_t column, int widthChars)
{
    beginRecord(0x0024, 4);
    if (column < 1 || column > 256 || LastColumn < 1 || LastColumn > 256 || widthChars < 0
        || widthChars * 256 >= 65536)
        rangeError();
    m_buffer.append(char(uint8_t(column - 1)));
    m_buffer.append(char(uint8_t(column - 1)));
    put16(uint16_t(widthChars * 256));
}

void TmxNativeExcel::SaveToFile() const { Tdboutputs::SaveBytes(m_buffer, m_fileName); }
