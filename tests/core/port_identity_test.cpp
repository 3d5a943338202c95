// What sysfs tells of a port (a fake tree in a temporary folder), and the
// quiet that ends a burst on each kind of transport.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "serial/burst_timing.h"
#include "serial/link.h"
#include "serial/port_identity.h"
#include "serial/port_list.h"
#include "tests/support/fake_sysfs.h"
#include "tests/support/temp_dir.h"

namespace qv {
namespace {

namespace fs = std::filesystem;
using std::chrono::microseconds;
using std::chrono::milliseconds;
using Transport = PortIdentity::Transport;

TEST(PortIdentity, WhatSysfsShowsOfEachKindOfPort) {
  test::TempDir dir;
  test::FakeSysfs sysfs(dir / "sys");
  test::FakeUsbAdapter ft232;  // FT232R with a serial number and a 16 ms timer
  test::FakeUsbAdapter ch340{.tty = "qvUSB1", .driver = "ch341", .vendorId = "1a86", .productId = "7523",
                             .product = "USB Serial", .manufacturer = "", .serial = "", .latencyTimerMs = -1};
  test::FakeUsbAdapter acm{.tty = "qvACM0", .driver = "cdc_acm", .vendorId = "2341", .productId = "0043",
                           .product = "", .manufacturer = "Arduino", .serial = "7563", .latencyTimerMs = -1,
                           .acm = true};
  sysfs.AddUsbAdapter(ft232);
  sysfs.AddUsbAdapter(ch340);
  sysfs.AddUsbAdapter(acm);
  sysfs.AddUart("qvS0", 8);
  sysfs.AddUart("qvS1", -1);
  // A name under /dev/serial/by-id leads to the device's own name.
  fs::create_directories(dir / "dev/by-id");
  std::ofstream(dir / "dev/qvUSB1").put('\0');
  fs::create_symlink("../qvUSB1", dir / "dev/by-id/usb-1a86_USB_Serial-if00-port0");
  // A bridge's link named like an adapter leads elsewhere: what it leads to counts.
  fs::create_directories(dir / "tmp");
  fs::create_symlink("/dev/null", dir / "tmp/qvUSB0");

  struct Case {
    std::string device;  // a name sysfs lists, or a path
    std::string sysfsRoot;
    Transport transport;
    std::string driver;
    int latency;
    int trigger;
    std::string description;
    microseconds quietAt115200;  // two characters are 174 us
  };
  const std::string tty = sysfs.ClassTty();
  const Case cases[] = {
      {"qvUSB0", tty, Transport::Usb, "ftdi_sio", 16, -1, "FT232R USB UART · 0403:6001 · ftdi_sio · 序列号 A9QV0001",
       microseconds(18'173)},
      {"qvUSB1", tty, Transport::Usb, "ch341", -1, -1, "USB Serial · 1a86:7523 · ch341", microseconds(3'173)},
      {dir / "dev/by-id/usb-1a86_USB_Serial-if00-port0", tty, Transport::Usb, "ch341", -1, -1,
       "USB Serial · 1a86:7523 · ch341", microseconds(3'173)},
      {"qvACM0", tty, Transport::Usb, "cdc_acm", -1, -1, "Arduino · 2341:0043 · cdc_acm · 序列号 7563",
       microseconds(3'173)},
      {"qvS0", tty, Transport::Uart, "", -1, 8, "串口（FIFO 触发 8 字节）", microseconds(1'215)},
      {"qvS1", tty, Transport::Uart, "", -1, -1, "串口", microseconds(1'736)},  // taken as 14
      {"/dev/pts/999", tty, Transport::Unknown, "", -1, -1, "", microseconds(173)},
      {dir / "tmp/qvUSB0", tty, Transport::Unknown, "", -1, -1, "", microseconds(173)},
      {"qvUSB0", dir / "no-sysfs", Transport::Unknown, "", -1, -1, "", microseconds(173)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.device + " in " + c.sysfsRoot);
    const PortIdentity id = c.device.front() == '/' ? IdentifyDevice(c.sysfsRoot, c.device)
                                                     : IdentifyPort(c.sysfsRoot, c.device);
    EXPECT_EQ(id.transport, c.transport);
    EXPECT_EQ(id.driver, c.driver);
    EXPECT_EQ(id.latencyTimerMs, c.latency);
    EXPECT_EQ(ReadLatencyTimer(id), c.latency);
    EXPECT_EQ(id.fifoTrigger, c.trigger);
    EXPECT_EQ(DescribePort(id), c.description);
    const TransportGaps gaps = TransportGaps::Of(id, id.latencyTimerMs);
    const auto quiet = gaps.LumpGap(115200) + SerialLink::QuietTime(115200);
    EXPECT_EQ(std::chrono::duration_cast<microseconds>(quiet), c.quietAt115200);
  }
  // The list itself needs no more than it did: names, then the simulated drive.
  EXPECT_EQ(ListComPorts(tty), (std::vector<std::string>{"qvACM0", "qvS0", "qvS1", "qvUSB0", "qvUSB1", "SIM"}));
  EXPECT_EQ(ListComPorts(dir / "no-sysfs"), (std::vector<std::string>{"SIM"}));
}

// The arrivals of a transport that holds bytes back teach the gaps between
// its lumps; a line that passes bytes on as they come teaches nothing.
TEST(LumpLearner, LearnsTheGapsOfLumpsOnly) {
  using Clock = LumpLearner::Clock;
  struct Arrival {
    int atUs;
    int bytes;
    bool interrupted = false;  // the reader was busy just before
  };
  struct Case {
    const char* what;
    int rate;
    int lastSentUs;  // when the PC last wrote (-1: never)
    std::vector<Arrival> arrivals;
    microseconds quiet;
  };
  const Case cases[] = {
      {"byte by byte at 115200", 115200, -1, {{0, 1}, {87, 1}, {174, 1}, {261, 1}, {348, 1}}, {}},
      {"one lump is not yet a pattern", 115200, -1, {{0, 1}, {1000, 11}}, {}},
      {"lumps every millisecond (FT232-class at 1 ms)", 115200, -1, {{0, 11}, {1000, 11}, {2000, 12}},
       microseconds(1350)},
      {"the widest gap counts", 921600, -1, {{0, 62}, {673, 62}, {16'673, 30}}, microseconds(20'100)},
      {"two bytes at once at 9600 are the reader's own delay", 9600, -1, {{0, 2}, {2100, 2}, {4000, 2}}, {}},
      {"four bytes at once at 9600", 9600, -1, {{0, 4}, {5000, 4}, {9000, 4}}, microseconds(6350)},
      {"one wide gap among many is the machine's", 115200, -1,
       {{0, 11}, {1000, 11}, {2000, 11}, {7000, 11}, {8000, 11}, {9000, 11}, {10'000, 11}, {11'000, 11}, {12'000, 11}},
       microseconds(1350)},
      {"old gaps are forgotten", 115200, -1,
       {{0, 11}, {9000, 11}, {18'000, 11}, {19'000, 11}, {20'000, 11}, {21'000, 11}, {22'000, 11}, {23'000, 11},
        {24'000, 11}, {25'000, 11}, {26'000, 11}, {27'000, 11}, {28'000, 11}, {29'000, 11}, {30'000, 11},
        {31'000, 11}, {32'000, 11}, {33'000, 11}, {34'000, 11}},
       microseconds(1350)},
      {"a few bytes at once at 921600 are the reader's own delay", 921600, -1, {{0, 5}, {100, 5}, {200, 5}}, {}},
      {"the answer to the PC's command", 115200, 500, {{0, 11}, {1000, 11}, {9000, 20}}, {}},
      {"a pause of the drive", 115200, -1, {{0, 11}, {30'000, 11}, {60'000, 11}}, {}},
      {"a lump after output that came byte by byte", 115200, -1,
       {{0, 1}, {87, 1}, {20'000, 11}, {21'000, 11}, {22'000, 11}}, microseconds(1350)},
      {"no gap after the reader was busy", 115200, -1, {{0, 11}, {5000, 11, true}, {6000, 11}}, {}},
  };
  for (const Case& c : cases) {
    LumpLearner learner;
    const Clock::time_point start{};
    const Clock::time_point sent = c.lastSentUs < 0 ? Clock::time_point{} : start + microseconds(c.lastSentUs);
    for (const Arrival& a : c.arrivals) {
      if (a.interrupted) learner.Interrupted();
      learner.Arrival(start + microseconds(a.atUs) + milliseconds(100), a.bytes, c.rate,
                      sent == Clock::time_point{} ? sent : sent + milliseconds(100));
    }
    EXPECT_EQ(std::chrono::duration_cast<microseconds>(learner.Quiet()), c.quiet) << c.what;
  }
  // A new rate keeps the lesson of a timer and forgets one a FIFO could have
  // taught at the old rate (20 characters: 1736 us at 115200).
  struct RateCase {
    int gapUs;
    microseconds quietAfter;
  };
  for (const RateCase& c : {RateCase{1000, {}}, RateCase{5000, microseconds(6350)}}) {
    LumpLearner learner;
    const Clock::time_point start = Clock::time_point{} + milliseconds(100);
    for (int i = 0; i < 3; ++i) learner.Arrival(start + i * microseconds(c.gapUs), 11, 115200, {});
    learner.RateChanged(115200);
    EXPECT_EQ(std::chrono::duration_cast<microseconds>(learner.Quiet()), c.quietAfter) << c.gapUs;
  }
}

}  // namespace
}  // namespace qv
