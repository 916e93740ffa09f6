#include "FrameCapture.h"

#include <algorithm>

namespace kdmtool {

namespace {

constexpr std::int32_t TransferGranule = 64;
constexpr std::int32_t RowGranule = 4;
constexpr std::int32_t MinimumExtent = 101;
constexpr std::int32_t MaximumTransferWidth = 2047;
constexpr std::int32_t MaximumHeight = 1299;

constexpr std::int32_t roundUp(std::int32_t value, std::int32_t granule)
{
    return (value + granule - 1) / granule * granule;
}

} // namespace

CaptureGeometry geometryFromFrameInfo(std::span<const std::uint8_t> reply)
{
    CaptureGeometry geometry;
    geometry.ReportedWidth = reply[1] + 256 * reply[2];
    geometry.TransferWidth = roundUp(geometry.ReportedWidth, TransferGranule);
    geometry.CaptureWidth = roundUp(geometry.ReportedWidth, RowGranule);
    geometry.CaptureHeight = reply[3] + 256 * reply[4];
    return geometry;
}

bool sizeAccepted(const CaptureGeometry &geometry)
{
    return geometry.TransferWidth >= MinimumExtent && geometry.TransferWidth <= MaximumTransferWidth &&
           geometry.CaptureHeight >= MinimumExtent && geometry.CaptureHeight <= MaximumHeight;
}

int reportsPerLine(const CaptureGeometry &geometry)
{
    return geometry.TransferWidth / TransferGranule * BytesPerPixel;
}

std::size_t frameBufferBytes(const CaptureGeometry &geometry)
{
    return static_cast<std::size_t>(geometry.CaptureWidth) * static_cast<std::size_t>(geometry.CaptureHeight) *
           BytesPerPixel;
}

LineAssembler::LineAssembler(const CaptureGeometry &geometry, std::span<std::uint8_t> frameBuffer)
    : m_geometry(geometry), m_frameBuffer(frameBuffer),
      m_rowBytes(static_cast<std::size_t>(geometry.CaptureWidth) * BytesPerPixel)
{
}

void LineAssembler::take(std::span<const std::uint8_t> payload)
{
    std::uint8_t *const row = m_frameBuffer.data() + static_cast<std::size_t>(m_line) * m_rowBytes;
    for (const std::uint8_t byte : payload) {
        // Red arrives first and goes last: FrameBuffer pixels are blue, green, red.
        if (m_column < m_geometry.CaptureWidth)
            row[static_cast<std::size_t>(m_column) * BytesPerPixel + static_cast<std::size_t>(2 - m_component)] = byte;
        if (m_component == 2) {
            m_component = 0;
            ++m_column;
        } else {
            ++m_component;
        }
    }
}

void LineAssembler::endLine()
{
    if (m_geometry.TransferWidth > m_geometry.ReportedWidth) {
        const auto rowStart =
            m_frameBuffer.begin() + static_cast<std::ptrdiff_t>(m_line) * static_cast<std::ptrdiff_t>(m_rowBytes);
        std::fill(rowStart + m_geometry.ReportedWidth * BytesPerPixel,
                  rowStart + static_cast<std::ptrdiff_t>(m_rowBytes), std::uint8_t{0});
    }
    m_column = 0;
    ++m_line;
}

std::span<const std::uint8_t> LineAssembler::row(int y) const
{
    return std::span<const std::uint8_t>(m_frameBuffer).subspan(static_cast<std::size_t>(y) * m_rowBytes, m_rowBytes);
}

} // namespace kdmtool
