// Replies through an emulated adapter, as technicians wire drives: a USB chip
// that sends packets when full or when its latency timer runs out, or a
// UART's FIFO. Wherever a lump ends, the console reads the whole reply, takes
// no "->" inside a line for the prompt and no half of "w" 0x88 for a ready.
#include <gtest/gtest.h>

#include <string>

#include "console/main.h"
#include "tests/support/emulated_adapter.h"
#include "tests/support/fake_sysfs.h"
#include "tests/support/port_bar.h"
#include "tests/support/quiet_startup.h"
#include "tests/support/raw_pty.h"
#include "tests/support/scripted_dialogs.h"
#include "tests/support/temp_dir.h"

namespace qv {
namespace {

using std::chrono::milliseconds;

struct Row {
  const char* name;
  sim::AdapterTiming timing;
  int rate;
  int latencyInSysfs;  // USB: the latency_timer sysfs shows (-1: none); 0: a native UART
};

// The drive as sysfs shows it, behind a pseudo-terminal the test writes.
class AdapterConsole {
 public:
  explicit AdapterConsole(const Row& row) : sysfs_(dir_ / "sys") {
    std::string tty = "qvS0";
    if (row.latencyInSysfs == 0) {
      sysfs_.AddUart(tty, row.timing.trigger);
    } else {
      test::FakeUsbAdapter usb;
      tty = usb.tty;
      usb.latencyTimerMs = row.latencyInSysfs;
      sysfs_.AddUsbAdapter(usb);
    }
    StartupOptions options = test::QuietStartup(dir_.Path());
    options.sysClassTty = sysfs_.ClassTty();
    main.FormCreate(options);
    device_ = test::DeviceLink(dir_.Path(), tty, pty.SlavePath());
  }
  ~AdapterConsole() { main.FormClose(); }
  bool Open(int rate) { return test::OpenWithButton(main, device_, std::to_string(rate)); }

  test::RawPty pty;
  NoToolkitPump pump;
  test::ScriptedDialogs dialogs;
  TFrmMain main{pump, dialogs};

 private:
  test::TempDir dir_;
  test::FakeSysfs sysfs_;
  std::string device_;
};

// A failed run is repeated, up to this many times: on a busy machine the
// writer, or the pseudo-terminal passing its bytes on, may fall so far behind
// that a gap between lumps reaches the console's quiet (a millisecond or two
// beyond the plan). A fault of the console fails every attempt.
constexpr int kAttempts = 5;

TEST(AdapterLink, ALumpEndsAnywhereAndTheReplyStaysWhole) {
  const std::string reply = "\r\nZone 3 -> Cyl 1A2B Hd 0\r\nF3 T>";
  const std::string ready = "w\x88";
  std::vector<Row> rows;
  for (int rate : {115200, 921600}) {
    rows.push_back({"FT232-class, 1 ms", sim::AdapterTiming::Ft232(milliseconds(1)), rate, 1});
    rows.push_back({"FT232-class, 16 ms", sim::AdapterTiming::Ft232(milliseconds(16)), rate, 16});
    rows.push_back({"CH340-class, no timer shown", sim::AdapterTiming::Ch340(milliseconds(1)), rate, -1});
    rows.push_back({"CH340-class, 16 ms", sim::AdapterTiming::Ch340(milliseconds(16)), rate, 16});
    rows.push_back({"UART FIFO, trigger 14", sim::AdapterTiming::Uart(14), rate, 0});
  }
  for (const Row& row : rows) {
    SCOPED_TRACE(std::string(row.name) + " at " + std::to_string(row.rate));
    AdapterConsole console(row);
    TFrmMain& main = console.main;
    ASSERT_TRUE(console.Open(row.rate));
    const auto quiet = std::chrono::duration_cast<std::chrono::microseconds>(main.Link().BurstQuiet());
    // Until the drive has finished and the console has seen the line fall
    // quiet, so that a disturbed run leaves nothing behind.
    const auto settle = [&] { main.Delay(static_cast<int>(quiet.count() / 10'000) + 2); };
    main.receiveMode = ReceiveMode::syscmd;
    for (size_t end = 1; end < reply.size(); ++end) {
      SCOPED_TRACE("a lump ends after byte " + std::to_string(end));
      const auto lumps = test::AdapterLumps(reply, row.timing, row.rate, {end});
      bool found = false;
      for (int attempt = 0; attempt < kAttempts; ++attempt) {
        main.Memo3.clear();
        test::PacedWriter drive(console.pty, lumps);
        found = main.WaitHD(100);
        while (!drive.Done()) main.Delay(1);
        if (found && main.LastPrompt == "T>" && main.Memo3 == reply) break;
        settle();
      }
      EXPECT_TRUE(found);
      EXPECT_EQ(main.LastPrompt, "T>");
      EXPECT_EQ(main.Memo3, reply);
    }
    // The ready answer split in two: one ready, nothing left for the next wait.
    for (size_t end : {size_t{1}, size_t{2}}) {
      const auto lumps = test::AdapterLumps(ready, row.timing, row.rate, {end});
      bool once = false, again = false;
      for (int attempt = 0; attempt < kAttempts; ++attempt) {
        test::PacedWriter drive(console.pty, lumps);
        once = main.WaitWB(100);
        again = main.WaitWB(3);
        if (once && !again) break;
        settle();
      }
      EXPECT_TRUE(once);
      EXPECT_FALSE(again);
    }
  }
}

}  // namespace
}  // namespace qv
