#include "flash/ErasePlan.h"

#include <gtest/gtest.h>

namespace kdm::flash {
namespace {

constexpr Erase block(std::uint32_t address)
{
    return {Erase::Kind::Block, address};
}
constexpr Erase sector(std::uint32_t address)
{
    return {Erase::Kind::Sector, address};
}

TEST(ErasePlan, BlocksThenSectorsWithTheLast32KInSectors)
{
    struct Case {
        std::uint32_t address;
        std::uint32_t rounded;
        std::vector<Erase> expected;
    };
    const Case cases[] = {
        {0xE8000, 8, {sector(0xE8000)}},
        {0xE8000, 16, {sector(0xE8000)}},
        {0xE8000, 4096, {sector(0xE8000)}},
        {0xE8000, 4104, {sector(0xE8000), sector(0xE9000)}},
        {0xE8000,
         32768,
         {sector(0xE8000), sector(0xE9000), sector(0xEA000), sector(0xEB000), sector(0xEC000), sector(0xED000),
          sector(0xEE000), sector(0xEF000)}},
        {0xE8000, 32776, {block(0xE8000), sector(0xF0000)}},
        {0xE8000, 40000, {block(0xE8000), sector(0xF0000), sector(0xF1000)}},
        {0x0,
         65536,
         {block(0x0), sector(0x8000), sector(0x9000), sector(0xA000), sector(0xB000), sector(0xC000), sector(0xD000),
          sector(0xE000), sector(0xF000)}},
        {0xE8000, 100000, {block(0xE8000), block(0xF0000), block(0xF8000), sector(0x100000)}},
        {0xF8000,
         32760,
         {sector(0xF8000), sector(0xF9000), sector(0xFA000), sector(0xFB000), sector(0xFC000), sector(0xFD000),
          sector(0xFE000), sector(0xFF000)}},
        {0x1F1000, 4088, {sector(0x1F1000)}},
        {0xE8000, 0, {}},
    };
    for (const Case &c : cases)
        EXPECT_EQ(erasePlan(c.address, c.rounded), c.expected) << std::hex << c.address << " " << std::dec << c.rounded;
}

TEST(ErasePlan, OneMebibyteIs31BlocksAnd8Sectors)
{
    const std::vector<Erase> plan = erasePlan(0xE8000, 0x100000);
    ASSERT_EQ(plan.size(), 39u);
    for (std::size_t i = 0; i < 31; ++i)
        EXPECT_EQ(plan[i], block(0xE8000 + 0x8000 * static_cast<std::uint32_t>(i)));
    for (std::size_t i = 0; i < 8; ++i)
        EXPECT_EQ(plan[31 + i], sector(0x1E0000 + 0x1000 * static_cast<std::uint32_t>(i)));
}

// Whatever the length: the erases are contiguous from the start, cover the
// image without reaching a whole sector past it, and the last 32 KB are sectors.
TEST(ErasePlan, CoversEveryLengthExactlyToTheNextSector)
{
    for (std::uint32_t rounded = 8; rounded <= 0x100000; rounded += 8 * 1021) {
        const std::uint32_t start = 0x10000;
        std::uint32_t next = start;
        for (const Erase &erase : erasePlan(start, rounded)) {
            EXPECT_EQ(erase.address, next) << rounded;
            next += erase.kind == Erase::Kind::Block ? 0x8000 : 0x1000;
            if (erase.kind == Erase::Kind::Block) {
                EXPECT_LT(next - start, rounded) << rounded; // a block never ends the image
            }
        }
        EXPECT_GE(next - start, rounded) << rounded;
        EXPECT_LT(next - start - rounded, 0x1000u) << rounded;
    }
}

} // namespace
} // namespace kdm::flash
