// One key press of the unit's remote control, as every window sends it.
#pragma once

#include "devicelink/DeviceLink.h"

#include <cstdint>

namespace kdmtool {

// RemoteKey: CommandReport byte 0 = 19, byte 1 = the key code; bytes 2 to 7
// go out as the previous command left them. One reply is read and ignored.
void pressRemoteKey(kdm::DeviceLink &link, std::uint8_t keyCode);

} // namespace kdmtool
