#include "HidapiTransport.h"

#include "ReportDescriptor.h"
#include "UnitCommands.h"

#include <hidapi.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>

namespace kdm {

namespace {

// hidraw keeps the report descriptor beside the device node's sysfs entry.
std::vector<std::uint8_t> readSysfsDescriptor(const std::string &path)
{
    const std::filesystem::path node(path);
    if (node.parent_path() != "/dev" || node.filename().string().rfind("hidraw", 0) != 0)
        return {};
    std::ifstream file("/sys/class/hidraw/" + node.filename().string() + "/device/report_descriptor", std::ios::binary);
    return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

DescriptorSummary describe(const std::string &path)
{
    const std::vector<std::uint8_t> descriptor = readSysfsDescriptor(path);
    if (!descriptor.empty()) {
        const auto parsed = parseReportDescriptor(descriptor);
        if (const auto *summary = std::get_if<DescriptorSummary>(&parsed))
            return *summary;
    }
    return DescriptorSummary{UnitMinimumLengths, false};
}

class HidapiHandle final : public HidHandle {
public:
    HidapiHandle(hid_device *device, const std::string &path) : m_device(device), m_summary(describe(path)) {}
    ~HidapiHandle() override { hid_close(m_device); }

    std::optional<UsbIdentity> identity() const override
    {
        const hid_device_info *info = hid_get_device_info(m_device);
        if (!info)
            return std::nullopt;
        return UsbIdentity{info->vendor_id, info->product_id};
    }

    ReportLengths reportLengths() const override { return m_summary.lengths; }

    bool write(std::span<const std::uint8_t> report) override
    {
        return hid_write(m_device, report.data(), report.size()) >= 0;
    }

    int read(std::span<std::uint8_t> report, std::chrono::milliseconds timeout) override
    {
        if (report.empty())
            return 0;
        const int milliseconds = static_cast<int>(timeout.count());
        if (m_summary.usesReportIds)
            return hid_read_timeout(m_device, report.data(), report.size(), milliseconds);
        // Without report IDs the platform hands over the bare report; the
        // link expects the report ID 0 in front, as the unit's driver gives it.
        const int count = hid_read_timeout(m_device, report.data() + 1, report.size() - 1, milliseconds);
        if (count <= 0)
            return count;
        report[0] = 0;
        return count + 1;
    }

private:
    hid_device *m_device;
    DescriptorSummary m_summary;
};

} // namespace

HidapiTransport::HidapiTransport()
{
    hid_init();
}

HidapiTransport::~HidapiTransport()
{
    hid_exit();
}

std::vector<std::string> HidapiTransport::enumerate()
{
    std::vector<std::string> paths;
    hid_device_info *devices = hid_enumerate(0, 0);
    // hidapi lists an interface once per top-level collection; the link looks at each path once.
    for (const hid_device_info *device = devices; device; device = device->next) {
        if (device->path && std::find(paths.begin(), paths.end(), device->path) == paths.end())
            paths.emplace_back(device->path);
    }
    hid_free_enumeration(devices);
    return paths;
}

std::unique_ptr<HidHandle> HidapiTransport::open(const std::string &path)
{
    hid_device *device = hid_open_path(path.c_str());
    if (!device)
        return nullptr;
    return std::make_unique<HidapiHandle>(device, path);
}

} // namespace kdm
