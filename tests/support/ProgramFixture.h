// A program's state on the simulated unit, as its main() builds it, for window
// tests: read time-outs return at once, dialogs answer from a script, and
// ending the program is only counted.
#pragma once

#include "devicelink/UnitCommands.h"
#include "kdmtool/Program.h"
#include "kdmupdate/Program.h"
#include "sim/SimTransport.h"
#include "support/ScriptedDialogs.h"

#include <span>

namespace kdm::test {

inline sim::SimTransport::Options quickSimulatedUnit(bool present = true)
{
    sim::SimTransport::Options options;
    options.realTimeouts = false;
    options.present = present;
    return options;
}

template <typename ProgramState>
struct ProgramFixture {
    ProgramFixture(std::span<const UsbIdentity> identities, sim::SimTransport::Options options)
        : transport([&] {
              options.realTimeouts = false;
              return options;
          }()),
          link(transport, identities), program{link, ticks, dialogs, [this] { ++programEnds; }}
    {
    }

    sim::SimulatedUnit &unit() { return transport.unit(); }

    sim::SimTransport transport;
    DeviceLink link;
    ui::TickTimer ticks;
    ScriptedDialogs dialogs;
    int programEnds = 0;
    ProgramState program;
};

// kdmtool, with or without a unit.
struct ToolFixture : ProgramFixture<kdmtool::Program> {
    explicit ToolFixture(bool unitPresent = true)
        : ProgramFixture(KdmtoolIdentities, quickSimulatedUnit(unitPresent))
    {
    }
};

// kdmupdate, on a unit set up as `options` say.
struct UpdateFixture : ProgramFixture<kdmupdate::Program> {
    explicit UpdateFixture(sim::SimTransport::Options options = {}) : ProgramFixture(KdmupdateIdentities, options) {}
};

} // namespace kdm::test
