#include "serial/port_identity.h"

#include <filesystem>
#include <fstream>

#include "lang/translate.h"

namespace qv {
namespace fs = std::filesystem;

namespace {

// A USB device lies a few levels above its tty: interface, port, tty.
constexpr int kLevelsToUsbDevice = 6;

// The first line of a sysfs attribute, without its line break; empty when unreadable.
std::string Attribute(const fs::path& file) {
  std::ifstream in(file);
  std::string line;
  std::getline(in, line);
  while (!line.empty() && (line.back() == '\n' || line.back() == '\r' || line.back() == ' ')) line.pop_back();
  return line;
}

int NumberAttribute(const fs::path& file) {
  const std::string text = Attribute(file);
  if (text.empty() || text.find_first_not_of("0123456789") != std::string::npos || text.size() > 6) return -1;
  return std::stoi(text);
}

// The USB device (the folder with idVendor) above `from`, or an empty path.
fs::path UsbDeviceAbove(fs::path from) {
  for (int level = 0; level < kLevelsToUsbDevice && from.has_relative_path(); ++level) {
    std::error_code ec;
    if (fs::exists(from / "idVendor", ec)) return from;
    from = from.parent_path();
  }
  return {};
}

std::string LinkName(const fs::path& link) {
  std::error_code ec;
  const fs::path target = fs::canonical(link, ec);
  return ec ? std::string() : target.filename().string();
}

}  // namespace

PortIdentity IdentifyPort(const std::string& sysClassTty, const std::string& ttyName) {
  PortIdentity id;
  id.ttyName = ttyName;
  const fs::path entry = fs::path(sysClassTty) / ttyName;
  std::error_code ec;
  const fs::path device = fs::canonical(entry / "device", ec);
  if (ec) return id;  // a pseudo-terminal, a virtual console, or no sysfs at all
  if (const fs::path node = fs::canonical(entry, ec); !ec) id.ttyName = node.filename().string();
  const fs::path usb = UsbDeviceAbove(device);
  if (usb.empty()) {
    id.transport = PortIdentity::Transport::Uart;
    id.fifoTrigger = NumberAttribute(entry / "rx_trig_bytes");
    return id;
  }
  id.transport = PortIdentity::Transport::Usb;
  id.driver = LinkName(entry / "device" / "driver");
  id.vendorId = Attribute(usb / "idVendor");
  id.productId = Attribute(usb / "idProduct");
  id.product = Attribute(usb / "product");
  id.manufacturer = Attribute(usb / "manufacturer");
  id.serial = Attribute(usb / "serial");
  const fs::path timer = entry / "device" / "latency_timer";
  if (fs::exists(timer, ec)) {
    id.latencyTimerPath = timer.string();
    id.latencyTimerMs = NumberAttribute(timer);
  }
  return id;
}

PortIdentity IdentifyDevice(const std::string& sysClassTty, const std::string& devicePath) {
  // A link is what it leads to: a socat link called /tmp/ttyUSB0 that leads
  // to a pseudo-terminal is no USB adapter.
  std::error_code ec;
  const fs::path target = fs::canonical(devicePath, ec);
  return IdentifyPort(sysClassTty, (ec ? fs::path(devicePath) : target).filename().string());
}

std::string DescribePort(const PortIdentity& id) {
  switch (id.transport) {
    case PortIdentity::Transport::Unknown: return {};
    case PortIdentity::Transport::Uart:
      return id.fifoTrigger > 0 ? TrPlural("串口（FIFO 触发 {1} 字节）", "串口（FIFO 触发 {1} 字节）", id.fifoTrigger) : Tr("串口");
    case PortIdentity::Transport::Usb: break;
  }
  std::string text = id.product.empty() ? (id.manufacturer.empty() ? Tr("USB 串口") : id.manufacturer) : id.product;
  if (!id.vendorId.empty()) text += " · " + id.vendorId + ":" + id.productId;
  if (!id.driver.empty()) text += " · " + id.driver;
  if (!id.serial.empty()) text += " · " + TrFormat("序列号 {1}", id.serial);
  return text;
}

int ReadLatencyTimer(const PortIdentity& identity) {
  return identity.latencyTimerPath.empty() ? -1 : NumberAttribute(identity.latencyTimerPath);
}

}  // namespace qv
