// Start and end of a program: the device link on the transport chosen for
// the run, and the ways a program ends.
#pragma once

#include "devicelink/DeviceLink.h"

#include <memory>
#include <span>

namespace kdm::sim {
class Simulator;
}

namespace kdm::ui {

// The link on the transport chosen once per run: with KDM9_SIMULATOR=1 the
// simulated unit (configured by the KDM9_SIM_* variables), otherwise the
// system's HID devices.
class UnitConnection {
public:
    explicit UnitConnection(std::span<const UsbIdentity> identities);
    ~UnitConnection(); // the link goes first, then the transport (the simulated flash is written back)

    DeviceLink &link() { return *m_link; }
    sim::Simulator *simulator() { return m_simulator.get(); } // null on real hardware

private:
    std::unique_ptr<sim::Simulator> m_simulator;
    std::unique_ptr<Transport> m_hidTransport;
    std::unique_ptr<DeviceLink> m_link;
};

// Ends the program at once: every window disappears and the event loop ends,
// without any window's close handling. Pending sequences unwind on a link
// whose handles the caller has closed.
void endProgramAtOnce();

// Ends the event loop when the process gets SIGINT or SIGTERM, so that the
// program ends the way its own Exit does (and the simulated flash is saved).
void exitOnTerminationSignals();

} // namespace kdm::ui
