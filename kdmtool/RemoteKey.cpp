#include "RemoteKey.h"

#include "devicelink/UnitCommands.h"

namespace kdmtool {

void pressRemoteKey(kdm::DeviceLink &link, std::uint8_t keyCode)
{
    link.CommandReport[0] = kdm::code(kdm::Command::RemoteKey);
    link.CommandReport[1] = keyCode;
    link.SendOutputReport(link.CommandReport);
    link.ReceiveInputReport();
}

} // namespace kdmtool
