// Hex-record images: text files of ":" records whose data records fill the
// update tool's 32 KB image buffer.
//
// Only what the unit's images need is read: the data records of the first
// address segment (between the first and the second ":02" record) that start
// below 0x7D80. A record's byte count field is not trusted: the number of data
// bytes follows from the line's length, and the record checksum is skipped.
#pragma once

#include <array>
#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>

namespace kdm::flash {

inline constexpr std::size_t ImageBufferSize = 32768;
using ImageBuffer = std::array<std::uint8_t, ImageBufferSize>;

// The two kinds of hex-record image and where each goes in the unit's flash.
enum class HexImageKind {
    Full,  // ":10" records; 32760 bytes at 0xF8000
    Short, // ":10" and ":0E" records; 4088 bytes at 0x1F1000
};

struct HexImageTarget {
    std::uint32_t downloadAddress;
    std::size_t byteCount;
};

constexpr HexImageTarget targetOf(HexImageKind kind)
{
    return kind == HexImageKind::Full ? HexImageTarget{0xF8000, 32760} : HexImageTarget{0x1F1000, 4088};
}

struct HexReadResult {
    bool ok = true;
    std::string problem; // what ended the reader, for diagnosis
    std::size_t bytesStored = 0;
    explicit operator bool() const { return ok; }
};

// Stores the data bytes of `text` into `buffer` at their load addresses. Bytes
// the text does not supply keep what the buffer held. Ends at the first line
// shorter than 9 characters or the first byte that would land outside the
// buffer; the bytes stored before that stay stored. Lines end in LF, CR LF or CR.
[[nodiscard]] HexReadResult readHexRecords(std::string_view text, HexImageKind kind, ImageBuffer &buffer);

// The same for a file; also fails when the file cannot be read.
[[nodiscard]] HexReadResult readHexRecordFile(const std::filesystem::path &path, HexImageKind kind,
                                              ImageBuffer &buffer);

// A hexadecimal field's value: its leading hexadecimal digits (either case),
// reading stops at the first other character; 0 when there is none.
std::uint32_t hexFieldValue(std::string_view field);

} // namespace kdm::flash
