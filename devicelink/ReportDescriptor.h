// Report lengths from a HID report descriptor, as the unit's capabilities
// state them: the longest input and output report in bytes, with the report
// ID byte counted (a unit without report IDs still gets one leading byte).
#pragma once

#include "Transport.h"

#include <cstdint>
#include <span>
#include <string>
#include <variant>

namespace kdm {

struct DescriptorSummary {
    ReportLengths lengths;
    bool usesReportIds = false; // input reports then begin with their ID
};

struct DescriptorError {
    std::string what;
};

// Parses the short and long items of a report descriptor. Fails on a
// truncated item, a report ID of 0, a global item stack that is popped empty
// or nested too deep, and a report whose size overflows.
[[nodiscard]] std::variant<DescriptorSummary, DescriptorError>
parseReportDescriptor(std::span<const std::uint8_t> descriptor);

} // namespace kdm
