#include "calltypeicons.h"

#include <QPainter>
#include <QPainterPath>
#include <QPolygonF>

#include <cmath>
#include <functional>

namespace {

// Every picture is drawn on a 64 x 64 canvas and scaled.
constexpr double kCanvas = 64.0;

const QColor kBody(58, 58, 64);
const QColor kBodyLight(112, 112, 122);
const QColor kArrow(24, 96, 214);
const QColor kQuestion(214, 32, 32);

void drawBody(QPainter &p)
{
    // The base of a desk telephone with its dial.
    QPainterPath base;
    base.moveTo(10, 56);
    base.lineTo(17, 30);
    base.lineTo(47, 30);
    base.lineTo(54, 56);
    base.closeSubpath();
    p.setPen(QPen(kBody, 2.5, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(kBodyLight);
    p.drawPath(base);
    p.setBrush(Qt::white);
    p.setPen(QPen(kBody, 2));
    p.drawEllipse(QPointF(32, 44), 7, 7);
    p.setBrush(kBody);
    p.drawEllipse(QPointF(32, 44), 2, 2);
}

QPainterPath handsetPath()
{
    // A handset lying across the top: two ear pieces joined by a grip.
    QPainterPath path;
    path.moveTo(6, 28);
    path.cubicTo(4, 16, 14, 12, 32, 12);
    path.cubicTo(50, 12, 60, 16, 58, 28);
    path.lineTo(47, 28);
    path.lineTo(46, 22);
    path.cubicTo(40, 20, 24, 20, 18, 22);
    path.lineTo(17, 28);
    path.closeSubpath();
    return path;
}

void drawHandset(QPainter &p)
{
    p.setPen(QPen(kBody, 2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(kBody);
    p.drawPath(handsetPath());
}

void drawLiftedHandset(QPainter &p)
{
    // The handset raised off its rest, tilted up to the right.
    p.save();
    p.translate(36, 14);
    p.rotate(-28);
    p.translate(-32, -20);
    drawHandset(p);
    p.restore();
    // The empty rest.
    p.setPen(QPen(kBody, 3, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(17, 30), QPointF(17, 25));
    p.drawLine(QPointF(47, 30), QPointF(47, 25));
}

void drawArrow(QPainter &p, const QPointF &from, const QPointF &to)
{
    // A short thick shaft with a big head, so the direction reads even at 16 pixels.
    const QPointF d = (to - from) / std::hypot(to.x() - from.x(), to.y() - from.y());
    const QPointF n(-d.y(), d.x());
    const QPointF base = to - d * 16;
    p.setPen(QPen(Qt::white, 13, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.drawLine(from, base);
    p.setPen(QPen(kArrow, 8, Qt::SolidLine, Qt::FlatCap, Qt::RoundJoin));
    p.drawLine(from, base + d * 2);
    QPolygonF head;
    head << to << base + n * 13 << base - n * 13;
    p.setPen(QPen(Qt::white, 3, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(kArrow);
    p.drawPolygon(head);
}

void drawQuestion(QPainter &p)
{
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setBold(true);
    font.setPixelSize(40);
    p.setFont(font);
    // A white rim keeps the mark readable over the telephone.
    QPainterPath text;
    text.addText(QPointF(34, 42), font, QStringLiteral("?"));
    p.setPen(QPen(Qt::white, 5, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(Qt::NoBrush);
    p.drawPath(text);
    p.setPen(Qt::NoPen);
    p.setBrush(kQuestion);
    p.drawPath(text);
}

QPixmap canvas(int size, const std::function<void(QPainter &)> &draw)
{
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    p.scale(size / kCanvas, size / kCanvas);
    draw(p);
    return pixmap;
}

QIcon iconOf(const std::function<QPixmap(int)> &pixmapOf)
{
    QIcon icon;
    for (int size : {16, 24, 32, 48, 64})
        icon.addPixmap(pixmapOf(size));
    return icon;
}

} // namespace

QPixmap CallTypePixmap(int index, int size)
{
    return canvas(size, [index](QPainter &p) {
        switch (index) {
        case ctiUndetermined:
            drawBody(p);
            drawHandset(p);
            break;
        case ctiOutgoing:
            drawBody(p);
            drawHandset(p);
            drawArrow(p, QPointF(30, 34), QPointF(62, 2));
            break;
        case ctiIncoming:
            drawBody(p);
            drawHandset(p);
            drawArrow(p, QPointF(60, 4), QPointF(28, 36));
            break;
        case ctiUnsuccessful:
            drawBody(p);
            drawLiftedHandset(p);
            break;
        case ctiMissed:
            drawBody(p);
            drawHandset(p);
            drawQuestion(p);
            break;
        default:
            break; // the empty picture
        }
    });
}

QList<QIcon> CallTypeImageList()
{
    QList<QIcon> list;
    for (int i = 0; i < kCallTypeIconCount; ++i)
        list.append(iconOf([i](int size) { return CallTypePixmap(i, size); }));
    return list;
}

QIcon ApplicationIcon()
{
    return iconOf([](int size) {
        return canvas(size, [](QPainter &p) {
            drawBody(p);
            drawHandset(p);
            p.setPen(QPen(Qt::white, 3));
            p.setBrush(QColor(220, 30, 30));
            p.drawEllipse(QPointF(50, 48), 11, 11);
        });
    });
}

QIcon PlayIcon()
{
    return iconOf([](int size) {
        return canvas(size, [](QPainter &p) {
            QPolygonF triangle;
            triangle << QPointF(16, 8) << QPointF(56, 32) << QPointF(16, 56);
            p.setPen(QPen(QColor(20, 110, 40), 3, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
            p.setBrush(QColor(40, 170, 70));
            p.drawPolygon(triangle);
        });
    });
}

QIcon SaveIcon()
{
    return iconOf([](int size) {
        return canvas(size, [](QPainter &p) {
            // A floppy disk: body, shutter and label.
            p.setPen(QPen(QColor(30, 50, 110), 3, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
            p.setBrush(QColor(60, 90, 180));
            QPainterPath body;
            body.moveTo(8, 8);
            body.lineTo(48, 8);
            body.lineTo(56, 16);
            body.lineTo(56, 56);
            body.lineTo(8, 56);
            body.closeSubpath();
            p.drawPath(body);
            p.setBrush(QColor(200, 205, 215));
            p.drawRect(QRectF(18, 8, 26, 16));
            p.setBrush(Qt::white);
            p.drawRect(QRectF(16, 34, 32, 22));
        });
    });
}
