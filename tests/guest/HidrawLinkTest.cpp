// The device link on the system's real HID stack: hidapi, hidraw, the report
// descriptor in sysfs, and a unit behind the kernel's uhid. These tests need
// /dev/uhid and run inside the throw-away guest (tests/vm/run-in-guest).
#include "UhidUnitProcess.h"

#include "devicelink/DeviceLink.h"
#include "devicelink/HidapiTransport.h"
#include "devicelink/UnitCommands.h"
#include "sim/SimTransport.h"
#include "sim/SimulatedUnit.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>

namespace kdm {
namespace {

using test::UhidUnitProcess;
using Clock = std::chrono::steady_clock;

std::vector<std::uint8_t> replyBytes(const DeviceLink &link)
{
    const std::vector<std::uint8_t> &reply = link.ReplyReport();
    return {reply.begin() + 1, reply.begin() + 1 + ReplyPayloadBytes};
}

bool allZero(const std::vector<std::uint8_t> &bytes)
{
    return std::all_of(bytes.begin(), bytes.end(), [](std::uint8_t byte) { return byte == 0; });
}

std::string traced(bool out, std::vector<std::uint8_t> bytes)
{
    return sim::traceLine(sim::TraceEntry{out, std::move(bytes)});
}

std::string tracedOut(const CommandBytes8 &bytes)
{
    return traced(true, {bytes.begin(), bytes.end()});
}

// The OUT and IN lines of a unit's trace, in order.
std::vector<std::string> reports(const UhidUnitProcess &unit)
{
    std::vector<std::string> lines = unit.trace();
    std::erase_if(lines,
                  [](const std::string &line) { return line.rfind("OUT ", 0) != 0 && line.rfind("IN ", 0) != 0; });
    return lines;
}

void printFigure(const char *name, double value, const char *unit)
{
    std::printf("%s: %.1f %s\n", name, value, unit);
    testing::Test::RecordProperty(name, std::to_string(value));
}

class OnHidraw : public testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(std::filesystem::exists("/dev/uhid"))
            << "these tests need the kernel's uhid: run them through tests/vm/run-in-guest";
    }

    HidapiTransport transport;
};

TEST_F(OnHidraw, DiscoveryAcceptsOnlyTheProgramsIdentities)
{
    struct Case {
        const char *name;
        std::span<const UsbIdentity> accepted;
        const char *unitIdentity; // nullptr: no unit attached
        bool found;
    };
    for (const Case &c : {
             Case{"no unit", KdmtoolIdentities, nullptr, false},
             Case{"kdmtool, the unit", KdmtoolIdentities, "17a7:0002", true},
             Case{"kdmtool, the loader identity", KdmtoolIdentities, "04d8:0001", false},
             Case{"kdmupdate, the unit", KdmupdateIdentities, "17a7:0002", true},
             Case{"kdmupdate, the loader identity", KdmupdateIdentities, "04d8:0001", true},
             Case{"kdmupdate, another product of the vendor", KdmupdateIdentities, "17a7:0003", false},
         }) {
        SCOPED_TRACE(c.name);
        std::optional<UhidUnitProcess> unit;
        if (c.unitIdentity) {
            unit.emplace(std::vector<std::string>{"--identity", c.unitIdentity});
            ASSERT_TRUE(unit->ready()) << unit->error();
        }
        DeviceLink link(transport, c.accepted);

        EXPECT_EQ(link.LocateDevice(), c.found ? -1 : 0);
        EXPECT_EQ(link.UnitFound(), c.found ? -1 : 0);
        if (!unit)
            continue;
        if (c.found) {
            EXPECT_EQ(link.UnitCaps(), (ReportLengths{65, 9}));
            link.SendOutputReport(code(Command::PresenceQuery), 0, 0, 0, 0, 0, 0, 0);
            link.ReceiveInputReport();
            EXPECT_EQ(unit->openings(), std::vector<std::string>{"OPEN"}) << "the unit stays open";
        } else {
            ASSERT_EQ(unit->stop(), 0);
            EXPECT_EQ(unit->openings(), (std::vector<std::string>{"OPEN", "CLOSE"}))
                << "opened for the identity test and closed again";
        }
    }
}

