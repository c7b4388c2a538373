#include "pagepainter.h"

#include "reportfonts.h"

#include <QGlyphRun>
#include <QPainter>

QRawFont TPagePainter::rawFont(const TPageFont &font, double pixelSize)
{
    const QString key = font.face + QChar(font.bold ? 'B' : '-') + QChar(font.italic ? 'I' : '-')
        + QString::number(pixelSize, 'f', 3);
    auto it = m_fonts.find(key);
    if (it != m_fonts.end())
        return *it;
    const auto described = ReportFont(font.face, font.bold, font.italic);
    QRawFont raw;
    if (described->kind() == TrextPDFFont::TrueType)
        raw = QRawFont(described->fontData(), pixelSize, QFont::PreferNoHinting);
    m_fonts.insert(key, raw);
    return raw;
}

void TPagePainter::paint(QPainter &painter, const TPageStream &stream, int page, double scale)
{
    if (page < 0 || page >= stream.pageCount())
        return;
    const TStreamPage &p = stream.pages[size_t(page)];
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing, true);
    painter.setRenderHint(QPainter::TextAntialiasing, true);
    painter.fillRect(QRectF(0, 0, p.width * scale, p.height * scale), Qt::white);

    for (const TPageLine &l : p.lines) {
        QPen pen(Qt::black, l.width * scale, Qt::SolidLine, Qt::FlatCap);
        painter.setPen(pen);
        painter.drawLine(QPointF(l.x1 * scale, l.y1 * scale), QPointF(l.x2 * scale, l.y2 * scale));
    }

    painter.setPen(Qt::black);
    for (const TPageText &t : p.texts) {
        const TPageFont &font = stream.fonts[size_t(t.font)];
        const double pixelSize = font.size * scale;
        const auto described = ReportFont(font.face, font.bold, font.italic);
        const QRawFont raw = rawFont(font, pixelSize);
        if (!raw.isValid()) {
            QFont f(font.face);
            f.setPixelSize(qMax(1, int(pixelSize + 0.5)));
            f.setBold(font.bold);
            f.setItalic(font.italic);
            painter.setFont(f);
            painter.drawText(QPointF(t.x * scale, t.baseline * scale), t.text);
            continue;
        }
        QList<quint32> indexes;
        QList<QPointF> positions;
        double x = 0;
        for (const auto &[glyph, code] : described->glyphRun(t.text)) {
            indexes.append(glyph);
            positions.append(QPointF(x, 0));
            x += described->glyphWidth(glyph) * pixelSize / 1000.0;
        }
        QGlyphRun run;
        run.setRawFont(raw);
        run.setGlyphIndexes(indexes);
        run.setPositions(positions);
        painter.drawGlyphRun(QPointF(t.x * scale, t.baseline * scale), run);
    }
    painter.restore();
}
