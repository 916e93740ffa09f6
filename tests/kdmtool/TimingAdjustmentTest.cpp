#include "kdmtool/TimingAdjustment.h"

#include "support/ProgramFixture.h"
#include "support/TraceReports.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <csignal>
#include <cstring>
#include <sys/resource.h>

namespace kdmtool {
namespace {

using kdm::Command;
using kdm::CommandBytes8;
using kdm::test::sentReports;

const TimingParameter &parameter(std::string_view name)
{
    for (const TimingParameter &p : TimingParameters)
        if (name == p.name)
            return p;
    throw std::invalid_argument("no such parameter");
}

// The logic on the simulated unit; pauses are counted and may stop a sequence.
struct TimingFixture : kdm::test::ToolFixture {
    TimingFixture()
    {
        // Bytes no parameter owns carry a pattern, so a group is seen to carry them.
        for (std::size_t k = 0; k < program.TimingMirror.size() - 1; ++k)
            program.TimingMirror[k] = static_cast<std::uint8_t>(0xA0 + k);
    }

    std::uint8_t &mirror(int offset) { return program.TimingMirror[static_cast<std::size_t>(offset)]; }

    TimingAdjustment timing{program};
    int pauses = 0;
    int stopAtPause = -1; // the pause that says stop; -1: none does
    std::function<void()> duringPause;
    TimingAdjustment::Pause pause = [this] {
        ++pauses;
        if (duringPause)
            duringPause();
        return pauses != stopAtPause;
    };
};

CommandBytes8 group(Command command, std::uint16_t address, std::array<std::uint8_t, 4> bytes)
{
    return {kdm::code(command),
            0,
            static_cast<std::uint8_t>(address),
            static_cast<std::uint8_t>(address >> 8),
            bytes[0],
            bytes[1],
            bytes[2],
            bytes[3]};
}

TEST(TimingParameters, FollowTheRegisterLayout)
{
    // name, width, maximum, low, high, group: as the unit lays its block out.
    struct Row {
        const char *name;
        int width, maximum, low, high, group;
    };
    const Row rows[] = {
        {"h2pos", 2, 4095, 2, 4, 2},     {"v2pos", 2, 4095, 6, 8, 6},         {"h2size", 2, 4095, 10, 12, 10},
        {"v2size", 2, 4095, 14, 16, 14}, {"clamp_start", 1, 255, 18, -1, 18}, {"clamp_width", 1, 255, 20, -1, 20},
        {"hst", 2, 4095, 40, 42, 40},    {"vst", 2, 4095, 44, 46, 44},        {"hsw", 1, 255, 48, -1, 48},
        {"vsw", 1, 255, 50, -1, 50},     {"ph1pos", 2, 4095, 54, 56, 54},     {"ph1size", 2, 4095, 58, 60, 58},
        {"pv1pos", 2, 4095, 62, 64, 62}, {"pv1size", 2, 4095, 66, 68, 66},
    };
    ASSERT_EQ(std::size(rows), TimingParameters.size());
    for (std::size_t i = 0; i < TimingParameters.size(); ++i) {
        const TimingParameter &p = TimingParameters[i];
        SCOPED_TRACE(rows[i].name);
        EXPECT_STREQ(p.name, rows[i].name); // the table order is the order bars are set in
        EXPECT_EQ(p.width, rows[i].width);
        EXPECT_EQ(p.maximum, rows[i].maximum);
        EXPECT_EQ(p.lowOffset, rows[i].low);
        EXPECT_EQ(p.highOffset, rows[i].high);
        EXPECT_EQ(p.groupOffset, rows[i].group);
    }
}

TEST(TimingChange, WritesTheGroupAndEndsWhenTheMirrorDiffers)
{
    struct Case {
        const char *what;
        const char *name;
        std::vector<std::pair<int, std::uint8_t>> before; // mirror bytes set first
        int value;
        TimingAdjustment::Change outcome;
        std::array<std::uint8_t, 4> group; // bytes 4 to 7 of both reports
        std::uint8_t addressLow;
    };
    using Change = TimingAdjustment::Change;
    const Case cases[] = {
        {"one-byte step", "clamp_width", {{20, 10}}, 11, Change::Written, {11, 0xB5, 0xB6, 0xB7}, 0x40 + 20},
        {"two-byte maximum", "h2pos", {}, 4095, Change::Written, {0xFF, 0xA3, 0x0F, 0xA5}, 0x40 + 2},
        {"only the high byte changes", "h2pos", {{2, 0}, {4, 1}}, 0, Change::Written, {0, 0xA3, 0, 0xA5}, 0x42},
        {"clamp_start carries clamp_width", "clamp_start", {{20, 10}}, 7, Change::Written, {7, 0xB3, 10, 0xB5}, 0x52},
        {"hsw carries vsw", "hsw", {{50, 4}}, 200, Change::Written, {200, 0xD1, 4, 0xD3}, 0x40 + 48},
        {"pv1size, the last group", "pv1size", {}, 600, Change::Written, {0x58, 0xE3, 0x02, 0xE5}, 0x40 + 66},
        {"equal one-byte value", "hsw", {{48, 128}}, 128, Change::Unchanged, {}, 0},
        {"equal two-byte value", "h2pos", {{2, 0xE8}, {4, 0x03}}, 1000, Change::Unchanged, {}, 0},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        TimingFixture f;
        f.program.TimingBase = 0x1240;
        for (const auto &[offset, byte] : c.before)
            f.mirror(offset) = byte;
        const TimingParameter &p = parameter(c.name);

        EXPECT_EQ(f.timing.change(p, c.value), c.outcome);

        EXPECT_EQ(f.timing.value(p), c.value);
        const std::vector<CommandBytes8> sent = sentReports(f.transport);
        if (c.outcome == Change::Unchanged) {
            EXPECT_TRUE(sent.empty());
            continue;
        }
        EXPECT_EQ(sent, (std::vector<CommandBytes8>{group(Command::TimingWrite, 0x1200 | c.addressLow, c.group),
                                                    group(Command::TimingWriteEnd, 0x1200 | c.addressLow, c.group)}));
        EXPECT_EQ(f.transport.repliesWaiting(), 0u); // both replies were read
        for (int k = 0; k < 4; ++k)
            EXPECT_EQ(f.unit().timingRegister(static_cast<std::uint16_t>(0x1200 + c.addressLow + k)),
                      c.group[static_cast<std::size_t>(k)]);
    }
}

TEST(TimingOpening, OpensAccessAndReadsTenBlocksWithAPauseAfterEach)
{
    TimingFixture f; // the simulated unit's block lies at 0x1240
    f.link.CommandReport = {0x13, 5, 0x21, 0x22, 0x23, 0x24, 0x25, 0x26};
    ASSERT_EQ(f.timing.readFromUnit(f.pause), TimingAdjustment::Opening::Read);

    EXPECT_EQ(f.program.TimingBase, 0x1240);
    EXPECT_EQ(f.pauses, 10);
    const std::vector<CommandBytes8> sent = sentReports(f.transport);
    ASSERT_EQ(sent.size(), 11u);
    // Bytes a command does not set go out as the previous command left them.
    EXPECT_EQ(sent[0], (CommandBytes8{0x0F, 1, 0x21, 0x22, 0x23, 0x24, 0x25, 0x26}));
    for (int block = 0; block < 10; ++block)
        EXPECT_EQ(sent[static_cast<std::size_t>(block + 1)],
                  (CommandBytes8{0x10, 0, static_cast<std::uint8_t>(0x40 + 8 * block), 0x12, 0x23, 0x24, 0x25, 0x26}));
    for (std::uint16_t k = 0; k < 80; ++k)
        EXPECT_EQ(f.program.TimingMirror[k], f.unit().timingRegister(0x1240 + k)) << k;
    EXPECT_EQ(f.program.TimingMirror[80], 0xA0 + 80); // beyond the block: untouched
    EXPECT_EQ(f.unit().timingWriteEnds(), 0);
}

TEST(TimingOpening, ABlockCrossingA256ByteBoundaryCarriesIntoTheHighByte)
{
    TimingFixture f;
    f.unit().setTimingBase(0x12C0); // low byte above 175: the last two blocks lie at 0x1300
    ASSERT_EQ(f.timing.readFromUnit(f.pause), TimingAdjustment::Opening::Read);

    const std::vector<CommandBytes8> reads = sentReports(f.transport, Command::TimingRead);
    ASSERT_EQ(reads.size(), 10u);
    for (int block = 0; block < 10; ++block) {
        const int address = 0x12C0 + 8 * block;
        EXPECT_EQ(reads[static_cast<std::size_t>(block)][2], address & 0xFF) << block;
        EXPECT_EQ(reads[static_cast<std::size_t>(block)][3], address >> 8) << block;
    }
    for (std::uint16_t k = 0; k < 80; ++k)
        EXPECT_EQ(f.program.TimingMirror[k], f.unit().timingRegister(0x12C0 + k)) << k;

    // Writes go to the same registers: pv1size (offset 66) lies at 0x1302.
    ASSERT_EQ(f.timing.change(parameter("pv1size"), 700), TimingAdjustment::Change::Written);
    EXPECT_EQ(sentReports(f.transport, Command::TimingWrite).back()[2], 0x02);
    EXPECT_EQ(sentReports(f.transport, Command::TimingWrite).back()[3], 0x13);
    EXPECT_EQ(f.unit().timingRegister(0x1302), 700 & 0xFF);
    EXPECT_EQ(f.unit().timingRegister(0x1304), 700 >> 8);
}

TEST(TimingOpening, ABlockRunningPastTheAddressSpaceIsNeitherReadNorWritten)
{
    TimingFixture f;
    f.unit().setTimingBase(0xFFC0);
    const auto before = f.program.TimingMirror;

    EXPECT_EQ(f.timing.readFromUnit(f.pause), TimingAdjustment::Opening::Unaddressable);
    EXPECT_EQ(f.program.TimingBase, 0xFFC0);
    EXPECT_FALSE(f.timing.blockAddressable());
    EXPECT_EQ(f.timing.change(parameter("h2pos"), 1), TimingAdjustment::Change::Refused);
    EXPECT_EQ(f.timing.writeFileBlock(TimingAdjustment::FileBlock{}, f.pause), TimingAdjustment::Loading::Refused);

    EXPECT_EQ(f.program.TimingMirror, before);
    EXPECT_EQ(sentReports(f.transport).size(), 1u); // the TimingAccess open alone
    EXPECT_EQ(f.pauses, 0);
}

TEST(TimingOpening, AStopAtAPauseEndsTheReadsThere)
{
    TimingFixture f;
    f.stopAtPause = 3;
    EXPECT_EQ(f.timing.readFromUnit(f.pause), TimingAdjustment::Opening::Interrupted);
    EXPECT_EQ(sentReports(f.transport, Command::TimingRead).size(), 3u);
}

TEST(TimingOpening, ASilentUnitGivesBaseZeroAndAZeroBlockThatIsNotKnown)
{
    TimingFixture f;
    f.transport.addFault({kdm::sim::Fault::Kind::VanishAfter, 0});
    EXPECT_EQ(f.timing.readFromUnit(f.pause), TimingAdjustment::Opening::Incomplete);
    EXPECT_EQ(f.program.TimingBase, 0);
    for (int k = 0; k < 80; ++k)
        EXPECT_EQ(f.mirror(k), 0) << k;
}

TEST(TimingOpening, OneLostReplyLeavesZerosForItsBytesAndTheBlockNotKnown)
{
    using kdm::sim::Fault;
    // Report 1 is the TimingAccess open, reports 2 to 11 read blocks 0 to 9.
    for (int block : {0, 9}) {
        SCOPED_TRACE(block);
        TimingFixture f;
        f.transport.addFault({Fault::Kind::DropReply, std::uint64_t(block + 2)});
        EXPECT_EQ(f.timing.readFromUnit(f.pause), TimingAdjustment::Opening::Incomplete);
        EXPECT_EQ(f.pauses, 10); // the reads went on
        EXPECT_EQ(f.program.TimingBase, 0x1240);
        for (int k = 0; k < 80; ++k)
            EXPECT_EQ(f.mirror(k), k / 8 == block ? 0 : f.unit().timingRegister(std::uint16_t(0x1240 + k))) << k;
    }
    TimingFixture f;
    f.transport.addFault({Fault::Kind::DropReply, 1});
    EXPECT_EQ(f.timing.readFromUnit(f.pause), TimingAdjustment::Opening::Incomplete);
    EXPECT_EQ(f.program.TimingBase, 0); // as from a silent unit
}

TEST(TimingChange, IsRefusedWhileAFlashDownloadHoldsTheLink)
{
    TimingFixture f;
    f.program.TimingBase = 0x1240;
    auto claim = f.link.claimExclusive();
    ASSERT_TRUE(claim);
    EXPECT_EQ(f.timing.change(parameter("vst"), 1), TimingAdjustment::Change::Refused);
    EXPECT_EQ(f.timing.value(parameter("vst")), 0xA0 + 44 + (0xA0 + 46) * 256); // the mirror kept its bytes
}

TEST(TimingFileLoad, WritesNineteenGroupsWithAPauseAfterEachAndEndsOnce)
{
    TimingFixture f;
    f.program.TimingBase = 0x1240;
    TimingAdjustment::FileBlock block{};
    for (std::size_t k = 0; k < block.size(); ++k)
        block[k] = static_cast<std::uint8_t>(255 - k);
    f.program.TimingMirror[256] = 0x5A;
    // Another window's command between two writes leaves its bytes in CommandReport.
    f.duringPause = [&] { f.link.CommandReport = {0x13, 9, 9, 9, 9, 9, 9, 9}; };

    ASSERT_EQ(f.timing.writeFileBlock(block, f.pause), TimingAdjustment::Loading::Written);
    f.timing.concludeWrites();
    f.timing.concludeWrites(); // once only

    for (std::size_t k = 0; k < block.size(); ++k)
        EXPECT_EQ(f.program.TimingMirror[k], block[k]) << k;
    EXPECT_EQ(f.program.TimingMirror[256], 0x5A);
    EXPECT_EQ(f.pauses, 19);
    const std::vector<CommandBytes8> sent = sentReports(f.transport);
    ASSERT_EQ(sent.size(), 20u);
    for (int g = 0; g < 19; ++g) {
        const int n = 4 * g;
        EXPECT_EQ(sent[static_cast<std::size_t>(g)], group(Command::TimingWrite, static_cast<std::uint16_t>(0x1240 + n),
                                                           {block[n], block[n + 1], block[n + 2], block[n + 3]}))
            << g;
    }
    EXPECT_EQ(sent[19], group(Command::TimingWriteEnd, 0x1240 + 72, {block[72], block[73], block[74], block[75]}));
    EXPECT_EQ(f.unit().timingWriteEnds(), 1);
}

TEST(TimingFileLoad, AStopAtAPauseLeavesTheWritesToBeConcludedOnce)
{
    TimingFixture f;
    f.program.TimingBase = 0x1240;
    f.stopAtPause = 5;
    ASSERT_EQ(f.timing.writeFileBlock(std::nullopt, f.pause), TimingAdjustment::Loading::Interrupted);
    EXPECT_EQ(sentReports(f.transport, Command::TimingWrite).size(), 5u);
    EXPECT_TRUE(sentReports(f.transport, Command::TimingWriteEnd).empty());

    f.timing.concludeWrites();
    const std::vector<CommandBytes8> sent = sentReports(f.transport);
    EXPECT_EQ(sent.back(), group(Command::TimingWriteEnd, 0x1240 + 16, {0xB0, 0xB1, 0xB2, 0xB3}));
}

class TimingFile : public ::testing::Test {
protected:
    QString path(const char *name) const { return m_dir.filePath(QLatin1String(name)); }
    QString writeFile(const char *name, const QByteArray &bytes) const
    {
        QFile file(path(name));
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(bytes);
        return file.fileName();
    }
    static QByteArray counting(int size)
    {
        QByteArray bytes(size, 0);
        for (int k = 0; k < size; ++k)
            bytes[k] = static_cast<char>(k * 7);
        return bytes;
    }

