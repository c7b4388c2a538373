#pragma once
#include <QByteArray>
#include <QString>
#include <memory>
#include <vector>

#include "rextpdffont.h"

// The fonts of reports: fontconfig resolves a face and style to a font file
// ("Arial" to its metric-compatible face where Arial itself is missing); the
// file's contents are the font data. Descriptions are kept for the process's
// life, one per face and style, since reading a cmap is not free.

struct TFontFileMatch {
    QString path;  // empty when nothing matched
    int index = 0; // face in a collection
    QString family;
};

TFontFileMatch LocateFontFile(const QString &face, bool bold, bool italic);

// The description of face/style, shared; never null.
std::shared_ptr<const TrextPDFFont> ReportFont(const QString &face, bool bold, bool italic);

// The font program cut down to the given glyphs, glyph numbers kept; empty when
// the subsetter refuses the font.
QByteArray SubsetFontProgram(const QByteArray &fontData, int faceIndex, const std::vector<quint16> &glyphs);
