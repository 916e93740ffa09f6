// Which erases make room for an image: a pure function of where the image
// starts and how long it is once rounded up to whole data reports.
#pragma once

#include <compare>
#include <cstdint>
#include <vector>

namespace kdm::flash {

struct Erase {
    enum class Kind { Block, Sector }; // 32 KB BlockErase, 4 KB SectorErase
    Kind kind = Kind::Sector;
    std::uint32_t address = 0;
    friend constexpr bool operator==(const Erase &, const Erase &) = default;
};

// Whole 32 KB blocks from `address`, then 4 KB sectors for the rest: the last
// (or only) 32 KB of an image is always erased in sectors, even when it fills
// a whole block, so a block erase never reaches past the image's last block.
// The image's length in bytes is `roundedLength` (a multiple of 8); empty
// for 0.
std::vector<Erase> erasePlan(std::uint32_t address, std::uint32_t roundedLength);

} // namespace kdm::flash
