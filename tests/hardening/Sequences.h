// The long sequences of both programs, each driven through the real windows
// on a simulated unit, and what each may end in.
#pragma once

#include "devicelink/DeviceLink.h"
#include "flash/FlashDownload.h"
#include "sim/SimTransport.h"
#include "ui/TickTimer.h"

#include <cstdint>
#include <memory>
#include <string_view>

namespace kdm::hardening {

enum class Sequence {
    Startup,       // kdmtool's main window finds the unit
    TimingWindow,  // the timing window opens (reads the block) and closes
    TimingLoad,    // a timing data file is loaded into the open timing window
    Capture,       // the capture window loads and captures a 200 x 150 frame
    Rec,           // REC records into the first free slot
    RemoteKeys,    // three keys of the remote control panel
    CommandFile,   // kdmtool's command-file download of a 40000-byte file
    Presence,      // kdmupdate's start-up presence check
    UpdatePackage, // a hex-record image with the microcontroller write, then a plain image
};

std::string_view name(Sequence sequence);

// What a sequence ends in, as its windows show it and the unit holds it.
enum class Outcome {
    Connected,      // start-up: "Connect", the four buttons enabled
    NotConnected,   // start-up: "No Connect", the four buttons disabled
    ShowsTheUnit,   // timing window: bars show the unit's block, everything enabled
    ReadOnly,       // timing window: a reply of the opening was lost, nothing offered that writes or saves
    ShowsWhatCame,  // timing window: bars show what the replies carried (garbage cannot be told apart)
    Loaded,         // timing load: bars show the file, the unit holds it and got TimingWriteEnd
    LoadedUnitGone, // timing load: bars show the file (the load ran to its end); the unit went before the end
    Captured,       // capture: the size text, every line read, save offered
    Refused,        // capture: the no-picture text, no line read, nothing to save
    Abandoned,      // capture: the no-picture text, the transfer ended early
    FpgaMessage,    // capture window load: the FPGA text, capture and REC disabled
    Recorded,       // REC: slot 1 marked used and recorded by the unit
    RecordLost,     // REC: slot 1 marked used, the unit went before it recorded
    AllKeys,        // remote keys: the unit took all three
    KeysUntilGone,  // remote keys: the unit took those before it went
    WriteOk,        // download: the success verdict, the flash holds the file
    WriteError,     // download: a "Write error" verdict
    NoAnswer,       // download: the "Write error" verdict for a checksum never ready
    Recognised,     // presence: recognised, Update enabled
    NotRecognised,  // presence: not recognised, Update disabled
    Finished,       // update: the normal-end text, both images written, the microcontroller write offered
    FailedAtFirst,  // update: the write-error text naming the first image, the second never written,
                    // no microcontroller write offered
    ClosedMidway,   // the window was closed during the sequence: it ended at its next safe point,
                    // sent what ends it properly, and claims nothing it did not do
};

std::string_view name(Outcome outcome);

// One run of a sequence on a fresh simulated unit whose time is counted as a
// unit's would pass: every link time-out costs 1 s and every tick of the main
// window's timer 10 ms. The flash downloads wait for the checksum on that clock.
class SequenceRun {
public:
    virtual ~SequenceRun() = default;

    // Runs the sequence through its windows to its end.
    virtual void drive() = 0;
    // Checks what the windows show and the unit holds against `outcome`, the
    // buttons' state, and that the windows still answer (a further click,
    // closing). Reports failures through GoogleTest.
    virtual void expect(Outcome outcome) = 0;

    // Closes the window the sequence runs in, as its close box does; called
    // from the event loop while the sequence runs.
    virtual void closeWindow();

    virtual sim::SimTransport &transport() = 0;

    // Output reports sent before the sequence proper began (while its windows
    // were set up): its own reports are numbered from bodyStart() + 1.
    std::uint64_t bodyStart() const { return m_bodyStart; }

    // Receives that waited out the link's time-out.
    int timeouts() const { return m_timeouts; }

protected:
    void markBodyStart();
    // Counts the link's time-outs and the timer's ticks; the checksum wait of
    // the flash downloads to hand to the program.
    flash::ChecksumWait countTime(DeviceLink &link, ui::TickTimer &ticks);

private:
    std::uint64_t m_bodyStart = 0;
    int m_timeouts = 0;
    int m_ticks = 0;
};

std::unique_ptr<SequenceRun> startRun(Sequence sequence, bool unitPresent);

} // namespace kdm::hardening
