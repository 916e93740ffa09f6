// The HID report descriptor the KDM-9 presents: one vendor-defined
// application collection with a 64-byte input report and an 8-byte output
// report, bytes from 0 to 255, no report IDs.
#pragma once

#include "devicelink/UnitCommands.h"

#include <cstdint>
#include <vector>

namespace kdm::sim {

// The unit's descriptor; `outputBytes` (8 to 255) other than 8 describes a
// unit with a longer output report, as a later firmware might have.
std::vector<std::uint8_t> unitReportDescriptor(int outputBytes = CommandBytes);

} // namespace kdm::sim
