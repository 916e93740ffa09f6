// Captured frames as 24-bit uncompressed Windows bitmaps, without the window.
//
// The file is the 14-byte file header, the 40-byte info header and the
// FrameBuffer unchanged: the height is stored negative, so the first row in
// the file is the top row, and FrameBuffer rows (blue, green, red, a multiple
// of 4 bytes long) are already bitmap rows.
#pragma once

#include <array>
#include <cstdint>
#include <filesystem>
#include <span>

namespace kdmtool {

inline constexpr std::size_t BitmapHeaderBytes = 54;
inline constexpr std::int32_t BitmapPixelsPerMetre = 3780; // 96 dots per inch

// The two headers of a width x height frame.
std::array<std::uint8_t, BitmapHeaderBytes> bitmapHeader(std::int32_t width, std::int32_t height);

// The chosen path with its file name ending in ".bmp": everything from the
// last "." of the file name on is replaced, or ".bmp" is appended when the
// file name has no ".". A "." in a folder name is never touched.
std::filesystem::path withBitmapExtension(const std::filesystem::path &chosen);

enum class BitmapWriteOutcome {
    Written,
    FrameSizeMismatch, // frameBuffer does not hold width x height x 3 bytes; nothing written
    CannotCreate,      // no file could be created in the target's folder
    WriteFailed,       // writing the bytes failed (disk full, I/O error)
    CannotReplace,     // the finished file could not take the target's place
};

// Writes the frame to `file`. The bytes go to a new file beside the target,
// which replaces the target only once it is complete, so a failure leaves
// neither a truncated file nor a damaged earlier file of that name behind.
[[nodiscard]] BitmapWriteOutcome WriteBitmapFile(const std::filesystem::path &file, std::int32_t width,
                                                 std::int32_t height, std::span<const std::uint8_t> frameBuffer);

} // namespace kdmtool
