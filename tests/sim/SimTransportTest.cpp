#include "devicelink/DeviceLink.h"
#include "sim/SimTransport.h"

#include <gtest/gtest.h>

namespace kdm::sim {
namespace {

SimTransport::Options quick()
{
    SimTransport::Options options;
    options.realTimeouts = false;
    return options;
}

bool allZero(const std::vector<std::uint8_t> &bytes)
{
    return std::all_of(bytes.begin(), bytes.end(), [](std::uint8_t b) { return b == 0; });
}

TEST(SimTransport, PresentsOneUnitWithItsIdentityAndLengths)
{
    SimTransport::Options options = quick();
    options.identity = Kdm9LoaderIdentity;
    SimTransport transport(options);
    ASSERT_EQ(transport.enumerate(), (std::vector<std::string>{SimTransport::DevicePath}));
    const auto handle = transport.open(SimTransport::DevicePath);
    ASSERT_TRUE(handle);
    EXPECT_EQ(handle->identity(), Kdm9LoaderIdentity);
    EXPECT_EQ(handle->reportLengths(), (ReportLengths{65, 9}));
    EXPECT_FALSE(transport.open("/dev/hidraw0"));

    options.present = false;
    SimTransport absent(options);
    EXPECT_TRUE(absent.enumerate().empty());
    EXPECT_FALSE(absent.open(SimTransport::DevicePath));
}

TEST(SimTransport, TraceShowsEachReportAsItCrossesTheWire)
{
    SimTransport transport(quick());
    std::vector<std::string> lines;
    transport.setTraceSink([&](std::string_view line) { lines.emplace_back(line); });
    DeviceLink link(transport, KdmtoolIdentities);

    link.SendOutputReport(19, 0x4E, 0, 0, 0, 0xAB, 0, 0);
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0], "OUT 13 4E 00 00 00 AB 00 00");
    std::string in = "IN 13 4E 00 00 00 AB 00 00";
    for (int i = 8; i < 64; ++i)
        in += " 00";
    EXPECT_EQ(lines[1], in);
    EXPECT_EQ(transport.trace().size(), 2u);
    EXPECT_EQ(transport.unit().keyLog(), (std::vector<std::uint8_t>{0x4E}));
}

TEST(SimTransport, DroppedReplyLeavesOnlyThatReceiveEmpty)
{
    SimTransport transport(quick());
    transport.addFault({Fault::Kind::DropReply, 2});
    DeviceLink link(transport, KdmtoolIdentities);

    for (std::uint8_t key : {1, 2, 3}) {
        link.CommandReport[0] = code(Command::RemoteKey);
        link.CommandReport[1] = key;
        link.SendOutputReport(link.CommandReport);
        link.ReceiveInputReport();
        EXPECT_EQ(link.ReplyReport()[2], key == 2 ? 0 : key) << "key " << int(key);
    }
    EXPECT_EQ(transport.unit().keyLog().size(), 3u); // the unit acted on all three
    EXPECT_EQ(std::count_if(transport.trace().begin(), transport.trace().end(), [](auto &e) { return !e.out; }), 2);
}

// The receives of two LineRead series (reports 2 and 3, after FrameInfo) of
// 6 reports each, on a unit that drops the given faults.
std::vector<std::vector<std::uint8_t>> twoLines(std::vector<Fault> faults)
{
    SimTransport transport(quick());
    for (const Fault &fault : faults)
        transport.addFault(fault);
    transport.unit().setInputFrame({128, 101}); // 128 pixels: 6 reports a line
    DeviceLink link(transport, KdmtoolIdentities);
    link.SendOutputReport(code(Command::FrameInfo), 0, 0, 0, 0, 0, 0, 0);
    link.ReceiveInputReport();
    std::vector<std::vector<std::uint8_t>> receives;
    for (int line = 0; line < 2; ++line) {
        link.SendOutputReport(code(Command::LineRead), 6, 0, 0, 0, 0, 0, 0);
        for (int k = 0; k < 6; ++k) {
            link.ReceiveInputReport();
            receives.push_back(link.ReplyReport());
        }
    }
    return receives;
}

TEST(SimTransport, DroppingOneReplyOfASeriesLosesOnlyThatReport)
{
    const auto whole = twoLines({});
    auto expected = whole;
    // The third report of the first line is lost: the later ones of that line
    // move up a receive, and its last receive finds nothing.
    expected.erase(expected.begin() + 2);
    expected.insert(expected.begin() + 5, std::vector<std::uint8_t>(whole[0].size(), 0));
    EXPECT_EQ(twoLines({{Fault::Kind::DropReply, 2, 2}}), expected);

    // Without an index the whole series is lost.
    auto allLost = whole;
    std::fill(allLost.begin(), allLost.begin() + 6, std::vector<std::uint8_t>(whole[0].size(), 0));
    EXPECT_EQ(twoLines({{Fault::Kind::DropReply, 2}}), allLost);
}

TEST(SimTransport, VanishedUnitTakesNothingAndAnswersNothing)
{
    SimTransport transport(quick());
    transport.addFault({Fault::Kind::VanishAfter, 1});
    DeviceLink link(transport, KdmtoolIdentities);

    link.SendOutputReport(19, 1, 0, 0, 0, 0, 0, 0);
    link.SendOutputReport(19, 2, 0, 0, 0, 0, 0, 0);
    link.ReceiveInputReport();
    EXPECT_TRUE(allZero(link.ReplyReport())); // the reply to report 1 went with the unit
    EXPECT_TRUE(transport.vanished());
    EXPECT_EQ(transport.unit().keyLog(), (std::vector<std::uint8_t>{1}));
    EXPECT_TRUE(transport.enumerate().empty());
}

TEST(SimTransport, GarbageRepliesFromAGivenReportOn)
{
    SimTransport transport(quick());
    transport.addFault({Fault::Kind::GarbageReplies, 2});
    DeviceLink link(transport, KdmtoolIdentities);

    link.SendOutputReport(16, 0, 0x40, 0x12, 0, 0, 0, 0);
    link.ReceiveInputReport();
    const std::vector<std::uint8_t> clean = link.ReplyReport();
    link.SendOutputReport(16, 0, 0x40, 0x12, 0, 0, 0, 0);
    link.ReceiveInputReport();
    EXPECT_NE(link.ReplyReport(), clean);
    EXPECT_EQ(link.ReplyReport()[0], 0); // the report ID is the wire's, not the unit's
}

TEST(SimTransport, SilentUnitTimesOutAtOnceInTests)
{
    SimTransport transport(quick());
    const auto handle = transport.open(SimTransport::DevicePath);
    std::vector<std::uint8_t> report(65, 0x5A);
    EXPECT_EQ(handle->read(report, std::chrono::milliseconds(1000)), 0);
    EXPECT_EQ(report[0], 0x5A); // untouched
}

} // namespace
} // namespace kdm::sim
