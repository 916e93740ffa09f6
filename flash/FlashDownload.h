// The flash download procedure of both programs: erase the range, stream the
// image into it, and verify it by the unit's 16-bit checksum.
//
// A download holds the device link for its whole run (claimExclusive): the
// unit takes every report after FlashWrite as image data, and the erase and
// poll exchanges pair each command with the next reply, so a report from
// another window anywhere inside would corrupt the flash or the verdict.
// Other windows' sends are refused meanwhile, and a second download cannot
// start inside the first.
//
// Runs on the user-interface thread; window events are processed in every
// pause and before every data report.
#pragma once

#include "DownloadWindow.h"
#include "devicelink/DeviceLink.h"

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <span>
#include <string_view>

namespace kdm::flash {

// The unit sums the range itself before it answers a status poll with
// "ready". A small microcontroller reading a serial NOR flash byte by byte
// needs about 2 to 3 us a byte, some 3 s for the largest range of 1 MiB; a
// parallel NOR part is done in well under 1 s. Waiting 15 s, five times the
// slow case, never gives up on a working unit; a unit that has gone away
// (every poll then costs a 1 s receive time-out) is given up after about 15
// polls.
inline constexpr std::chrono::milliseconds DefaultChecksumWait{15000};

struct ChecksumWait {
    std::chrono::milliseconds limit = DefaultChecksumWait;
    std::function<std::chrono::steady_clock::time_point()> now = [] { return std::chrono::steady_clock::now(); };
};

class FlashDownload {
public:
    static constexpr std::size_t FullImageBytes = 32760; // bindownload
    static constexpr std::size_t ShortImageBytes = 4088; // bindownload_short

    // The link, the window and the clock must outlive the download.
    FlashDownload(DeviceLink &link, DownloadWindow &window, DownloadStyle style, ChecksumWait wait = {});

    // Writes the file at `path` (its first 1 MiB at most) into the flash from
    // `address` and reads it a second time for the checksum. An empty path
    // does nothing. A missing, unreadable or empty file is refused before
    // anything is sent, and a file that fails while it is read ends the
    // download, both with the file error in the status line.
    [[nodiscard]] bool download_f(const std::filesystem::path &path, std::int32_t address);

    // Writes the first FullImageBytes or ShortImageBytes of `imageBuffer` from
    // `address`; `path` only names the image in the status line. A buffer
    // shorter than that is refused before anything is sent.
    [[nodiscard]] bool bindownload(std::span<const std::uint8_t> imageBuffer, std::string_view path,
                                   std::int32_t address);
    [[nodiscard]] bool bindownload_short(std::span<const std::uint8_t> imageBuffer, std::string_view path,
                                         std::int32_t address);

    // Every function above returns true only when the unit's checksum over the
    // written range equals the image's. It returns false at once, touching
    // neither the unit nor the window, while another caller holds the link.

private:
    [[nodiscard]] bool downloadBuffer(std::span<const std::uint8_t> imageBuffer, std::size_t byteCount,
                                      std::string_view path, std::int32_t address);

    DeviceLink &m_link;
    DownloadWindow &m_window;
    DownloadStyle m_style;
    ChecksumWait m_wait;
};

} // namespace kdm::flash
