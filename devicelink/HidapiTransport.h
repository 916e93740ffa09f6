// The system's HID interfaces through hidapi (hidraw backend on Linux).
//
// Identities come from the opened interface; report lengths from the
// interface's report descriptor, read from sysfs on Linux. When no descriptor
// can be read the lengths fall back to those every KDM-9 has (9 out, 65 in):
// writes are padded to the fallback output length, and reads take whatever
// length the report actually has.
#pragma once

#include "Transport.h"

namespace kdm {

class HidapiTransport final : public Transport {
public:
    HidapiTransport();           // initialises hidapi
    ~HidapiTransport() override; // releases hidapi; every handle must be gone by then

    std::vector<std::string> enumerate() override;
    std::unique_ptr<HidHandle> open(const std::string &path) override;
};

} // namespace kdm
