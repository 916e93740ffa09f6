// The command reports a test sent to the simulated unit, read from its trace.
#pragma once

#include "sim/SimTransport.h"

#include <algorithm>
#include <vector>

namespace kdm::test {

// The eight bytes of every output report, in the order sent.
inline std::vector<CommandBytes8> sentReports(const sim::SimTransport &transport)
{
    std::vector<CommandBytes8> reports;
    for (const sim::TraceEntry &entry : transport.trace()) {
        if (!entry.out)
            continue;
        CommandBytes8 bytes{};
        std::copy_n(entry.bytes.begin(), bytes.size(), bytes.begin());
        reports.push_back(bytes);
    }
    return reports;
}

// The reports with the given command code.
inline std::vector<CommandBytes8> sentReports(const sim::SimTransport &transport, Command command)
{
    std::vector<CommandBytes8> reports = sentReports(transport);
    std::erase_if(reports, [&](const CommandBytes8 &report) { return report[0] != code(command); });
    return reports;
}

} // namespace kdm::test
