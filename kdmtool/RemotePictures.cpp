#include "RemotePictures.h"

#include "ui/Fonts.h"

#include <QFontMetrics>
#include <QPainter>

#include <algorithm>

namespace kdmtool {

namespace {

const QColor KeyFace{52, 57, 78};
const QColor KeyLight{156, 164, 192};
const QColor KeyShadow{18, 20, 30};
const QColor KeyLabel{240, 242, 248};
const QColor LogoColour{236, 238, 246};
const QColor LogoShadow{62, 70, 98};
const QString Logo = QStringLiteral("KDM-9");

constexpr int LargestLabelPixels = 13;
constexpr int SmallestLabelPixels = 6;

// The largest font, up to LargestLabelPixels, in which `text` fits `area` on one line.
QFont fittingFont(const QString &text, QSize area)
{
    QFont font = kdm::ui::msPGothic(9);
    for (int pixels = std::min(area.height(), LargestLabelPixels); pixels > SmallestLabelPixels; --pixels) {
        font.setPixelSize(pixels);
        const QFontMetrics metrics(font);
        if (metrics.horizontalAdvance(text) <= area.width() && metrics.height() <= area.height() + 2)
            return font;
    }
    font.setPixelSize(SmallestLabelPixels);
    return font;
}

} // namespace

QImage keyPicture(QSize size, const QString &label)
{
    QImage image(size, QImage::Format_RGB888);
    image.fill(KeyFace);
    QPainter painter(&image);
    const QRect edge = image.rect();
    // A raised key: light above and left, shadow below and right.
    painter.setPen(KeyLight);
    painter.drawLine(edge.topLeft(), edge.topRight());
    painter.drawLine(edge.topLeft(), edge.bottomLeft());
    painter.setPen(KeyShadow);
    painter.drawLine(edge.bottomLeft(), edge.bottomRight());
    painter.drawLine(edge.topRight(), edge.bottomRight());

    const QRect area = edge.adjusted(2, 1, -2, -1);
    painter.setRenderHint(QPainter::TextAntialiasing);
    painter.setFont(fittingFont(label, area.size()));
    painter.setPen(KeyLabel);
    painter.drawText(area, Qt::AlignCenter, label);
    return image;
}

QImage panelBackground()
{
    QImage image(PanelBackgroundSize, QImage::Format_RGB888);
    image.fill(PanelFieldColour);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::TextAntialiasing);

    // The free band between the menu keys and the lower group boxes.
    const QRect band(0, 410, PanelBackgroundSize.width(), 56);
    QFont font = kdm::ui::msPGothic(9);
    font.setPixelSize(34);
    font.setBold(true);
    font.setItalic(true);
    painter.setFont(font);
    painter.setPen(LogoShadow);
    painter.drawText(band.translated(2, 2), Qt::AlignCenter, Logo);
    painter.setPen(LogoColour);
    painter.drawText(band, Qt::AlignCenter, Logo);
    painter.fillRect(QRect(56, band.bottom() - 2, 113, 2), LogoColour);
    return image;
}

PictureButton::PictureButton(QImage picture, QWidget *parent) : QAbstractButton(parent), m_picture(std::move(picture))
{
}

void PictureButton::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    QRect face(QPoint(), m_picture.size());
    face.moveCenter(rect().center());
    if (isDown()) {
        // A pressed key gives way: down and right by a pixel, in shadow.
        painter.fillRect(rect(), KeyShadow);
        painter.drawImage(face.topLeft() + QPoint(1, 1), m_picture);
        painter.fillRect(rect(), QColor(0, 0, 0, 70));
    } else {
        painter.drawImage(face.topLeft(), m_picture);
    }
    if (hasFocus()) {
        painter.setPen(QPen(KeyLabel, 1, Qt::DotLine));
        painter.drawRect(rect().adjusted(2, 2, -3, -3));
    }
}

} // namespace kdmtool
