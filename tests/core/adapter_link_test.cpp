// Replies through an emulated adapter, as technicians wire drives: a USB chip
// that sends packets when full or when its latency timer runs out, or a
// UART's FIFO. Wherever a lump ends, the console reads the whole reply, takes
// no "->" inside a line for the prompt and no half of "w" 0x88 for a ready.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <functional>
#include <optional>
#include <string>

#include "console/main.h"
#include "console/text.h"
#include "serial/event_wait.h"
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

// What sysfs shows besides a USB adapter's latency_timer.
constexpr int kNoTimerShown = -1;
constexpr int kUart = 0;
constexpr int kBridge = -2;  // nothing: a serial bridge behind a pseudo-terminal

struct Row {
  const char* name;
  sim::AdapterTiming timing;
  int rate;
  int latencyInSysfs;  // USB: the latency_timer sysfs shows, or one of the above
  std::chrono::microseconds gap{};  // set by hand before the open
};

// The drive as sysfs shows it, behind a pseudo-terminal the test writes.
class AdapterConsole {
 public:
  explicit AdapterConsole(const Row& row) : sysfs_(dir_ / "sys") {
    std::string tty = "qvS0";
    device_ = pty.SlavePath();
    if (row.latencyInSysfs == kUart) {
      sysfs_.AddUart(tty, row.timing.trigger);
    } else if (row.latencyInSysfs != kBridge) {
      test::FakeUsbAdapter usb;
      tty = usb.tty;
      usb.latencyTimerMs = row.latencyInSysfs;
      sysfs_.AddUsbAdapter(usb);
    }
    StartupOptions options = test::QuietStartup(dir_.Path());
    options.sysClassTty = sysfs_.ClassTty();
    main.FormCreate(options);
    main.SetReceiveGap(row.gap);
    if (row.latencyInSysfs != kBridge) device_ = test::DeviceLink(sysfs_, tty, pty.SlavePath());
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

// One reply through each transport in real time, its lumps as the adapter
// makes them: a lump edge right after the "->" inside a line, and one
// between the two bytes of a ready. How every lump edge at every rate is
// decided is the record's own test; this one shows the threads and the
// device deliver the record those lumps.
TEST(AdapterLink, OneReplyThroughEachTransport) {
  const std::string reply = "\r\nZone 3 -> Cyl 1A2B Hd 0\r\nF3 T>";
  const Row rows[] = {
      // The 16 ms chips show a few milliseconds more in sysfs than they run:
      // the 2 ms the quiet allows over the timer is less than a busy test
      // machine may delay a lump.
      {"FT232-class, 16 ms", sim::AdapterTiming::Ft232(milliseconds(16)), 115200, 20},
      {"CH340-class, no timer shown", sim::AdapterTiming::Ch340(milliseconds(1)), 921600, kNoTimerShown},
      {"UART FIFO, trigger 14", sim::AdapterTiming::Uart(14), 115200, kUart},
      {"a bridge nothing has taught, FT232-class 1 ms", sim::AdapterTiming::Ft232(milliseconds(1)), 921600, kBridge},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    AdapterConsole console(row);
    ASSERT_TRUE(console.Open(row.rate));
    TFrmMain& main = console.main;
    main.receiveMode = ReceiveMode::syscmd;
    main.SendString("/\r");
    {
      test::PacedWriter drive(console.pty, test::AdapterLumps(reply, row.timing, row.rate, {reply.find('>') + 1}));
      EXPECT_TRUE(main.WaitHD(100));
      EXPECT_EQ(main.LastPrompt, "T>");
      EXPECT_EQ(main.Memo3, reply);
    }
    main.SendString("\xCC");
    test::PacedWriter drive(console.pty, test::AdapterLumps("w\x88", row.timing, row.rate, {1}));
    EXPECT_TRUE(main.WaitWB(100));
    EXPECT_FALSE(main.WaitWB(3));
  }
}

// Opening a USB adapter whose latency timer stayed above 1 ms (low latency
// refused, an old driver) says in the pane what it costs and how to set it;
// a receive gap set by hand says so instead.
TEST(AdapterLink, OpeningTellsWhatASlowAdapterCosts) {
  using std::chrono::microseconds;
  struct Case {
    Row row;
    microseconds gap;
    std::string line;     // what the pane says after the open (UTF-8); empty: nothing
    microseconds quiet;  // what ends a burst at 9600 baud (two characters: 2083 us)
  };
  const Case cases[] = {
      {{"FT232-class, 16 ms", {}, 9600, 16}, {}, "USB 串口适配器 qvUSB0 的延迟定时器为 16 ms，每次问答最多要多等 16 ms。",
       microseconds(20'083)},
      {{"FT232-class, 1 ms", {}, 9600, 1}, {}, "", microseconds(5'083)},
      {{"CH340-class, no timer", {}, 9600, -1}, {}, "", microseconds(5'083)},
      {{"UART, trigger 14", {}, 9600, 0}, {}, "", microseconds(20'833)},
      // A gap by hand is a floor: the adapter's packets still rule, and its timer still costs.
      {{"FT232-class, 16 ms, gap by hand", {}, 9600, 16}, microseconds(3'000),
       "接收间隔：手动设为至少 3 ms（自动判断得出更长时用更长的）。\r\nUSB 串口适配器 qvUSB0", microseconds(20'083)},
      {{"FT232-class, 1 ms, longer gap by hand", {}, 9600, 1}, microseconds(30'000),
       "接收间隔：手动设为至少 30 ms（自动判断得出更长时用更长的）。", microseconds(30'000)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.row.name);
    AdapterConsole console(c.row);
    console.main.SetReceiveGap(c.gap);
    ASSERT_TRUE(console.Open(c.row.rate));
    const std::string pane = Utf8FromGbk(console.main.memo1.Text());
    if (c.line.empty()) {
      EXPECT_EQ(pane, "");
    } else {
      EXPECT_EQ(pane.find(c.line), 0u) << pane;
      EXPECT_EQ(pane.find("latency_timer") != std::string::npos, c.row.latencyInSysfs > 1) << pane;
    }
    EXPECT_EQ(std::chrono::duration_cast<microseconds>(console.main.Link().BurstQuiet()), c.quiet);
  }
}

// A loaded machine may wake the receive thread late, when the drive's
// answer to a command is already queued behind output from before it, read
// by the thread or not. The command's send takes in what waits before it
// marks the record, so the answer still comes as a burst of its own: a
// ready after a step's echo, a prompt after a command typed ahead. The
// thread is held at its wake-up until the answer has arrived, as the
// machine would hold it.
TEST(AdapterLink, AnAnswerQueuedBeforeALateWakeUpIsNoOutputFromBeforeTheCommand) {
  struct Case {
    const char* name;
    std::string before;   // the drive's answer to a first key
    bool beforeRead;      // the thread read it before the command
    std::string command;  // then sent
    std::string answer;   // there when the thread looks after the command
    std::function<bool(TFrmMain&)> answered;
  };
  const auto ready = [](TFrmMain& m) { return m.WaitWB(100); };
  const auto prompt = [](TFrmMain& m) { return m.WaitHD(100) && m.LastPrompt == "F>"; };
  const Case cases[] = {
      {"a ready after an echo read", "d800,0\r\n", true, "3", "w\x88", ready},
      {"a ready after an echo not read yet", "d800,0\r\n", false, "3", "w\x88", ready},
      {"a prompt with a command typed ahead", "busy", true, "/\r", "\r\nF>", prompt},
      {"a prompt with a command typed ahead, not read yet", "busy", false, "/\r", "\r\nF>", prompt},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    // A quiet long enough that the output before the command cannot end by itself meanwhile.
    AdapterConsole console(Row{c.name, {}, 115200, kBridge, std::chrono::microseconds(300'000)});
    std::atomic<bool> hold{false};
    const auto waitFor = [](const std::function<bool()>& done) {
      for (int i = 0; i < 2000 && !done(); ++i) std::this_thread::sleep_for(milliseconds(1));
    };
    const std::function<void()> lateWakeUp = [&] { waitFor([&] { return !hold.load(); }); };
    SetWaitReturnHook(&lateWakeUp);
    TFrmMain& main = console.main;
    struct Unhook {
      TFrmMain& main;
      ~Unhook() {
        main.FormClose();  // the receive thread ends before the hook goes
        SetWaitReturnHook(nullptr);
      }
    } unhook{main};
    ASSERT_TRUE(console.Open(115200));
    main.SendString("\x1B");
    hold = !c.beforeRead;
    console.pty.Write(c.before);
    if (c.beforeRead) {
      waitFor([&] { return main.Link().Undecided(); });
      ASSERT_TRUE(main.Link().Undecided());
      hold = true;
    } else {
      waitFor([&] { return console.pty.QueuedForConsole() >= static_cast<int>(c.before.size()); });
    }
    main.SendString(c.command);
    console.pty.Write(c.answer);
    waitFor([&] { return console.pty.QueuedForConsole() >= static_cast<int>(c.answer.size()); });
    hold = false;
    EXPECT_TRUE(c.answered(main));
  }
}

}  // namespace
}  // namespace qv
