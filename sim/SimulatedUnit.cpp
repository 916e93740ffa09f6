#include "SimulatedUnit.h"

#include <algorithm>

namespace kdm::sim {

namespace {

constexpr std::uint32_t FlashMask = SimulatedUnit::FlashSize - 1;
constexpr std::array<std::uint8_t, 3> EraseConfirmation{0x55, 0xAA, 0x55};

std::uint32_t address24(const CommandBytes8 &report)
{
    return report[2] | (report[3] << 8) | (report[4] << 16);
}

std::uint32_t count24(const CommandBytes8 &report)
{
    return report[5] | (report[6] << 8) | (report[7] << 16);
}

// Replies whose bytes no program reads carry the command back, so that a
// trace shows which command each one answers.
InputPayload echo(const CommandBytes8 &report)
{
    InputPayload reply{};
    std::copy(report.begin(), report.end(), reply.begin());
    return reply;
}

// The unit's timing register block as it comes up: horizontal and vertical
// input timing of a 1280 x 768 source, clamp, output sync and picture of an
// 800 x 600 panel. Bytes that hold no value of the timing window carry a
// pattern of their own, so that a write group is seen to carry them back.
void loadTimingDefaults(std::array<std::uint8_t, 0x10000> &registers, std::uint16_t base)
{
    std::array<std::uint8_t, SimulatedUnit::TimingBlockSize> block{};
    for (std::size_t k = 0; k < block.size(); ++k)
        block[k] = static_cast<std::uint8_t>(0x40 + k);
    struct Value {
        int offset;
        int width;
        int value;
    };
    constexpr Value values[] = {
        {2, 2, 300},  {6, 2, 36},   {10, 2, 1344}, {14, 2, 806}, {18, 1, 12},  {20, 1, 10}, {40, 2, 1056},
        {44, 2, 628}, {48, 1, 128}, {50, 1, 4},    {54, 2, 216}, {58, 2, 800}, {62, 2, 27}, {66, 2, 600},
    };
    for (const Value &v : values) {
        block[static_cast<std::size_t>(v.offset)] = static_cast<std::uint8_t>(v.value & 0xFF);
        if (v.width == 2)
            block[static_cast<std::size_t>(v.offset + 2)] = static_cast<std::uint8_t>(v.value >> 8);
    }
    for (std::size_t k = 0; k < block.size(); ++k)
        registers[static_cast<std::uint16_t>(base + k)] = block[k];
}

} // namespace

SimulatedUnit::SimulatedUnit() : m_flash(FlashSize, 0xFF)
{
    loadTimingDefaults(m_registers, m_timingBase);
}

void SimulatedUnit::setTimingBase(std::uint16_t base)
{
    std::array<std::uint8_t, TimingBlockSize> block{};
    for (std::size_t k = 0; k < block.size(); ++k)
        block[k] = m_registers[static_cast<std::uint16_t>(m_timingBase + k)];
    for (std::size_t k = 0; k < block.size(); ++k)
        m_registers[static_cast<std::uint16_t>(base + k)] = block[k];
    m_timingBase = base;
}

std::vector<InputPayload> SimulatedUnit::receive(const CommandBytes8 &report)
{
    if (m_streamReportsLeft > 0) {
        takeStreamData(report);
        if (m_streamReportsLeft > 0)
            return {};
        return {echo(report)}; // one reply after the last data report
    }
    return command(report);
}

std::vector<InputPayload> SimulatedUnit::command(const CommandBytes8 &report)
{
    switch (static_cast<Command>(report[0])) {
    case Command::StatusPoll:
        return {statusReply()};
    case Command::FlashWrite:
        m_streamAddress = address24(report);
        m_streamBytesLeft = count24(report);
        m_streamReportsLeft = m_streamBytesLeft / 8;
        if (m_streamReportsLeft == 0)
            return {echo(report)};
        return {};
    case Command::PresenceQuery:
        return {InputPayload{'K', 'D', 'M', '9', 1, 0}};
    case Command::SectorErase:
        erase(address24(report), SectorSize, report);
        return {echo(report)};
    case Command::BlockErase:
        erase(address24(report), BlockSize, report);
        return {echo(report)};
    case Command::FlashChecksum: {
        std::uint16_t sum = 0;
        const std::uint32_t start = address24(report);
        for (std::uint32_t i = 0; i < count24(report); ++i)
            sum = static_cast<std::uint16_t>(sum + m_flash[(start + i) & FlashMask]);
        ++m_checksumRequests;
        m_checksum =
            static_cast<std::uint16_t>(sum + (m_checksumRequests >= m_checksumErrorFrom ? m_checksumError : 0));
        m_checksumRequested = true;
        m_pollsSinceRequest = 0;
        return {};
    }
    case Command::MicrocontrollerWrite:
        m_microcontrollerWrites.push_back(report);
        return {};
    case Command::TimingAccess:
        m_timingAccessOpen = report[1] == 1;
        if (m_timingAccessOpen)
            return {InputPayload{static_cast<std::uint8_t>(m_timingBase & 0xFF),
                                 static_cast<std::uint8_t>(m_timingBase >> 8)}};
        return {echo(report)};
    case Command::TimingRead: {
        InputPayload reply{};
        const auto address = static_cast<std::uint16_t>(report[2] | (report[3] << 8));
        for (std::uint16_t k = 0; k < 8; ++k)
            reply[k] = m_registers[static_cast<std::uint16_t>(address + k)];
        return {reply};
    }
    case Command::TimingWrite: {
        const auto address = static_cast<std::uint16_t>(report[2] | (report[3] << 8));
        for (std::uint16_t k = 0; k < 4; ++k)
            m_registers[static_cast<std::uint16_t>(address + k)] = report[4 + k];
        return {echo(report)};
    }
    case Command::TimingWriteEnd:
        ++m_timingWriteEnds;
        return {echo(report)};
    case Command::RemoteKey:
        m_keyLog.push_back(report[1]);
        return {echo(report)};
    case Command::FrameInfo: {
        m_nextLine = 0;
        const FrameSize size = shownImage().size;
        return {InputPayload{static_cast<std::uint8_t>(size.width & 0xFF),
                             static_cast<std::uint8_t>((size.width >> 8) & 0xFF),
                             static_cast<std::uint8_t>(size.height & 0xFF),
                             static_cast<std::uint8_t>((size.height >> 8) & 0xFF), m_fpgaSelection}};
    }
    case Command::LineRead:
        return lineReports(report[1]);
    case Command::FreezeSet:
        m_freezeState = report[1];
        return {echo(report)};
    case Command::ImageMemory:
        imageMemory(report[1]);
        return {echo(report)};
    }
    return {}; // a code the unit does not know goes unanswered
}

void SimulatedUnit::takeStreamData(const CommandBytes8 &report)
{
    for (std::size_t i = 0; i < report.size() && m_streamBytesLeft > 0; ++i, --m_streamBytesLeft)
        m_flash[m_streamAddress++ & FlashMask] &= report[i];
    --m_streamReportsLeft;
}

void SimulatedUnit::erase(std::uint32_t address, std::uint32_t size, const CommandBytes8 &report)
{
    if (!std::equal(EraseConfirmation.begin(), EraseConfirmation.end(), report.begin() + 5))
        return;
    const std::uint32_t start = address & FlashMask & ~(size - 1);
    std::fill_n(m_flash.begin() + start, size, std::uint8_t{0xFF});
}

InputPayload SimulatedUnit::statusReply()
{
    InputPayload reply{};
    if (!m_checksumRequested || m_checksumNeverReady)
        return reply;
    if (m_pollsSinceRequest < m_pollsUntilReady) {
        ++m_pollsSinceRequest;
        return reply;
    }
    reply[0] = 1;
    reply[1] = static_cast<std::uint8_t>(m_checksum & 0xFF);
    reply[2] = static_cast<std::uint8_t>(m_checksum >> 8);
    return reply;
}

StoredImage SimulatedUnit::shownImage() const
{
    if (m_shownSlot >= 0) {
        if (const auto &stored = m_slots[static_cast<std::size_t>(m_shownSlot)])
            return *stored;
    }
    return StoredImage{m_liveFrame, m_liveScene};
}

std::vector<InputPayload> SimulatedUnit::lineReports(int reports)
{
    std::vector<InputPayload> line(static_cast<std::size_t>(reports));
    const StoredImage image = shownImage();
    const bool blank = m_shownSlot >= 0 && !m_slots[static_cast<std::size_t>(m_shownSlot)];
    if (image.size.height <= 0)
        return line; // no input picture: the reports carry zeros
    const int y = m_nextLine;
    m_nextLine = (m_nextLine + 1) % image.size.height;
    std::size_t byte = 0;
    for (InputPayload &report : line) {
        for (std::uint8_t &value : report) {
            const int x = static_cast<int>(byte / 3);
            const Rgb colour = x >= image.size.width ? PaddingColour
                               : blank               ? Rgb{}
                                       : testPicture(x, y, image.size.width, image.size.height, image.scene);
            const std::size_t component = byte % 3;
            value = component == 0 ? colour.r : component == 1 ? colour.g : colour.b;
            ++byte;
        }
    }
    return line;
}

// Stored-image actions. Recording into slot n is the sequence A0+5n, C0+5n,
// 80+5n; outside a recording, C0+4n shows slot n and 80 returns to the live
// picture. C0 and 80 thus mean different things inside and outside a recording.
void SimulatedUnit::imageMemory(std::uint8_t action)
{
    const int high = action & 0xF0;
    const int low = action & 0x0F;
    if (high == 0xA0 && low % 5 == 0) {
        m_recordingSlot = low / 5;
        return;
    }
    if (m_recordingSlot >= 0 && low == 5 * m_recordingSlot) {
        if (high == 0xC0) {
            m_slots[static_cast<std::size_t>(m_recordingSlot)] = StoredImage{m_liveFrame, m_liveScene};
            return;
        }
        if (high == 0x80) {
            m_recordingSlot = -1;
            m_shownSlot = -1;
            return;
        }
    }
    if (high == 0xC0 && low % 4 == 0)
        m_shownSlot = low / 4;
    else if (action == 0x80)
        m_shownSlot = -1;
}

} // namespace kdm::sim
