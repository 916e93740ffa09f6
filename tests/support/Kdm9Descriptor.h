// The report descriptor of a KDM-9, byte for byte: vendor-defined, a 64-byte
// input and an 8-byte output report, no report IDs.
#pragma once

#include <cstdint>
#include <vector>

namespace kdm::test {

inline const std::vector<std::uint8_t> Kdm9Descriptor{0x06, 0x00, 0xFF, 0x09, 0x01, 0xA1, 0x01, 0x15, 0x00,
                                                      0x26, 0xFF, 0x00, 0x75, 0x08, 0x95, 0x40, 0x09, 0x01,
                                                      0x81, 0x02, 0x95, 0x08, 0x09, 0x01, 0x91, 0x02, 0xC0};

} // namespace kdm::test
