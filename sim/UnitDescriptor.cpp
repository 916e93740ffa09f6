#include "UnitDescriptor.h"

#include <algorithm>

namespace kdm::sim {

std::vector<std::uint8_t> unitReportDescriptor(int outputBytes)
{
    const auto outputCount = static_cast<std::uint8_t>(std::clamp(outputBytes, CommandBytes, 0xFF));
    return {
        0x06, 0x00,
        0xFF,       // usage page: vendor defined 0xFF00
        0x09, 0x01, // usage 1
        0xA1, 0x01, // collection: application
        0x15, 0x00, //   logical minimum 0
        0x26, 0xFF,
        0x00,                    //   logical maximum 255
        0x75, 0x08,              //   report size: 8 bits
        0x95, ReplyPayloadBytes, //  report count: the reply bytes
        0x09, 0x01,              //   usage 1
        0x81, 0x02,              //   input: data, variable, absolute
        0x95, outputCount,       //   report count: the command bytes
        0x09, 0x01,              //   usage 1
        0x91, 0x02,              //   output: data, variable, absolute
        0xC0,                    // end collection
    };
}

} // namespace kdm::sim
