// Output reports of a simulated unit's trace as the unit takes them: command
// reports, and the data reports that follow each FlashWrite.
#pragma once

#include "devicelink/DeviceLink.h"
#include "sim/SimTransport.h"

#include <algorithm>
#include <cstdint>
#include <vector>

namespace kdm::test {

struct FlashWire {
    std::vector<CommandBytes8> commands;
    // The number of each command's report, counting every output report from 1.
    std::vector<std::uint64_t> commandNumbers;
    std::vector<std::uint8_t> data; // the bytes of every data report, in order
    std::size_t dataReports = 0;

    std::size_t count(std::uint8_t code) const
    {
        return static_cast<std::size_t>(
            std::count_if(commands.begin(), commands.end(), [code](const CommandBytes8 &c) { return c[0] == code; }));
    }
};

inline FlashWire splitWire(const std::vector<sim::TraceEntry> &trace)
{
    FlashWire wire;
    std::uint32_t dataLeft = 0;
    std::uint64_t number = 0;
    for (const sim::TraceEntry &entry : trace) {
        if (!entry.out)
            continue;
        ++number;
        if (dataLeft > 0) {
            wire.data.insert(wire.data.end(), entry.bytes.begin(), entry.bytes.end());
            ++wire.dataReports;
            --dataLeft;
            continue;
        }
        CommandBytes8 command{};
        std::copy_n(entry.bytes.begin(), command.size(), command.begin());
        wire.commands.push_back(command);
        wire.commandNumbers.push_back(number);
        if (command[0] == 1) // FlashWrite: the byte count in bytes 5-7
            dataLeft = (command[5] | command[6] << 8 | command[7] << 16) / 8u;
    }
    return wire;
}

// A FlashWrite or FlashChecksum report.
inline CommandBytes8 rangeReport(std::uint8_t code, std::uint32_t address, std::uint32_t count)
{
    return {code,
            0,
            static_cast<std::uint8_t>(address),
            static_cast<std::uint8_t>(address >> 8),
            static_cast<std::uint8_t>(address >> 16),
            static_cast<std::uint8_t>(count),
            static_cast<std::uint8_t>(count >> 8),
            static_cast<std::uint8_t>(count >> 16)};
}

} // namespace kdm::test
