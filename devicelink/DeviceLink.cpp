#include "DeviceLink.h"

#include "UnitCommands.h"

#include <algorithm>
#include <utility>

namespace kdm {

namespace {

// A unit that floods reports must not keep a send from ever starting.
constexpr int MaxStaleReportsDrained = 64;

std::string hex4(std::uint16_t value)
{
    static constexpr char digits[] = "0123456789abcdef";
    std::string text(4, '0');
    for (int i = 3; i >= 0; --i, value >>= 4)
        text[i] = digits[value & 0xF];
    return text;
}

} // namespace

DeviceLink::DeviceLink(Transport &transport, std::span<const UsbIdentity> identities)
    : m_transport(transport), m_identities(identities.begin(), identities.end())
{
    clearReply();
}

DeviceLink::~DeviceLink() = default;

std::int16_t DeviceLink::LocateDevice()
{
    m_unitFound = 0;
    m_unitWriteHandle.reset();
    m_unitReadHandle.reset();

    for (const std::string &path : m_transport.enumerate()) {
        m_unitPath = path;
        std::unique_ptr<HidHandle> handle = m_transport.open(path);
        if (!handle) {
            diagnose("skipped " + path + ": cannot be opened for read/write");
            continue;
        }
        const std::optional<UsbIdentity> identity = handle->identity();
        if (!identity) {
            diagnose("skipped " + path + ": attributes cannot be read");
            continue;
        }
        if (std::find(m_identities.begin(), m_identities.end(), *identity) == m_identities.end())
            continue;
        m_unitWriteHandle = std::move(handle);
        m_unitFound = -1;
        break;
    }
    if (m_unitFound != -1)
        return 0;

    m_unitCaps = m_unitWriteHandle->reportLengths();
    // The first match is the unit even when the second open fails; its
    // receives then read nothing, as a silent unit would.
    m_unitReadHandle = m_transport.open(m_unitPath);
    const UsbIdentity identity = m_unitWriteHandle->identity().value_or(UsbIdentity{});
    diagnose("unit " + hex4(identity.vendorId) + ":" + hex4(identity.productId) + " at " + m_unitPath + ", input " +
             std::to_string(m_unitCaps.input) + " bytes, output " + std::to_string(m_unitCaps.output) + " bytes" +
             (m_unitReadHandle ? "" : ", second open failed"));
    return -1;
}

void DeviceLink::SendOutputReport(std::uint8_t b0, std::uint8_t b1, std::uint8_t b2, std::uint8_t b3, std::uint8_t b4,
                                  std::uint8_t b5, std::uint8_t b6, std::uint8_t b7)
{
    SendOutputReport(CommandBytes8{b0, b1, b2, b3, b4, b5, b6, b7});
}

void DeviceLink::SendOutputReport(const CommandBytes8 &bytes)
{
    if (m_claimed) {
        diagnose("send refused: a flash stream holds the link");
        return;
    }
    send(bytes);
}

void DeviceLink::ReceiveInputReport()
{
    if (m_claimed) {
        clearReply();
        return;
    }
    receive();
}

void DeviceLink::send(const CommandBytes8 &bytes)
{
    if (m_unitFound == 0)
        m_unitFound = LocateDevice();
    if (m_unitFound != -1 || !m_unitWriteHandle)
        return;

    drainStaleReports();
    std::vector<std::uint8_t> report(static_cast<std::size_t>(std::max(m_unitCaps.output, UnitMinimumLengths.output)),
                                     0);
    std::copy(bytes.begin(), bytes.end(), report.begin() + 1);
    if (!m_unitWriteHandle->write(report))
        diagnose("write failed");
}

void DeviceLink::receive()
{
    clearReply();
    if (m_unitFound != -1 || !m_unitReadHandle)
        return;
    m_replyReport.assign(static_cast<std::size_t>(std::max(m_unitCaps.input, UnitMinimumLengths.input)), 0);
    const std::span<std::uint8_t> report(m_replyReport.data(), static_cast<std::size_t>(std::max(m_unitCaps.input, 1)));
    const int count = m_unitReadHandle->read(report, ReadTimeout);
    m_replyArrived = count > 0;
    if (count == 0) {
        diagnose("no input report within 1000 ms");
    } else if (count < 0) {
        diagnose("read failed");
        // A failed read may have left part of a report behind.
        std::fill(m_replyReport.begin(), m_replyReport.end(), 0);
    }
}

void DeviceLink::clearReply()
{
    m_replyArrived = false;
    m_replyReport.assign(static_cast<std::size_t>(UnitMinimumLengths.input), 0);
}

// A report that arrived after its receive had given up answers an earlier
// command. Taking it now would shift every later exchange by one, so whatever
// waits unread when a new command goes out is discarded.
void DeviceLink::drainStaleReports()
{
    if (!m_unitReadHandle)
        return;
    std::vector<std::uint8_t> scratch(static_cast<std::size_t>(std::max(m_unitCaps.input, UnitMinimumLengths.input)));
    int drained = 0;
    while (drained < MaxStaleReportsDrained && m_unitReadHandle->read(scratch, std::chrono::milliseconds(0)) > 0)
        ++drained;
    if (drained > 0)
        diagnose("discarded " + std::to_string(drained) + " late input report(s)");
}

void DeviceLink::CloseHandles()
{
    m_unitWriteHandle.reset();
    m_unitReadHandle.reset();
}

std::optional<DeviceLink::Exclusive> DeviceLink::claimExclusive()
{
    if (m_claimed)
        return std::nullopt;
    m_claimed = true;
    return Exclusive(*this);
}

DeviceLink::Exclusive::Exclusive(Exclusive &&other) noexcept : m_link(std::exchange(other.m_link, nullptr)) {}

DeviceLink::Exclusive::~Exclusive()
{
    if (m_link)
        m_link->m_claimed = false;
}

void DeviceLink::Exclusive::SendOutputReport(const CommandBytes8 &bytes)
{
    m_link->send(bytes);
}

void DeviceLink::Exclusive::ReceiveInputReport()
{
    m_link->receive();
}

void DeviceLink::diagnose(const std::string &text) const
{
    if (m_diagnostics)
        m_diagnostics(text);
}

} // namespace kdm
