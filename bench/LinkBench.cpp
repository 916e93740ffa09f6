// One command and its reply through the link, on the simulated unit: what the
// link itself adds to every exchange.
#include "Bench.h"

#include "devicelink/DeviceLink.h"
#include "devicelink/UnitCommands.h"
#include "sim/SimTransport.h"

namespace kdm::bench {
namespace {

void linkExchange()
{
    sim::SimTransport::Options options;
    options.realTimeouts = false;
    sim::SimTransport transport(options);
    transport.setRecordTrace(false);
    DeviceLink link(transport, KdmtoolIdentities);
    link.LocateDevice();

    std::vector<double> sample;
    for (int i = 0; i < 20000; ++i) {
        const Clock::time_point start = Clock::now();
        link.CommandReport[0] = code(Command::RemoteKey);
        link.CommandReport[1] = static_cast<std::uint8_t>(i);
        link.SendOutputReport(link.CommandReport);
        link.ReceiveInputReport();
        sample.push_back(microsecondsSince(start));
    }
    report("link_exchange_us", median(sample), "us");
}

KDM_BENCH_SCENARIO("link", linkExchange);

} // namespace
} // namespace kdm::bench
