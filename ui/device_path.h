#pragma once
// Serial devices the port list does not show (a pseudo-terminal from socat or
// ser2net, an rfcomm link, a /dev/serial/by-id name) are entered by path, a
// port that ser2net serves on another machine by its rfc2217:// address.
#include <string>

namespace qv::ui {

struct DevicePathCheck {
  bool ok = false;
  std::string path;     // the path to offer in the port list (absolute)
  std::string message;  // why it was refused (UTF-8), empty when ok
};

// Accepts an existing character device, or a port served over the network
// as rfc2217://HOST:PORT (checked for its form only: it is reached when
// opened). A bare name ("ttyUSB0") means the device of that name under /dev.
DevicePathCheck CheckDevicePath(const std::string& entered);

}  // namespace qv::ui
