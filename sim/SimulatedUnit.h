// The KDM-9 as the programs see it over HID: the unit's side of every command,
// with its flash, timing registers, input picture and stored-image slots.
//
// Plain logic with no wire: it takes the eight bytes of each output report and
// returns the input reports the unit sends in answer (64 payload bytes each).
// It answers exactly as the unit does: one report for a command that is
// answered, none for FlashChecksum, MicrocontrollerWrite and the data reports
// of a write stream, N for a LineRead of N.
#pragma once

#include "TestPicture.h"
#include "devicelink/DeviceLink.h"
#include "devicelink/UnitCommands.h"

#include <array>
#include <cstdint>
#include <optional>
#include <vector>

namespace kdm::sim {

using InputPayload = std::array<std::uint8_t, ReplyPayloadBytes>;

struct FrameSize {
    int width = 0;
    int height = 0;
    friend constexpr bool operator==(const FrameSize &, const FrameSize &) = default;
};

// A stored image: the picture that was live when it was recorded.
struct StoredImage {
    FrameSize size;
    int scene = 0;
};

class SimulatedUnit {
public:
    static constexpr std::size_t FlashSize = 2 * 1024 * 1024;
    static constexpr std::uint32_t SectorSize = 0x1000;
    static constexpr std::uint32_t BlockSize = 0x8000;
    static constexpr std::uint16_t DefaultTimingBase = 0x1240;
    static constexpr int TimingBlockSize = 80;
    static constexpr int DefaultPollsUntilReady = 3;
    static constexpr FrameSize DefaultFrame{640, 480};
    static constexpr std::uint8_t FpgaB2 = 2;
    static constexpr int StoredImageSlots = 4;

    SimulatedUnit();

    // One output report in (the eight bytes after the report ID), the unit's
    // input reports out.
    std::vector<InputPayload> receive(const CommandBytes8 &report);

    // Flash, erased to 0xFF at start. Programming only clears bits, as on the
    // real part, so a write without an erase shows in the content.
    std::vector<std::uint8_t> &flash() { return m_flash; }
    const std::vector<std::uint8_t> &flash() const { return m_flash; }

    // Timing register space; the block the timing window uses lies at timingBase().
    std::uint16_t timingBase() const { return m_timingBase; }
    void setTimingBase(std::uint16_t base); // moves the block, keeping its contents
    std::uint8_t timingRegister(std::uint16_t address) const { return m_registers[address]; }
    void setTimingRegister(std::uint16_t address, std::uint8_t value) { m_registers[address] = value; }
    bool timingAccessOpen() const { return m_timingAccessOpen; }
    int timingWriteEnds() const { return m_timingWriteEnds; }

    // Input picture.
    void setInputFrame(FrameSize size) { m_liveFrame = size; }
    FrameSize inputFrame() const { return m_liveFrame; }
    void setLiveScene(int scene) { m_liveScene = scene; }
    void setFpgaSelection(std::uint8_t selection) { m_fpgaSelection = selection; }
    // What LineRead sends now: the live picture or the stored image on show.
    StoredImage shownImage() const;
    // Colour the unit sends for transferred pixels past the frame's width.
    static constexpr Rgb PaddingColour{0xEE, 0x11, 0xEE};

    // Remote control keys pressed, in order.
    const std::vector<std::uint8_t> &keyLog() const { return m_keyLog; }

    std::uint8_t freezeState() const { return m_freezeState; }
    const std::array<std::optional<StoredImage>, StoredImageSlots> &storedImages() const { return m_slots; }
    int shownSlot() const { return m_shownSlot; } // -1: live picture

    // Microcontroller writes started, with the bytes 2 to 7 each came with.
    const std::vector<CommandBytes8> &microcontrollerWrites() const { return m_microcontrollerWrites; }

    bool inWriteStream() const { return m_streamReportsLeft > 0; }

    // Checksum behaviour: polls answered "not ready" before the sum is given,
    // a sum that is reported wrong by a fixed amount, or never ready at all.
    void setPollsUntilReady(int polls) { m_pollsUntilReady = polls; }
    // From the `fromRequest`-th FlashChecksum on (counting from 1) the sum is reported wrong by `addend`.
    void setChecksumError(std::uint16_t addend, int fromRequest = 1)
    {
        m_checksumError = addend;
        m_checksumErrorFrom = fromRequest;
    }
    int checksumRequests() const { return m_checksumRequests; }
    void setChecksumNeverReady(bool never) { m_checksumNeverReady = never; }

private:
    std::vector<InputPayload> command(const CommandBytes8 &report);
    void takeStreamData(const CommandBytes8 &report);
    void erase(std::uint32_t address, std::uint32_t size, const CommandBytes8 &report);
    InputPayload statusReply();
    std::vector<InputPayload> lineReports(int reports);
    void imageMemory(std::uint8_t action);

    std::vector<std::uint8_t> m_flash;

    // Write stream in progress.
    std::uint32_t m_streamAddress = 0;
    std::uint32_t m_streamBytesLeft = 0;
    std::uint32_t m_streamReportsLeft = 0;

    // Checksum request.
    bool m_checksumRequested = false;
    std::uint16_t m_checksum = 0;
    int m_pollsSinceRequest = 0;
    int m_pollsUntilReady = DefaultPollsUntilReady;
    std::uint16_t m_checksumError = 0;
    int m_checksumErrorFrom = 1;
    int m_checksumRequests = 0;
    bool m_checksumNeverReady = false;

    std::array<std::uint8_t, 0x10000> m_registers{};
    std::uint16_t m_timingBase = DefaultTimingBase;
    bool m_timingAccessOpen = false;
    int m_timingWriteEnds = 0;

    FrameSize m_liveFrame = DefaultFrame;
    int m_liveScene = 0;
    std::uint8_t m_fpgaSelection = FpgaB2;
    int m_nextLine = 0;

    std::vector<std::uint8_t> m_keyLog;
    std::uint8_t m_freezeState = 0;
    std::array<std::optional<StoredImage>, StoredImageSlots> m_slots{};
    int m_shownSlot = -1;
    int m_recordingSlot = -1;
    std::vector<CommandBytes8> m_microcontrollerWrites;
};

} // namespace kdm::sim
