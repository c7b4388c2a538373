#pragma once
#include <QHash>
#include <QRawFont>

#include "pagestream.h"

class QPainter;

// Draws pages of a page stream with QPainter: the glyphs of the font files the
// PDF embeds, at the positions the layout measured, so screen, printer and PDF
// agree.
class TPagePainter {
public:
    // Paints page (0-based) with its top left corner at the painter's origin,
    // scale device pixels per point, on white paper.
    void paint(QPainter &painter, const TPageStream &stream, int page, double scale);

private:
    QRawFont rawFont(const TPageFont &font, double pixelSize);
    QHash<QString, QRawFont> m_fonts;
};
