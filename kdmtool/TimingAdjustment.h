// The timing window's exchanges with the unit and its files, apart from the
// window: the change handling of the fourteen values, the reading of the
// register block when the window opens, the timing data files and the writing
// of a loaded file back to the unit. Works on the program-wide TimingMirror
// and TimingBase.
//
// Addresses: mirror offset n is the unit register at TimingBase + n, sent as
// the 16-bit address it is (low byte in report byte 2, high in byte 3). While
// TimingBase low is at most 175 the high byte never changes inside the block;
// a block the unit places higher carries into the high byte rather than
// wrapping onto registers below it. A block that would run past 0xFFFF is not
// touched at all (blockAddressable()).
#pragma once

#include "Program.h"
#include "TimingParameters.h"
#include "devicelink/UnitCommands.h"

#include <QString>

#include <array>
#include <cstdint>
#include <functional>
#include <optional>

namespace kdmtool {

class TimingAdjustment {
public:
    static constexpr int BlockBytes = 80;     // read from the unit at every opening
    static constexpr int ReadBytes = 8;       // per TimingRead
    static constexpr int GroupBytes = 4;      // per TimingWrite
    static constexpr int WrittenGroups = 19;  // a loaded file: offsets 0 to 75
    static constexpr int PauseTicks = 3;      // after each read, and each write of a loaded file
    static constexpr int FileBytesUsed = 256; // a file's bytes that reach the mirror

    using FileBlock = std::array<std::uint8_t, FileBytesUsed>;

    // Waits PauseTicks ticks between two exchanges of a sequence. Returns false
    // when the sequence must end at once because its window was closed or
    // destroyed meanwhile; the sequence then touches nothing, this object included.
    using Pause = std::function<bool()>;

    explicit TimingAdjustment(Program &program);

    // The parameter's value as the mirror holds it. A two-byte value may
    // exceed the parameter's maximum when the unit or a file put it there.
    int value(const TimingParameter &parameter) const;

    enum class Change {
        Unchanged, // the mirror already holds the value: nothing sent
        Written,   // stored in the mirror, TimingWrite and TimingWriteEnd sent
        Refused,   // canWrite() is false: the mirror keeps the old value, nothing sent
    };
    // The change handling of one parameter for a new value within 0 to 65535.
    [[nodiscard]] Change change(const TimingParameter &parameter, int value);

    enum class Opening {
        Read,          // TimingBase set, mirror offsets 0 to 79 read
        Incomplete,    // as Read, but a reply did not arrive: its bytes read as zeros
        Unaddressable, // TimingBase set, but the block runs past 0xFFFF: nothing read
        Interrupted,   // a pause said stop: the window is closed or gone
    };
    // The opening: TimingAccess open (which tells TimingBase), then ten
    // TimingReads into the mirror, each followed by a pause. A lost reply
    // does not stop it; it is Incomplete then, and the block is not known:
    // a group written from it would put zeros into registers the user never
    // touched, or, with the TimingAccess reply lost, go to address 0 up.
    [[nodiscard]] Opening readFromUnit(const Pause &pause);

    // TimingAccess close, reply read and ignored.
    void closeAccess();

    // Whether the block from TimingBase lies inside the unit's address space.
    bool blockAddressable() const;

    // A timing data file: its first 256 bytes, read in full before anything
    // uses them. A file that cannot be read, or holds fewer bytes, gives an
    // error and no block.
    struct FileRead {
        std::optional<FileBlock> block;
        QString error;
    };
    [[nodiscard]] static FileRead readFile(const QString &path);

    // Writes the whole mirror (257 bytes) to a file. The file is replaced only
    // once every byte is written, so a failure leaves an existing file as it
    // was. Returns what failed, or nullopt when saved.
    [[nodiscard]] std::optional<QString> saveFile(const QString &path) const;

    // Whether a write can reach the unit now: the block is addressable and no
    // flash download holds the link.
    bool canWrite() const;

    enum class Loading {
        Written,     // all nineteen writes sent; TimingWriteEnd still to come
        Refused,     // canWrite() is false: nothing taken, nothing sent
        Interrupted, // a pause said stop; the writes sent stay unconcluded
    };
    // A file load's writes: puts the file's bytes, when given, at mirror
    // offsets 0 to 255 (offset 256 keeps its value), then writes offsets 0 to
    // 75 as nineteen TimingWrites, pausing after each.
    [[nodiscard]] Loading writeFileBlock(const std::optional<FileBlock> &block, const Pause &pause);

    // TimingWriteEnd for the last write of writeFileBlock(), if it has not
    // been sent yet; its bytes are built afresh, whatever other commands left
    // in CommandReport during the pauses.
    void concludeWrites();

private:
    std::optional<std::uint16_t> unitAddress(int offset) const;
    // Sends the group at `offset` with the given command code, and receives.
    void exchangeGroup(kdm::Command command, int offset);

    Program &m_program;
    std::optional<int> m_unconcludedGroup;
};

} // namespace kdmtool
