#include "UhidUnit.h"

#include "sim/SimTransport.h"
#include "sim/UnitDescriptor.h"

#include <linux/uhid.h>

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>

namespace kdm::sim {

namespace {

using Clock = std::chrono::steady_clock;

// After UHID_START the kernel still has to register the hidraw node.
constexpr std::chrono::milliseconds NodeSearchInterval{10};
constexpr std::chrono::seconds NodeSearchLimit{10};

template <std::size_t N> void copyText(std::uint8_t (&field)[N], const std::string &text)
{
    std::memset(field, 0, N);
    std::memcpy(field, text.data(), std::min(text.size(), N - 1));
}

std::string systemError(const char *what)
{
    return std::string(what) + ": " + std::strerror(errno);
}

// The hidraw node whose HID interface carries `serial`.
std::optional<std::string> hidrawNodeWithSerial(const std::string &serial)
{
    std::error_code error;
    for (const auto &entry : std::filesystem::directory_iterator("/sys/class/hidraw", error)) {
        std::ifstream uevent(entry.path() / "device" / "uevent");
        for (std::string line; std::getline(uevent, line);) {
            if (line == "HID_UNIQ=" + serial) {
                const std::string node = "/dev/" + entry.path().filename().string();
                if (std::filesystem::exists(node, error))
                    return node;
            }
        }
    }
    return std::nullopt;
}

} // namespace

UhidUnit::UhidUnit(UhidUnitOptions options, Sinks sinks) : m_options(std::move(options)), m_sinks(std::move(sinks))
{
    if (m_options.serial.empty())
        m_options.serial = "kdm9-uhid-" + std::to_string(::getpid());
}

UhidUnit::~UhidUnit()
{
    if (m_fd < 0)
        return;
    uhid_event event{};
    event.type = UHID_DESTROY;
    (void)send(event);
    ::close(m_fd);
}

std::optional<UhidFailure> UhidUnit::create()
{
    m_fd = ::open("/dev/uhid", O_RDWR | O_CLOEXEC);
    if (m_fd < 0)
        return UhidFailure{systemError("/dev/uhid")};

    const std::vector<std::uint8_t> descriptor = unitReportDescriptor(m_options.outputBytes);
    uhid_event event{};
    event.type = UHID_CREATE2;
    auto &create = event.u.create2;
    copyText(create.name, "KDM-9");
    copyText(create.phys, "kdm9-uhid");
    copyText(create.uniq, m_options.serial);
    create.rd_size = static_cast<std::uint16_t>(descriptor.size());
    create.bus = BUS_USB;
    create.vendor = m_options.identity.vendorId;
    create.product = m_options.identity.productId;
    std::copy(descriptor.begin(), descriptor.end(), create.rd_data);
    if (!send(event)) {
        const std::string what = systemError("UHID_CREATE2");
        ::close(m_fd);
        m_fd = -1;
        return UhidFailure{what};
    }
    return std::nullopt;
}

std::optional<UhidFailure> UhidUnit::serve(int stopFd)
{
    for (;;) {
        pollfd fds[] = {{m_fd, POLLIN, 0}, {stopFd, POLLIN, 0}};
        if (::poll(fds, 2, nextWakeupMs()) < 0) {
            if (errno == EINTR)
                continue;
            return UhidFailure{systemError("poll")};
        }
        if (fds[1].revents != 0)
            return takeQueuedEvents();
        if (fds[0].revents & POLLIN) {
            if (auto failure = takeEvent())
                return failure;
        } else if (fds[0].revents & (POLLERR | POLLHUP | POLLNVAL)) {
            return UhidFailure{"/dev/uhid failed"};
        }
        sendDueReplies();
        announceWhenBound();
        if (m_startedAt && !m_announced && Clock::now() - *m_startedAt > NodeSearchLimit)
            return UhidFailure{"no hidraw node appeared for serial " + m_options.serial};
    }
}

std::optional<UhidFailure> UhidUnit::takeEvent()
{
    uhid_event event{};
    const ssize_t got = ::read(m_fd, &event, sizeof event);
    if (got < 0 && errno != EINTR && errno != EAGAIN)
        return UhidFailure{systemError("reading /dev/uhid")};
    if (got > 0)
        handle(event);
    return std::nullopt;
}

// Whatever the kernel queued before the stop is still taken (and traced), so
// that the trace is complete up to the moment the unit was told to stop.
std::optional<UhidFailure> UhidUnit::takeQueuedEvents()
{
    pollfd fd{m_fd, POLLIN, 0};
    while (::poll(&fd, 1, 0) > 0 && (fd.revents & POLLIN)) {
        if (auto failure = takeEvent())
            return failure;
    }
    return std::nullopt;
}

void UhidUnit::handle(const uhid_event &event)
{
    switch (event.type) {
    case UHID_START:
        m_started = true;
        if (!m_startedAt)
            m_startedAt = Clock::now();
        trace("START");
        break;
    case UHID_STOP:
        m_started = false;
        trace("STOP");
        break;
    case UHID_OPEN:
        trace("OPEN");
        break;
    case UHID_CLOSE:
        trace("CLOSE");
        break;
    case UHID_OUTPUT:
        if (event.u.output.rtype == UHID_OUTPUT_REPORT)
            takeOutput(event.u.output.data, std::min<std::size_t>(event.u.output.size, UHID_DATA_MAX));
        break;
    case UHID_GET_REPORT:
    case UHID_SET_REPORT:
        refuseReportRequest(event);
        break;
    default:
        break;
    }
}

void UhidUnit::takeOutput(const std::uint8_t *data, std::size_t size)
{
    // hidraw hands over the report ID 0 in front of a report of a unit
    // without report IDs; the USB HID driver does not send it, so neither
    // does the unit receive it.
    if (size > 0 && data[0] == 0) {
        ++data;
        --size;
    }
    ++m_reportsReceived;
    trace(traceLine(TraceEntry{true, std::vector<std::uint8_t>(data, data + size)}));

    CommandBytes8 command{};
    std::copy_n(data, std::min(size, command.size()), command.begin());
    const std::vector<InputPayload> replies = m_unit.receive(command);
    if (m_options.silent)
        return;
    const Clock::time_point due =
        Clock::now() + (m_reportsReceived == m_options.lateReply ? LateBy : Clock::duration::zero());
    for (const InputPayload &reply : replies)
        m_pending.push_back(PendingReply{due, reply});
}

// The unit has no feature reports and takes no output report through the
// control pipe; the kernel waits for an answer, so it gets a refusal at once.
void UhidUnit::refuseReportRequest(const uhid_event &request)
{
    uhid_event reply{};
    if (request.type == UHID_GET_REPORT) {
        reply.type = UHID_GET_REPORT_REPLY;
        reply.u.get_report_reply.id = request.u.get_report.id;
        reply.u.get_report_reply.err = EIO;
    } else {
        reply.type = UHID_SET_REPORT_REPLY;
        reply.u.set_report_reply.id = request.u.set_report.id;
        reply.u.set_report_reply.err = EIO;
    }
    if (!send(reply))
        trace(systemError("report request reply refused"));
}

// Replies go out in order, each no earlier than it is due; a late one holds
// back those behind it, as a busy unit would.
void UhidUnit::sendDueReplies()
{
    while (m_started && !m_pending.empty() && m_pending.front().due <= Clock::now()) {
        const InputPayload payload = m_pending.front().payload;
        m_pending.pop_front();
        uhid_event event{};
        event.type = UHID_INPUT2;
        event.u.input2.size = ReplyPayloadBytes;
        std::copy(payload.begin(), payload.end(), event.u.input2.data);
        if (send(event))
            trace(traceLine(TraceEntry{false, std::vector<std::uint8_t>(payload.begin(), payload.end())}));
        else
            trace(systemError("input report refused"));
    }
}

void UhidUnit::announceWhenBound()
{
    if (!m_started || m_announced)
        return;
    if (const std::optional<std::string> node = hidrawNodeWithSerial(m_options.serial)) {
        m_announced = true;
        trace("READY " + *node);
        if (m_sinks.ready)
            m_sinks.ready(*node);
    }
}

int UhidUnit::nextWakeupMs() const
{
    using std::chrono::duration_cast;
    using std::chrono::milliseconds;
    if (m_started && !m_announced)
        return static_cast<int>(NodeSearchInterval.count());
    if (!m_started || m_pending.empty())
        return -1;
    const auto wait = duration_cast<milliseconds>(m_pending.front().due - Clock::now()).count();
    return static_cast<int>(std::max<long long>(wait + 1, 0));
}

bool UhidUnit::send(const uhid_event &event)
{
    return ::write(m_fd, &event, sizeof event) == static_cast<ssize_t>(sizeof event);
}

void UhidUnit::trace(std::string_view line) const
{
    if (m_sinks.trace)
        m_sinks.trace(line);
}

} // namespace kdm::sim
