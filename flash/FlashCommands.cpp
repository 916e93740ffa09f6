#include "FlashCommands.h"

namespace kdm::flash {

namespace {

void put24(CommandBytes8 &report, std::size_t at, std::uint32_t value)
{
    report[at] = static_cast<std::uint8_t>(value & 0xFF);
    report[at + 1] = static_cast<std::uint8_t>((value >> 8) & 0xFF);
    report[at + 2] = static_cast<std::uint8_t>((value >> 16) & 0xFF);
}

} // namespace

CommandBytes8 eraseCommand(Command erase, std::uint32_t address)
{
    CommandBytes8 report{code(erase), 0, 0, 0, 0, 0x55, 0xAA, 0x55};
    put24(report, 2, address);
    return report;
}

CommandBytes8 rangeCommand(Command command, std::uint32_t address, std::uint32_t byteCount)
{
    CommandBytes8 report{code(command), 0};
    put24(report, 2, address);
    put24(report, 5, byteCount);
    return report;
}

ChecksumStatus checksumStatus(const std::vector<std::uint8_t> &replyReport)
{
    if (replyReport.size() < 4 || replyReport[1] != 1)
        return {};
    return {true, static_cast<std::uint16_t>(replyReport[2] | (replyReport[3] << 8))};
}

std::uint16_t addToSum(std::uint16_t sum, std::span<const std::uint8_t> bytes)
{
    for (std::uint8_t byte : bytes)
        sum = static_cast<std::uint16_t>(sum + byte);
    return sum;
}

} // namespace kdm::flash
