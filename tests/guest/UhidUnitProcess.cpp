#include "UhidUnitProcess.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <thread>

extern char **environ;

namespace kdm::test {

namespace {

using Clock = std::chrono::steady_clock;

// Creating the device and binding it takes a few milliseconds; far longer
// under software emulation with other work going on.
constexpr std::chrono::seconds StartLimit{20};

} // namespace

UhidUnitProcess::UhidUnitProcess(std::vector<std::string> options)
{
    char folder[] = "/tmp/kdm9-uhid-unit.XXXXXX";
    if (!::mkdtemp(folder)) {
        m_error = std::string("mkdtemp: ") + std::strerror(errno);
        return;
    }
    m_folder = folder;
    m_traceFile = m_folder + "/trace";

    std::vector<std::string> arguments{KDM_UHID_UNIT_PROGRAM, "--trace", m_traceFile};
    arguments.insert(arguments.end(), options.begin(), options.end());
    std::vector<char *> argv;
    for (std::string &argument : arguments)
        argv.push_back(argument.data());
    argv.push_back(nullptr);

    int out[2];
    if (::pipe2(out, O_CLOEXEC) != 0) {
        m_error = std::string("pipe: ") + std::strerror(errno);
        return;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
    const int spawned = ::posix_spawn(&m_pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(out[1]);
    if (spawned != 0) {
        m_pid = -1;
        ::close(out[0]);
        m_error = std::string("cannot start ") + argv[0] + ": " + std::strerror(spawned);
        return;
    }

    // The unit says "ready /dev/hidrawN" once the kernel has bound it.
    std::string said;
    const Clock::time_point deadline = Clock::now() + StartLimit;
    while (said.find('\n') == std::string::npos) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        pollfd fd{out[0], POLLIN, 0};
        if (left.count() <= 0 || ::poll(&fd, 1, static_cast<int>(left.count())) <= 0) {
            m_error = "the unit did not become ready in time";
            break;
        }
        char buffer[128];
        const ssize_t got = ::read(out[0], buffer, sizeof buffer);
        if (got <= 0) {
            m_error = "the unit ended before it was ready";
            break;
        }
        said.append(buffer, static_cast<std::size_t>(got));
    }
    ::close(out[0]);
    const std::string_view prefix = "ready ";
    if (m_error.empty() && said.rfind(prefix, 0) == 0)
        m_node = said.substr(prefix.size(), said.find('\n') - prefix.size());
    else if (m_error.empty())
        m_error = "the unit said: " + said;
}

UhidUnitProcess::~UhidUnitProcess()
{
    stop();
    if (!m_folder.empty()) {
        std::error_code ignored;
        std::filesystem::remove_all(m_folder, ignored);
    }
}

std::vector<std::string> UhidUnitProcess::trace() const
{
    std::vector<std::string> lines;
    std::ifstream file(m_traceFile);
    for (std::string line; std::getline(file, line);)
        lines.push_back(line);
    return lines;
}

std::vector<std::string> UhidUnitProcess::traceLines(std::string_view prefix) const
{
    std::vector<std::string> lines;
    for (std::string &line : trace()) {
        if (line.rfind(prefix, 0) == 0)
            lines.push_back(std::move(line));
    }
    return lines;
}

std::vector<std::string> UhidUnitProcess::openings() const
{
    std::vector<std::string> lines = trace();
    std::erase_if(lines, [](const std::string &line) { return line != "OPEN" && line != "CLOSE"; });
    return lines;
}

bool UhidUnitProcess::waitForTrace(std::string_view prefix, std::chrono::milliseconds limit) const
{
    const Clock::time_point deadline = Clock::now() + limit;
    while (traceLines(prefix).empty()) {
        if (Clock::now() > deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return true;
}

int UhidUnitProcess::stop()
{
    if (m_pid < 0)
        return -1;
    ::kill(m_pid, SIGTERM);
    int status = 0;
    while (::waitpid(m_pid, &status, 0) < 0 && errno == EINTR) {
    }
    m_pid = -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

} // namespace kdm::test
