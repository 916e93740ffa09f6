#include "CapturePictures.h"

#include <QPainter>
#include <QPainterPath>

#include <functional>

namespace kdmtool {

namespace {

const QColor ArrowRed(0xD0, 0x10, 0x10);

QPixmap drawn(const std::function<void(QPainter &)> &draw)
{
    QPixmap picture(ButtonPictureWidth, ButtonPictureHeight);
    picture.fill(Qt::transparent);
    QPainter painter(&picture);
    painter.setRenderHint(QPainter::Antialiasing);
    draw(painter);
    return picture;
}

// A red arrow pointing right, filling `area`.
void drawArrow(QPainter &painter, const QRectF &area)
{
    const qreal shaft = area.height() / 3;
    const qreal headStart = area.right() - area.height() * 0.6;
    QPainterPath arrow;
    arrow.moveTo(area.left(), area.center().y() - shaft / 2);
    arrow.lineTo(headStart, area.center().y() - shaft / 2);
    arrow.lineTo(headStart, area.top());
    arrow.lineTo(area.right(), area.center().y());
    arrow.lineTo(headStart, area.bottom());
    arrow.lineTo(headStart, area.center().y() + shaft / 2);
    arrow.lineTo(area.left(), area.center().y() + shaft / 2);
    arrow.closeSubpath();
    painter.setPen(QPen(ArrowRed.darker(140), 1));
    painter.setBrush(ArrowRed);
    painter.drawPath(arrow);
}

} // namespace

QPixmap cameraPicture()
{
    return drawn([](QPainter &painter) {
        painter.setPen(QPen(Qt::black, 1.5));
        painter.setBrush(QColor(0x50, 0x50, 0x58));
        painter.drawRoundedRect(QRectF(24, 6, 9, 5), 1, 1); // viewfinder
        painter.drawRoundedRect(QRectF(14, 9, 36, 20), 3, 3);
        painter.setBrush(QColor(0xC8, 0xC8, 0xD0));
        painter.drawEllipse(QPointF(32, 19), 7.5, 7.5);
        painter.setBrush(QColor(0x20, 0x30, 0x60));
        painter.drawEllipse(QPointF(32, 19), 4.5, 4.5);
        painter.setPen(Qt::NoPen);
        painter.setBrush(QColor(0xFF, 0xF0, 0xA0));
        painter.drawRect(QRectF(42, 12, 5, 3)); // flash
    });
}

QPixmap blackCrossPicture()
{
    return drawn([](QPainter &painter) {
        painter.setPen(QPen(Qt::black, 5, Qt::SolidLine, Qt::RoundCap));
        painter.drawLine(QPointF(22, 4), QPointF(42, 28));
        painter.drawLine(QPointF(42, 4), QPointF(22, 28));
    });
}

QPixmap floppyDiskPicture()
{
    return drawn([](QPainter &painter) {
        drawArrow(painter, QRectF(6, 8, 24, 16));
        const QRectF disk(34, 3, 26, 26);
        painter.setPen(QPen(Qt::black, 1));
        painter.setBrush(QColor(0x20, 0x30, 0x80));
        painter.drawRect(disk);
        painter.setBrush(QColor(0xB8, 0xB8, 0xC0));
        painter.drawRect(QRectF(disk.left() + 6, disk.top(), 13, 9)); // shutter
        painter.setBrush(Qt::white);
        painter.drawRect(QRectF(disk.left() + 4, disk.top() + 14, 18, 12)); // label
    });
}

QPixmap doorPicture()
{
    return drawn([](QPainter &painter) {
        const QRectF frame(38, 2, 20, 28);
        painter.setPen(QPen(Qt::black, 1));
        painter.setBrush(QColor(0x30, 0x20, 0x10));
        painter.drawRect(frame); // the dark doorway
        QPolygonF leaf;          // the door, swung open towards the viewer
        leaf << frame.topRight() << QPointF(frame.right() + 4, frame.top() + 3)
             << QPointF(frame.right() + 4, frame.bottom() + 1) << frame.bottomRight();
        painter.setBrush(QColor(0xA0, 0x60, 0x20));
        painter.drawPolygon(leaf);
        drawArrow(painter, QRectF(6, 8, 38, 16));
    });
}

} // namespace kdmtool
