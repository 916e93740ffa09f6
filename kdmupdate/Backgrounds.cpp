#include "Backgrounds.h"

#include <QLinearGradient>
#include <QPainter>
#include <QRandomGenerator>

namespace kdmupdate {

namespace {

// White over the left part, thinning out to nothing at the right edge.
void fadeToWhiteTowardsLeft(QPainter &painter, QSize size)
{
    QLinearGradient fade(0, 0, size.width(), 0);
    fade.setColorAt(0.0, QColor(255, 255, 255, 255));
    fade.setColorAt(0.45, QColor(255, 255, 255, 230));
    fade.setColorAt(1.0, QColor(255, 255, 255, 0));
    painter.fillRect(QRect(QPoint(0, 0), size), fade);
}

} // namespace

QPixmap frontPanelBackground(QSize size)
{
    QPixmap picture(size);
    QPainter painter(&picture);
    painter.setRenderHint(QPainter::Antialiasing);
    QLinearGradient metal(0, 0, 0, size.height());
    metal.setColorAt(0, QColor(70, 72, 78));
    metal.setColorAt(0.5, QColor(40, 41, 46));
    metal.setColorAt(1, QColor(25, 25, 28));
    painter.fillRect(picture.rect(), metal);

    // Buttons, a power LED and the model name along the panel.
    const int unit = size.height() / 12;
    painter.setPen(Qt::NoPen);
    for (int i = 0; i < 8; ++i) {
        painter.setBrush(QColor(150, 152, 160));
        painter.drawRoundedRect(
            QRectF(size.width() * 0.45 + i * unit * 3.2, size.height() * 0.62, unit * 2.4, unit * 1.2), unit * 0.3,
            unit * 0.3);
    }
    painter.setBrush(QColor(80, 230, 90));
    painter.drawEllipse(QPointF(size.width() * 0.93, size.height() * 0.30), unit * 0.6, unit * 0.6);
    QFont font = painter.font();
    font.setBold(true);
    font.setPixelSize(unit * 3);
    painter.setFont(font);
    painter.setPen(QColor(220, 220, 225));
    painter.drawText(QRectF(size.width() * 0.45, size.height() * 0.12, size.width() * 0.4, unit * 4),
                     Qt::AlignLeft | Qt::AlignVCenter, QStringLiteral("KDM-9"));

    fadeToWhiteTowardsLeft(painter, size);
    return picture;
}

QPixmap circuitBoardBackground(QSize size)
{
    QPixmap picture(size);
    QPainter painter(&picture);
    painter.fillRect(picture.rect(), QColor(20, 95, 45));

    // Traces and chips in a fixed pattern, the same on every start.
    QRandomGenerator layout(9);
    painter.setPen(QPen(QColor(190, 160, 70), 1.5));
    for (int i = 0; i < 40; ++i) {
        const int y = layout.bounded(size.height());
        const int x = layout.bounded(size.width());
        const int length = 20 + layout.bounded(size.width() / 3);
        painter.drawLine(x, y, x + length, y);
        painter.drawLine(x + length, y, x + length + 10, y + (i % 2 ? 10 : -10));
    }
    painter.setPen(Qt::NoPen);
    for (int i = 0; i < 8; ++i) {
        const QRect chip(layout.bounded(size.width()), layout.bounded(size.height()), 30 + layout.bounded(40),
                         16 + layout.bounded(20));
        painter.setBrush(QColor(25, 25, 28));
        painter.drawRect(chip);
        painter.setBrush(QColor(200, 200, 200));
        for (int pin = chip.left() + 3; pin < chip.right() - 2; pin += 6) {
            painter.drawRect(pin, chip.top() - 3, 2, 3);
            painter.drawRect(pin, chip.bottom() + 1, 2, 3);
        }
    }
    fadeToWhiteTowardsLeft(painter, size);
    return picture;
}

} // namespace kdmupdate
