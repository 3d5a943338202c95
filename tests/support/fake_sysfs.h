#pragma once
// A stand-in for the kernel's device tree under a test's folder: tty entries
// of USB adapters and native ports, laid out as sysfs lays them out.
#include <string>

namespace qv::test {

struct FakeUsbAdapter {
  std::string tty = "qvUSB0";  // not a name /dev has: nothing real is ever opened
  std::string driver = "ftdi_sio";
  std::string vendorId = "0403", productId = "6001";
  std::string product = "FT232R USB UART";
  std::string manufacturer = "FTDI";
  std::string serial = "A9QV0001";
  int latencyTimerMs = 16;  // -1: the driver shows no timer (CH340-class)
  bool acm = false;         // a CDC-ACM device: the tty hangs off the interface itself
};

class FakeSysfs {
 public:
  // `root`: an empty folder for the devices; tty entries go to `classTty`
  // (empty: root/class/tty).
  explicit FakeSysfs(const std::string& root, const std::string& classTty = "");
  // Where tty devices are listed (what /sys/class/tty is).
  const std::string& ClassTty() const { return classTty_; }
  void AddUsbAdapter(const FakeUsbAdapter& adapter);
  // A native port; `trigger` < 0: no rx_trig_bytes.
  void AddUart(const std::string& tty, int trigger);

 private:
  std::string root_;
  std::string classTty_;
  int usbDevices_ = 0;
};

// Makes `sysfs` describe the pseudo-terminal `target` as its entry `tty`
// (added before), and returns the path to open.
std::string DeviceLink(const FakeSysfs& sysfs, const std::string& tty, const std::string& target);

}  // namespace qv::test
