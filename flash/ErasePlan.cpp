#include "ErasePlan.h"

#include "FlashCommands.h"

namespace kdm::flash {

std::vector<Erase> erasePlan(std::uint32_t address, std::uint32_t roundedLength)
{
    if (roundedLength == 0)
        return {};
    const std::uint32_t blocks = (roundedLength - 1) / BlockBytes;
    const std::uint32_t rest = roundedLength - blocks * BlockBytes; // 1 to 32768
    const std::uint32_t sectors = (rest + SectorBytes - 1) / SectorBytes;

    std::vector<Erase> plan;
    plan.reserve(blocks + sectors);
    for (std::uint32_t i = 0; i < blocks; ++i, address += BlockBytes)
        plan.push_back({Erase::Kind::Block, address});
    for (std::uint32_t i = 0; i < sectors; ++i, address += SectorBytes)
        plan.push_back({Erase::Kind::Sector, address});
    return plan;
}

} // namespace kdm::flash
