#include "SimTransport.h"

#include <algorithm>
#include <thread>

namespace kdm::sim {

namespace {

constexpr ReportLengths SimLengths = UnitMinimumLengths;

} // namespace

std::string traceLine(const TraceEntry &entry)
{
    static constexpr char digits[] = "0123456789ABCDEF";
    std::string line = entry.out ? "OUT" : "IN";
    for (std::uint8_t byte : entry.bytes) {
        line += ' ';
        line += digits[byte >> 4];
        line += digits[byte & 0xF];
    }
    return line;
}

class SimTransport::Handle final : public HidHandle {
public:
    explicit Handle(SimTransport &transport) : m_transport(transport) {}

    std::optional<UsbIdentity> identity() const override { return m_transport.m_options.identity; }
    ReportLengths reportLengths() const override { return SimLengths; }
    bool write(std::span<const std::uint8_t> report) override { return m_transport.write(report); }
    int read(std::span<std::uint8_t> report, std::chrono::milliseconds timeout) override
    {
        return m_transport.read(report, timeout);
    }

private:
    SimTransport &m_transport;
};

SimTransport::SimTransport(Options options) : m_options(options) {}

std::vector<std::string> SimTransport::enumerate()
{
    if (!m_options.present || m_vanished)
        return {};
    return {DevicePath};
}

std::unique_ptr<HidHandle> SimTransport::open(const std::string &path)
{
    if (!m_options.present || m_vanished || path != DevicePath)
        return nullptr;
    return std::make_unique<Handle>(*this);
}

bool SimTransport::write(std::span<const std::uint8_t> report)
{
    if (m_vanished || report.size() < static_cast<std::size_t>(SimLengths.output))
        return false;
    const std::uint64_t number = m_reportsReceived + 1;
    if (faultAt(Fault::Kind::VanishAfter, number)) {
        m_vanished = true;
        m_replies.clear();
        return false;
    }
    m_reportsReceived = number;
    const Clock::time_point sent = nextFrame(Direction::Out);
    std::this_thread::sleep_until(sent);
    CommandBytes8 bytes{};
    std::copy_n(report.begin() + 1, bytes.size(), bytes.begin()); // the report ID is not the unit's
    record(true, bytes);

    std::vector<InputPayload> replies = m_unit.receive(bytes);
    for (std::size_t index = 0; index < replies.size(); ++index) {
        if (faultAt(Fault::Kind::DropReply, number, index))
            continue;
        InputPayload &reply = replies[index];
        if (faultAt(Fault::Kind::GarbageReplies, number)) {
            for (std::uint8_t &byte : reply) {
                m_garbageSeed ^= m_garbageSeed << 13;
                m_garbageSeed ^= m_garbageSeed >> 17;
                m_garbageSeed ^= m_garbageSeed << 5;
                byte = static_cast<std::uint8_t>(m_garbageSeed);
            }
        }
        record(false, reply);
        // The unit's answers follow the report one a frame; the system keeps
        // them until the program reads them.
        m_replies.push_back({reply, std::max(sent, nextFrame(Direction::In))});
    }
    return true;
}

int SimTransport::read(std::span<std::uint8_t> report, std::chrono::milliseconds timeout)
{
    if (m_replies.empty() || m_vanished) {
        if (m_options.realTimeouts && timeout.count() > 0)
            std::this_thread::sleep_for(timeout);
        return 0;
    }
    if (m_replies.front().arrival > Clock::now()) {
        if (timeout.count() == 0)
            return 0; // on its way, not here yet
        std::this_thread::sleep_until(m_replies.front().arrival);
    }
    const InputPayload reply = m_replies.front().payload;
    m_replies.pop_front();
    if (report.empty())
        return 0;
    report[0] = 0; // no report IDs
    const std::size_t count = std::min(report.size() - 1, reply.size());
    std::copy_n(reply.begin(), count, report.begin() + 1);
    return static_cast<int>(count + 1);
}

// `reply`: which of the input reports answering `report` is in question.
bool SimTransport::faultAt(Fault::Kind kind, std::uint64_t report, std::size_t reply) const
{
    return std::any_of(m_faults.begin(), m_faults.end(), [&](const Fault &fault) {
        if (fault.kind != kind)
            return false;
        switch (kind) {
        case Fault::Kind::DropReply:
            return report == fault.at && (!fault.reply || *fault.reply == reply);
        case Fault::Kind::VanishAfter:
            return report > fault.at;
        case Fault::Kind::GarbageReplies:
            return report >= fault.at;
        }
        return false;
    });
}

void SimTransport::record(bool out, std::span<const std::uint8_t> bytes)
{
    if (!m_recordTrace && !m_traceSink)
        return;
    TraceEntry entry{out, std::vector<std::uint8_t>(bytes.begin(), bytes.end())};
    if (m_traceSink)
        m_traceSink(traceLine(entry));
    if (m_recordTrace)
        m_trace.push_back(std::move(entry));
}

// A full-speed USB interrupt endpoint moves one report each frame of 1 ms. A
// report handed over in the middle of a frame goes in the next free one, so a
// host that keeps up loses nothing and one that is late loses a whole frame.
// Without pacing every report crosses at once.
SimTransport::Clock::time_point SimTransport::nextFrame(Direction direction)
{
    const std::chrono::microseconds frame = m_options.reportInterval;
    const Clock::time_point now = Clock::now();
    if (frame.count() <= 0)
        return now;
    Clock::time_point &wireFree = m_wireFree[static_cast<std::size_t>(direction)];
    const auto sinceFirst = std::max(now, wireFree) - m_firstFrame;
    const auto frames = (sinceFirst + frame - std::chrono::nanoseconds(1)) / frame;
    const Clock::time_point slot = m_firstFrame + frames * frame;
    wireFree = slot + frame;
    return slot;
}

} // namespace kdm::sim
