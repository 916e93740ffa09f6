// Every long sequence of both programs on a unit that misbehaves at a chosen
// report: it must end within a bounded number of time-outs, leave its windows
// usable with their buttons back as they belong, and show only what is true.
//
// The report a fault strikes is found in a fault-free run of the same
// sequence: the first, middle or last report of a command, or a data report
// of the first write stream, counted from where the sequence proper begins.
#include "Sequences.h"

#include "support/FlashWire.h"

#include <QTimer>

#include <gtest/gtest.h>

#include <string>

namespace kdm::hardening {
namespace {

enum class Fault {
    None,
    Absent,     // no unit at start-up
    Drop,       // every reply to the report is lost
    DropOne,    // the second reply to the report is lost (one report of a LineRead series)
    Vanish,     // the unit is gone after the report
    Garbage,    // every reply from the report on is random bytes
    NeverReady, // the unit never says its checksum is ready
    WrongSum,   // the unit's checksum is one off
    Close,      // the user closes the sequence's window as the report goes out
};

struct Point {
    enum class Which {
        Nowhere, // the fault needs no report
        Start,   // before the sequence's first report
        First,   // the first, middle or last report of `command`
        Middle,
        Last,
        MidStream, // the middle data report of the first write stream
        StreamEnd, // its last data report, the one the unit answers
    };
    Which which = Which::Nowhere;
    Command command = Command::StatusPoll;
};

constexpr Point nowhere{};
constexpr Point atStart{Point::Which::Start};
constexpr Point midStream{Point::Which::MidStream};
constexpr Point streamEnd{Point::Which::StreamEnd};
constexpr Point first(Command command)
{
    return {Point::Which::First, command};
}
constexpr Point middle(Command command)
{
    return {Point::Which::Middle, command};
}
constexpr Point last(Command command)
{
    return {Point::Which::Last, command};
}

struct Row {
    Sequence sequence;
    Fault fault;
    Point point;
    Outcome outcome;
    int maxTimeouts; // receives that waited out the link's time-out (1 s each on a unit)
};

using enum Sequence;
using enum Fault;
using enum Outcome;
using Command::BlockErase, Command::FrameInfo, Command::FreezeSet, Command::ImageMemory, Command::LineRead,
    Command::PresenceQuery, Command::RemoteKey, Command::SectorErase, Command::StatusPoll, Command::TimingAccess,
    Command::TimingRead, Command::TimingWrite, Command::TimingWriteEnd;

// clang-format off
const Row Rows[] = {
    {Startup,       None,       nowhere,                Connected,      0},
    {Startup,       Absent,     nowhere,                NotConnected,   0},
    {Startup,       Vanish,     atStart,                Connected,      0},  // nothing is sent at start-up

    {TimingWindow,  None,       nowhere,                ShowsTheUnit,   0},
    {TimingWindow,  Drop,       first(TimingAccess),    ReadOnly,       1},
    {TimingWindow,  Drop,       middle(TimingRead),     ReadOnly,       1},
    {TimingWindow,  Drop,       last(TimingAccess),     ShowsTheUnit,   1},  // the close's reply
    {TimingWindow,  Vanish,     atStart,                ReadOnly,       12},
    {TimingWindow,  Vanish,     middle(TimingRead),     ReadOnly,       5},
    {TimingWindow,  Garbage,    first(TimingAccess),    ShowsWhatCame,  0},
    {TimingWindow,  Garbage,    middle(TimingRead),     ShowsWhatCame,  0},
    {TimingWindow,  Close,      middle(TimingRead),     ClosedMidway,   0},

    {TimingLoad,    None,       nowhere,                Loaded,         0},
    {TimingLoad,    Drop,       first(TimingWrite),     Loaded,         1},
    {TimingLoad,    Drop,       middle(TimingWrite),    Loaded,         1},
    {TimingLoad,    Drop,       first(TimingWriteEnd),  Loaded,         1},
    {TimingLoad,    Vanish,     atStart,                LoadedUnitGone, 21},
    {TimingLoad,    Vanish,     middle(TimingWrite),    LoadedUnitGone, 11},
    {TimingLoad,    Garbage,    first(TimingWrite),     Loaded,         0},
    {TimingLoad,    Close,      middle(TimingWrite),    ClosedMidway,   0},

    {Capture,       None,       nowhere,                Captured,       0},
    {Capture,       Drop,       first(FrameInfo),       FpgaMessage,    1},  // the window's load
    {Capture,       Vanish,     atStart,                FpgaMessage,    3},
    {Capture,       Drop,       last(FrameInfo),        Refused,        1},  // the capture's own
    {Capture,       Garbage,    last(FrameInfo),        Refused,        0},
    {Capture,       Vanish,     last(FrameInfo),        Abandoned,      14},
    {Capture,       Drop,       first(LineRead),        Captured,       12}, // a line of zeros
    {Capture,       DropOne,    first(LineRead),        Captured,       1},
    {Capture,       Vanish,     first(LineRead),        Abandoned,      14}, // a line and a report, and FreezeSet
    {Capture,       Drop,       middle(LineRead),       Captured,       12},
    {Capture,       DropOne,    middle(LineRead),       Captured,       1},
    {Capture,       Vanish,     middle(LineRead),       Abandoned,      14},
    {Capture,       Garbage,    middle(LineRead),       Captured,       0},
    {Capture,       DropOne,    last(LineRead),         Captured,       1},
    {Capture,       Vanish,     last(LineRead),         Captured,       1},  // only FreezeSet's reply is lost
    {Capture,       Drop,       first(FreezeSet),       Captured,       1},
    {Capture,       Close,      middle(LineRead),       ClosedMidway,   0},

    {Rec,           None,       nowhere,                Recorded,       0},
    {Rec,           Drop,       first(ImageMemory),     Recorded,       1},
    {Rec,           Drop,       last(ImageMemory),      Recorded,       1},
    {Rec,           Vanish,     atStart,                RecordLost,     3},
    {Rec,           Vanish,     first(ImageMemory),     RecordLost,     2},
    {Rec,           Garbage,    first(ImageMemory),     Recorded,       0},
    {Rec,           Close,      first(ImageMemory),     ClosedMidway,   0},

    {RemoteKeys,    None,       nowhere,                AllKeys,        0},
    {RemoteKeys,    Drop,       middle(RemoteKey),      AllKeys,        1},
    {RemoteKeys,    Vanish,     atStart,                KeysUntilGone,  4},  // three keys and a further click
    {RemoteKeys,    Vanish,     first(RemoteKey),       KeysUntilGone,  3},
    {RemoteKeys,    Garbage,    first(RemoteKey),       AllKeys,        0},

    {CommandFile,   None,       nowhere,                WriteOk,        0},
    {CommandFile,   Drop,       first(BlockErase),      WriteOk,        1},
    {CommandFile,   Drop,       streamEnd,              WriteOk,        1},
    {CommandFile,   Drop,       first(StatusPoll),      WriteOk,        1},
    {CommandFile,   Vanish,     first(BlockErase),      NoAnswer,       18},
    {CommandFile,   Vanish,     midStream,              NoAnswer,       16},
    {CommandFile,   Vanish,     first(StatusPoll),      NoAnswer,       15},
    {CommandFile,   Garbage,    first(BlockErase),      WriteError,     0},
    {CommandFile,   Garbage,    first(StatusPoll),      WriteError,     0},
    {CommandFile,   NeverReady, nowhere,                NoAnswer,       0},
    {CommandFile,   WrongSum,   nowhere,                WriteError,     0},
    {CommandFile,   Close,      midStream,              ClosedMidway,   0},

    {Presence,      None,       nowhere,                Recognised,     0},
    {Presence,      Absent,     nowhere,                NotRecognised,  0},
    {Presence,      Drop,       first(PresenceQuery),   NotRecognised,  1},
    {Presence,      Vanish,     atStart,                NotRecognised,  1},
    {Presence,      Garbage,    first(PresenceQuery),   Recognised,     0},

    {UpdatePackage, None,       nowhere,                Finished,       0},
    {UpdatePackage, Drop,       first(SectorErase),     Finished,       1},
    {UpdatePackage, Drop,       streamEnd,              Finished,       1},
    {UpdatePackage, Drop,       first(StatusPoll),      Finished,       1},
    {UpdatePackage, Vanish,     first(SectorErase),     FailedAtFirst,  23},
    {UpdatePackage, Vanish,     midStream,              FailedAtFirst,  16},
    {UpdatePackage, Vanish,     first(StatusPoll),      FailedAtFirst,  15},
    {UpdatePackage, Garbage,    first(SectorErase),     FailedAtFirst,  0},
    {UpdatePackage, Garbage,    first(StatusPoll),      FailedAtFirst,  0},
    {UpdatePackage, NeverReady, nowhere,                FailedAtFirst,  0},
    {UpdatePackage, WrongSum,   nowhere,                FailedAtFirst,  0},
    {UpdatePackage, Close,      midStream,              ClosedMidway,   0},
};
// clang-format on

// The number of the report `point` names, counting every output report from 1,
// in the trace of a fault-free run whose sequence proper began after `bodyStart`.
std::uint64_t reportAt(const std::vector<sim::TraceEntry> &trace, std::uint64_t bodyStart, Point point)
{
    const test::FlashWire wire = test::splitWire(trace);
    std::vector<std::uint64_t> matching;
    std::uint64_t streamStart = 0;
    std::uint32_t streamReports = 0;
    for (std::size_t i = 0; i < wire.commands.size(); ++i) {
        const CommandBytes8 &command = wire.commands[i];
        const std::uint64_t number = wire.commandNumbers[i];
        if (number <= bodyStart)
            continue;
        if (command[0] == code(point.command))
            matching.push_back(number);
        if (command[0] == code(Command::FlashWrite) && streamStart == 0) {
            streamStart = number;
            streamReports = (command[5] | command[6] << 8 | command[7] << 16) / 8u;
        }
    }
    switch (point.which) {
    case Point::Which::Nowhere:
    case Point::Which::Start:
        return bodyStart;
    case Point::Which::First:
    case Point::Which::Middle:
    case Point::Which::Last: {
        EXPECT_FALSE(matching.empty()) << "no report of command " << int(code(point.command));
        if (matching.empty())
            return 0;
        const std::size_t index = point.which == Point::Which::First    ? 0
                                  : point.which == Point::Which::Middle ? matching.size() / 2
                                                                        : matching.size() - 1;
        return matching[index];
    }
    case Point::Which::MidStream:
    case Point::Which::StreamEnd:
        EXPECT_GT(streamReports, 0u) << "no write stream";
        return streamStart + (point.which == Point::Which::MidStream ? streamReports / 2 : streamReports);
    }
    return 0;
}

void inject(SequenceRun &run, Fault fault, std::uint64_t at)
{
    sim::SimTransport &transport = run.transport();
    switch (fault) {
    case None:
    case Absent:
        break;
    case Drop:
        transport.addFault({sim::Fault::Kind::DropReply, at});
        break;
    case DropOne:
        transport.addFault({sim::Fault::Kind::DropReply, at, 1});
        break;
    case Vanish:
        transport.addFault({sim::Fault::Kind::VanishAfter, at});
        break;
    case Garbage:
        transport.addFault({sim::Fault::Kind::GarbageReplies, at});
        break;
    case NeverReady:
        transport.unit().setChecksumNeverReady(true);
        break;
    case WrongSum:
        transport.unit().setChecksumError(1);
        break;
    case Close:
        transport.setTraceSink([&run, at, sent = std::uint64_t{0}](std::string_view line) mutable {
            if (line.starts_with("OUT") && ++sent == at)
                QTimer::singleShot(0, [&run] { run.closeWindow(); });
        });
        break;
    }
}

std::string faultName(Fault fault)
{
    constexpr const char *names[] = {"None",    "Absent",     "Drop",     "DropOne", "Vanish",
                                     "Garbage", "NeverReady", "WrongSum", "Close"};
    return names[static_cast<std::size_t>(fault)];
}

std::string_view commandName(Command command)
{
    switch (command) {
    case Command::StatusPoll:
        return "StatusPoll";
    case Command::FlashWrite:
        return "FlashWrite";
    case Command::PresenceQuery:
        return "PresenceQuery";
    case Command::SectorErase:
        return "SectorErase";
    case Command::BlockErase:
        return "BlockErase";
    case Command::FlashChecksum:
        return "FlashChecksum";
    case Command::MicrocontrollerWrite:
        return "MicrocontrollerWrite";
    case Command::TimingAccess:
        return "TimingAccess";
    case Command::TimingRead:
        return "TimingRead";
    case Command::TimingWrite:
        return "TimingWrite";
    case Command::TimingWriteEnd:
        return "TimingWriteEnd";
    case Command::RemoteKey:
        return "RemoteKey";
    case Command::FrameInfo:
        return "FrameInfo";
    case Command::LineRead:
        return "LineRead";
    case Command::FreezeSet:
        return "FreezeSet";
    case Command::ImageMemory:
        return "ImageMemory";
    }
    return "Unknown";
}

std::string pointName(Point point)
{
    constexpr const char *whichNames[] = {"", "AtStart", "First", "Middle", "Last", "MidStream", "StreamEnd"};
    std::string text = whichNames[static_cast<std::size_t>(point.which)];
    if (point.which >= Point::Which::First && point.which <= Point::Which::Last)
        text += std::string(commandName(point.command));
    return text;
}

std::string rowName(const Row &row)
{
    std::string text = std::string(name(row.sequence)) + "_" + faultName(row.fault);
    if (row.point.which != Point::Which::Nowhere)
        text += "_" + pointName(row.point);
    return text;
}

void PrintTo(const Row &row, std::ostream *out)
{
    *out << rowName(row) << " -> " << name(row.outcome) << ", at most " << row.maxTimeouts << " time-outs";
}

class FaultTable : public testing::TestWithParam<Row> {};

TEST_P(FaultTable, EndsInBoundedTimeUsableAndTrueToWhatHappened)
{
    const Row &row = GetParam();
    std::uint64_t at = 0;
    if (row.point.which != Point::Which::Nowhere) {
        const std::unique_ptr<SequenceRun> faultFree = startRun(row.sequence, true);
        faultFree->drive();
        at = reportAt(faultFree->transport().trace(), faultFree->bodyStart(), row.point);
    }

    const std::unique_ptr<SequenceRun> run = startRun(row.sequence, row.fault != Absent);
    inject(*run, row.fault, at);
    run->drive();
    run->expect(row.outcome);
    RecordProperty("timeouts", run->timeouts());
    EXPECT_LE(run->timeouts(), row.maxTimeouts);
}

INSTANTIATE_TEST_SUITE_P(EveryLongSequence, FaultTable, testing::ValuesIn(Rows),
                         [](const testing::TestParamInfo<Row> &info) { return rowName(info.param); });

} // namespace
} // namespace kdm::hardening
