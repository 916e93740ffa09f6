#include "CapturePicture.h"

#include <QPainter>

#include <algorithm>
#include <cmath>
#include <cstring>

namespace kdmtool {

CapturePicture::CapturePicture(QWidget *parent) : QWidget(parent)
{
    // Every pixel is painted here, so nothing behind the box is repainted per line.
    setAttribute(Qt::WA_OpaquePaintEvent);
    setFocusPolicy(Qt::TabFocus);
}

QColor CapturePicture::background() const
{
    return palette().color(QPalette::Button);
}

// The image is not cleared: rows are painted only once they have arrived, so
// a large frame costs nothing up front. It is kept from one frame to the next
// of the same size.
void CapturePicture::startFrame(int width, int height)
{
    if (m_frame.size() != QSize(width, height))
        m_frame = QImage(width, height, QImage::Format_BGR888);
    m_lines = 0;
    update();
}

void CapturePicture::addLine(std::span<const std::uint8_t> bgr)
{
    if (m_lines >= m_frame.height())
        return;
    // FrameBuffer rows have the image's own pixel layout: a line is one copy.
    const int y = m_lines++;
    std::memcpy(m_frame.scanLine(y), bgr.data(), std::min(bgr.size(), std::size_t(m_frame.width()) * 3));
    // The rows of the box that show line y, with a row to spare either side
    // for the rounding of the scaled drawing.
    const double rowsPerLine = double(height()) / m_frame.height();
    const int top = int(std::floor(y * rowsPerLine)) - 1;
    const int bottom = int(std::ceil((y + 1) * rowsPerLine)) + 1;
    update(0, top, width(), bottom - top);
}

void CapturePicture::paintEvent(QPaintEvent *)
{
    // Painting is clipped to the strip that changed.
    QPainter painter(this);
    const double rowsPerLine = m_frame.isNull() ? 0 : double(height()) / m_frame.height();
    const QRectF arrived(0, 0, width(), m_lines * rowsPerLine);
    if (m_lines > 0)
        painter.drawImage(arrived, m_frame, QRectF(0, 0, m_frame.width(), m_lines));
    painter.fillRect(QRectF(rect()).adjusted(0, arrived.height(), 0, 0), background());
}

} // namespace kdmtool
