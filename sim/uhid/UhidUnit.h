// The simulated KDM-9 behind the kernel's user-space HID driver (/dev/uhid).
//
// The kernel presents it as a USB HID interface with the unit's report
// descriptor, so programs find and talk to it through hidraw exactly as they
// would a plugged-in unit: the same unit logic as the in-process simulated
// unit, on the system's own wire. Linux only.
#pragma once

#include "sim/SimulatedUnit.h"

#include <chrono>
#include <cstdint>
#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

struct uhid_event;

namespace kdm::sim {

struct UhidUnitOptions {
    UsbIdentity identity = Kdm9Identity;
    int outputBytes = CommandBytes; // length of the output report in the descriptor
    bool silent = false;            // takes every output report, answers none
    std::uint64_t lateReply = 0;    // the answer to this output report (counted from 1) comes LateBy late
    std::string serial;             // the interface's serial number; tells units apart in sysfs
};

struct UhidFailure {
    std::string what;
};

class UhidUnit {
public:
    // Long enough for a receive waiting 1000 ms to have given up on it.
    static constexpr std::chrono::milliseconds LateBy{1500};

    struct Sinks {
        std::function<void(std::string_view)> trace;    // one line per event and per report
        std::function<void(const std::string &)> ready; // the hidraw node, once the kernel has bound it
    };

    UhidUnit(UhidUnitOptions options, Sinks sinks);
    ~UhidUnit(); // destroys the device
    UhidUnit(const UhidUnit &) = delete;
    UhidUnit &operator=(const UhidUnit &) = delete;

    // Opens /dev/uhid and asks the kernel for the device.
    [[nodiscard]] std::optional<UhidFailure> create();

    // Serves the device until `stopFd` becomes readable (a clean stop:
    // nullopt, after the events already queued have been taken) or the
    // kernel side fails.
    [[nodiscard]] std::optional<UhidFailure> serve(int stopFd);

    const SimulatedUnit &unit() const { return m_unit; }

private:
    struct PendingReply {
        std::chrono::steady_clock::time_point due;
        InputPayload payload;
    };

    [[nodiscard]] std::optional<UhidFailure> takeEvent();
    [[nodiscard]] std::optional<UhidFailure> takeQueuedEvents();
    void handle(const uhid_event &event);
    void takeOutput(const std::uint8_t *data, std::size_t size);
    void refuseReportRequest(const uhid_event &event);
    void sendDueReplies();
    void announceWhenBound();
    int nextWakeupMs() const;
    [[nodiscard]] bool send(const uhid_event &event);
    void trace(std::string_view line) const;

    UhidUnitOptions m_options;
    Sinks m_sinks;
    SimulatedUnit m_unit;
    int m_fd = -1;
    bool m_started = false; // the kernel has bound the device: input reports may flow
    std::optional<std::chrono::steady_clock::time_point> m_startedAt;
    bool m_announced = false;
    std::uint64_t m_reportsReceived = 0;
    std::deque<PendingReply> m_pending;
};

} // namespace kdm::sim
