#include "devicelink/ReportDescriptor.h"
#include "support/Kdm9Descriptor.h"

#include <gtest/gtest.h>

#include <vector>

namespace kdm {
namespace {

using Bytes = std::vector<std::uint8_t>;

using test::Kdm9Descriptor;

// A boot keyboard: modifiers, reserved byte, six key codes in; five LEDs and padding out.
const Bytes BootKeyboard{0x05, 0x01, 0x09, 0x06, 0xA1, 0x01, 0x05, 0x07, 0x19, 0xE0, 0x29, 0xE7, 0x15, 0x00, 0x25, 0x01,
                         0x75, 0x01, 0x95, 0x08, 0x81, 0x02, 0x95, 0x01, 0x75, 0x08, 0x81, 0x01, 0x95, 0x05, 0x75, 0x01,
                         0x05, 0x08, 0x19, 0x01, 0x29, 0x05, 0x91, 0x02, 0x95, 0x01, 0x75, 0x03, 0x91, 0x01, 0x95, 0x06,
                         0x75, 0x08, 0x15, 0x00, 0x25, 0x65, 0x05, 0x07, 0x19, 0x00, 0x29, 0x65, 0x81, 0x00, 0xC0};

// A mouse (report 1, 4 bytes) and a consumer control (report 2, 2 bytes) on one interface.
const Bytes MouseWithConsumerControl{0x05, 0x01, 0x09, 0x02, 0xA1, 0x01, 0x85, 0x01, 0x09, 0x01, 0xA1, 0x00, 0x05, 0x09,
                                     0x19, 0x01, 0x29, 0x03, 0x15, 0x00, 0x25, 0x01, 0x95, 0x03, 0x75, 0x01, 0x81, 0x02,
                                     0x95, 0x01, 0x75, 0x05, 0x81, 0x01, 0x05, 0x01, 0x09, 0x30, 0x09, 0x31, 0x09, 0x38,
                                     0x15, 0x81, 0x25, 0x7F, 0x75, 0x08, 0x95, 0x03, 0x81, 0x06, 0xC0, 0xC0, 0x05, 0x0C,
                                     0x09, 0x01, 0xA1, 0x01, 0x85, 0x02, 0x15, 0x00, 0x26, 0xFF, 0x03, 0x19, 0x00, 0x2A,
                                     0xFF, 0x03, 0x75, 0x10, 0x95, 0x01, 0x81, 0x00, 0xC0};

// Push keeps 4 x 8 bits; 4 x 16 bits are used inside; pop brings 4 x 8 back.
const Bytes PushAndPop{0x75, 0x08, 0x95, 0x04, 0xA4, 0x75, 0x10, 0x81, 0x02, 0xB4, 0x81, 0x02};

// A long item (vendor data) ahead of the KDM-9 layout is skipped whole.
Bytes withLongItem(const Bytes &descriptor)
{
    const Bytes longItem{0xFE, 0x03, 0x10, 0x91, 0x02, 0x81};
    Bytes bytes(longItem.size() + descriptor.size());
    std::copy(descriptor.begin(), descriptor.end(), std::copy(longItem.begin(), longItem.end(), bytes.begin()));
    return bytes;
}

TEST(ReportDescriptor, LengthsCountTheReportIdByte)
{
    struct Case {
        const char *name;
        Bytes descriptor;
        ReportLengths lengths;
        bool usesReportIds;
    };
    for (const Case &c :
         {Case{"KDM-9", Kdm9Descriptor, {65, 9}, false}, Case{"boot keyboard", BootKeyboard, {9, 2}, false},
          Case{"mouse and consumer control", MouseWithConsumerControl, {5, 0}, true},
          Case{"push and pop", PushAndPop, {13, 0}, false},
          Case{"long item", withLongItem(Kdm9Descriptor), {65, 9}, false}, Case{"empty", {}, {0, 0}, false}}) {
        SCOPED_TRACE(c.name);
        const auto parsed = parseReportDescriptor(c.descriptor);
        const auto *summary = std::get_if<DescriptorSummary>(&parsed);
        ASSERT_NE(summary, nullptr) << std::get<DescriptorError>(parsed).what;
        EXPECT_EQ(summary->lengths, c.lengths);
        EXPECT_EQ(summary->usesReportIds, c.usesReportIds);
    }
}

TEST(ReportDescriptor, MalformedDescriptorsAreRefusedWithAReason)
{
    struct Case {
        const char *name;
        Bytes descriptor;
        const char *reason;
    };
    for (const Case &c : {Case{"item cut short", {0x75}, "truncated item"},
                          Case{"two-byte item with one byte", {0x26, 0xFF}, "truncated item"},
                          Case{"long item cut short", {0xFE, 0x05, 0x00, 0x01}, "truncated long item"},
                          Case{"long item header only", {0xFE, 0x00}, "truncated long item"},
                          Case{"report ID 0", {0x85, 0x00}, "invalid report ID"},
                          Case{"report ID above 255", {0x86, 0x00, 0x01}, "invalid report ID"},
                          Case{"pop without push", {0xB4}, "empty global item stack"},
                          Case{"report too long", {0x75, 0xFF, 0x96, 0xFF, 0xFF, 0x81, 0x02}, "longer than"}}) {
        SCOPED_TRACE(c.name);
        const auto parsed = parseReportDescriptor(c.descriptor);
        const auto *error = std::get_if<DescriptorError>(&parsed);
        ASSERT_NE(error, nullptr);
        EXPECT_NE(error->what.find(c.reason), std::string::npos) << error->what;
    }
}

TEST(ReportDescriptor, DeepPushIsRefusedNotGrownWithoutBound)
{
    const Bytes pushes(100, 0xA4);
    EXPECT_TRUE(std::holds_alternative<DescriptorError>(parseReportDescriptor(pushes)));
}

} // namespace
} // namespace kdm