TEST_F(OnHidraw, OfTwoUnitsTheFirstEnumeratedIsOpenedAndTheOtherNever)
{
    UhidUnitProcess a;
    ASSERT_TRUE(a.ready()) << a.error();
    UhidUnitProcess b;
    ASSERT_TRUE(b.ready()) << b.error();
    const std::vector<std::string> paths = transport.enumerate();
    const auto positionA = std::find(paths.begin(), paths.end(), a.node());
    const auto positionB = std::find(paths.begin(), paths.end(), b.node());
    ASSERT_NE(positionA, paths.end());
    ASSERT_NE(positionB, paths.end());
    UhidUnitProcess &first = positionA < positionB ? a : b;
    UhidUnitProcess &second = positionA < positionB ? b : a;

    DeviceLink link(transport, KdmtoolIdentities);
    ASSERT_EQ(link.LocateDevice(), -1);
    const CommandBytes8 key{code(Command::RemoteKey), 0x07, 0, 0, 0, 0, 0, 0};
    link.SendOutputReport(key);
    link.ReceiveInputReport();

    EXPECT_EQ(link.ReplyReport()[1], code(Command::RemoteKey));
    EXPECT_EQ(link.ReplyReport()[2], 0x07);
    EXPECT_EQ(first.traceLines("OUT"), std::vector<std::string>{tracedOut(key)});
    ASSERT_EQ(second.stop(), 0);
    EXPECT_TRUE(second.openings().empty());
}

TEST_F(OnHidraw, CommandsAndRepliesCrossUnchanged)
{
    UhidUnitProcess unit;
    ASSERT_TRUE(unit.ready()) << unit.error();
    DeviceLink link(transport, KdmupdateIdentities);
    ASSERT_EQ(link.LocateDevice(), -1);

    std::vector<std::string> expected;
    std::vector<std::vector<std::uint8_t>> replies;
    for (const CommandBytes8 &command : {CommandBytes8{code(Command::PresenceQuery), 0, 0, 0, 0, 0, 0, 0},
                                         CommandBytes8{code(Command::RemoteKey), 0x1F, 0xA5, 0x5A, 1, 2, 3, 0xFF}}) {
        link.SendOutputReport(command);
        link.ReceiveInputReport();
        ASSERT_EQ(link.ReplyReport().size(), 65u);
        EXPECT_EQ(link.ReplyReport()[0], 0) << "report ID of a unit without report IDs";
        replies.push_back(replyBytes(link));
        expected.push_back(tracedOut(command));
        expected.push_back(traced(false, replies.back()));
    }
    EXPECT_EQ(reports(unit), expected);
    // The unit answered each: its presence bytes, then the key echoed back.
    EXPECT_EQ(std::vector<std::uint8_t>(replies[0].begin(), replies[0].begin() + 4),
              (std::vector<std::uint8_t>{'K', 'D', 'M', '9'}));
    EXPECT_EQ(replies[1][0], code(Command::RemoteKey));
    EXPECT_EQ(replies[1][1], 0x1F);
}

TEST_F(OnHidraw, ALineReadArrivesAsItsSeriesOfReports)
{
    UhidUnitProcess unit;
    ASSERT_TRUE(unit.ready()) << unit.error();
    DeviceLink link(transport, KdmtoolIdentities);
    ASSERT_EQ(link.LocateDevice(), -1);
    sim::SimulatedUnit reference; // what the unit sends, computed in-process

    const CommandBytes8 frameInfo{code(Command::FrameInfo), 0, 0, 0, 0, 0, 0, 0};
    const sim::InputPayload frame = reference.receive(frameInfo).at(0);
    link.SendOutputReport(frameInfo);
    link.ReceiveInputReport();
    ASSERT_EQ(replyBytes(link), std::vector<std::uint8_t>(frame.begin(), frame.end()));

    const int width = frame[0] | (frame[1] << 8);
    const auto reportsPerLine = static_cast<std::uint8_t>((width * 3 + ReplyPayloadBytes - 1) / ReplyPayloadBytes);
    const CommandBytes8 lineRead{code(Command::LineRead), reportsPerLine, 0, 0, 0, 0, 0, 0};
    const std::vector<sim::InputPayload> line = reference.receive(lineRead);
    ASSERT_EQ(line.size(), reportsPerLine);
    link.SendOutputReport(lineRead);
    for (std::size_t k = 0; k < line.size(); ++k) {
        link.ReceiveInputReport();
        ASSERT_EQ(replyBytes(link), std::vector<std::uint8_t>(line[k].begin(), line[k].end())) << "report " << k;
    }
}

TEST_F(OnHidraw, ExchangesInARowEachGetTheirOwnReply)
{
    UhidUnitProcess unit;
    ASSERT_TRUE(unit.ready()) << unit.error();
    DeviceLink link(transport, KdmtoolIdentities);
    ASSERT_EQ(link.LocateDevice(), -1);

    std::vector<double> microseconds;
    for (int i = 0; i < 400; ++i) {
        const CommandBytes8 key{
            code(Command::RemoteKey), static_cast<std::uint8_t>(i), static_cast<std::uint8_t>(i >> 8), 0, 0, 0, 0, 0};
        const Clock::time_point start = Clock::now();
        link.SendOutputReport(key);
        link.ReceiveInputReport();
        microseconds.push_back(std::chrono::duration<double, std::micro>(Clock::now() - start).count());
        ASSERT_EQ(replyBytes(link)[1], key[1]) << "exchange " << i;
        ASSERT_EQ(replyBytes(link)[2], key[2]) << "exchange " << i;
    }
    std::nth_element(microseconds.begin(), microseconds.begin() + microseconds.size() / 2, microseconds.end());
    printFigure("hidraw_link_exchange_us", microseconds[microseconds.size() / 2], "us (median)");
}

