// The emulated adapter: the lumps a USB chip or a UART's FIFO makes of the
// drive's bytes, and the simulated drive behind one, read by the console.
#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <iterator>
#include <set>
#include <string>

#include "console/main.h"
#include "console/text.h"
#include "sim/sim_adapter.h"
#include "sim/sim_drive.h"
#include "tests/support/emulated_adapter.h"
#include "tests/support/fake_sysfs.h"
#include "tests/support/port_bar.h"
#include "tests/support/quiet_startup.h"
#include "tests/support/scripted_dialogs.h"
#include "tests/support/temp_dir.h"
#include "transfer/transfer.h"

namespace qv {
namespace {

using std::chrono::microseconds;
using std::chrono::milliseconds;

TEST(AdapterModel, LumpsByTheChipsRules) {
  struct Lump {
    int atUs;
    size_t bytes;
  };
  struct Case {
    const char* what;
    sim::AdapterTiming timing;
    int rate;
    size_t bytes;
    std::set<size_t> endsAfter;
    microseconds timerPhase;
    std::vector<Lump> lumps;
  };
  const Case cases[] = {
      // Full packets leave at once, each starting the timer anew; the rest waits for it.
      {"FT232-class, 1 ms, full packets", sim::AdapterTiming::Ft232(milliseconds(1)), 921600, 200, {}, {},
       {{672, 62}, {1345, 62}, {2018, 62}, {3018, 14}}},
      {"CH340-class, 16 ms", sim::AdapterTiming::Ch340(milliseconds(16)), 115200, 40, {}, {},
       {{2777, 32}, {18777, 8}}},
      {"a lump ends where the test says", sim::AdapterTiming::Ft232(milliseconds(16)), 115200, 6, {2}, {},
       {{173, 2}, {16173, 4}}},
      // The timer runs all the time: a byte waits only until it next runs out.
      {"the timer ran out 10 ms before", sim::AdapterTiming::Ft232(milliseconds(16)), 115200, 1, {},
       microseconds(10'000), {{6000, 1}}},
      {"UART FIFO at its trigger level, then its timeout", sim::AdapterTiming::Uart(14), 115200, 20, {}, {},
       {{1215, 14}, {2083, 6}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::string bytes;
    for (size_t i = 0; i < c.bytes; ++i) bytes += static_cast<char>('a' + i % 26);
    const auto steps = test::AdapterLumps(bytes, c.timing, c.rate, c.endsAfter, c.timerPhase);
    ASSERT_EQ(steps.size(), c.lumps.size());
    std::string joined;
    for (size_t i = 0; i < steps.size(); ++i) {
      EXPECT_EQ(steps[i].at.count(), c.lumps[i].atUs) << "lump " << i;
      EXPECT_EQ(steps[i].bytes.size(), c.lumps[i].bytes) << "lump " << i;
      joined += steps[i].bytes;
    }
    EXPECT_EQ(joined, bytes);
  }
  sim::AdapterTiming parsed;
  ASSERT_TRUE(sim::AdapterTiming::Parse("ft232-1ms", parsed));
  EXPECT_EQ(parsed.latency, milliseconds(1));
  ASSERT_TRUE(sim::AdapterTiming::Parse("ch340", parsed));
  EXPECT_EQ(parsed.packetSize, 32);
  ASSERT_TRUE(sim::AdapterTiming::Parse("uart-8", parsed));
  EXPECT_EQ(parsed.trigger, 8);
  for (const char* bad : {"", "ft232-", "ft232-0ms", "ft232-1", "usb", "uart-x"})
    EXPECT_FALSE(sim::AdapterTiming::Parse(bad, parsed)) << bad;
}

// The simulated drive behind an FT232-class adapter out of the box, its
// lumps up to 16 ms apart: the console, told by sysfs what is behind the
// port, reads buffer blocks through dumps and writes one through the block
// protocol, at 115200 baud.
TEST(SimBehindAdapter, ReadsAndWritesTheBuffer) {
  sim::SimOptions options;
  options.adapter = sim::AdapterTiming::Ft232(milliseconds(16));
  sim::SimDrive drive(options);
  ASSERT_TRUE(drive.Start());
  test::TempDir dir;
  test::FakeSysfs sysfs(dir / "sys");
  test::FakeUsbAdapter usb;
  sysfs.AddUsbAdapter(usb);
  NoToolkitPump pump;
  test::ScriptedDialogs dialogs;
  TFrmMain main(pump, dialogs);
  StartupOptions startup = test::QuietStartup(dir.Path());
  startup.sysClassTty = sysfs.ClassTty();
  main.FormCreate(startup);
  ASSERT_TRUE(test::OpenWithButton(main, test::DeviceLink(sysfs, usb.tty, drive.SlavePath()), "9600"));
  main.AdMySpeed("115200");
  ASSERT_EQ(drive.Rate(), 115200);
  // The operations' own pauses are not what this is about.
  main.pauseTick = milliseconds(1);

  std::vector<uint8_t> blocks(3 * 512);
  for (size_t i = 0; i < blocks.size(); ++i) blocks[i] = static_cast<uint8_t>(i * 13 + 7);
  drive.SetBufferBytes(0, blocks);
  ReadBuffer(main, "0", "3", dir / "read.bin");
  std::ifstream read(dir / "read.bin", std::ios::binary);
  EXPECT_EQ(std::vector<uint8_t>(std::istreambuf_iterator<char>(read), {}), blocks);

  std::vector<uint8_t> written(512, 0x5A);
  std::ofstream(dir / "write.bin", std::ios::binary).write(reinterpret_cast<const char*>(written.data()), 512);
  WriteBuffer(main, "10", "1", dir / "write.bin");
  EXPECT_EQ(drive.BufferBytes(0x10 * 512, 512), written);
  EXPECT_NE(Utf8FromGbk(main.memo1.Text()).find("成功"), std::string::npos);
  main.FormClose();
}

}  // namespace
}  // namespace qv
