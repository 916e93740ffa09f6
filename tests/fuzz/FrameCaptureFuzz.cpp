// The capture's handling of what the unit sends: a FrameInfo reply, the size
// check, and a whole frame of LineRead reports assembled into FrameBuffer.
//
// Input: reply bytes 1 to 4 of FrameInfo (width and height, low byte first),
// then the bytes the line reports carry, repeated for as long as the frame
// asks for reports (zeros when there are none).
#include "FuzzCheck.h"

#include "kdmtool/FrameCapture.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace {

using kdmtool::BytesPerPixel;
using kdmtool::CaptureGeometry;
using kdmtool::LinePayloadBytes;

constexpr std::size_t FrameInfoBytes = 4;
constexpr std::size_t LargestFrameBytes = std::size_t{1984} * 1299 * 3;

void checkGeometry(const CaptureGeometry &g)
{
    KDM_FUZZ_CHECK(g.TransferWidth % 64 == 0 && g.CaptureWidth % 4 == 0);
    KDM_FUZZ_CHECK(g.ReportedWidth <= g.CaptureWidth && g.CaptureWidth <= g.TransferWidth);
    KDM_FUZZ_CHECK(g.CaptureWidth - g.ReportedWidth < 4 && g.TransferWidth - g.ReportedWidth < 64);
    KDM_FUZZ_CHECK(g.ReportedWidth >= 65 && g.ReportedWidth <= 1984);
    KDM_FUZZ_CHECK(g.CaptureHeight >= 101 && g.CaptureHeight <= 1299);
    // LineRead carries the report count in one byte.
    const int reports = kdmtool::reportsPerLine(g);
    KDM_FUZZ_CHECK(reports >= 6 && reports <= 93);
    KDM_FUZZ_CHECK(reports * LinePayloadBytes == g.TransferWidth * BytesPerPixel);
    KDM_FUZZ_CHECK(kdmtool::frameBufferBytes(g) ==
                   static_cast<std::size_t>(g.CaptureWidth) * static_cast<std::size_t>(g.CaptureHeight) * 3);
    KDM_FUZZ_CHECK(kdmtool::frameBufferBytes(g) <= LargestFrameBytes);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    if (size < FrameInfoBytes)
        return 0;
    std::array<std::uint8_t, 65> reply{}; // report ID 0, then the reply bytes
    std::copy_n(data, FrameInfoBytes, reply.begin() + 1);
    const CaptureGeometry geometry = kdmtool::geometryFromFrameInfo(reply);
    if (!kdmtool::sizeAccepted(geometry))
        return 0;
    checkGeometry(geometry);

    const std::span<const std::uint8_t> wire(data + FrameInfoBytes, size - FrameInfoBytes);
    const int reports = kdmtool::reportsPerLine(geometry);
    const std::size_t lineBytes = static_cast<std::size_t>(reports) * LinePayloadBytes;
    const std::size_t rowBytes = static_cast<std::size_t>(geometry.CaptureWidth) * BytesPerPixel;
    const std::size_t shownBytes = static_cast<std::size_t>(geometry.ReportedWidth) * BytesPerPixel;

    // Exactly the FrameBuffer's size, so that a byte written past it is caught.
    std::vector<std::uint8_t> frameBuffer(kdmtool::frameBufferBytes(geometry), 0x5A);
    kdmtool::LineAssembler assembler(geometry, frameBuffer);
    std::vector<std::uint8_t> line(lineBytes);
    std::vector<std::uint8_t> expected(rowBytes);
    std::size_t position = 0;
    for (int y = 0; y < geometry.CaptureHeight; ++y) {
        KDM_FUZZ_CHECK(assembler.line() == y);
        for (std::uint8_t &byte : line) {
            byte = wire.empty() ? 0 : wire[position];
            position = position + 1 == wire.size() ? 0 : position + 1;
        }
        for (std::size_t at = 0; at < lineBytes; at += LinePayloadBytes)
            assembler.take(std::span(line).subspan(at, LinePayloadBytes));
        assembler.endLine();

        // The line's pixels as sent (red, green, blue on the wire; blue, green,
        // red in FrameBuffer), black past the reported width.
        std::fill(expected.begin(), expected.end(), std::uint8_t{0});
        for (std::size_t at = 0; at < shownBytes; at += BytesPerPixel)
            std::reverse_copy(line.begin() + static_cast<std::ptrdiff_t>(at),
                              line.begin() + static_cast<std::ptrdiff_t>(at + BytesPerPixel),
                              expected.begin() + static_cast<std::ptrdiff_t>(at));
        const std::span<const std::uint8_t> row = assembler.row(y);
        KDM_FUZZ_CHECK(row.data() == frameBuffer.data() + static_cast<std::size_t>(y) * rowBytes);
        KDM_FUZZ_CHECK(std::equal(row.begin(), row.end(), expected.begin(), expected.end()));
    }
    return 0;
}
