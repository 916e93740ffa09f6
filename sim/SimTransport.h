// The simulated unit on a wire of its own: a Transport that presents one
// KDM-9 (output report 9 bytes, input report 65, no report IDs) and can
// misbehave on request. The link sees it exactly as it sees a system HID
// interface.
#pragma once

#include "SimulatedUnit.h"
#include "devicelink/Transport.h"

#include <array>
#include <chrono>
#include <cstdint>
#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kdm::sim {

// Misbehaviour of the wire, counted in output reports from 1 (data reports of
// a write stream count like commands).
struct Fault {
    enum class Kind {
        DropReply,      // the input reports answering report `at` are never sent
        VanishAfter,    // after report `at` the unit is gone: writes fail, reads time out
        GarbageReplies, // from report `at` on, every input report carries random bytes
    };
    Kind kind = Kind::DropReply;
    std::uint64_t at = 1;
    // DropReply only: drop just this one of the answering reports, counted
    // from 0 (one report of a LineRead series), instead of all of them.
    std::optional<std::size_t> reply{};
};

// One report as it crossed the wire: OUT with the eight bytes after the report
// ID, IN with reply bytes 1 to 64.
struct TraceEntry {
    bool out = false;
    std::vector<std::uint8_t> bytes;
};

// "OUT 13 05 00 ..." / "IN 00 ..." : upper-case hex, single spaces.
std::string traceLine(const TraceEntry &entry);

class SimTransport final : public Transport {
public:
    static constexpr const char *DevicePath = "sim:kdm9";

    struct Options {
        UsbIdentity identity = Kdm9Identity;
        bool present = true;
        // Wait out read time-outs in real time, as a unit does. Tests switch
        // this off so that a silent unit costs nothing.
        bool realTimeouts = true;
        // Full-speed USB pacing: the bus runs in frames this long, and each
        // direction carries at most one report a frame.
        std::chrono::microseconds reportInterval{0};
    };

    explicit SimTransport(Options options);
    SimTransport() : SimTransport(Options{}) {}

    std::vector<std::string> enumerate() override;
    std::unique_ptr<HidHandle> open(const std::string &path) override;

    SimulatedUnit &unit() { return m_unit; }
    const SimulatedUnit &unit() const { return m_unit; }

    void addFault(Fault fault) { m_faults.push_back(fault); }
    bool vanished() const { return m_vanished; }

    // Every report of the run, in order, for tests to inspect.
    const std::vector<TraceEntry> &trace() const { return m_trace; }
    void clearTrace() { m_trace.clear(); }
    // Receives one trace line per report as it crosses the wire.
    void setTraceSink(std::function<void(std::string_view)> sink) { m_traceSink = std::move(sink); }
    // Keeping the whole trace in memory is for tests; long runs switch it off.
    void setRecordTrace(bool record) { m_recordTrace = record; }

    std::uint64_t reportsReceived() const { return m_reportsReceived; }
    std::size_t repliesWaiting() const { return m_replies.size(); }

private:
    class Handle;
    bool write(std::span<const std::uint8_t> report);
    int read(std::span<std::uint8_t> report, std::chrono::milliseconds timeout);
    bool faultAt(Fault::Kind kind, std::uint64_t report, std::size_t reply = 0) const;
    void record(bool out, std::span<const std::uint8_t> bytes);
    using Clock = std::chrono::steady_clock;
    enum class Direction { Out, In };
    // When the next report in `direction` crosses the wire, and takes that frame.
    Clock::time_point nextFrame(Direction direction);

    Options m_options;
    SimulatedUnit m_unit;
    std::vector<Fault> m_faults;
    struct PendingReply {
        InputPayload payload;
        Clock::time_point arrival; // when the system has it for the program
    };
    std::deque<PendingReply> m_replies;
    std::uint64_t m_reportsReceived = 0;
    bool m_vanished = false;
    std::uint32_t m_garbageSeed = 0x2545F491;
    Clock::time_point m_firstFrame = Clock::now();
    std::array<Clock::time_point, 2> m_wireFree{}; // per direction: its next free frame
    std::vector<TraceEntry> m_trace;
    bool m_recordTrace = true;
    std::function<void(std::string_view)> m_traceSink;
};

} // namespace kdm::sim
