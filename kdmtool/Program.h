// What kdmtool's windows share for the whole run of the program: the device
// link, the main window's tick timer, the file dialogs and the program-wide
// values of the tool windows. One instance, made by main() before Form1.
#pragma once

#include "FrameCapture.h"

#include "devicelink/DeviceLink.h"
#include "flash/FlashDownload.h"
#include "ui/FileDialogs.h"
#include "ui/TickTimer.h"

#include <array>
#include <cstdint>
#include <functional>
#include <vector>

namespace kdmtool {

struct Program {
    kdm::DeviceLink &link;
    kdm::ui::TickTimer &ticks;
    kdm::ui::FileDialogs &dialogs;
    // Ends the program at once, without the tool windows' close handling.
    std::function<void()> endProgram;

    // Flash address of the next command-file download.
    std::int32_t DownloadAddress = 0;
    // How long a flash download waits for the unit's checksum, and by which
    // clock: the real one, unless a test runs the program on a simulated unit.
    kdm::flash::ChecksumWait checksumWait{};

    // The last captured frame, kept across captures and windows: its geometry
    // and its pixels, CaptureWidth x CaptureHeight x (blue, green, red), rows
    // from the top. Both are replaced together, and only by a capture that
    // passed the size check.
    CaptureGeometry captureGeometry{};
    std::vector<std::uint8_t> FrameBuffer{};

    // The unit's timing register block as this program last read, changed or
    // loaded it, and the unit address of its first byte. Both outlive the
    // timing window: a file is written back at the address of the last opening.
    static constexpr std::size_t TimingMirrorSize = 257;
    std::array<std::uint8_t, TimingMirrorSize> TimingMirror{};
    std::uint16_t TimingBase = 0;
};

} // namespace kdmtool
