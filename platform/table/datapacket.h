#pragma once
#include <QByteArray>
#include <QString>

class TMemTable;

// The XML data-packet file of a table: field definitions, table properties
// (the identifier counter AUTOINCVALUE) and one ROW element per row, text in
// code page 1250. Loading replaces the table's structure and rows; a damaged
// packet raises ETableError and leaves the table as it was.
void LoadDataPacket(TMemTable &table, const QByteArray &bytes, const QString &sourceName = QString());
QByteArray SaveDataPacket(const TMemTable &table);
// The same with every element read by the XML parser: the reference that the loader's
// quicker reading of rows is held to.
void LoadDataPacketThroughParser(TMemTable &table, const QByteArray &bytes, const QString &sourceName = QString());

// File forms: saving replaces the file through a temporary file and a rename.
void LoadDataPacketFile(TMemTable &table, const QString &fileName);
void SaveDataPacketFile(const TMemTable &table, const QString &fileName);

// Value forms of the packet.
QString PacketDateTimeText(double value);      // 20060601T14:03:07250
QString PacketDateText(double value);          // 20060601
QString PacketTimeText(double value);          // 14:03:07250
bool ParsePacketDateTime(const QString &text, double &value);
bool ParsePacketDate(const QString &text, double &value);
bool ParsePacketTime(const QString &text, double &value);
