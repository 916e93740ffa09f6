// kdmtool's program state on the simulated unit, as main() builds it, for
// window tests: read time-outs return at once, dialogs answer from a script,
// and ending the program is only counted.
#pragma once

#include "kdmtool/Program.h"
#include "devicelink/UnitCommands.h"
#include "sim/SimTransport.h"
#include "support/ScriptedDialogs.h"

namespace kdm::test {

inline sim::SimTransport::Options quickSimulatedUnit(bool present = true)
{
    sim::SimTransport::Options options;
    options.realTimeouts = false;
    options.present = present;
    return options;
}

struct ToolFixture {
    explicit ToolFixture(bool unitPresent = true)
        : transport(quickSimulatedUnit(unitPresent)),
          link(transport, KdmtoolIdentities), program{link, ticks, dialogs, [this] { ++programEnds; }}
    {
    }

    sim::SimulatedUnit &unit() { return transport.unit(); }

    sim::SimTransport transport;
    DeviceLink link;
    ui::TickTimer ticks;
    ScriptedDialogs dialogs;
    int programEnds = 0;
    kdmtool::Program program;
};

} // namespace kdm::test
