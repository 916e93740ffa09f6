// The KDM-9's flash command family as command reports: erase, write stream,
// checksum request and status poll. Addresses and byte counts travel as 24-bit
// values, least significant byte first, in bytes 2-4 and 5-7.
#pragma once

#include "devicelink/DeviceLink.h"
#include "devicelink/UnitCommands.h"

#include <cstdint>
#include <span>
#include <vector>

namespace kdm::flash {

inline constexpr std::uint32_t SectorBytes = 0x1000; // SectorErase
inline constexpr std::uint32_t BlockBytes = 0x8000;  // BlockErase
inline constexpr std::uint32_t ReportDataBytes = 8;  // image bytes per data report

// SectorErase or BlockErase at `address`. Bytes 5-7 carry the confirmation
// pattern 55 AA 55 without which the unit erases nothing.
CommandBytes8 eraseCommand(Command erase, std::uint32_t address);

// FlashWrite or FlashChecksum: a start address and a byte count.
CommandBytes8 rangeCommand(Command command, std::uint32_t address, std::uint32_t byteCount);

// StatusPoll is eight zero bytes.
inline constexpr CommandBytes8 StatusPollReport{};

// What a StatusPoll reply says about the checksum the unit was asked for.
struct ChecksumStatus {
    bool ready = false;    // reply byte 1 == 1
    std::uint16_t sum = 0; // reply bytes 2 (low) and 3 (high); meaningful when ready
};
ChecksumStatus checksumStatus(const std::vector<std::uint8_t> &replyReport);

// The 16-bit byte sum the unit computes, continued over `bytes`.
std::uint16_t addToSum(std::uint16_t sum, std::span<const std::uint8_t> bytes);

} // namespace kdm::flash
