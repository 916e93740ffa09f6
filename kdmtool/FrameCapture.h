// The unit's frame transfer without the window: the frame geometry that
// FrameInfo reports, the size check, and the assembly of LineRead reports into
// FrameBuffer rows.
//
// On the wire a line is TransferWidth pixels of red, green, blue bytes, one
// continuous stream cut into 64-byte reports, so a pixel may straddle two
// reports. FrameBuffer holds CaptureWidth pixels per row as blue, green, red,
// rows from the top with no gap between them: CaptureWidth is a multiple of 4,
// so every row already is a 4-byte aligned row of a 24-bit bitmap.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace kdmtool {

struct CaptureGeometry {
    std::int32_t ReportedWidth = 0; // pixels per line as the unit reports them
    std::int32_t TransferWidth = 0; // pixels per line on the wire: ReportedWidth rounded up to 64
    std::int32_t CaptureWidth = 0;  // pixels per FrameBuffer row: ReportedWidth rounded up to 4
    std::int32_t CaptureHeight = 0; // lines per frame

    friend constexpr bool operator==(const CaptureGeometry &, const CaptureGeometry &) = default;
};

inline constexpr int LinePayloadBytes = 64;
inline constexpr int BytesPerPixel = 3;

// The geometry from a FrameInfo reply (index 0 the report ID, 1-2 the width
// and 3-4 the height, low byte first). `reply` holds at least 5 bytes.
CaptureGeometry geometryFromFrameInfo(std::span<const std::uint8_t> reply);

// Whether the unit's frame can be transferred: TransferWidth 101..2047 (in
// effect reported widths 65..1984) and 101..1299 lines. An all-zero reply,
// what an absent unit gives, is refused.
bool sizeAccepted(const CaptureGeometry &geometry);

// LineRead byte 1: the number of 64-byte reports that carry one line (6..93
// for an accepted size).
int reportsPerLine(const CaptureGeometry &geometry);

// FrameBuffer bytes for a geometry.
std::size_t frameBufferBytes(const CaptureGeometry &geometry);

// Takes the payloads of the line reports in the order they arrive and writes
// the pixels into a FrameBuffer of the geometry's size, which must outlive
// the assembler. The byte and column counters run on across report
// boundaries; bytes of columns past CaptureWidth are counted and dropped.
class LineAssembler {
public:
    LineAssembler(const CaptureGeometry &geometry, std::span<std::uint8_t> frameBuffer);

    // One report's payload (reply bytes 1 to 64) of the current line.
    void take(std::span<const std::uint8_t> payload);

    // Ends the current line after its reports: blanks the columns CaptureWidth
    // adds past ReportedWidth (whatever the unit sent for them) and moves on
    // to the next line.
    void endLine();

    // The line the next payload belongs to.
    int line() const { return m_line; }

    // Row `y` of the FrameBuffer: CaptureWidth pixels of blue, green, red.
    std::span<const std::uint8_t> row(int y) const;

private:
    CaptureGeometry m_geometry;
    std::span<std::uint8_t> m_frameBuffer;
    std::size_t m_rowBytes;
    int m_line = 0;
    int m_column = 0;
    int m_component = 0; // 0 red, 1 green, 2 blue: the byte order on the wire
};

} // namespace kdmtool
