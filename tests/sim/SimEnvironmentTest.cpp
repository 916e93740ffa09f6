#include "devicelink/DeviceLink.h"
#include "sim/SimEnvironment.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>

namespace kdm::sim {
namespace {

namespace fs = std::filesystem;

SimSettings settingsFrom(const std::map<std::string, std::string> &variables)
{
    return settingsFromEnvironment([&](const char *name) -> const char * {
        auto found = variables.find(name);
        return found == variables.end() ? nullptr : found->second.c_str();
    });
}

class TemporaryFolder : public testing::Test {
protected:
    void SetUp() override
    {
        m_folder = fs::temp_directory_path() /
                   ("kdm9-sim-" + std::string(testing::UnitTest::GetInstance()->current_test_info()->name()));
        fs::remove_all(m_folder);
        fs::create_directories(m_folder);
    }
    void TearDown() override { fs::remove_all(m_folder); }
    fs::path m_folder;
};

std::vector<char> contents(const fs::path &path)
{
    std::ifstream file(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

TEST(SimSettings, FrameSizesAndIdentitiesAreParsedStrictly)
{
    EXPECT_EQ(parseFrameSize("640x480"), (FrameSize{640, 480}));
    EXPECT_EQ(parseFrameSize("1984X1299"), (FrameSize{1984, 1299}));
    EXPECT_EQ(parseFrameSize("0x0"), (FrameSize{0, 0}));
    for (const char *bad : {"", "640", "640x", "x480", "640x480x2", "-1x480", "640 x 480", "70000x10", "axb"})
        EXPECT_FALSE(parseFrameSize(bad)) << bad;

    EXPECT_EQ(parseIdentity("17a7:0002"), Kdm9Identity);
    EXPECT_EQ(parseIdentity("04D8:0001"), Kdm9LoaderIdentity);
    for (const char *bad : {"", "17a7", "17a7:", ":0002", "17a7-0002", "1ffff:0002", "17a7:00g2"})
        EXPECT_FALSE(parseIdentity(bad)) << bad;
}

TEST(SimSettings, BadValuesKeepTheirDefaultsAndSayWhy)
{
    const SimSettings good = settingsFrom({{"KDM9_SIM_FRAME", "1984x1299"},
                                           {"KDM9_SIM_FPGA", "1"},
                                           {"KDM9_SIM_IDENTITY", "04d8:0001"},
                                           {"KDM9_SIM_TRACE", "t.log"}});
    EXPECT_EQ(good.frame, (FrameSize{1984, 1299}));
    EXPECT_EQ(good.fpgaSelection, 1);
    EXPECT_EQ(good.options.identity, Kdm9LoaderIdentity);
    EXPECT_EQ(good.traceFile, "t.log");
    EXPECT_TRUE(good.warnings.empty());

    const SimSettings bad =
        settingsFrom({{"KDM9_SIM_FRAME", "big"}, {"KDM9_SIM_FPGA", "300"}, {"KDM9_SIM_IDENTITY", "kdm9"}});
    EXPECT_EQ(bad.frame, SimulatedUnit::DefaultFrame);
    EXPECT_EQ(bad.fpgaSelection, SimulatedUnit::FpgaB2);
    EXPECT_EQ(bad.options.identity, Kdm9Identity);
    EXPECT_EQ(bad.warnings.size(), 3u);
}

using SimulatorFiles = TemporaryFolder;

TEST_F(SimulatorFiles, FlashFileIsCreatedErasedAndKeepsWhatWasWritten)
{
    SimSettings settings;
    settings.options.realTimeouts = false;
    settings.flashFile = (m_folder / "flash.bin").string();
    {
        Simulator simulator(settings);
        ASSERT_TRUE(fs::exists(settings.flashFile));
        EXPECT_EQ(fs::file_size(settings.flashFile), SimulatedUnit::FlashSize);
        simulator.transport().unit().flash()[0xE8000] = 0x12;
    }
    const std::vector<char> saved = contents(settings.flashFile);
    ASSERT_EQ(saved.size(), SimulatedUnit::FlashSize);
    EXPECT_EQ(static_cast<std::uint8_t>(saved[0xE8000]), 0x12);
    EXPECT_EQ(static_cast<std::uint8_t>(saved[0xE8001]), 0xFF);
    EXPECT_FALSE(fs::exists(settings.flashFile + ".tmp"));

    Simulator again(settings);
    EXPECT_EQ(again.transport().unit().flash()[0xE8000], 0x12);
}

TEST_F(SimulatorFiles, FileThatIsNoFlashImageIsLeftUntouched)
{
    const fs::path path = m_folder / "notes.txt";
    std::ofstream(path) << "somebody's notes";
    SimSettings settings;
    settings.flashFile = path.string();
    {
        Simulator simulator(settings);
        EXPECT_EQ(simulator.warnings().size(), 1u);
        simulator.transport().unit().flash()[0] = 0;
    }
    const std::vector<char> after = contents(path);
    EXPECT_EQ(std::string(after.begin(), after.end()), "somebody's notes");
}

TEST_F(SimulatorFiles, TraceFileGetsOneLinePerReport)
{
    SimSettings settings;
    settings.options.realTimeouts = false;
    settings.traceFile = (m_folder / "trace.log").string();
    std::ofstream(settings.traceFile) << "earlier run\n";
    {
        Simulator simulator(settings);
        DeviceLink link(simulator.transport(), KdmtoolIdentities);
        link.SendOutputReport(2, 0, 0, 0, 0, 0, 0, 0);
        link.ReceiveInputReport();
    }
    std::ifstream trace(settings.traceFile);
    std::vector<std::string> lines;
    for (std::string line; std::getline(trace, line);)
        lines.push_back(line);
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[0], "earlier run"); // appended, never replaced
    EXPECT_EQ(lines[1], "OUT 02 00 00 00 00 00 00 00");
    EXPECT_EQ(lines[2].substr(0, 15), "IN 4B 44 4D 39 ");
    EXPECT_EQ(lines[2].size(), std::string("IN").size() + 64 * 3);
}

} // namespace
} // namespace kdm::sim
