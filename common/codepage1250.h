#pragma once
#include <QByteArray>
#include <QString>

// Code page 1250 at the file boundary. Every byte decodes; the five bytes the
// code page leaves undefined (0x81, 0x83, 0x88, 0x90, 0x98) decode to the C1
// control of the same value and encode back to that byte. Characters the code
// page cannot hold encode as '?'.
QString DecodeCp1250(const QByteArray &bytes);
QByteArray EncodeCp1250(const QString &text);
// True when every character of the text has a byte in code page 1250.
bool IsCp1250Representable(const QString &text);
