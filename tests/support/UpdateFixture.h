// kdmupdate's program state on the simulated unit, as main() builds it, for
// window tests: read time-outs return at once, dialogs answer from a script,
// and ending the program is only counted.
#pragma once

#include "kdmupdate/Program.h"
#include "devicelink/UnitCommands.h"
#include "sim/SimTransport.h"
#include "support/ScriptedDialogs.h"

namespace kdm::test {

struct UpdateFixture {
    explicit UpdateFixture(sim::SimTransport::Options options)
        : transport([&] {
              options.realTimeouts = false;
              return options;
          }()),
          link(transport, KdmupdateIdentities), program{link, ticks, dialogs, [this] { ++programEnds; }}
    {
    }
    UpdateFixture() : UpdateFixture(sim::SimTransport::Options{}) {}

    sim::SimulatedUnit &unit() { return transport.unit(); }

    sim::SimTransport transport;
    DeviceLink link;
    ui::TickTimer ticks;
    ScriptedDialogs dialogs;
    int programEnds = 0;
    kdmupdate::Program program;
};

} // namespace kdm::test
