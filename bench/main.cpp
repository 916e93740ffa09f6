// Runs the benchmark scenarios and prints their figures.
//   kdm9-bench            every scenario
//   kdm9-bench link flash only the scenarios named
#include "Bench.h"

#include <QApplication>

#include <algorithm>
#include <cstdio>
#include <map>
#include <string>

namespace kdm::bench {

namespace {

std::map<std::string, Scenario> &scenarios()
{
    static std::map<std::string, Scenario> registered;
    return registered;
}

} // namespace

Registration::Registration(const char *name, Scenario scenario)
{
    scenarios().emplace(name, scenario);
}

void report(std::string_view name, double value, std::string_view unit)
{
    std::printf("%.*s: %.3f %.*s\n", int(name.size()), name.data(), value, int(unit.size()), unit.data());
    std::fflush(stdout);
}

double median(std::vector<double> &sample)
{
    if (sample.empty())
        return 0;
    const auto middle = sample.begin() + static_cast<std::ptrdiff_t>(sample.size() / 2);
    std::nth_element(sample.begin(), middle, sample.end());
    return *middle;
}

} // namespace kdm::bench

int main(int argc, char *argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);

    int unknown = 0;
    for (int i = 1; i < argc; ++i) {
        if (!kdm::bench::scenarios().count(argv[i])) {
            std::fprintf(stderr, "no scenario named %s\n", argv[i]);
            ++unknown;
        }
    }
    if (unknown)
        return 2;
    for (const auto &[name, scenario] : kdm::bench::scenarios()) {
        if (argc > 1 && std::none_of(argv + 1, argv + argc, [&](const char *wanted) { return name == wanted; }))
            continue;
        scenario();
    }
    return 0;
}
