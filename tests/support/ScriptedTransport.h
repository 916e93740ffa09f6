// A transport whose interfaces and unit behaviour a test writes down, for the
// rules of the device link.
#pragma once

#include "devicelink/Transport.h"

#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace kdm::test {

struct ScriptedInterface {
    std::string path;
    std::optional<UsbIdentity> identity; // nullopt: attributes cannot be read
    int opensAllowed = -1;               // -1: any number; 0: cannot be opened for read/write
    ReportLengths lengths{65, 9};
};

class ScriptedTransport final : public Transport {
public:
    std::vector<ScriptedInterface> interfaces;

    // What the link did.
    int enumerations = 0;
    std::vector<std::string> opens; // every open attempt, by path
    std::vector<std::vector<std::uint8_t>> writes;
    std::vector<std::chrono::milliseconds> readTimeouts;

    // What the unit does. Replies wait in `replies`; `onWrite` may add some.
    std::deque<std::vector<std::uint8_t>> replies;
    std::function<void(const std::vector<std::uint8_t> &)> onWrite;
    bool unplugged = false; // writes fail and reads report a failed interface

    int openHandles() const { return m_openHandles; }

    std::vector<std::string> enumerate() override;
    std::unique_ptr<HidHandle> open(const std::string &path) override;

private:
    class Handle;
    int m_openHandles = 0;
};

} // namespace kdm::test
