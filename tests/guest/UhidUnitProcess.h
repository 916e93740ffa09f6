// A kdm9-uhid-unit process for tests that run inside the guest: started with
// the given options, it presents one simulated KDM-9 through /dev/uhid until
// the test stops it. Its trace (START, OPEN, CLOSE, OUT and IN lines) tells
// what the unit saw and sent.
#pragma once

#include <chrono>
#include <string>
#include <string_view>
#include <vector>

#include <sys/types.h>

namespace kdm::test {

class UhidUnitProcess {
public:
    // Starts the unit and waits until the kernel has bound it; ready() tells
    // whether it came up, error() why not.
    explicit UhidUnitProcess(std::vector<std::string> options = {});
    ~UhidUnitProcess(); // stops the unit
    UhidUnitProcess(const UhidUnitProcess &) = delete;
    UhidUnitProcess &operator=(const UhidUnitProcess &) = delete;

    bool ready() const { return !m_node.empty(); }
    const std::string &error() const { return m_error; }
    const std::string &node() const { return m_node; } // "/dev/hidrawN"

    // The unit traces each event when it takes it from the kernel, a moment
    // after it happened: a line that is not there yet may still come. An
    // exchange with the unit orders the trace (the kernel's events reach the
    // unit in order), and after stop() the trace is complete.
    std::vector<std::string> trace() const;
    // Lines of the trace that start with `prefix`.
    std::vector<std::string> traceLines(std::string_view prefix) const;
    // The OPEN and CLOSE lines: the first program opening the interface and
    // the last one closing it.
    std::vector<std::string> openings() const;
    // Waits until a trace line starts with `prefix`; false when none did in time.
    bool waitForTrace(std::string_view prefix, std::chrono::milliseconds limit) const;

    // Stops the unit with SIGTERM once it has taken every event queued so
    // far; its exit status (0: the device was destroyed cleanly).
    int stop();

private:
    pid_t m_pid = -1;
    std::string m_folder;
    std::string m_traceFile;
    std::string m_node;
    std::string m_error;
};

} // namespace kdm::test
