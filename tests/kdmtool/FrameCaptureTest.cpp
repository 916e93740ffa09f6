#include "kdmtool/FrameCapture.h"

#include <gtest/gtest.h>

#include <array>
#include <vector>

namespace kdmtool {
namespace {

std::array<std::uint8_t, 65> frameInfoReply(int width, int height)
{
    std::array<std::uint8_t, 65> reply{};
    reply[1] = static_cast<std::uint8_t>(width & 0xFF);
    reply[2] = static_cast<std::uint8_t>(width >> 8);
    reply[3] = static_cast<std::uint8_t>(height & 0xFF);
    reply[4] = static_cast<std::uint8_t>(height >> 8);
    return reply;
}

TEST(CaptureGeometry, FromFrameInfoAndSizeCheck)
{
    struct Case {
        int width, height;
        int transferWidth, captureWidth, reports;
        bool accepted;
    };
    for (const Case &c : {
             Case{640, 480, 640, 640, 30, true},
             Case{641, 480, 704, 644, 33, true},
             Case{64, 480, 64, 64, 3, false},
             Case{65, 480, 128, 68, 6, true},
             Case{1984, 480, 1984, 1984, 93, true},
             Case{1985, 480, 2048, 1988, 96, false},
             Case{640, 100, 640, 640, 30, false},
             Case{640, 101, 640, 640, 30, true},
             Case{640, 1299, 640, 640, 30, true},
             Case{640, 1300, 640, 640, 30, false},
             Case{0, 0, 0, 0, 0, false}, // all-zero reply: no unit, or a lost reply
             Case{0xFFFF, 480, 0x10000, 0x10000, 3072, false},
         }) {
        const CaptureGeometry geometry = geometryFromFrameInfo(frameInfoReply(c.width, c.height));
        SCOPED_TRACE(testing::Message() << c.width << " x " << c.height);
        EXPECT_EQ(geometry.ReportedWidth, c.width);
        EXPECT_EQ(geometry.TransferWidth, c.transferWidth);
        EXPECT_EQ(geometry.CaptureWidth, c.captureWidth);
        EXPECT_EQ(geometry.CaptureHeight, c.height);
        EXPECT_EQ(reportsPerLine(geometry), c.reports);
        EXPECT_EQ(sizeAccepted(geometry), c.accepted);
    }
}

// A line as the unit sends it, where every byte tells its place in the line's
// stream, cut into 64-byte reports.
struct NumberedLine {
    explicit NumberedLine(const CaptureGeometry &geometry, int seed)
        : bytes(static_cast<std::size_t>(geometry.TransferWidth) * 3)
    {
        for (std::size_t i = 0; i < bytes.size(); ++i)
            bytes[i] = static_cast<std::uint8_t>(i * 7 + static_cast<std::size_t>(seed));
    }
    std::span<const std::uint8_t> report(int n) const
    {
        return std::span(bytes).subspan(static_cast<std::size_t>(n) * LinePayloadBytes, LinePayloadBytes);
    }
    // Pixel x as the FrameBuffer holds it: blue, green, red.
    std::array<std::uint8_t, 3> pixel(int x) const
    {
        const auto at = static_cast<std::size_t>(x) * 3;
        return {bytes[at + 2], bytes[at + 1], bytes[at]};
    }
    std::vector<std::uint8_t> bytes;
};

std::array<std::uint8_t, 3> pixelAt(const std::vector<std::uint8_t> &frame, const CaptureGeometry &geometry, int x,
                                    int y)
{
    const auto at =
        (static_cast<std::size_t>(y) * static_cast<std::size_t>(geometry.CaptureWidth) + static_cast<std::size_t>(x)) *
        3;
    return {frame[at], frame[at + 1], frame[at + 2]};
}

TEST(LineAssembler, AssemblesPixelsAcrossReportBoundariesAndBlanksPastTheReportedWidth)
{
    for (const int width : {65, 640, 641, 643, 1984}) {
        SCOPED_TRACE(width);
        const CaptureGeometry geometry = geometryFromFrameInfo(frameInfoReply(width, 3));
        std::vector<std::uint8_t> frame(frameBufferBytes(geometry), 0x5A);
        LineAssembler assembler(geometry, frame);
        std::vector<NumberedLine> lines;
        for (int y = 0; y < geometry.CaptureHeight; ++y) {
            lines.emplace_back(geometry, y);
            ASSERT_EQ(assembler.line(), y);
            for (int n = 0; n < reportsPerLine(geometry); ++n)
                assembler.take(lines.back().report(n));
            assembler.endLine();
        }
        for (int y = 0; y < geometry.CaptureHeight; ++y) {
            for (int x = 0; x < geometry.CaptureWidth; ++x) {
                const auto expected = x < width ? lines[std::size_t(y)].pixel(x) : std::array<std::uint8_t, 3>{};
                ASSERT_EQ(pixelAt(frame, geometry, x, y), expected) << "pixel " << x << ", " << y;
            }
        }
    }
}

TEST(LineAssembler, PixelSplitOverTwoReports)
{
    // Reported width 65: six reports per line. Pixel 21 has its red byte last
    // in report 0; pixel 42 has red and green last in report 1 and blue first in report 2.
    const CaptureGeometry geometry = geometryFromFrameInfo(frameInfoReply(65, 101));
    std::vector<std::uint8_t> frame(frameBufferBytes(geometry));
    LineAssembler assembler(geometry, frame);
    std::array<std::array<std::uint8_t, LinePayloadBytes>, 6> reports{};
    reports[0][63] = 0x11; // pixel 21 red
    reports[1][0] = 0x22;  // pixel 21 green
    reports[1][1] = 0x33;  // pixel 21 blue
    reports[1][62] = 0x44; // pixel 42 red
    reports[1][63] = 0x55; // pixel 42 green
    reports[2][0] = 0x66;  // pixel 42 blue
    for (const auto &report : reports)
        assembler.take(report);
    assembler.endLine();

    using Bgr = std::array<std::uint8_t, 3>;
    EXPECT_EQ(pixelAt(frame, geometry, 21, 0), (Bgr{0x33, 0x22, 0x11}));
    EXPECT_EQ(pixelAt(frame, geometry, 42, 0), (Bgr{0x66, 0x55, 0x44}));
    EXPECT_EQ(pixelAt(frame, geometry, 20, 0), (Bgr{}));
    EXPECT_EQ(pixelAt(frame, geometry, 43, 0), (Bgr{}));
    EXPECT_EQ(assembler.line(), 1);
}

} // namespace
} // namespace kdmtool
