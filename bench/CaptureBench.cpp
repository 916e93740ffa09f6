// A frame capture through the capture window, live on the offscreen platform,
// from the simulated unit (no read time-outs, no trace kept): host time per
// line report and per frame, line assembly and drawing included, the longest
// stretch without processing window events, and the peak memory after the
// largest frame.
#include "Bench.h"

#include "devicelink/DeviceLink.h"
#include "devicelink/UnitCommands.h"
#include "kdmtool/Form5.h"
#include "kdmtool/FrameCapture.h"
#include "kdmtool/Program.h"
#include "sim/SimTransport.h"
#include "ui/FileDialogs.h"
#include "ui/TickTimer.h"

#include <QAbstractButton>
#include <QCoreApplication>

#include <sys/resource.h>

#include <algorithm>
#include <optional>
#include <string>

namespace kdm::bench {
namespace {

// The longest time the program went without delivering an event while
// watched: how long the user waits at worst for a click to be seen.
class EventGaps : public QObject {
public:
    EventGaps() { QCoreApplication::instance()->installEventFilter(this); }

    void watch(std::optional<Clock::time_point> from) { m_last = from; }
    double longestMs() const { return m_longestMs; }

protected:
    bool eventFilter(QObject *, QEvent *) override
    {
        if (m_last) {
            m_longestMs = std::max(m_longestMs, microsecondsSince(*m_last) / 1000);
            m_last = Clock::now();
        }
        return false;
    }

private:
    std::optional<Clock::time_point> m_last;
    double m_longestMs = 0;
};

struct CaptureFigures {
    double msPerFrame = 0;
    double usPerReport = 0;
    double longestGapMs = 0; // the window's worst wait for its events
    double lineReports = 0;  // input reports of picture data per frame
};

CaptureFigures captureFrames(sim::FrameSize frame, int runs, std::chrono::microseconds reportInterval = {})
{
    sim::SimTransport::Options options;
    options.realTimeouts = false;
    options.reportInterval = reportInterval;
    sim::SimTransport transport(options);
    transport.setRecordTrace(false);
    transport.unit().setInputFrame(frame);
    DeviceLink link(transport, KdmtoolIdentities);
    link.LocateDevice();
    ui::TickTimer ticks;
    ui::QtFileDialogs dialogs; // never shown here
    kdmtool::Program program{link, ticks, dialogs, [] {}};

    kdmtool::Form5 window(program);
    window.show();
    QCoreApplication::processEvents(); // the window's first paint is not the capture's
    auto *capture = window.findChild<QAbstractButton *>(QStringLiteral("Command2"));

    EventGaps gaps;
    std::vector<double> frameMs;
    for (int run = 0; run < runs; ++run) {
        const Clock::time_point start = Clock::now();
        gaps.watch(start);
        capture->click();
        frameMs.push_back(microsecondsSince(start) / 1000);
        gaps.watch(std::nullopt);
    }
    const kdmtool::CaptureGeometry &geometry = program.captureGeometry;
    const double reports = double(kdmtool::reportsPerLine(geometry)) * geometry.CaptureHeight;
    const double ms = median(frameMs);
    return {ms, ms * 1000 / reports, gaps.longestMs(), reports};
}

void frameCapture()
{
    for (const auto &[frame, runs] :
         {std::pair{sim::FrameSize{640, 480}, 9}, std::pair{sim::FrameSize{1984, 1299}, 5}}) {
        const CaptureFigures figures = captureFrames(frame, runs);
        const std::string size = std::to_string(frame.width) + "x" + std::to_string(frame.height);
        report("capture_us_per_report_" + size, figures.usPerReport, "us");
        report("capture_ms_per_frame_" + size, figures.msPerFrame, "ms");
        report("capture_longest_event_gap_ms_" + size, figures.longestGapMs, "ms");
    }
    // On the wire: FrameInfo and its reply, a LineRead and its reports for
    // every line, FreezeSet and its reply, each one interval long.
    const sim::FrameSize pacedFrame{640, 480};
    const CaptureFigures paced = captureFrames(pacedFrame, 1, UsbReportInterval);
    const double wireMs = (2 + pacedFrame.height + paced.lineReports + 2) * double(UsbReportInterval.count()) / 1000.0;
    report("capture_paced_ms_per_frame_640x480", paced.msPerFrame, "ms");
    report("capture_paced_overhead_pct", (paced.msPerFrame / wireMs - 1.0) * 100.0, "%");

    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    report("peak_rss_mib", double(usage.ru_maxrss) / 1024, "MiB"); // ru_maxrss is in KiB on Linux
}

KDM_BENCH_SCENARIO("capture", frameCapture);

} // namespace
} // namespace kdm::bench
