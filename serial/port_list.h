#pragma once
// Which serial devices this machine has, and where a port name is opened.
#include <string>
#include <vector>

#include "lang/translate.h"
#include "serial/rfc2217_port.h"

namespace qv {

// The name under which the built-in simulated drive is offered.
inline constexpr const char* kSimPortName = "SIM";
// What the program says wherever the simulated drive could pass for a real one
// (marked only: shown through Tr()).
inline constexpr const char* kSimDriveNotice = N_("模拟驱动器（SIM），不是真实硬盘");

// Short names of the serial devices that really exist (ttyS ports with a UART
// behind them, USB adapters, modems, ...), sorted as text without regard to
// case, followed by the simulated drive. `sysClassTty` is where the kernel
// lists tty devices; tests point it elsewhere.
std::vector<std::string> ListComPorts(const std::string& sysClassTty = "/sys/class/tty");

// Whether a port name is a device path a technician entered by hand rather
// than a listed device.
// A network port (rfc2217://HOST:PORT) counts as one.
inline bool IsDevicePath(const std::string& portName) {
  return (!portName.empty() && portName.front() == '/') || Rfc2217Port::IsNetworkPort(portName);
}

// The device a port name is opened at: an absolute path or a network port as it stands, the
// simulated drive's pseudo-terminal for "SIM", otherwise under /dev.
std::string DevicePathFor(const std::string& portName);

}  // namespace qv
