// The simulated unit as a program meets it: configured from the environment,
// with its trace file and its flash kept in a file across runs.
//
//   KDM9_SIMULATOR=1          use the simulated unit instead of the system's HID devices
//   KDM9_SIM_TRACE=FILE       append one line per report crossing the wire
//   KDM9_SIM_FLASH=FILE       2 MiB flash image, loaded at start (created erased
//                             if missing) and written back when the program ends
//   KDM9_SIM_FRAME=WxH        input frame size; 0x0 means no input picture
//   KDM9_SIM_FPGA=N           FPGA selection reported by FrameInfo (2 = B2)
//   KDM9_SIM_IDENTITY=VVVV:PPPP  USB identity presented, hexadecimal
#pragma once

#include "SimTransport.h"

#include <fstream>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace kdm::sim {

// True when KDM9_SIMULATOR is set to 1.
bool simulatorRequested();

struct SimSettings {
    SimTransport::Options options;
    FrameSize frame = SimulatedUnit::DefaultFrame;
    std::uint8_t fpgaSelection = SimulatedUnit::FpgaB2;
    std::string traceFile;
    std::string flashFile;
    std::vector<std::string> warnings; // settings that could not be taken, and why
};

// Reads the KDM9_SIM_* variables; a value that cannot be read keeps its default
// and adds a warning. `lookup` stands in for getenv in tests.
SimSettings settingsFromEnvironment(const std::function<const char *(const char *)> &lookup);
SimSettings settingsFromEnvironment();

// "640x480" -> {640, 480}; nullopt for anything else.
std::optional<FrameSize> parseFrameSize(std::string_view text);
// "17a7:0002" -> identity; nullopt for anything else.
std::optional<UsbIdentity> parseIdentity(std::string_view text);

class Simulator {
public:
    explicit Simulator(SimSettings settings);
    ~Simulator(); // writes the flash file back
    Simulator(const Simulator &) = delete;
    Simulator &operator=(const Simulator &) = delete;

    SimTransport &transport() { return m_transport; }
    const std::vector<std::string> &warnings() const { return m_settings.warnings; }

    // Writes the flash to KDM9_SIM_FLASH now (through a temporary file, so a
    // crash in the middle never leaves a half-written image). False on failure.
    bool saveFlash();

private:
    void loadFlash();

    SimSettings m_settings;
    SimTransport m_transport;
    std::ofstream m_trace;
    bool m_flashFileUsable = false;
};

} // namespace kdm::sim
