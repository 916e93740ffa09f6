// A 1 MiB command-file download through kdmtool's main window, live on the
// offscreen platform, on the simulated unit without read time-outs or USB
// pacing: what the program itself costs per data report (event processing
// and the byte-offset text included), and where the whole download spends
// its time. Then a shorter download on a unit paced like full-speed USB: how
// much longer its stream takes than the wire alone needs.
#include "Bench.h"

#include "devicelink/UnitCommands.h"
#include "kdmtool/Form1.h"
#include "sim/SimTransport.h"

#include <QCoreApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>

#include <cstdio>
#include <optional>
#include <random>

namespace kdm::bench {
namespace {

constexpr int ImageBytes = 0x100000;
constexpr int PacedImageBytes = 0x20000; // 16384 data reports: some 16 s of wire time

// Sits between the link and the simulated unit and notes when the phases of
// a download cross the wire, without touching the reports.
class PhaseClock final : public Transport {
public:
    explicit PhaseClock(Transport &unit) : m_unit(unit) {}

    std::vector<std::string> enumerate() override { return m_unit.enumerate(); }
    std::unique_ptr<HidHandle> open(const std::string &path) override
    {
        std::unique_ptr<HidHandle> handle = m_unit.open(path);
        if (!handle)
            return nullptr;
        return std::make_unique<Handle>(*this, std::move(handle));
    }

    Clock::time_point streamStart;   // FlashWrite sent
    Clock::time_point streamEnd;     // last data report sent
    Clock::time_point checksumAsked; // FlashChecksum sent
    Clock::time_point lastPollReply; // the reply that said the sum was ready
    std::uint32_t dataReports = 0;

private:
    class Handle final : public HidHandle {
    public:
        Handle(PhaseClock &clock, std::unique_ptr<HidHandle> unit) : m_clock(clock), m_unit(std::move(unit)) {}
        std::optional<UsbIdentity> identity() const override { return m_unit->identity(); }
        ReportLengths reportLengths() const override { return m_unit->reportLengths(); }
        bool write(std::span<const std::uint8_t> report) override
        {
            const bool written = m_unit->write(report);
            m_clock.wrote(report.subspan(1, 8));
            return written;
        }
        int read(std::span<std::uint8_t> report, std::chrono::milliseconds timeout) override
        {
            const int count = m_unit->read(report, timeout);
            if (count > 0 && m_clock.m_polling)
                m_clock.lastPollReply = Clock::now();
            return count;
        }

    private:
        PhaseClock &m_clock;
        std::unique_ptr<HidHandle> m_unit;
    };

    void wrote(std::span<const std::uint8_t> bytes)
    {
        const Clock::time_point now = Clock::now();
        if (m_dataLeft > 0) {
            ++dataReports;
            if (--m_dataLeft == 0)
                streamEnd = now;
            return;
        }
        if (bytes[0] == code(Command::FlashWrite)) {
            streamStart = now;
            m_dataLeft = (bytes[5] | bytes[6] << 8 | bytes[7] << 16) / 8u;
        } else if (bytes[0] == code(Command::FlashChecksum)) {
            checksumAsked = now;
            m_polling = true;
        }
    }

    Transport &m_unit;
    std::uint32_t m_dataLeft = 0;
    bool m_polling = false;
};

double millisecondsBetween(Clock::time_point from, Clock::time_point to)
{
    return std::chrono::duration<double, std::milli>(to - from).count();
}

struct DownloadFigures {
    double totalMs = 0;
    double eraseMs = 0;
    double streamMs = 0;
    double pollsMs = 0;
    double pausesMs = 0;
    std::uint32_t dataReports = 0;
};

// Writes `bytes` random bytes through Form1's "vomo cmd load" on a simulated
// unit that takes each report `reportInterval` long.
std::optional<DownloadFigures> download(int bytes, std::chrono::microseconds reportInterval)
{
    QTemporaryDir folder;
    const QString path = folder.filePath(QStringLiteral("vomo.cmd"));
    {
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly))
            return std::nullopt;
        std::mt19937 generator(1);
        QByteArray content(bytes, Qt::Uninitialized);
        for (char &byte : content)
            byte = static_cast<char>(generator());
        file.write(content);
    }

    sim::SimTransport::Options options;
    options.realTimeouts = false;
    options.reportInterval = reportInterval;
    sim::SimTransport unit(options);
    unit.setRecordTrace(false);
    PhaseClock wire(unit);
    DeviceLink link(wire, KdmtoolIdentities);
    ui::TickTimer ticks;
    FixedFileDialogs dialogs(path);
    kdmtool::Program program{link, ticks, dialogs, [] {}};
    kdmtool::Form1 form(program);
    form.show();
    QCoreApplication::processEvents();

    const std::chrono::nanoseconds pausedBefore = ticks.pausedTotal();
    const Clock::time_point start = Clock::now();
    form.findChild<QPushButton *>(QStringLiteral("Command10"))->click();
    const Clock::time_point end = Clock::now();

    const QString verdict = form.findChild<QLineEdit *>(QStringLiteral("Text1"))->text();
    if (!verdict.contains(QStringLiteral("Write OK"))) {
        std::fprintf(stderr, "flash: the download did not verify: %s\n", qPrintable(verdict));
        return std::nullopt;
    }
    return DownloadFigures{
        millisecondsBetween(start, end),
        millisecondsBetween(start, wire.streamStart),
        millisecondsBetween(wire.streamStart, wire.streamEnd),
        millisecondsBetween(wire.checksumAsked, wire.lastPollReply),
        std::chrono::duration<double, std::milli>(ticks.pausedTotal() - pausedBefore).count(),
        wire.dataReports,
    };
}

void flashDownload()
{
    const std::optional<DownloadFigures> figures = download(ImageBytes, std::chrono::microseconds(0));
    if (!figures)
        return;
    const double perReportUs = figures->streamMs * 1000.0 / figures->dataReports;
    report("flash_stream_us_per_report", perReportUs, "us");
    report("flash_data_reports", figures->dataReports, "reports");
    report("flash_total_ms", figures->totalMs, "ms");
    report("flash_erase_ms", figures->eraseMs, "ms");
    report("flash_stream_ms", figures->streamMs, "ms");
    report("flash_polls_ms", figures->pollsMs, "ms");
    report("flash_pauses_ms", figures->pausesMs, "ms");
    report("flash_overhead_vs_usb_pct", perReportUs / double(UsbReportInterval.count()) * 100.0, "%");

    // In the stream only data reports cross the wire, each one interval long.
    const std::optional<DownloadFigures> paced = download(PacedImageBytes, UsbReportInterval);
    if (!paced)
        return;
    const double wireMs = double(paced->dataReports) * double(UsbReportInterval.count()) / 1000.0;
    report("flash_paced_stream_ms", paced->streamMs, "ms");
    report("flash_paced_overhead_pct", (paced->streamMs / wireMs - 1.0) * 100.0, "%");
}

KDM_BENCH_SCENARIO("flash", flashDownload);

} // namespace
} // namespace kdm::bench
