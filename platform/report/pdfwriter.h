#pragma once
#include <QByteArray>
#include <QString>

#include "pagestream.h"

// Renders a page stream as a PDF document: one content stream per page,
// compressed with zlib; one font resource per face and style; TrueType faces as
// composite fonts (Type0, Identity-H, CIDFontType2) with the used glyphs'
// subset of the font program embedded and a ToUnicode map, other faces as the
// standard font that stands in for them.
QByteArray RenderPdf(const TPageStream &stream);

// Writes the document whole or not at all (a failed write leaves an older file
// as it was); raises EReportError naming the file.
void WritePdfFile(const TPageStream &stream, const QString &path);
