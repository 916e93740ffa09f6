#include "sim/UnitDescriptor.h"

#include "devicelink/ReportDescriptor.h"
#include "support/Kdm9Descriptor.h"

#include <gtest/gtest.h>

namespace kdm::sim {
namespace {

TEST(UnitDescriptor, IsTheKdm9sOwn)
{
    EXPECT_EQ(unitReportDescriptor(), test::Kdm9Descriptor);
}

TEST(UnitDescriptor, LongerOutputReportsParseToTheirLength)
{
    for (int outputBytes : {8, 9, 16, 64, 255}) {
        SCOPED_TRACE(outputBytes);
        const auto parsed = parseReportDescriptor(unitReportDescriptor(outputBytes));
        const auto *summary = std::get_if<DescriptorSummary>(&parsed);
        ASSERT_NE(summary, nullptr);
        EXPECT_EQ(summary->lengths, (ReportLengths{1 + ReplyPayloadBytes, 1 + outputBytes}));
        EXPECT_FALSE(summary->usesReportIds);
    }
}

} // namespace
} // namespace kdm::sim
