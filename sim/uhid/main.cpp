// kdm9-uhid-unit: presents the simulated KDM-9 to this system as a USB HID
// interface through /dev/uhid, until SIGTERM or SIGINT.
//
// Once the kernel has bound the device it prints "ready /dev/hidrawN" on
// standard output. Needs access to /dev/uhid (root, as a rule).
#include "UhidUnit.h"

#include "sim/SimEnvironment.h"

#include <sched.h>
#include <sys/signalfd.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <string_view>
#include <vector>

namespace {

constexpr const char *Usage = "usage: kdm9-uhid-unit [options]\n"
                              "  --identity VVVV:PPPP  USB vendor and product ID, hexadecimal (default 17a7:0002)\n"
                              "  --output-bytes N      output report length in the descriptor, 8 to 255 (default 8)\n"
                              "  --silent              take every report, answer none\n"
                              "  --late-reply N        the answer to output report N (from 1) comes 1500 ms late\n"
                              "  --serial TEXT         serial number of the interface (default kdm9-uhid-PID)\n"
                              "  --trace FILE          one line per event and report: START, OPEN, CLOSE, STOP,\n"
                              "                        READY node, OUT and the bytes received, IN and the bytes sent\n"
                              "  --flash FILE          write the unit's 2 MiB flash to FILE when it stops\n";

int usageError(std::string_view problem)
{
    std::fprintf(stderr, "kdm9-uhid-unit: %.*s\n%s", int(problem.size()), problem.data(), Usage);
    return 2;
}

std::optional<long> number(const char *text, long low, long high)
{
    char *end = nullptr;
    const long value = std::strtol(text, &end, 10);
    if (end == text || *end != '\0' || value < low || value > high)
        return std::nullopt;
    return value;
}

// The kernel keeps only 32 output reports for the process behind uhid and
// drops any more, as a real unit's bus never would: a program streaming
// flash data must not run ahead of the unit. At a real-time priority the
// unit runs as soon as a report is queued, even on a single processor.
void keepUpWithTheWriter()
{
    sched_param priority{};
    priority.sched_priority = sched_get_priority_min(SCHED_FIFO);
    if (sched_setscheduler(0, SCHED_FIFO, &priority) != 0)
        std::perror("kdm9-uhid-unit: no real-time priority, a fast writer may lose reports");
}

bool writeFlash(const char *path, const std::vector<std::uint8_t> &flash)
{
    std::FILE *file = std::fopen(path, "wb");
    if (!file)
        return false;
    const bool written = std::fwrite(flash.data(), 1, flash.size(), file) == flash.size();
    return std::fclose(file) == 0 && written;
}

} // namespace

int main(int argc, char *argv[])
{
    kdm::sim::UhidUnitOptions options;
    const char *traceFile = nullptr;
    const char *flashFile = nullptr;
    for (int i = 1; i < argc; ++i) {
        const std::string_view option = argv[i];
        if (option == "--help") {
            std::fputs(Usage, stdout);
            return 0;
        }
        if (option == "--silent") {
            options.silent = true;
            continue;
        }
        if (i + 1 >= argc)
            return usageError(std::string(option) + " needs a value");
        const char *value = argv[++i];
        if (option == "--identity") {
            const auto identity = kdm::sim::parseIdentity(value);
            if (!identity)
                return usageError("--identity must be VVVV:PPPP");
            options.identity = *identity;
        } else if (option == "--output-bytes") {
            const auto bytes = number(value, kdm::CommandBytes, 0xFF);
            if (!bytes)
                return usageError("--output-bytes must be 8 to 255");
            options.outputBytes = static_cast<int>(*bytes);
        } else if (option == "--late-reply") {
            const auto report = number(value, 1, 1'000'000'000);
            if (!report)
                return usageError("--late-reply must be a report number from 1");
            options.lateReply = static_cast<std::uint64_t>(*report);
        } else if (option == "--serial") {
            options.serial = value;
        } else if (option == "--trace") {
            traceFile = value;
        } else if (option == "--flash") {
            flashFile = value;
        } else {
            return usageError("unknown option " + std::string(option));
        }
    }

    std::FILE *trace = nullptr;
    if (traceFile && !(trace = std::fopen(traceFile, "w"))) {
        std::perror(traceFile);
        return 1;
    }

    // The signals arrive as readable data, so the event loop ends cleanly and
    // the device is destroyed on the way out.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGTERM);
    sigaddset(&stopSignals, SIGINT);
    sigprocmask(SIG_BLOCK, &stopSignals, nullptr);
    const int stopFd = signalfd(-1, &stopSignals, SFD_CLOEXEC);
    if (stopFd < 0) {
        std::perror("signalfd");
        return 1;
    }

    keepUpWithTheWriter();
    int status = 0;
    {
        kdm::sim::UhidUnit unit(options, {
                                             [trace](std::string_view line) {
                                                 if (!trace)
                                                     return;
                                                 std::fprintf(trace, "%.*s\n", int(line.size()), line.data());
                                                 std::fflush(trace);
                                             },
                                             [](const std::string &node) {
                                                 std::printf("ready %s\n", node.c_str());
                                                 std::fflush(stdout);
                                             },
                                         });
        std::optional<kdm::sim::UhidFailure> failure = unit.create();
        if (!failure)
            failure = unit.serve(stopFd);
        if (failure) {
            std::fprintf(stderr, "kdm9-uhid-unit: %s\n", failure->what.c_str());
            status = 1;
        }
        if (flashFile && !writeFlash(flashFile, unit.unit().flash())) {
            std::perror(flashFile);
            status = 1;
        }
    }
    if (trace)
        std::fclose(trace);
    return status;
}
