// What kdmupdate's windows share for the whole run of the program: the device
// link, the main window's tick timer, the file dialogs, the download address
// and the image buffer of the hex-record readers. One instance, made by main().
#pragma once

#include "devicelink/DeviceLink.h"
#include "flash/FlashDownload.h"
#include "flash/HexRecords.h"
#include "ui/FileDialogs.h"
#include "ui/TickTimer.h"

#include <cstdint>
#include <functional>

namespace kdmupdate {

struct Program {
    kdm::DeviceLink &link;
    kdm::ui::TickTimer &ticks;
    kdm::ui::FileDialogs &dialogs;
    // Ends the program at once.
    std::function<void()> endProgram;

    std::int32_t DownloadAddress = 0;
    // How long a flash download waits for the unit's checksum, and by which
    // clock: the real one, unless a test runs the program on a simulated unit.
    kdm::flash::ChecksumWait checksumWait{};
    // Zero at start and never cleared: a hex-record image overwrites only the
    // bytes it supplies.
    kdm::flash::ImageBuffer ImageBuffer{};
};

} // namespace kdmupdate
