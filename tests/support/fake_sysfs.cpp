#include "tests/support/fake_sysfs.h"

#include <filesystem>
#include <fstream>

namespace qv::test {
namespace fs = std::filesystem;

namespace {
void Put(const fs::path& file, const std::string& value) {
  if (!value.empty()) std::ofstream(file) << value << "\n";
}
}  // namespace

FakeSysfs::FakeSysfs(const std::string& root, const std::string& classTty)
    : root_(root.ends_with('/') ? root : root + "/"), classTty_(classTty.empty() ? root_ + "class/tty" : classTty) {
  fs::create_directories(classTty_);
}

void FakeSysfs::AddUsbAdapter(const FakeUsbAdapter& a) {
  const std::string usb = "devices/pci0000:00/usb1/1-" + std::to_string(++usbDevices_);
  const fs::path device = root_ + usb;
  const fs::path interface = device / (device.filename().string() + ":1.0");
  fs::create_directories(interface);
  Put(device / "idVendor", a.vendorId);
  Put(device / "idProduct", a.productId);
  Put(device / "product", a.product);
  Put(device / "manufacturer", a.manufacturer);
  Put(device / "serial", a.serial);
  Put(interface / "bInterfaceNumber", "00");
  // ttyUSB: the usb-serial port below the interface carries the driver's
  // attributes; ttyACM: the interface itself is the tty's device.
  const fs::path port = a.acm ? interface : interface / a.tty;
  fs::create_directories(port);
  const fs::path drivers = root_ + (a.acm ? "bus/usb/drivers/" : "bus/usb-serial/drivers/") + a.driver;
  fs::create_directories(drivers);
  fs::create_symlink(drivers, port / "driver");
  if (a.latencyTimerMs >= 0) Put(port / "latency_timer", std::to_string(a.latencyTimerMs));
  const fs::path entry = fs::path(ClassTty()) / a.tty;
  fs::create_directories(port / "tty" / a.tty);
  fs::create_directory_symlink(port / "tty" / a.tty, entry);
  fs::create_directory_symlink(port, entry / "device");
}

void FakeSysfs::AddUart(const std::string& tty, int trigger) {
  const fs::path device = root_ + "devices/pnp0/00:05";
  const fs::path node = device / "tty" / tty;
  fs::create_directories(node);
  Put(node / "type", "4");
  if (trigger >= 0) Put(node / "rx_trig_bytes", std::to_string(trigger));
  fs::create_directory_symlink(device, node / "device");
  fs::create_directory_symlink(node, fs::path(ClassTty()) / tty);
}

std::string DeviceLink(const FakeSysfs& sysfs, const std::string& tty, const std::string& target) {
  const fs::path classTty(sysfs.ClassTty());
  fs::create_directory_symlink(fs::canonical(classTty / tty), classTty / fs::canonical(target).filename());
  return target;
}

}  // namespace qv::test
