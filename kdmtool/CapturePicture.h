// The capture window's picture box: shows a frame scaled to the box while its
// lines arrive from the top. Lines that have not arrived show the background
// colour.
#pragma once

#include <QImage>
#include <QWidget>

#include <cstdint>
#include <span>

namespace kdmtool {

class CapturePicture : public QWidget {
    Q_OBJECT
public:
    explicit CapturePicture(QWidget *parent = nullptr);

    // A new frame of width x height pixels, all background for now.
    void startFrame(int width, int height);

    // The next line of the frame from its FrameBuffer row (blue, green, red
    // per pixel), repainting only the strip of the box the line covers.
    // Lines past the frame's height are ignored.
    void addLine(std::span<const std::uint8_t> bgr);

    // The frame's lines that have arrived, as shown; null before the first frame.
    QImage frame() const { return m_frame.copy(0, 0, m_frame.width(), m_lines); }
    QColor background() const;

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    QImage m_frame; // rows from m_lines on are not set
    int m_lines = 0;
};

} // namespace kdmtool
