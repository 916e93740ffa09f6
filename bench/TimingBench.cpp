// The timing window on the simulated unit with the real 10 ms ticks and USB
// pacing: how long its opening (ten reads, three ticks after each) and a file
// load (nineteen writes, three ticks after each) keep the user waiting.
#include "Bench.h"

#include "devicelink/UnitCommands.h"
#include "kdmtool/Form6.h"
#include "sim/SimTransport.h"

#include <QPushButton>
#include <QTemporaryDir>
#include <QCoreApplication>

namespace kdm::bench {
namespace {

void waitWhileLoading(const kdmtool::Form6 &window)
{
    while (window.isLoading())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
}

void timingWindow()
{
    sim::SimTransport::Options options;
    options.realTimeouts = false;
    options.reportInterval = std::chrono::milliseconds(1);
    sim::SimTransport transport(options);
    transport.setRecordTrace(false);
    DeviceLink link(transport, KdmtoolIdentities);
    link.LocateDevice();
    ui::TickTimer ticks;
    QTemporaryDir folder;
    FixedFileDialogs dialogs(folder.filePath(QStringLiteral("vomo5_syc.bin")));
    kdmtool::Program program{link, ticks, dialogs, [] {}};

    std::vector<double> opening;
    std::vector<double> loading;
    for (int run = 0; run < 5; ++run) {
        auto *window = new kdmtool::Form6(program);
        Clock::time_point start = Clock::now();
        window->show();
        waitWhileLoading(*window);
        opening.push_back(microsecondsSince(start) / 1000);

        window->findChild<QPushButton *>(QStringLiteral("Command1"))->click(); // save
        start = Clock::now();
        window->findChild<QPushButton *>(QStringLiteral("Command2"))->click(); // load it back
        waitWhileLoading(*window);
        loading.push_back(microsecondsSince(start) / 1000);
        window->close();
        delete window;
    }
    report("timing_load_ms", median(opening), "ms");
    report("timing_file_load_ms", median(loading), "ms");
}

KDM_BENCH_SCENARIO("timing", timingWindow);

} // namespace
} // namespace kdm::bench
