#include "ReportDescriptor.h"

#include <algorithm>
#include <array>
#include <map>
#include <vector>

namespace kdm {

namespace {

enum class ItemType { Main = 0, Global = 1, Local = 2, Reserved = 3 };

enum MainTag : unsigned { Input = 0x8, Output = 0x9, Collection = 0xA, Feature = 0xB, EndCollection = 0xC };
enum GlobalTag : unsigned { ReportSize = 0x7, ReportId = 0x8, ReportCount = 0x9, Push = 0xA, Pop = 0xB };

constexpr std::uint8_t LongItemPrefix = 0xFE;
constexpr std::size_t MaxGlobalStackDepth = 16;
// Report lengths are 16-bit quantities in a unit's capabilities.
constexpr std::uint64_t MaxReportBits = 8ull * 0xFFFF;

struct GlobalState {
    std::uint64_t reportSize = 0;
    std::uint64_t reportCount = 0;
    std::uint32_t reportId = 0;
};

enum ReportKind { InputReport, OutputReport, FeatureReport, ReportKinds };

int byteLength(const std::map<std::uint32_t, std::uint64_t> &bitsPerId)
{
    std::uint64_t longest = 0;
    for (const auto &[id, bits] : bitsPerId)
        longest = std::max(longest, bits);
    if (bitsPerId.empty())
        return 0;
    return static_cast<int>((longest + 7) / 8) + 1; // the report ID byte is always counted
}

} // namespace

std::variant<DescriptorSummary, DescriptorError> parseReportDescriptor(std::span<const std::uint8_t> descriptor)
{
    GlobalState global;
    std::vector<GlobalState> stack;
    bool usesReportIds = false;
    std::array<std::map<std::uint32_t, std::uint64_t>, ReportKinds> bits;

    std::size_t pos = 0;
    while (pos < descriptor.size()) {
        const std::uint8_t prefix = descriptor[pos];
        if (prefix == LongItemPrefix) {
            // prefix, data size, long item tag, data
            if (descriptor.size() - pos < 3 || descriptor.size() - pos < 3u + descriptor[pos + 1])
                return DescriptorError{"truncated long item at byte " + std::to_string(pos)};
            pos += 3u + descriptor[pos + 1]; // long items carry no report layout
            continue;
        }
        const std::size_t dataSize = (prefix & 0x3) == 3 ? 4 : (prefix & 0x3);
        if (descriptor.size() - pos < 1 + dataSize)
            return DescriptorError{"truncated item at byte " + std::to_string(pos)};
        std::uint32_t value = 0;
        for (std::size_t i = 0; i < dataSize; ++i)
            value |= static_cast<std::uint32_t>(descriptor[pos + 1 + i]) << (8 * i);
        const auto type = static_cast<ItemType>((prefix >> 2) & 0x3);
        const unsigned tag = prefix >> 4;
        const std::size_t itemStart = pos;
        pos += 1 + dataSize;

        if (type == ItemType::Global) {
            switch (tag) {
            case ReportSize:
                global.reportSize = value;
                break;
            case ReportCount:
                global.reportCount = value;
                break;
            case ReportId:
                if (value == 0 || value > 0xFF)
                    return DescriptorError{"invalid report ID " + std::to_string(value) + " at byte " +
                                           std::to_string(itemStart)};
                global.reportId = value;
                usesReportIds = true;
                break;
            case Push:
                if (stack.size() >= MaxGlobalStackDepth)
                    return DescriptorError{"global item stack too deep at byte " + std::to_string(itemStart)};
                stack.push_back(global);
                break;
            case Pop:
                if (stack.empty())
                    return DescriptorError{"pop of an empty global item stack at byte " + std::to_string(itemStart)};
                global = stack.back();
                stack.pop_back();
                break;
            default:
                break;
            }
        } else if (type == ItemType::Main) {
            int kind = -1;
            switch (tag) {
            case Input:
                kind = InputReport;
                break;
            case Output:
                kind = OutputReport;
                break;
            case Feature:
                kind = FeatureReport;
                break;
            default:
                break;
            }
            if (kind < 0)
                continue;
            std::uint64_t &reportBits = bits[static_cast<std::size_t>(kind)][global.reportId];
            reportBits += global.reportSize * global.reportCount;
            if (reportBits > MaxReportBits)
                return DescriptorError{"report longer than 65535 bytes at byte " + std::to_string(itemStart)};
        }
    }

    DescriptorSummary summary;
    summary.lengths.input = byteLength(bits[InputReport]);
    summary.lengths.output = byteLength(bits[OutputReport]);
    summary.usesReportIds = usesReportIds;
    return summary;
}

} // namespace kdm
