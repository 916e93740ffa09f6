#include "ScriptedTransport.h"

#include <algorithm>

namespace kdm::test {

class ScriptedTransport::Handle final : public HidHandle {
public:
    Handle(ScriptedTransport &transport, const ScriptedInterface &interface)
        : m_transport(transport), m_interface(interface)
    {
        ++m_transport.m_openHandles;
    }
    ~Handle() override { --m_transport.m_openHandles; }

    std::optional<UsbIdentity> identity() const override { return m_interface.identity; }
    ReportLengths reportLengths() const override { return m_interface.lengths; }

    bool write(std::span<const std::uint8_t> report) override
    {
        if (m_transport.unplugged)
            return false;
        m_transport.writes.emplace_back(report.begin(), report.end());
        if (m_transport.onWrite)
            m_transport.onWrite(m_transport.writes.back());
        return true;
    }

    int read(std::span<std::uint8_t> report, std::chrono::milliseconds timeout) override
    {
        m_transport.readTimeouts.push_back(timeout);
        if (m_transport.unplugged)
            return -1;
        if (m_transport.replies.empty())
            return 0;
        const std::vector<std::uint8_t> reply = m_transport.replies.front();
        m_transport.replies.pop_front();
        const std::size_t count = std::min(reply.size(), report.size());
        std::copy_n(reply.begin(), count, report.begin());
        return static_cast<int>(count);
    }

private:
    ScriptedTransport &m_transport;
    ScriptedInterface m_interface;
};

std::vector<std::string> ScriptedTransport::enumerate()
{
    ++enumerations;
    std::vector<std::string> paths;
    for (const ScriptedInterface &interface : interfaces)
        paths.push_back(interface.path);
    return paths;
}

std::unique_ptr<HidHandle> ScriptedTransport::open(const std::string &path)
{
    opens.push_back(path);
    auto found = std::find_if(interfaces.begin(), interfaces.end(),
                              [&](const ScriptedInterface &interface) { return interface.path == path; });
    if (found == interfaces.end() || found->opensAllowed == 0)
        return nullptr;
    if (found->opensAllowed > 0)
        --found->opensAllowed;
    return std::make_unique<Handle>(*this, *found);
}

} // namespace kdm::test
