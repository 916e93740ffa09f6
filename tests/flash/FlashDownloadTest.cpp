#include "flash/FlashDownload.h"

#include "devicelink/UnitCommands.h"
#include "sim/SimTransport.h"
#include "support/FlashWire.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <numeric>
#include <random>

namespace kdm::flash {
namespace {

using namespace std::chrono_literals;
using test::rangeReport;
using test::splitWire;

const std::string FileError = "ファイル オープン\u3000エラー";

// The window as the procedure sees it, recording what it is shown. Its clock
// advances 10 ms a tick only while the procedure pauses.
class RecordingWindow final : public DownloadWindow {
public:
    std::vector<std::string> statuses;
    std::vector<std::string> verdicts;
    std::vector<int> progress;
    int pauses = 0;
    std::chrono::steady_clock::time_point clock{};
    std::function<void()> onEvents; // another window's handlers

    void setStatus(std::string_view text) override { statuses.emplace_back(text); }
    void setVerdict(std::string_view text) override { verdicts.emplace_back(text); }
    void setProgress(int widthTwips) override { progress.push_back(widthTwips); }
    void pause(int ticks) override
    {
        ++pauses;
        clock += ticks * 10ms;
        processEvents();
    }
    void processEvents() override
    {
        if (onEvents)
            onEvents();
    }
};

std::vector<std::uint8_t> randomBytes(std::size_t size, unsigned seed)
{
    std::mt19937 generator(seed);
    std::vector<std::uint8_t> bytes(size);
    for (std::uint8_t &byte : bytes)
        byte = static_cast<std::uint8_t>(generator());
    return bytes;
}

std::uint16_t sumOf(std::span<const std::uint8_t> bytes)
{
    return static_cast<std::uint16_t>(std::accumulate(bytes.begin(), bytes.end(), 0u));
}

std::string hexText(unsigned value, const char *format = "%X")
{
    char text[16];
    std::snprintf(text, sizeof text, format, value);
    return text;
}

struct Download : testing::Test {
    Download()
    {
        sim::SimTransport::Options options;
        options.realTimeouts = false;
        transport.emplace(options);
        link.emplace(*transport, KdmupdateIdentities);
        char pattern[] = "/tmp/kdm-flash-XXXXXX";
        folder = mkdtemp(pattern);
    }
    ~Download() override { std::filesystem::remove_all(folder); }

