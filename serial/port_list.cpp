#include "serial/port_list.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <strings.h>

#include "sim/sim_drive.h"

namespace qv {
namespace fs = std::filesystem;

namespace {

// Legacy ttyS entries exist whether or not a UART answers at that address;
// the kernel marks the empty ones with type 0 (unknown).
bool HasUart(const fs::path& entry) {
  std::ifstream type(entry / "type");
  int value = 0;
  return type >> value && value != 0;
}

bool IsSerialDevice(const fs::path& entry) {
  std::error_code ec;
  if (!fs::exists(entry / "device", ec)) return false;  // virtual consoles, ptys
  const std::string name = entry.filename().string();
  if (name.rfind("ttyS", 0) == 0) return HasUart(entry);
  return true;
}

}  // namespace

std::vector<std::string> ListComPorts(const std::string& sysClassTty) {
  std::vector<std::string> names;
  std::error_code ec;
  for (fs::directory_iterator it(sysClassTty, ec), end; !ec && it != end; it.increment(ec))
    if (IsSerialDevice(it->path())) names.push_back(it->path().filename().string());
  std::sort(names.begin(), names.end(), [](const std::string& a, const std::string& b) {
    return strcasecmp(a.c_str(), b.c_str()) < 0;
  });
  names.push_back(kSimPortName);
  return names;
}

std::string DevicePathFor(const std::string& portName) {
  if (portName == kSimPortName) return sim::SimPortPath();
  if (IsDevicePath(portName)) return portName;
  return "/dev/" + portName;
}

}  // namespace qv
