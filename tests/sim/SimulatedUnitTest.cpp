#include "sim/SimulatedUnit.h"
#include "support/FlashWire.h"

#include <gtest/gtest.h>

#include <numeric>

namespace kdm::sim {
namespace {

using test::rangeReport;

constexpr std::uint8_t Confirm1 = 0x55, Confirm2 = 0xAA, Confirm3 = 0x55;

CommandBytes8 eraseCommand(Command command, std::uint32_t address)
{
    CommandBytes8 report = rangeReport(code(command), address, 0);
    report[5] = Confirm1, report[6] = Confirm2, report[7] = Confirm3;
    return report;
}

// Rebuilds the pixels of one line from the reports a LineRead produced.
std::vector<Rgb> pixelsOf(const std::vector<InputPayload> &reports)
{
    std::vector<std::uint8_t> stream;
    for (const InputPayload &report : reports)
        stream.insert(stream.end(), report.begin(), report.end());
    std::vector<Rgb> pixels;
    for (std::size_t i = 0; i + 2 < stream.size(); i += 3)
        pixels.push_back({stream[i], stream[i + 1], stream[i + 2]});
    return pixels;
}

TEST(SimulatedUnit, AnswersEachCommandWithTheUnitsNumberOfReports)
{
    struct Case {
        const char *name;
        CommandBytes8 report;
        std::size_t replies;
    };
    const Case cases[] = {
        {"StatusPoll", {0, 0, 0, 0, 0, 0, 0, 0}, 1},
        {"PresenceQuery", {2, 0, 0, 0, 0, 0, 0, 0}, 1},
        {"SectorErase", eraseCommand(Command::SectorErase, 0x1000), 1},
        {"BlockErase", eraseCommand(Command::BlockErase, 0x8000), 1},
        {"FlashChecksum", rangeReport(code(Command::FlashChecksum), 0, 16), 0},
        {"MicrocontrollerWrite", {11, 0, 1, 2, 3, 4, 5, 6}, 0},
        {"TimingAccess open", {15, 1, 0, 0, 0, 0, 0, 0}, 1},
        {"TimingAccess close", {15, 0, 0, 0, 0, 0, 0, 0}, 1},
        {"TimingRead", {16, 0, 0x40, 0x12, 0, 0, 0, 0}, 1},
        {"TimingWrite", {17, 0, 0x40, 0x12, 1, 2, 3, 4}, 1},
        {"TimingWriteEnd", {18, 0, 0x40, 0x12, 1, 2, 3, 4}, 1},
        {"RemoteKey", {19, 5, 0, 0, 0, 0, 0, 0}, 1},
        {"FrameInfo", {20, 0, 0, 0, 0, 0, 0, 0}, 1},
        {"LineRead of 30", {21, 30, 0, 0, 0, 0, 0, 0}, 30},
        {"LineRead of 93", {21, 93, 0, 0, 0, 0, 0, 0}, 93},
        {"FreezeSet", {22, 0, 0, 0, 0, 0, 0, 0}, 1},
        {"ImageMemory", {23, 0x80, 0, 0, 0, 0, 0, 0}, 1},
        {"unknown code 3", {3, 0, 0, 0, 0, 0, 0, 0}, 0},
        {"FlashWrite of 16 bytes", rangeReport(code(Command::FlashWrite), 0, 16), 0},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        SimulatedUnit unit;
        EXPECT_EQ(unit.receive(c.report).size(), c.replies);
    }
}

TEST(SimulatedUnit, PresenceReplyIsNotAllZero)
{
    SimulatedUnit unit;
    const auto replies = unit.receive({2, 0, 0, 0, 0, 0, 0, 0});
    ASSERT_EQ(replies.size(), 1u);
    EXPECT_TRUE(std::any_of(replies[0].begin(), replies[0].begin() + 8, [](std::uint8_t b) { return b != 0; }));
}

TEST(SimulatedUnit, WriteStreamTakesEveryReportAsDataAndAnswersAfterTheLast)
{
    SimulatedUnit unit;
    EXPECT_TRUE(unit.receive(rangeReport(code(Command::FlashWrite), 0x1F1000, 24)).empty());
    EXPECT_TRUE(unit.inWriteStream());
    // Bytes that look like a sector erase are data inside a stream.
    EXPECT_TRUE(unit.receive(eraseCommand(Command::SectorErase, 0)).empty());
    EXPECT_TRUE(unit.receive({1, 2, 3, 4, 5, 6, 7, 8}).empty());
    EXPECT_EQ(unit.receive({9, 10, 11, 12, 13, 14, 15, 16}).size(), 1u);
    EXPECT_FALSE(unit.inWriteStream());

    const auto &flash = unit.flash();
    const std::vector<std::uint8_t> expected{4, 0, 0, 0, 0, 0x55, 0xAA, 0x55, 1,  2,  3,  4,
                                             5, 6, 7, 8, 9, 10,   11,   12,   13, 14, 15, 16};
    EXPECT_TRUE(std::equal(expected.begin(), expected.end(), flash.begin() + 0x1F1000));
    EXPECT_EQ(flash[0x1F1000 + 24], 0xFF);
    EXPECT_EQ(flash[0], 0xFF); // the erase-looking data erased nothing
}

TEST(SimulatedUnit, ProgrammingOnlyClearsBitsUntilErased)
{
    SimulatedUnit unit;
    auto program = [&](std::uint8_t value) {
        unit.receive(rangeReport(code(Command::FlashWrite), 0x2000, 8));
        unit.receive({value, value, value, value, value, value, value, value});
    };
    program(0xF0);
    program(0x0F);
    EXPECT_EQ(unit.flash()[0x2000], 0x00);
    unit.receive(eraseCommand(Command::SectorErase, 0x2000));
    program(0x0F);
    EXPECT_EQ(unit.flash()[0x2000], 0x0F);
}

TEST(SimulatedUnit, EraseNeedsTheConfirmationAndCoversItsAlignedRange)
{
    struct Case {
        Command command;
        std::uint32_t address;
        bool confirmed;
        std::uint32_t erasedStart;
        std::uint32_t erasedSize;
    };
    for (const Case &c :
         {Case{Command::SectorErase, 0xE8000, true, 0xE8000, 0x1000},
          Case{Command::SectorErase, 0xE8123, true, 0xE8000, 0x1000},
          Case{Command::BlockErase, 0xE8000, true, 0xE8000, 0x8000},
          Case{Command::BlockErase, 0xEC000, true, 0xE8000, 0x8000}, Case{Command::SectorErase, 0xE8000, false, 0, 0},
          Case{Command::BlockErase, 0xE8000, false, 0, 0}}) {
        SCOPED_TRACE(testing::Message() << int(code(c.command)) << " at " << std::hex << c.address);
        SimulatedUnit unit;
        std::fill(unit.flash().begin(), unit.flash().end(), std::uint8_t{0});
        CommandBytes8 report =
            c.confirmed ? eraseCommand(c.command, c.address) : rangeReport(code(c.command), c.address, 0);
        EXPECT_EQ(unit.receive(report).size(), 1u);
        const auto erased = std::count(unit.flash().begin(), unit.flash().end(), 0xFF);
        EXPECT_EQ(static_cast<std::uint32_t>(erased), c.erasedSize);
        if (c.erasedSize) {
            EXPECT_EQ(unit.flash()[c.erasedStart], 0xFF);
            EXPECT_EQ(unit.flash()[c.erasedStart + c.erasedSize - 1], 0xFF);
        }
    }
}

TEST(SimulatedUnit, ChecksumIsReportedThroughStatusPollAfterAFewPolls)
{
    SimulatedUnit unit;
    const CommandBytes8 poll{};
    EXPECT_EQ(unit.receive(poll)[0][0], 0); // nothing requested yet

    std::fill_n(unit.flash().begin() + 0x10000, 70000, std::uint8_t{0xFF});
    unit.receive(rangeReport(code(Command::FlashChecksum), 0x10000, 70000));
    for (int i = 0; i < SimulatedUnit::DefaultPollsUntilReady; ++i)
        EXPECT_EQ(unit.receive(poll)[0][0], 0) << "poll " << i;
    for (int i = 0; i < 2; ++i) { // and it stays ready
        const InputPayload ready = unit.receive(poll)[0];
        EXPECT_EQ(ready[0], 1);
        EXPECT_EQ(ready[1] | (ready[2] << 8), 0x5E90); // 70000 x 0xFF, modulo 65536
    }
}

TEST(SimulatedUnit, ChecksumMisbehaviourOnRequest)
{
    const CommandBytes8 poll{};
    SimulatedUnit wrong;
    wrong.setPollsUntilReady(0);
    wrong.setChecksumError(0x0101);
    wrong.receive(rangeReport(code(Command::FlashChecksum), 0, 1)); // one erased byte: 0xFF
    const InputPayload reply = wrong.receive(poll)[0];
    EXPECT_EQ(reply[1] | (reply[2] << 8), 0xFF + 0x0101);

    SimulatedUnit later;
    later.setPollsUntilReady(0);
    later.setChecksumError(1, 2);
    for (std::uint16_t expected : {0xFF, 0x100}) {
        later.receive(rangeReport(code(Command::FlashChecksum), 0, 1));
        const InputPayload sum = later.receive(poll)[0];
        EXPECT_EQ(sum[1] | (sum[2] << 8), expected);
    }

    SimulatedUnit never;
    never.setChecksumNeverReady(true);
    never.receive(rangeReport(code(Command::FlashChecksum), 0, 1));
    for (int i = 0; i < 100; ++i)
        ASSERT_EQ(never.receive(poll)[0][0], 0);
}

TEST(SimulatedUnit, TimingRegistersAreOpenedReadAndWritten)
{
    SimulatedUnit unit;
    const InputPayload open = unit.receive({15, 1, 0, 0, 0, 0, 0, 0})[0];
    EXPECT_EQ(open[0], 0x40);
    EXPECT_EQ(open[1], 0x12);
    EXPECT_LE(open[0], 175);
    EXPECT_TRUE(unit.timingAccessOpen());

    const InputPayload block = unit.receive({16, 0, 0x40, 0x12, 0, 0, 0, 0})[0];
    EXPECT_EQ(block[2] | (block[4] << 8), 300); // h2pos: low byte at 2, high byte at 4

    unit.receive({17, 0, 0x42, 0x12, 0xE8, 0x11, 0x03, 0x22});
    const InputPayload after = unit.receive({16, 0, 0x40, 0x12, 0, 0, 0, 0})[0];
    EXPECT_EQ(after[2], 0xE8);
    EXPECT_EQ(after[3], 0x11);
    EXPECT_EQ(after[4], 0x03);
    EXPECT_EQ(after[5], 0x22);

    unit.receive({18, 0, 0x42, 0x12, 0xE8, 0x11, 0x03, 0x22});
    EXPECT_EQ(unit.timingWriteEnds(), 1);
    unit.receive({15, 0, 0, 0, 0, 0, 0, 0});
    EXPECT_FALSE(unit.timingAccessOpen());
}

TEST(SimulatedUnit, MovedTimingBlockKeepsItsValues)
{
    SimulatedUnit unit;
    unit.setTimingBase(0x05B0);
    const InputPayload open = unit.receive({15, 1, 0, 0, 0, 0, 0, 0})[0];
    EXPECT_EQ(open[0], 0xB0);
    EXPECT_EQ(open[1], 0x05);
    EXPECT_EQ(unit.timingRegister(0x05B0 + 2), 300 & 0xFF);
}

TEST(SimulatedUnit, FrameInfoAndLineReadsDeliverTheTestPicture)
{
    for (const FrameSize size : {FrameSize{640, 480}, FrameSize{641, 200}, FrameSize{1984, 1299}}) {
        SCOPED_TRACE(testing::Message() << size.width << "x" << size.height);
        SimulatedUnit unit;
        unit.setInputFrame(size);
        const InputPayload info = unit.receive({20, 23, 0, 0, 0, 0, 0, 0})[0];
        EXPECT_EQ(info[0] | (info[1] << 8), size.width);
        EXPECT_EQ(info[2] | (info[3] << 8), size.height);
        EXPECT_EQ(info[4], SimulatedUnit::FpgaB2);

        const int transferWidth = (size.width + 63) / 64 * 64;
        const auto reports = static_cast<std::uint8_t>(transferWidth / 64 * 3);
        for (int y = 0; y < 3; ++y) {
            const auto line = unit.receive({21, reports, 0, 0, 0, 0, 0, 0});
            ASSERT_EQ(line.size(), reports);
            const std::vector<Rgb> pixels = pixelsOf(line);
            ASSERT_EQ(static_cast<int>(pixels.size()), transferWidth);
            for (int x = 0; x < transferWidth; ++x) {
                const Rgb expected =
                    x < size.width ? testPicture(x, y, size.width, size.height) : SimulatedUnit::PaddingColour;
                ASSERT_EQ(pixels[static_cast<std::size_t>(x)], expected) << "x " << x << " y " << y;
            }
        }
        unit.receive({20, 0, 0, 0, 0, 0, 0, 0}); // FrameInfo starts the frame again from the top
        EXPECT_EQ(pixelsOf(unit.receive({21, reports, 0, 0, 0, 0, 0, 0}))[5],
                  testPicture(5, 0, size.width, size.height));
    }
}

TEST(SimulatedUnit, NoInputPictureGivesZeroSizeAndZeroLines)
{
    SimulatedUnit unit;
    unit.setInputFrame({0, 0});
    unit.setFpgaSelection(1);
    const InputPayload info = unit.receive({20, 0, 0, 0, 0, 0, 0, 0})[0];
    EXPECT_EQ(info[0] | info[1] | info[2] | info[3], 0);
    EXPECT_EQ(info[4], 1);
    for (const InputPayload &report : unit.receive({21, 6, 0, 0, 0, 0, 0, 0}))
        EXPECT_TRUE(std::all_of(report.begin(), report.end(), [](std::uint8_t b) { return b == 0; }));
}

TEST(SimulatedUnit, RecordShowAndReturnToLive)
{
    SimulatedUnit unit;
    auto image = [&](std::uint8_t action) { ASSERT_EQ(unit.receive({23, action, 0, 0, 0, 0, 0, 0}).size(), 1u); };

    unit.setLiveScene(3);
    // REC into slot 2 (n = 1): A5, C5, 85.
    image(0xA5);
    image(0xC5);
    image(0x85);
    ASSERT_TRUE(unit.storedImages()[1]);
    EXPECT_EQ(unit.storedImages()[1]->scene, 3);
    EXPECT_FALSE(unit.storedImages()[0]);
    EXPECT_EQ(unit.shownSlot(), -1);

    unit.setLiveScene(0);
    image(0xC4); // show slot 2
    EXPECT_EQ(unit.shownSlot(), 1);
    unit.receive({20, 0, 0, 0, 0, 0, 0, 0});
    EXPECT_EQ(pixelsOf(unit.receive({21, 30, 0, 0, 0, 0, 0, 0}))[0], testPicture(0, 0, 640, 480, 3));
    image(0x80);
    EXPECT_EQ(unit.shownSlot(), -1);

    // Outside a recording C0 shows slot 1 (empty: a black picture) instead of storing.
    image(0xC0);
    EXPECT_EQ(unit.shownSlot(), 0);
    EXPECT_FALSE(unit.storedImages()[0]);
    EXPECT_EQ(pixelsOf(unit.receive({21, 30, 0, 0, 0, 0, 0, 0}))[0], Rgb{});
}

TEST(SimulatedUnit, KeysFreezeAndMicrocontrollerWritesAreKept)
{
    SimulatedUnit unit;
    for (std::uint8_t key : {5, 0, 84})
        unit.receive({19, key, 0, 0, 0, 0, 0, 0});
    EXPECT_EQ(unit.keyLog(), (std::vector<std::uint8_t>{5, 0, 84}));
    unit.receive({22, 1, 0, 0, 0, 0, 0, 0});
    EXPECT_EQ(unit.freezeState(), 1);
    unit.receive({11, 0, 0x00, 0x80, 0x0F, 0xF8, 0x7F, 0x00});
    ASSERT_EQ(unit.microcontrollerWrites().size(), 1u);
    EXPECT_EQ(unit.microcontrollerWrites()[0][4], 0x0F);
}

} // namespace
} // namespace kdm::sim
