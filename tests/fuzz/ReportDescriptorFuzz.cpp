// A HID report descriptor as a unit's interface hands it over, parsed, and the
// report lengths it gives put to use by the device link: one command out, one
// reply in.
#include "FuzzCheck.h"

#include "devicelink/DeviceLink.h"
#include "devicelink/ReportDescriptor.h"
#include "devicelink/UnitCommands.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <variant>
#include <vector>

namespace {

constexpr int MaxReportBytes = 1 + 0xFFFF; // the report ID byte and 65535 more

// One interface with the parsed lengths: it keeps what the link writes and
// answers each read with a full report of 0xEE bytes. Stale reports (reads
// that do not wait) are never there.
class DescribedInterface final : public kdm::Transport {
public:
    explicit DescribedInterface(kdm::ReportLengths lengths) : m_lengths(lengths) {}

    std::vector<std::string> enumerate() override { return {"described"}; }
    std::unique_ptr<kdm::HidHandle> open(const std::string &) override { return std::make_unique<Handle>(*this); }

    std::vector<std::vector<std::uint8_t>> written;

private:
    class Handle final : public kdm::HidHandle {
    public:
        explicit Handle(DescribedInterface &owner) : m_owner(owner) {}
        std::optional<kdm::UsbIdentity> identity() const override { return kdm::Kdm9Identity; }
        kdm::ReportLengths reportLengths() const override { return m_owner.m_lengths; }
        bool write(std::span<const std::uint8_t> report) override
        {
            m_owner.written.emplace_back(report.begin(), report.end());
            return true;
        }
        int read(std::span<std::uint8_t> report, std::chrono::milliseconds timeout) override
        {
            if (timeout.count() == 0)
                return 0;
            std::fill(report.begin(), report.end(), std::uint8_t{0xEE});
            return static_cast<int>(report.size());
        }

    private:
        DescribedInterface &m_owner;
    };

    kdm::ReportLengths m_lengths;
};

void checkLength(int length)
{
    KDM_FUZZ_CHECK(length >= 0 && length <= MaxReportBytes);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const auto parsed = kdm::parseReportDescriptor(std::span(data, size));
    if (const auto *error = std::get_if<kdm::DescriptorError>(&parsed)) {
        KDM_FUZZ_CHECK(!error->what.empty());
        return 0;
    }
    const kdm::DescriptorSummary &summary = std::get<kdm::DescriptorSummary>(parsed);
    checkLength(summary.lengths.input);
    checkLength(summary.lengths.output);

    DescribedInterface interface(summary.lengths);
    kdm::DeviceLink link(interface, kdm::KdmtoolIdentities);
    const kdm::CommandBytes8 command{0x10, 0x00, 0x40, 0x12, 0x01, 0x02, 0x03, 0x04};
    link.SendOutputReport(command);
    KDM_FUZZ_CHECK(interface.written.size() == 1);
    const std::vector<std::uint8_t> &report = interface.written.front();
    // Report ID 0, the eight bytes, zeros up to the output length: never shorter than a command.
    KDM_FUZZ_CHECK(report.size() == static_cast<std::size_t>(std::max(summary.lengths.output, 9)));
    KDM_FUZZ_CHECK(report[0] == 0);
    KDM_FUZZ_CHECK(std::equal(command.begin(), command.end(), report.begin() + 1));
    KDM_FUZZ_CHECK(std::all_of(report.begin() + 9, report.end(), [](std::uint8_t b) { return b == 0; }));

    link.ReceiveInputReport();
    // Reply bytes 1 to 64 can always be read; what the input report did not carry is zero.
    const std::vector<std::uint8_t> &reply = link.ReplyReport();
    const std::size_t carried = static_cast<std::size_t>(std::max(summary.lengths.input, 1));
    KDM_FUZZ_CHECK(reply.size() >= 65 && reply.size() >= carried);
    KDM_FUZZ_CHECK(std::all_of(reply.begin(), reply.begin() + static_cast<std::ptrdiff_t>(carried),
                               [](std::uint8_t b) { return b == 0xEE; }));
    KDM_FUZZ_CHECK(std::all_of(reply.begin() + static_cast<std::ptrdiff_t>(carried), reply.end(),
                               [](std::uint8_t b) { return b == 0; }));
    return 0;
}
