// The benchmark program's scenarios. Each scenario runs on the simulated unit
// (windows live on the offscreen platform when it needs them) and prints its
// figures, one per line, as "name: value unit".
#pragma once

#include "ui/FileDialogs.h"

#include <QDir>

#include <chrono>
#include <string_view>
#include <vector>

namespace kdm::bench {

void report(std::string_view name, double value, std::string_view unit);

using Scenario = void (*)();

// Registers a scenario at start-up; main() runs them in name order, or the
// ones whose names are given on the command line.
struct Registration {
    Registration(const char *name, Scenario scenario);
};

// Median of a sample (the sample is reordered).
double median(std::vector<double> &sample);

using Clock = std::chrono::steady_clock;

inline double microsecondsSince(Clock::time_point start)
{
    return std::chrono::duration<double, std::micro>(Clock::now() - start).count();
}

// Full-speed USB moves one report per millisecond each way on an interrupt endpoint.
inline constexpr std::chrono::microseconds UsbReportInterval{1000};

// File dialogs that always choose the same file, in a temporary documents folder.
class FixedFileDialogs final : public ui::FileDialogs {
public:
    explicit FixedFileDialogs(QString path) : m_path(std::move(path)) {}
    QString documentsFolder() override { return QDir::tempPath(); }
    QString openFile(QWidget *, const ui::FileDialogRequest &) override { return m_path; }
    QString saveFile(QWidget *, const ui::FileDialogRequest &) override { return m_path; }

private:
    QString m_path;
};

} // namespace kdm::bench

#define KDM_BENCH_SCENARIO(name, function)                                                                             \
    static const ::kdm::bench::Registration function##Registration(name, function)
