#include "devicelink/DeviceLink.h"
#include "devicelink/UnitCommands.h"
#include "support/ScriptedTransport.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace kdm {
namespace {

using test::ScriptedInterface;
using test::ScriptedTransport;
using Bytes = std::vector<std::uint8_t>;

const ScriptedInterface Keyboard{"/dev/hidraw0", UsbIdentity{0x046D, 0xC31C}, 0, {9, 2}};
const ScriptedInterface Unit{"/dev/hidraw1", Kdm9Identity};
const ScriptedInterface SecondUnit{"/dev/hidraw2", Kdm9Identity};

bool allZero(const Bytes &bytes)
{
    return std::all_of(bytes.begin(), bytes.end(), [](std::uint8_t b) { return b == 0; });
}

Bytes reply(std::initializer_list<std::uint8_t> payload)
{
    Bytes report(65, 0);
    std::copy(payload.begin(), payload.end(), report.begin() + 1);
    return report;
}

TEST(LocateDevice, NoAcceptedInterfaceLeavesNothingOpen)
{
    ScriptedTransport transport;
    transport.interfaces = {ScriptedInterface{"/dev/hidraw0", UsbIdentity{0x046D, 0xC31C}},
                            ScriptedInterface{"/dev/hidraw1", UsbIdentity{0x17A7, 0x0003}}};
    DeviceLink link(transport, KdmtoolIdentities);

    EXPECT_EQ(link.LocateDevice(), 0);
    EXPECT_EQ(link.UnitFound(), 0);
    EXPECT_EQ(transport.openHandles(), 0);
    EXPECT_EQ(transport.opens, (std::vector<std::string>{"/dev/hidraw0", "/dev/hidraw1"}));
}

TEST(LocateDevice, FirstAcceptedInterfaceWinsAndIsOpenedTwice)
{
    ScriptedTransport transport;
    transport.interfaces = {Unit, SecondUnit};
    DeviceLink link(transport, KdmtoolIdentities);

    EXPECT_EQ(link.LocateDevice(), -1);
    EXPECT_EQ(link.UnitFound(), -1);
    // One open for writes and queries, one for reads; the second unit is never looked at.
    EXPECT_EQ(transport.opens, (std::vector<std::string>{Unit.path, Unit.path}));
    EXPECT_EQ(transport.openHandles(), 2);
}

TEST(LocateDevice, SkipsInterfacesThatCannotBeOpenedOrQueried)
{
    ScriptedTransport transport;
    const ScriptedInterface mute{"/dev/hidraw3", std::nullopt};
    transport.interfaces = {Keyboard, mute, Unit};
    DeviceLink link(transport, KdmtoolIdentities);

    EXPECT_EQ(link.LocateDevice(), -1);
    EXPECT_EQ(transport.opens, (std::vector<std::string>{Keyboard.path, mute.path, Unit.path, Unit.path}));
    EXPECT_EQ(transport.openHandles(), 2);
}

TEST(LocateDevice, EachProgramAcceptsItsOwnIdentities)
{
    struct Case {
        UsbIdentity identity;
        bool kdmtool;
        bool kdmupdate;
    };
    for (const Case &c :
         {Case{{0x17A7, 0x0002}, true, true}, Case{{0x04D8, 0x0001}, false, true}, Case{{0x17A7, 0x0003}, false, false},
          Case{{0x04D8, 0x0002}, false, false}, Case{{0x17A7, 0x0001}, false, false}}) {
        SCOPED_TRACE(testing::Message() << std::hex << c.identity.vendorId << ":" << c.identity.productId);
        for (const auto &[identities, accepted] :
             {std::pair{std::span<const UsbIdentity>(KdmtoolIdentities), c.kdmtool},
              std::pair{std::span<const UsbIdentity>(KdmupdateIdentities), c.kdmupdate}}) {
            ScriptedTransport transport;
            transport.interfaces = {ScriptedInterface{"/dev/hidraw0", c.identity}};
            DeviceLink link(transport, identities);
            EXPECT_EQ(link.LocateDevice(), accepted ? -1 : 0);
        }
    }
}

TEST(LocateDevice, ReportLengthsComeFromTheWriteHandle)
{
    ScriptedTransport transport;
    ScriptedInterface unit = Unit;
    unit.lengths = {129, 17};
    transport.interfaces = {unit};
    DeviceLink link(transport, KdmtoolIdentities);

    ASSERT_EQ(link.LocateDevice(), -1);
    EXPECT_EQ(link.UnitCaps(), (ReportLengths{129, 17}));
}

TEST(LocateDevice, FailedSecondOpenStillFindsTheUnitButReadsNothing)
{
    ScriptedTransport transport;
    ScriptedInterface unit = Unit;
    unit.opensAllowed = 1;
    transport.interfaces = {unit};
    transport.replies.push_back(reply({1, 2, 3}));
    DeviceLink link(transport, KdmtoolIdentities);

    EXPECT_EQ(link.LocateDevice(), -1);
    link.SendOutputReport(2, 0, 0, 0, 0, 0, 0, 0);
    link.ReceiveInputReport();
    EXPECT_EQ(transport.writes.size(), 1u);
    EXPECT_TRUE(transport.readTimeouts.empty());
    EXPECT_TRUE(allZero(link.ReplyReport()));
}

TEST(SendOutputReport, SearchesOnEverySendWhileNoUnitIsOpen)
{
    ScriptedTransport transport;
    transport.interfaces = {Keyboard};
    DeviceLink link(transport, KdmtoolIdentities);

    link.SendOutputReport(19, 5, 0, 0, 0, 0, 0, 0);
    link.ReceiveInputReport();
    link.SendOutputReport(19, 6, 0, 0, 0, 0, 0, 0);
    EXPECT_EQ(transport.enumerations, 2);
    EXPECT_TRUE(transport.writes.empty());
    EXPECT_TRUE(transport.readTimeouts.empty()); // the receive returned at once
    EXPECT_TRUE(allZero(link.ReplyReport()));
    EXPECT_GE(link.ReplyReport().size(), 65u);

    // The unit is plugged in: the next send finds it, and no search follows.
    transport.interfaces.push_back(Unit);
    link.SendOutputReport(19, 7, 0, 0, 0, 0, 0, 0);
    link.SendOutputReport(19, 8, 0, 0, 0, 0, 0, 0);
    EXPECT_EQ(transport.enumerations, 3);
    EXPECT_EQ(link.UnitFound(), -1);
    ASSERT_EQ(transport.writes.size(), 2u);
    EXPECT_EQ(transport.writes[0], (Bytes{0, 19, 7, 0, 0, 0, 0, 0, 0}));
}

TEST(SendOutputReport, FramesTheEightBytesWithReportIdZeroAndZeroPadding)
{
    ScriptedTransport transport;
    ScriptedInterface unit = Unit;
    unit.lengths = {65, 16};
    transport.interfaces = {unit};
    DeviceLink link(transport, KdmtoolIdentities);
    ASSERT_EQ(link.LocateDevice(), -1);

    link.SendOutputReport(0xFF, 0xFE, 0xFD, 0xFC, 0xFB, 0xFA, 0xF9, 0xF8);
    ASSERT_EQ(transport.writes.size(), 1u);
    EXPECT_EQ(transport.writes[0], (Bytes{0, 0xFF, 0xFE, 0xFD, 0xFC, 0xFB, 0xFA, 0xF9, 0xF8, 0, 0, 0, 0, 0, 0, 0}));
}

TEST(SendOutputReport, CommandReportKeepsWhatTheLastCommandLeft)
{
    ScriptedTransport transport;
    transport.interfaces = {Unit};
    DeviceLink link(transport, KdmtoolIdentities);
    ASSERT_EQ(link.LocateDevice(), -1);
    EXPECT_EQ(link.CommandReport, (CommandBytes8{})); // zero at start

    link.CommandReport = {1, 0, 0x00, 0x80, 0x0E, 0x10, 0x00, 0x00};
    link.SendOutputReport(link.CommandReport);
    link.CommandReport[0] = code(Command::RemoteKey);
    link.CommandReport[1] = 5;
    link.SendOutputReport(link.CommandReport);

    ASSERT_EQ(transport.writes.size(), 2u);
    EXPECT_EQ(transport.writes[1], (Bytes{0, 19, 5, 0x00, 0x80, 0x0E, 0x10, 0x00, 0x00}));
}

TEST(ReceiveInputReport, SuccessiveReceivesTakeSuccessiveReportsInFreshBuffers)
{
    ScriptedTransport transport;
    transport.interfaces = {Unit};
    DeviceLink link(transport, KdmtoolIdentities);
    ASSERT_EQ(link.LocateDevice(), -1);
    transport.onWrite = [&](const Bytes &) {
        Bytes full(65, 0xAA);
        full[0] = 0;
        transport.replies.push_back(full);
        transport.replies.push_back(Bytes{0, 1, 2, 3}); // a short report
    };

    link.SendOutputReport(21, 2, 0, 0, 0, 0, 0, 0);
    link.ReceiveInputReport();
    EXPECT_EQ(link.ReplyReport()[64], 0xAA);
    link.ReceiveInputReport();
    Bytes expected(65, 0);
    expected[1] = 1, expected[2] = 2, expected[3] = 3;
    EXPECT_EQ(link.ReplyReport(), expected); // nothing left of the first report
}

TEST(ReceiveInputReport, TimeOutLeavesAnAllZeroReplyAfterOneSecondAtMost)
{
    ScriptedTransport transport;
    transport.interfaces = {Unit};
    DeviceLink link(transport, KdmtoolIdentities);
    ASSERT_EQ(link.LocateDevice(), -1);
    transport.replies.push_back(reply({9, 9, 9}));
    link.ReceiveInputReport();
    ASSERT_EQ(link.ReplyReport()[1], 9);
    EXPECT_TRUE(link.replyArrived());

    link.ReceiveInputReport();
    EXPECT_TRUE(allZero(link.ReplyReport()));
    EXPECT_FALSE(link.replyArrived());
    EXPECT_EQ(transport.readTimeouts.back(), std::chrono::milliseconds(1000));

    // A report of zeros (a black line) is a reply all the same.
    transport.replies.push_back(reply({}));
    link.ReceiveInputReport();
    EXPECT_TRUE(allZero(link.ReplyReport()));
    EXPECT_TRUE(link.replyArrived());
}

TEST(ReceiveInputReport, ReplyIsAlwaysLongEnoughForSixtyFourReplyBytes)
{
    ScriptedTransport transport;
    ScriptedInterface unit = Unit;
    unit.lengths = {9, 9};
    transport.interfaces = {unit};
    transport.replies.push_back(Bytes{0, 1, 2, 3, 4, 5, 6, 7, 8});
    DeviceLink link(transport, KdmtoolIdentities);
    ASSERT_EQ(link.LocateDevice(), -1);

    link.ReceiveInputReport();
    ASSERT_GE(link.ReplyReport().size(), 65u);
    EXPECT_EQ(link.ReplyReport()[8], 8);
    EXPECT_EQ(link.ReplyReport()[64], 0);
}

// A reply that comes after its receive gave up belongs to the earlier command;
// the next command's receive must get its own reply, not that one.
TEST(ReceiveInputReport, LateReplyIsDiscardedWhenTheNextCommandGoesOut)
{
    ScriptedTransport transport;
    transport.interfaces = {Unit};
    DeviceLink link(transport, KdmtoolIdentities);
    ASSERT_EQ(link.LocateDevice(), -1);

    link.SendOutputReport(16, 0, 0x40, 0x12, 0, 0, 0, 0);
    link.ReceiveInputReport(); // times out
    EXPECT_TRUE(allZero(link.ReplyReport()));
    transport.replies.push_back(reply({0xA1})); // ...and the answer arrives late

    transport.onWrite = [&](const Bytes &) { transport.replies.push_back(reply({0xB2})); };
    link.SendOutputReport(16, 0, 0x48, 0x12, 0, 0, 0, 0);
    link.ReceiveInputReport();
    EXPECT_EQ(link.ReplyReport()[1], 0xB2);
}

TEST(ReceiveInputReport, UnpluggedUnitGivesZerosAndIsNotSearchedAgain)
{
    ScriptedTransport transport;
    transport.interfaces = {Unit};
    DeviceLink link(transport, KdmtoolIdentities);
    ASSERT_EQ(link.LocateDevice(), -1);
    transport.replies.push_back(reply({1, 2, 3}));
    transport.unplugged = true;

    link.SendOutputReport(2, 0, 0, 0, 0, 0, 0, 0);
    link.ReceiveInputReport();
    EXPECT_TRUE(allZero(link.ReplyReport()));
    EXPECT_FALSE(link.replyArrived());
    EXPECT_EQ(link.UnitFound(), -1);
    EXPECT_EQ(transport.enumerations, 1);
}

TEST(CloseHandles, NothingReachesTheUnitAfterwardsAndNoSearchIsMade)
{
    ScriptedTransport transport;
    transport.interfaces = {Unit};
    DeviceLink link(transport, KdmtoolIdentities);
    ASSERT_EQ(link.LocateDevice(), -1);

    link.CloseHandles();
    EXPECT_EQ(transport.openHandles(), 0);
    link.SendOutputReport(15, 0, 0, 0, 0, 0, 0, 0);
    link.ReceiveInputReport();
    EXPECT_TRUE(transport.writes.empty());
    EXPECT_TRUE(transport.readTimeouts.empty());
    EXPECT_EQ(transport.enumerations, 1);
}

TEST(Exclusive, OnlyTheHolderReachesTheUnit)
{
    ScriptedTransport transport;
    transport.interfaces = {Unit};
    DeviceLink link(transport, KdmtoolIdentities);
    ASSERT_EQ(link.LocateDevice(), -1);
    transport.onWrite = [&](const Bytes &) { transport.replies.push_back(reply({0x77})); };

    {
        std::optional<DeviceLink::Exclusive> stream = link.claimExclusive();
        ASSERT_TRUE(stream);
        EXPECT_TRUE(link.isClaimed());
        EXPECT_FALSE(link.claimExclusive()); // a second stream cannot start inside the first

        stream->SendOutputReport({1, 0, 0, 0x80, 0x0E, 8, 0, 0});
        link.SendOutputReport(19, 5, 0, 0, 0, 0, 0, 0); // a remote key in the middle
        link.ReceiveInputReport();
        EXPECT_TRUE(allZero(link.ReplyReport()));
        EXPECT_FALSE(link.replyArrived()); // though the stream's reply waits
        stream->SendOutputReport({0xDE, 0xAD, 0xBE, 0xEF, 1, 2, 3, 4});
        stream->ReceiveInputReport();
        EXPECT_EQ(link.ReplyReport()[1], 0x77);
    }
    EXPECT_FALSE(link.isClaimed());
    ASSERT_EQ(transport.writes.size(), 2u);
    EXPECT_EQ(transport.writes[1][1], 0xDE);

    link.SendOutputReport(19, 5, 0, 0, 0, 0, 0, 0);
    EXPECT_EQ(transport.writes.size(), 3u);
}

TEST(Exclusive, MovedHolderReleasesOnce)
{
    ScriptedTransport transport;
    DeviceLink link(transport, KdmtoolIdentities);
    std::optional<DeviceLink::Exclusive> first = link.claimExclusive();
    ASSERT_TRUE(first);
    {
        DeviceLink::Exclusive moved(std::move(*first));
        first.reset(); // the moved-from holder lets nothing go
        EXPECT_TRUE(link.isClaimed());
    }
    EXPECT_FALSE(link.isClaimed());
}

} // namespace
} // namespace kdm
