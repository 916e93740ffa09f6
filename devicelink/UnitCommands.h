// Command codes of the KDM-9 (byte 0 of a command report) and the USB
// identities under which the unit presents itself.
#pragma once

#include "Transport.h"

#include <array>
#include <cstdint>

namespace kdm {

enum class Command : std::uint8_t {
    StatusPoll = 0,            // result of a flash checksum: byte 1 = 1 when ready, bytes 2-3 the sum
    FlashWrite = 1,            // the next (count / 8) reports are pure data; one reply after the last
    PresenceQuery = 2,         // any non-zero reply byte means the unit answers
    SectorErase = 4,           // 4 KB sector, confirmation 55 AA 55 in bytes 5-7
    BlockErase = 5,            // 32 KB block, same confirmation
    FlashChecksum = 6,         // 16-bit byte sum of a flash range, fetched with StatusPoll; no reply
    MicrocontrollerWrite = 11, // the unit writes its own microcontroller; no reply
    TimingAccess = 15,         // byte 1 = 1 open (reply: register block address), 0 close
    TimingRead = 16,           // eight register bytes from the address in bytes 2-3
    TimingWrite = 17,          // bytes 4-7 stored at the address in bytes 2-3
    TimingWriteEnd = 18,       // concludes timing writes
    RemoteKey = 19,            // byte 1 = remote-control key code
    FrameInfo = 20,            // width, height and FPGA selection of the input frame
    LineRead = 21,             // byte 1 = number of 64-byte reports carrying the next line
    FreezeSet = 22,            // byte 1 = still-picture state
    ImageMemory = 23,          // stored-image slots: record, show, back to live
};

constexpr std::uint8_t code(Command command)
{
    return static_cast<std::uint8_t>(command);
}

// Identities each program accepts as the unit. The update tool also takes the
// unit's boot-loader identity.
inline constexpr UsbIdentity Kdm9Identity{0x17A7, 0x0002};
inline constexpr UsbIdentity Kdm9LoaderIdentity{0x04D8, 0x0001};
inline constexpr std::array<UsbIdentity, 1> KdmtoolIdentities{Kdm9Identity};
inline constexpr std::array<UsbIdentity, 2> KdmupdateIdentities{Kdm9Identity, Kdm9LoaderIdentity};

// What every caller may rely on whatever the unit's descriptor says: an output
// report holds the report ID and eight command bytes, an input report the
// report ID and 64 reply bytes.
inline constexpr int CommandBytes = 8;
inline constexpr int ReplyPayloadBytes = 64;
inline constexpr ReportLengths UnitMinimumLengths{1 + ReplyPayloadBytes, 1 + CommandBytes};

} // namespace kdm