    std::filesystem::path writeFile(const std::string &name, const std::vector<std::uint8_t> &bytes)
    {
        const std::filesystem::path path = folder / name;
        std::ofstream(path, std::ios::binary)
            .write(reinterpret_cast<const char *>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
        return path;
    }

    FlashDownload procedure(DownloadStyle style = UpdateToolStyle)
    {
        return FlashDownload(*link, window, style, ChecksumWait{DefaultChecksumWait, [this] { return window.clock; }});
    }

    sim::SimulatedUnit &unit() { return transport->unit(); }
    std::vector<std::uint8_t> flash(std::uint32_t address, std::size_t size)
    {
        const auto begin = unit().flash().begin() + address;
        return {begin, begin + static_cast<std::ptrdiff_t>(size)};
    }

    std::optional<sim::SimTransport> transport;
    std::optional<DeviceLink> link;
    RecordingWindow window;
    std::filesystem::path folder;
};

TEST_F(Download, FileOfEveryLengthIsErasedWrittenAndVerified)
{
    struct Case {
        std::uint32_t length;
        std::uint32_t rounded;
        std::size_t blocks;
        std::size_t sectors;
    };
    for (const Case &c : {Case{1, 8, 0, 1}, Case{16, 16, 0, 1}, Case{32768, 32768, 0, 8}, Case{40000, 40000, 1, 2},
                          Case{100000, 100000, 3, 1}, Case{0x100000 + 5, 0x100000, 31, 8}}) {
        SCOPED_TRACE(c.length);
        transport->clearTrace();
        window.statuses.clear();
        window.verdicts.clear();
        const std::vector<std::uint8_t> file = randomBytes(c.length, c.length);
        const std::filesystem::path path = writeFile("image.bin", file);
        const std::uint32_t written = std::min(c.length, 0x100000u);
        const std::uint32_t address = 0xE8000;

        EXPECT_TRUE(procedure().download_f(path, address));

        const test::FlashWire wire = splitWire(transport->trace());
        EXPECT_EQ(wire.count(code(Command::BlockErase)), c.blocks);
        EXPECT_EQ(wire.count(code(Command::SectorErase)), c.sectors);
        const std::size_t erases = c.blocks + c.sectors;
        ASSERT_GT(wire.commands.size(), erases + 2);
        EXPECT_EQ(wire.commands[erases], rangeReport(code(Command::FlashWrite), address, c.rounded));
        EXPECT_EQ(wire.commands[erases + 1], rangeReport(code(Command::FlashChecksum), address, written));
        for (std::size_t i = erases + 2; i < wire.commands.size(); ++i)
            EXPECT_EQ(wire.commands[i], CommandBytes8{}) << "only status polls after the checksum request";

        // The image bytes, then the erased state past the end of the file.
        ASSERT_EQ(wire.dataReports, c.rounded / 8);
        EXPECT_TRUE(std::equal(file.begin(), file.begin() + written, wire.data.begin()));
        EXPECT_TRUE(
            std::all_of(wire.data.begin() + written, wire.data.end(), [](std::uint8_t b) { return b == 0xFF; }));
        EXPECT_EQ(flash(address, written), std::vector<std::uint8_t>(file.begin(), file.begin() + written));
        EXPECT_EQ(unit().flash()[address + written], 0xFF);

        const std::uint16_t sum = sumOf(std::span(file).first(written));
        EXPECT_EQ(window.verdicts, std::vector<std::string>{"Check sum=" + hexText(sum, "%04X") + "  Write OK  rom=" +
                                                            hexText(sum) + " file=" + hexText(sum)});
        EXPECT_EQ(std::count(window.statuses.begin(), window.statuses.end(), "Erace"), static_cast<long>(c.blocks));
        const std::vector<std::string> tail(window.statuses.end() - 2, window.statuses.end());
        EXPECT_EQ(tail, (std::vector<std::string>{"Download End", "check sum start"}));
        EXPECT_EQ(window.statuses[c.blocks], path.string() + "  Download");
    }
}

TEST_F(Download, VerdictShowsBothSumsAndTheSumWrapsAt16Bits)
{
    // 10 x FF + 49 sums to 0x0A3F; 70000 x FF to 0x5E90 after wrapping.
    std::vector<std::uint8_t> a3f(10, 0xFF);
    a3f.push_back(0x49);
    struct Case {
        std::vector<std::uint8_t> file;
        std::uint16_t unitError;
        bool verified;
        std::string verdict;
    };
    const Case cases[] = {
        {a3f, 0, true, "Check sum=0A3F  Write OK  rom=A3F file=A3F"},
        {a3f, 0x1234 - 0x0A3F, false, "Write error  rom=1234 file=A3F"},
        {std::vector<std::uint8_t>(70000, 0xFF), 0, true, "Check sum=5E90  Write OK  rom=5E90 file=5E90"},
        {std::vector<std::uint8_t>(16, 0x00), 0, true, "Check sum=0000  Write OK  rom=0 file=0"},
    };
    for (const Case &c : cases) {
        unit().setChecksumError(c.unitError);
        window.verdicts.clear();
        EXPECT_EQ(procedure().download_f(writeFile("image.bin", c.file), 0x10000), c.verified);
        EXPECT_EQ(window.verdicts, std::vector<std::string>{c.verdict});
    }
}

TEST_F(Download, VideoToolShowsEveryByteOffsetAndItsOwnLabels)
{
    const std::vector<std::uint8_t> file = randomBytes(36, 7);
    const std::filesystem::path path = writeFile("cmd.bin", file);

    EXPECT_TRUE(procedure(VideoToolStyle).download_f(path, 0xE8000));

    const std::vector<std::string> expected{"Download", "0byte",  "8byte",        "10byte",
                                            "18byte",   "20byte", "Download End", "check sum start"};
    EXPECT_EQ(window.statuses, expected);
    EXPECT_TRUE(window.progress.empty());
    ASSERT_EQ(window.verdicts.size(), 1u);
    EXPECT_EQ(window.verdicts[0].rfind("Chack sum=", 0), 0u) << window.verdicts[0];
}

TEST_F(Download, BufferFormsSendTheirFixedCommands)
{
    const std::vector<std::uint8_t> imageBuffer = randomBytes(32768, 11);
    struct Case {
        bool full;
        std::int32_t address;
        std::vector<CommandBytes8> erases;
        CommandBytes8 write;
        CommandBytes8 checksum;
        std::size_t dataReports;
    };
    const Case cases[] = {
        {true,
         0xF8000,
         {{4, 0, 0x00, 0x80, 0x0F, 0x55, 0xAA, 0x55},
          {4, 0, 0x00, 0x90, 0x0F, 0x55, 0xAA, 0x55},
          {4, 0, 0x00, 0xA0, 0x0F, 0x55, 0xAA, 0x55},
          {4, 0, 0x00, 0xB0, 0x0F, 0x55, 0xAA, 0x55},
          {4, 0, 0x00, 0xC0, 0x0F, 0x55, 0xAA, 0x55},
          {4, 0, 0x00, 0xD0, 0x0F, 0x55, 0xAA, 0x55},
          {4, 0, 0x00, 0xE0, 0x0F, 0x55, 0xAA, 0x55},
          {4, 0, 0x00, 0xF0, 0x0F, 0x55, 0xAA, 0x55}},
         {1, 0, 0x00, 0x80, 0x0F, 0xF8, 0x7F, 0x00},
         {6, 0, 0x00, 0x80, 0x0F, 0xF8, 0x7F, 0x00},
         4095},
        {false,
         0x1F1000,
         {{4, 0, 0x00, 0x10, 0x1F, 0x55, 0xAA, 0x55}},
         {1, 0, 0x00, 0x10, 0x1F, 0xF8, 0x0F, 0x00},
         {6, 0, 0x00, 0x10, 0x1F, 0xF8, 0x0F, 0x00},
         511},
    };
    unit().setPollsUntilReady(5);
    for (const Case &c : cases) {
        SCOPED_TRACE(c.address);
        transport->clearTrace();
        window.statuses.clear();
        FlashDownload download = procedure();
        EXPECT_TRUE(c.full ? download.bindownload(imageBuffer, "/pkg/image.hex", c.address)
                           : download.bindownload_short(imageBuffer, "/pkg/image.hex", c.address));

        const test::FlashWire wire = splitWire(transport->trace());
        std::vector<CommandBytes8> expected = c.erases;
        expected.push_back(c.write);
        expected.push_back(c.checksum);
        expected.insert(expected.end(), 6, CommandBytes8{}); // 5 polls answered "not ready", then the sum
        EXPECT_EQ(wire.commands, expected);
        EXPECT_EQ(wire.dataReports, c.dataReports);
        const std::size_t bytes = c.dataReports * 8;
        EXPECT_EQ(flash(static_cast<std::uint32_t>(c.address), bytes),
                  std::vector<std::uint8_t>(imageBuffer.begin(), imageBuffer.begin() + static_cast<long>(bytes)));
        EXPECT_EQ(window.statuses, (std::vector<std::string>{"/pkg/image.hex  Download", "Download End"}));
        // The microcontroller write sends bytes 2-7 as the checksum request left them.
        EXPECT_EQ(link->CommandReport, c.checksum);
    }
}

TEST_F(Download, ProgressBarMovesEvery16Reports)
{
    const std::vector<std::uint8_t> imageBuffer(4096, 0x5A);
    EXPECT_TRUE(procedure().bindownload_short(imageBuffer, "a.hex", 0x1F1000));
    // 511 reports: a step at every 16th, from offset 120 to offset 3960.
    ASSERT_EQ(window.progress.size(), 31u);
    EXPECT_EQ(window.progress.front(), 5000 * 120 / 4088);
    EXPECT_EQ(window.progress.back(), 5000 * 3960 / 4088);
    EXPECT_TRUE(std::is_sorted(window.progress.begin(), window.progress.end()));
}

TEST_F(Download, ImageThatCannotBeHadSendsNothing)
{
    writeFile("empty.bin", {});
    std::filesystem::create_directory(folder / "folder.bin");
    for (const char *name : {"missing.bin", "empty.bin", "folder.bin"}) {
        SCOPED_TRACE(name);
        window.statuses.clear();
        EXPECT_FALSE(procedure().download_f(folder / name, 0xE8000));
        EXPECT_EQ(window.statuses, std::vector<std::string>{FileError});
        EXPECT_FALSE(std::filesystem::exists(folder / "missing.bin")); // never created
    }
    window.statuses.clear();
    EXPECT_FALSE(procedure().download_f({}, 0xE8000)); // an empty path does nothing at all
    EXPECT_TRUE(window.statuses.empty());

    const std::vector<std::uint8_t> tooShort(4087);
    EXPECT_FALSE(procedure().bindownload_short(tooShort, "a.hex", 0x1F1000));
    EXPECT_EQ(window.statuses, std::vector<std::string>{FileError});

    EXPECT_TRUE(transport->trace().empty());
    EXPECT_TRUE(window.verdicts.empty());
}

// A file that is being rewritten while the download reads it: shortened in
// the stream (and whole again by the checksum pass), or of another length by
// the checksum pass. It is never verified, and the unit is left out of its
// data state.
TEST_F(Download, FileThatFailsWhileReadIsNeverASuccess)
{
    enum class Change { ShortenedInStream, GrownBeforeChecksum };
    const std::vector<std::uint8_t> file = randomBytes(40000, 3);
    for (Change change : {Change::ShortenedInStream, Change::GrownBeforeChecksum}) {
        transport->clearTrace();
        window.statuses.clear();
        const std::filesystem::path path = writeFile("image.bin", file);
        bool shortened = false;
        window.onEvents = [&] {
            const bool inStream = unit().inWriteStream();
            const bool checksumPass = !window.statuses.empty() && window.statuses.back() == "check sum start";
            if (change == Change::ShortenedInStream && inStream && !shortened) {
                std::filesystem::resize_file(path, 1000);
                shortened = true;
            } else if (change == Change::ShortenedInStream && !inStream && shortened) {
                writeFile("image.bin", file);
            }
            if (change == Change::GrownBeforeChecksum && checksumPass && std::filesystem::file_size(path) == 40000)
                std::filesystem::resize_file(path, 40008);
        };

        EXPECT_FALSE(procedure().download_f(path, 0xE8000));

        EXPECT_EQ(window.statuses.back(), FileError);
        EXPECT_TRUE(window.verdicts.empty());
        const test::FlashWire wire = splitWire(transport->trace());
        EXPECT_EQ(wire.dataReports, 5000u);
        EXPECT_EQ(wire.count(code(Command::FlashChecksum)), 0u);
        EXPECT_FALSE(unit().inWriteStream());
    }
}

// The unit never says the checksum is ready: the polls end after the wait's
// limit with a verdict of their own, whether the unit is silent or gone.
TEST_F(Download, UnansweredChecksumEndsAfterTheWait)
{
    const std::vector<std::uint8_t> file = randomBytes(40000, 5);
    const std::filesystem::path path = writeFile("image.bin", file);
    const std::string verdict = "Write error  rom=応答なし file=" + hexText(sumOf(file));
    // 3 erase exchanges and the end of the stream, two pauses each.
    constexpr int pausesBeforePolling = 8;
    constexpr int pollsIn15s = 15000 / 20;

    struct Case {
        const char *what;
        std::function<void()> arrange;
    };
    const Case cases[] = {
        {"never ready", [&] { unit().setChecksumNeverReady(true); }},
        {"vanished in the stream",
         [&] {
             unit().setChecksumNeverReady(false);
             transport->addFault({sim::Fault::Kind::VanishAfter, 100});
         }},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        c.arrange();
        window.pauses = 0;
        window.verdicts.clear();
        EXPECT_FALSE(procedure().download_f(path, 0xE8000));
        EXPECT_EQ(window.verdicts, std::vector<std::string>{verdict});
        EXPECT_EQ(window.pauses - pausesBeforePolling, pollsIn15s);
    }
}

// Another window's handlers run inside the download: a remote key pressed
// (sent and its reply read) at every chance, and a second download started.
// Neither reaches the unit, and the flash still verifies.
TEST_F(Download, NothingElseReachesTheUnitWhileADownloadRuns)
{
    const std::vector<std::uint8_t> file = randomBytes(40000, 9);
    const std::filesystem::path path = writeFile("image.bin", file);
    const std::filesystem::path other = writeFile("other.bin", randomBytes(64, 1));
    RecordingWindow secondWindow;
    int keyPresses = 0;
    int secondDownloads = 0;
    window.onEvents = [&] {
        link->SendOutputReport(code(Command::RemoteKey), 0x05, 0, 0, 0, 0, 0, 0);
        link->ReceiveInputReport();
        ++keyPresses;
        if (unit().inWriteStream()) {
            ++secondDownloads;
            EXPECT_FALSE(FlashDownload(*link, secondWindow, UpdateToolStyle).download_f(other, 0x100000));
        }
    };

    EXPECT_TRUE(procedure().download_f(path, 0xE8000));

    EXPECT_GT(keyPresses, 5000);
    EXPECT_EQ(secondDownloads, 5000);
    EXPECT_TRUE(unit().keyLog().empty());
    EXPECT_TRUE(secondWindow.statuses.empty());
    EXPECT_EQ(flash(0xE8000, file.size()), file);
    EXPECT_EQ(unit().flash()[0x100000], 0xFF);
    const test::FlashWire wire = splitWire(transport->trace());
    EXPECT_EQ(wire.count(code(Command::RemoteKey)), 0u);
    EXPECT_EQ(wire.count(code(Command::FlashWrite)), 1u);

    // Once the download has ended, the link is everyone's again.
    window.onEvents = nullptr;
    link->SendOutputReport(code(Command::RemoteKey), 0x05, 0, 0, 0, 0, 0, 0);
    EXPECT_EQ(unit().keyLog(), std::vector<std::uint8_t>{0x05});
}

} // namespace
} // namespace kdm::flash
