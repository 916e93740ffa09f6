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
    pace();
    CommandBytes8 bytes{};
    std::copy_n(report.begin() + 1, bytes.size(), bytes.begin()); // the report ID is not the unit's
    record(true, bytes);

    std::vector<InputPayload> replies = m_unit.receive(bytes);
    if (faultAt(Fault::Kind::DropReply, number))
        return true;
    for (InputPayload &reply : replies) {
        if (faultAt(Fault::Kind::GarbageReplies, number)) {
            for (std::uint8_t &byte : reply) {
                m_garbageSeed ^= m_garbageSeed << 13;
                m_garbageSeed ^= m_garbageSeed >> 17;
                m_garbageSeed ^= m_garbageSeed << 5;
                byte = static_cast<std::uint8_t>(m_garbageSeed);
            }
        }
        record(false, reply);
        m_replies.push_back(reply);
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
    pace();
    const InputPayload reply = m_replies.front();
    m_replies.pop_front();
    if (report.empty())
        return 0;
    report[0] = 0; // no report IDs
    const std::size_t count = std::min(report.size() - 1, reply.size());
    std::copy_n(reply.begin(), count, report.begin() + 1);
    return static_cast<int>(count + 1);
}

bool SimTransport::faultAt(Fault::Kind kind, std::uint64_t report) const
{
    return std::any_of(m_faults.begin(), m_faults.end(), [&](const Fault &fault) {
        if (fault.kind != kind)
            return false;
        switch (kind) {
        case Fault::Kind::DropReply:
            return report == fault.at;
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

// Each report occupies the wire for one interval, either way, as on a
// full-speed USB interrupt endpoint polled once per millisecond.
void SimTransport::pace()
{
    if (m_options.reportInterval.count() <= 0)
        return;
    m_wireFree = std::max(m_wireFree, std::chrono::steady_clock::now()) + m_options.reportInterval;
    std::this_thread::sleep_until(m_wireFree);
}

} // namespace kdm::sim
