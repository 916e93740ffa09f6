// The device link: finds the KDM-9 among the HID interfaces, opens it, and
// moves 8-byte command reports out and input reports in.
//
// One link exists per program and lives for the whole run; every window talks
// to the unit only through it, on the user-interface thread. The link never
// reports an error: a missing unit, a failed write and a lost reply all reach
// callers as an all-zero ReplyReport, and each caller judges the reply bytes.
#pragma once

#include "Transport.h"

#include <array>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace kdm {

using CommandBytes8 = std::array<std::uint8_t, 8>;

class DeviceLink {
public:
    static constexpr std::chrono::milliseconds ReadTimeout{1000};

    // `identities` are the (vendor, product) pairs this program accepts as the
    // unit; the link keeps a copy. The transport must outlive the link.
    DeviceLink(Transport &transport, std::span<const UsbIdentity> identities);
    ~DeviceLink();
    DeviceLink(const DeviceLink &) = delete;
    DeviceLink &operator=(const DeviceLink &) = delete;

    // Searches the interfaces in the transport's order and opens the first one
    // whose identity is accepted: once for writes (and the identity and length
    // queries), once more for reads. An interface that cannot be opened, or
    // whose identity cannot be read, is skipped. Returns -1 and sets UnitFound
    // to -1 when a unit was opened, 0 otherwise (then no handle stays open).
    // Called only while no unit is open.
    std::int16_t LocateDevice();

    // Sends one output report: report ID 0, the eight bytes, zeros up to the
    // unit's output report length. While no unit is open it first searches;
    // if that fails nothing is sent. A failed write is ignored.
    void SendOutputReport(std::uint8_t b0, std::uint8_t b1, std::uint8_t b2, std::uint8_t b3, std::uint8_t b4,
                          std::uint8_t b5, std::uint8_t b6, std::uint8_t b7);
    void SendOutputReport(const CommandBytes8 &bytes);

    // Replaces ReplyReport with a new all-zero buffer and reads the next input
    // report into it, waiting at most ReadTimeout. With no unit open it
    // returns at once. When nothing arrives in time, or the unit is gone,
    // ReplyReport stays all zero (report ID included).
    void ReceiveInputReport();

    // The shared command buffer: zero at start, never cleared. A command sets
    // only the bytes it defines; the rest go out as the previous command left them.
    CommandBytes8 CommandReport{};

    // The last input report read, or zeros: index 0 is the report ID, index n
    // is reply byte n. Always at least 65 bytes long, so reply bytes 1 to 64
    // can be read whatever the unit's input report length.
    const std::vector<std::uint8_t> &ReplyReport() const { return m_replyReport; }

    // Whether the last ReceiveInputReport got an input report. False when it
    // timed out, the read failed, no unit is open or another caller holds the
    // link: an all-zero ReplyReport alone cannot tell a silent unit from one
    // that sent zeros (a black picture line).
    bool replyArrived() const { return m_replyArrived; }

    // -1 once a unit has been opened (it stays -1 for the run), 0 before.
    std::int16_t UnitFound() const { return m_unitFound; }

    // Report lengths of the opened unit; zeros while none is open.
    ReportLengths UnitCaps() const { return m_unitCaps; }

    // Closes both handles when the program ends. UnitFound stays -1, so later
    // sends neither search nor reach the unit and receives return zeros at once.
    void CloseHandles();

    // A flash data stream must reach the unit with nothing in between. While an
    // Exclusive is held, only its own send and receive reach the unit; every
    // other SendOutputReport sends nothing and every other ReceiveInputReport
    // leaves ReplyReport all zero at once. At most one Exclusive exists at a time.
    class Exclusive {
    public:
        Exclusive(Exclusive &&other) noexcept;
        Exclusive &operator=(Exclusive &&) = delete;
        ~Exclusive();
        void SendOutputReport(const CommandBytes8 &bytes);
        void ReceiveInputReport();

    private:
        friend class DeviceLink;
        explicit Exclusive(DeviceLink &link) : m_link(&link) {}
        DeviceLink *m_link;
    };

    // Takes the link for one caller; nullopt when another caller holds it.
    [[nodiscard]] std::optional<Exclusive> claimExclusive();
    bool isClaimed() const { return m_claimed; }

    // Receives one line of text per notable event of discovery and exchange
    // (interfaces skipped, unit opened, write failures, time-outs). Optional.
    void setDiagnostics(std::function<void(std::string_view)> sink) { m_diagnostics = std::move(sink); }

private:
    void send(const CommandBytes8 &bytes);
    void receive();
    void clearReply();
    void drainStaleReports();
    void diagnose(const std::string &text) const;

    Transport &m_transport;
    std::vector<UsbIdentity> m_identities;
    std::int16_t m_unitFound = 0;
    std::unique_ptr<HidHandle> m_unitWriteHandle;
    std::unique_ptr<HidHandle> m_unitReadHandle;
    std::string m_unitPath;
    ReportLengths m_unitCaps;
    std::vector<std::uint8_t> m_replyReport;
    bool m_replyArrived = false;
    bool m_claimed = false;
    std::function<void(std::string_view)> m_diagnostics;
};

} // namespace kdm