TEST_F(OnHidraw, ASilentUnitYieldsZerosAfterTheFullWait)
{
    UhidUnitProcess unit({"--silent"});
    ASSERT_TRUE(unit.ready()) << unit.error();
    DeviceLink link(transport, KdmtoolIdentities);
    ASSERT_EQ(link.LocateDevice(), -1);

    link.SendOutputReport(code(Command::RemoteKey), 3, 0, 0, 0, 0, 0, 0);
    const Clock::time_point start = Clock::now();
    link.ReceiveInputReport();
    const auto waited = std::chrono::duration<double, std::milli>(Clock::now() - start);

    EXPECT_EQ(link.ReplyReport(), std::vector<std::uint8_t>(65, 0)); // report ID included
    EXPECT_GE(waited.count(), 1000.0) << "the receive must wait the whole time-out";
    ASSERT_EQ(unit.stop(), 0);
    EXPECT_EQ(unit.traceLines("OUT").size(), 1u) << "the unit took the report";
    printFigure("hidraw_silent_receive_ms", waited.count(), "ms");
}

TEST_F(OnHidraw, AReplyThatComesAfterItsReceiveGaveUpIsDiscardedByTheNextSend)
{
    UhidUnitProcess unit({"--late-reply", "1"});
    ASSERT_TRUE(unit.ready()) << unit.error();
    DeviceLink link(transport, KdmtoolIdentities);
    ASSERT_EQ(link.LocateDevice(), -1);

    link.SendOutputReport(code(Command::RemoteKey), 1, 0, 0, 0, 0, 0, 0);
    link.ReceiveInputReport();
    EXPECT_TRUE(allZero(link.ReplyReport()));
    ASSERT_TRUE(unit.waitForTrace("IN 13 01", std::chrono::seconds(10))); // the late reply is waiting now

    link.SendOutputReport(code(Command::RemoteKey), 2, 0, 0, 0, 0, 0, 0);
    link.ReceiveInputReport();
    EXPECT_EQ(link.ReplyReport()[1], code(Command::RemoteKey));
    EXPECT_EQ(link.ReplyReport()[2], 2) << "the answer to the second key, not the late one";
}

TEST_F(OnHidraw, ReportLengthsComeFromTheDescriptorInSysfs)
{
    struct Case {
        int outputBytes;
        ReportLengths lengths;
    };
    // The fallback when no descriptor can be read is 9 out, 65 in: only the
    // descriptor gives the longer output reports.
    for (const Case &c : {Case{8, {65, 9}}, Case{16, {65, 17}}, Case{64, {65, 65}}}) {
        SCOPED_TRACE(c.outputBytes);
        UhidUnitProcess unit({"--output-bytes", std::to_string(c.outputBytes)});
        ASSERT_TRUE(unit.ready()) << unit.error();
        DeviceLink link(transport, KdmtoolIdentities);
        ASSERT_EQ(link.LocateDevice(), -1);
        EXPECT_EQ(link.UnitCaps(), c.lengths);

        const CommandBytes8 key{code(Command::RemoteKey), 0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77};
        link.SendOutputReport(key);
        link.ReceiveInputReport();
        EXPECT_EQ(link.ReplyReport()[2], 0x11);
        // The whole output report reached the unit: the eight bytes, then zeros.
        std::vector<std::uint8_t> wire(static_cast<std::size_t>(c.outputBytes), 0);
        std::copy(key.begin(), key.end(), wire.begin());
        EXPECT_EQ(unit.traceLines("OUT"), std::vector<std::string>{traced(true, wire)});
    }
}

TEST_F(OnHidraw, AfterTheUnitVanishesReceivesYieldZerosAndNoSearchIsMade)
{
    std::optional<UhidUnitProcess> unit(std::in_place);
    ASSERT_TRUE(unit->ready()) << unit->error();
    DeviceLink link(transport, KdmtoolIdentities);
    ASSERT_EQ(link.LocateDevice(), -1);
    EXPECT_EQ(unit->stop(), 0) << "the unit destroys its device cleanly";
    unit.reset();

    UhidUnitProcess another;
    ASSERT_TRUE(another.ready()) << another.error();
    link.SendOutputReport(code(Command::PresenceQuery), 0, 0, 0, 0, 0, 0, 0);
    link.ReceiveInputReport();

    EXPECT_TRUE(allZero(link.ReplyReport()));
    EXPECT_EQ(link.UnitFound(), -1);
    ASSERT_EQ(another.stop(), 0);
    EXPECT_TRUE(another.openings().empty()) << "the link does not search again";
}

} // namespace
} // namespace kdm