    QTemporaryDir m_dir;
};

TEST_F(TimingFile, ReadsTheFirst256BytesOfAFileOfAtLeastThatSize)
{
    for (int size : {256, 257, 300}) {
        SCOPED_TRACE(size);
        const TimingAdjustment::FileRead read = TimingAdjustment::readFile(writeFile("data.bin", counting(size)));
        ASSERT_TRUE(read.block);
        for (int k = 0; k < 256; ++k)
            EXPECT_EQ((*read.block)[static_cast<std::size_t>(k)], static_cast<std::uint8_t>(k * 7)) << k;
    }
}

TEST_F(TimingFile, RefusesAShortMissingOrUnreadableFile)
{
    const QString cases[] = {
        writeFile("empty.bin", {}), writeFile("short.bin", counting(255)), path("missing.bin"),
        m_dir.path(), // a folder
    };
    for (const QString &file : cases) {
        SCOPED_TRACE(file.toStdString());
        const TimingAdjustment::FileRead read = TimingAdjustment::readFile(file);
        EXPECT_FALSE(read.block);
        EXPECT_FALSE(read.error.isEmpty());
    }
}

TEST_F(TimingFile, SavesExactlyTheMirror)
{
    TimingFixture f;
    const QString file = writeFile("old.bin", counting(1000)); // a longer file is replaced, not overwritten in part
    EXPECT_EQ(f.timing.saveFile(file), std::nullopt);
    QFile saved(file);
    ASSERT_TRUE(saved.open(QIODevice::ReadOnly));
    const QByteArray bytes = saved.readAll();
    ASSERT_EQ(bytes.size(), 257);
    EXPECT_EQ(0, std::memcmp(bytes.data(), f.program.TimingMirror.data(), 257));
}

TEST_F(TimingFile, AFailedSaveLeavesTheExistingFileAsItWas)
{
    TimingFixture f;
    const QByteArray existing = counting(40);
    const QString file = writeFile("kept.bin", existing);

    // The file system takes no more than 100 bytes per file from this process.
    std::signal(SIGXFSZ, SIG_IGN);
    rlimit limit{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &limit), 0);
    const rlimit saved = limit;
    limit.rlim_cur = 100;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &limit), 0);
    const std::optional<QString> error = f.timing.saveFile(file);
    setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, SIG_DFL);

    EXPECT_TRUE(error);
    QFile kept(file);
    ASSERT_TRUE(kept.open(QIODevice::ReadOnly));
    EXPECT_EQ(kept.readAll(), existing);
    EXPECT_EQ(QDir(m_dir.path()).entryList(QDir::Files), QStringList{QStringLiteral("kept.bin")}); // no leftovers
}

TEST_F(TimingFile, ANamePatternOrAMissingFolderIsNotSaved)
{
    TimingFixture f;
    for (const QString &file : {path("vomo5_syc*.bin"), path("no-folder/data.bin")}) {
        SCOPED_TRACE(file.toStdString());
        EXPECT_TRUE(f.timing.saveFile(file));
        EXPECT_FALSE(QFile::exists(file));
    }
}

} // namespace
} // namespace kdmtool
