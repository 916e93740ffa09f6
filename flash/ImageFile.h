// A plain image file, read as raw bytes from its start. The flash takes at
// most 1 MiB from one file; anything past that is never read.
#pragma once

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <span>

namespace kdm::flash {

inline constexpr std::uint32_t MaxImageBytes = 0x100000;

class ImageFile {
public:
    // Opens a regular file for reading; never creates one. False when the file
    // is missing, not a regular file, or cannot be opened.
    [[nodiscard]] bool open(const std::filesystem::path &path);

    // The file's length when it was opened, clamped to MaxImageBytes.
    std::uint32_t length() const { return m_length; }

    // Fills `bytes` with the next bytes of the file. False when the file
    // fails or ends first (it was shortened meanwhile, or a read error).
    [[nodiscard]] bool read(std::span<std::uint8_t> bytes);

private:
    std::ifstream m_file;
    std::uint32_t m_length = 0;
};

} // namespace kdm::flash
