// The platform side of the device link: what a system (or the simulated unit)
// gives the link to find and talk to HID interfaces.
//
// The link never knows which transport it runs on. A transport enumerates
// interface paths in the platform's order and opens one path at a time; an
// open interface tells its USB identity and report lengths and moves whole
// reports. Every call returns; none throws.
#pragma once

#include <chrono>
#include <compare>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace kdm {

// Vendor and product ID of a HID interface. The version number is never compared.
struct UsbIdentity {
    std::uint16_t vendorId = 0;
    std::uint16_t productId = 0;
    friend constexpr auto operator<=>(const UsbIdentity &, const UsbIdentity &) = default;
};

// Report byte lengths as the unit's capabilities give them: the report ID byte
// is counted, so a unit with an 8-byte output report has an output length of 9.
struct ReportLengths {
    int input = 0;
    int output = 0;
    friend constexpr bool operator==(const ReportLengths &, const ReportLengths &) = default;
};

// One open HID interface. Destroying it closes it.
class HidHandle {
public:
    virtual ~HidHandle() = default;

    // Vendor and product ID of the interface; nullopt when they cannot be read.
    virtual std::optional<UsbIdentity> identity() const = 0;

    // Input and output report byte lengths (report ID byte included).
    virtual ReportLengths reportLengths() const = 0;

    // Writes one output report; report[0] is the report ID. Returns when the
    // platform has taken the report. False when it could not be written
    // (for example the unit was unplugged).
    virtual bool write(std::span<const std::uint8_t> report) = 0;

    // Reads one input report into `report`, report ID at index 0 as the
    // platform delivers it (0 for a unit without report IDs). Waits at most
    // `timeout`; a timeout of zero only takes a report that is already there.
    // Returns the number of bytes placed in `report`, 0 when nothing arrived in
    // time, or a negative number when the interface failed. Bytes past the
    // returned count are left as they were. A report that arrives after the
    // call returned is never written into `report`.
    virtual int read(std::span<std::uint8_t> report, std::chrono::milliseconds timeout) = 0;
};

class Transport {
public:
    virtual ~Transport() = default;

    // Paths of the HID interfaces present now, in the platform's order.
    virtual std::vector<std::string> enumerate() = 0;

    // Opens the interface for reading and writing; nullptr when it cannot be
    // opened that way (held exclusively by the system, no permission, gone).
    virtual std::unique_ptr<HidHandle> open(const std::string &path) = 0;
};

} // namespace kdm
