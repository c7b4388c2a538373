#pragma once
#include <QByteArray>
#include <QString>
#include <cstdint>

// Builds a binary worksheet file record by record in memory and saves it whole.
class TmxNativeExcel {
public:
    enum Direction : uint8_t { dirUp = 1, dirDown = 2, dirLeft = 3, dirRight = 4 };
    enum Border : uint8_t { bdTop = 1, bdBottom = 2, bdLeft = 4, bdRight = 8 };
    enum State : uint8_t { stNew = 0, stOpen = 1, stClosed = 2 };

    TmxNativeExcel();
    virtual ~TmxNativeExcel() = default;

    // Starts the file over: beginning of file, dimensions and code page.
    virtual void Reset();
    // Ends the file.
    virtual void Close();

    uint8_t Version() const { return m_version; }
    void SetVersion(uint8_t version);
    const QString &FileName() const { return m_fileName; }
    // A name whose extension is not ".xls" (any letter case) gets ".XLS" instead.
    void SetFileName(const QString &fileName);
    uint16_t Row() const { return m_row; }
    uint16_t Column() const { return m_column; }
    void SetRow(uint16_t row);
    void SetColumn(uint16_t column);
    State GetState() const { return m_state; }

    void WriteNumber(uint16_t row, uint16_t column, double value);
    void WriteText(uint16_t row, uint16_t column, const QString &text);
    // Raises the range error for a column outside 1..256 or a width of 256 characters and more.
    void SetColumnWidth(uint16_t column, int widthChars);
    void SaveToFile() const;

    const QByteArray &Buffer() const { return m_buffer; }

    uint16_t FirstRow = 0;
    uint16_t LastRow = 65535;
    uint16_t FirstColumn = 0;
    uint16_t LastColumn = 256;
    uint8_t CursorDirection = dirRight;
    bool Shaded = false;
    uint8_t Borders = 0;
    uint8_t HorizontalAlignment = 0; // 0..5
    bool Hidden = false;
    bool Locked = true;
    uint8_t FontIndex = 0; // 0..3

private:
    void beginRecord(uint16_t opcode, uint16_t length);
    void put16(uint16_t value);
    void put32(uint32_t value);
    void putCellStart(uint16_t row, uint16_t column);
    void advanceCursor();
    void putAttributes();

    QByteArray m_buffer;
    uint8_t m_version = 3;
    State m_state = stNew;
    QString m_fileName;
    uint16_t m_row = 1;
    uint16_t m_column = 1;
};
