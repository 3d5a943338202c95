#pragma once
// What the kernel's device tree (sysfs) tells about a serial port: whether a
// USB adapter sits behind it and which one, or a native UART with its FIFO.
// The identity tells two adapters apart in the port list; the transport
// decides how long the reader waits before a burst of output counts as over.
// Every part is optional: without sysfs (a container) the port still works.
#include <string>

namespace qv {

struct PortIdentity {
  enum class Transport {
    Unknown,  // nothing in sysfs: a pseudo-terminal, a bridge, a container
    Usb,      // under a USB interface (ttyUSB*, ttyACM*)
    Uart,     // a native serial port
  };
  Transport transport = Transport::Unknown;
  std::string ttyName;      // the name sysfs knows the device by ("ttyUSB0")
  std::string driver;       // the adapter's driver: ftdi_sio, ch341, cp210x, pl2303, cdc_acm
  std::string vendorId;     // "0403"
  std::string productId;    // "6001"
  std::string product;      // "FT232R USB UART", where the adapter has one
  std::string manufacturer;
  std::string serial;       // the adapter's serial number, where it has one
  int latencyTimerMs = -1;  // USB: the adapter's latency timer (-1: the driver has none)
  std::string latencyTimerPath;  // where that timer is read and set
  int fifoTrigger = -1;     // UART: the receive FIFO's trigger level (-1: not shown)
};

// The identity of the tty `ttyName` listed under `sysClassTty` (normally
// /sys/class/tty). Unknown transport when there is no such entry.
PortIdentity IdentifyPort(const std::string& sysClassTty, const std::string& ttyName);

// The same for a device path: its own name when sysfs lists it (a test's
// stand-in), else the name of the device it links to (/dev/serial/by-id/...).
PortIdentity IdentifyDevice(const std::string& sysClassTty, const std::string& devicePath);

// A line for the port list saying what is behind the port (UTF-8), as the
// names under /dev/serial/by-id do: product, vendor:product, driver and
// serial number, or the native port's FIFO. Empty when sysfs knows nothing.
std::string DescribePort(const PortIdentity& identity);

// Reads the adapter's latency timer again (it may change when the driver
// switches to low latency); -1 where there is none.
int ReadLatencyTimer(const PortIdentity& identity);

}  // namespace qv
