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

// Until the drive has finished and the console has decided the last burst,
// so that one run leaves nothing behind for the next.
void Settle(TFrmMain& main) {
  const auto longest = std::max(main.Link().BurstQuiet(), main.Link().SettleQuiet());
  main.Delay(static_cast<int>(std::chrono::duration_cast<std::chrono::milliseconds>(longest).count() / 10) + 2);
}

TEST(AdapterLink, ALumpEndsAnywhereAndTheReplyStaysWhole) {
  const std::string reply = "\r\nZone 3 -> Cyl 1A2B Hd 0\r\nF3 T>";
  const std::string readyAnswer = "w\x88";
  std::vector<Row> rows;
  for (int rate : {115200, 921600}) {
    rows.push_back({"FT232-class, 1 ms", sim::AdapterTiming::Ft232(milliseconds(1)), rate, 1});
    // The 16 ms chips show a few milliseconds more in sysfs than they run:
    // the 2 ms the quiet allows over the timer (checked on its own with what
    // sysfs shows) is less than a busy test machine may delay a lump.
    rows.push_back({"FT232-class, 16 ms", sim::AdapterTiming::Ft232(milliseconds(16)), rate, 20});
    rows.push_back({"CH340-class, no timer shown", sim::AdapterTiming::Ch340(milliseconds(1)), rate, kNoTimerShown});
    rows.push_back({"CH340-class, 16 ms", sim::AdapterTiming::Ch340(milliseconds(16)), rate, 20});
    rows.push_back({"UART FIFO, trigger 14", sim::AdapterTiming::Uart(14), rate, kUart});
    // A bridge nothing has taught yet (with a 16 ms timer: the sibling test below).
    rows.push_back({"a bridge passing FT232-class packets on, 1 ms", sim::AdapterTiming::Ft232(milliseconds(1)), rate,
                    kBridge});
  }
  for (const Row& row : rows) {
    SCOPED_TRACE(std::string(row.name) + " at " + std::to_string(row.rate));
    // A bridge would learn its gaps from the replies: there each one comes
    // first after an open, with nothing learned.
    std::optional<AdapterConsole> console;
    const auto opened = [&]() -> AdapterConsole& {
      if (!console || row.latencyInSysfs == kBridge) {
        console.reset();
        console.emplace(row);
        EXPECT_TRUE(console->Open(row.rate));
        console->main.receiveMode = ReceiveMode::syscmd;
      }
      return *console;
    };
    for (size_t end = 1; end < reply.size(); ++end) {
      SCOPED_TRACE("a lump ends after byte " + std::to_string(end));
      AdapterConsole& c = opened();
      c.main.Memo3.clear();
      test::PacedWriter drive(c.pty, test::AdapterLumps(reply, row.timing, row.rate, {end}));
      EXPECT_TRUE(c.main.WaitHD(100));
      while (!drive.Done()) c.main.Delay(1);
      EXPECT_EQ(c.main.LastPrompt, "T>");
      EXPECT_EQ(c.main.Memo3, reply);
      // A reply misread leaves its rest on the way: let it pass, so that the
      // next offset is judged on its own reply.
      if (::testing::Test::HasFailure()) Settle(c.main);
    }
    // The ready answer split in two: one ready, nothing left for the next wait.
    for (size_t end : {size_t{1}, size_t{2}}) {
      AdapterConsole& c = opened();
      test::PacedWriter drive(c.pty, test::AdapterLumps(readyAnswer, row.timing, row.rate, {end}));
      EXPECT_TRUE(c.main.WaitWB(100));
      EXPECT_FALSE(c.main.WaitWB(3));
      Settle(c.main);
    }
  }
}

// Timings that once cost a reply its meaning, each through the transport of
// its row: a ready cut in two on a bridge nothing has taught yet, a command
// typed ahead, a receive gap set by hand that is too short or too long.
TEST(AdapterLink, RepliesKeepTheirMeaningWhateverTheTiming) {
  using std::chrono::microseconds;
  const std::string reply = "\r\nZone 3 -> Cyl 1A2B Hd 0\r\nF3 T>";
  const size_t afterArrow = reply.find('>') + 1;
  const auto ft232 = [](int ms) { return sim::AdapterTiming::Ft232(milliseconds(ms)); };
  // The ready comes as "w", then 0x88 `gap` later; the drive's verdict on the
  // block follows the console's next step at once. One ready, and the verdict
  // alone: a console that took "w" alone would see the late 0x88 as the next ready.
  const auto readyCutInTwo = [](microseconds gap) {
    return [gap](AdapterConsole& c) {
      test::PacedWriter drive(c.pty, {{{}, "w"}, {gap, "\x88"}});
      EXPECT_TRUE(c.main.WaitWB(100));
      c.pty.Write("\x06");
      EXPECT_TRUE(c.main.WaitWE(100));
      EXPECT_EQ(c.main.WeReply, "OK");
      EXPECT_FALSE(c.main.WaitWB(3));
    };
  };
  const auto replyCutAfterArrow = [&](const sim::AdapterTiming& timing, int rate) {
    return [&, timing, rate](AdapterConsole& c) {
      c.main.Memo3.clear();
      test::PacedWriter drive(c.pty, test::AdapterLumps(reply, timing, rate, {afterArrow}));
      EXPECT_TRUE(c.main.WaitHD(100));
      EXPECT_EQ(c.main.LastPrompt, "T>");
      EXPECT_EQ(c.main.Memo3, reply);
    };
  };
  // Ctrl-Z, then "/2" typed before its prompt came: the first prompt comes in
  // a packet of its own, 16 ms before the answer to "/2". The wait takes the
  // prompt of the command sent last.
  const auto typedAhead = [](AdapterConsole& c) {
    c.main.Memo3.clear();
    c.main.SendString("\x1A");
    c.main.SendString("/2\r");
    test::PacedWriter drive(c.pty, {{microseconds(1'000), "\r\nF3 T>"}, {microseconds(17'000), "/2\r\nF3 2>"}});
    EXPECT_TRUE(c.main.WaitHD(100));
    EXPECT_EQ(c.main.LastPrompt, "2>");
    EXPECT_EQ(c.main.Memo3, "\r\nF3 T>/2\r\nF3 2>");
  };
  // A track write's command is echoed, the console sends the next step and
  // the drive answers it with its ready: with a gap of 200 ms by hand the echo
  // is still held when the console sends, and must not take the ready in.
  const auto echoThenReady = [](AdapterConsole& c) {
    c.pty.Write("d0,1\r\n");
    c.main.Delay(2);
    c.main.Sendbuffer("\xAA", 1);
    test::PacedWriter drive(c.pty, {{microseconds(5'000), "w\x88"}});
    EXPECT_TRUE(c.main.WaitWB(100));
  };
  struct Case {
    Row row;
    std::function<void(AdapterConsole&)> run;
  };
  const Case cases[] = {
      {{"bridge, ready 1 ms apart", {}, 115200, kBridge}, readyCutInTwo(microseconds(1'000))},
      {{"bridge, ready 2 ms apart", {}, 921600, kBridge}, readyCutInTwo(microseconds(2'000))},
      {{"bridge 1 ms, Zone 3 -> at a packet edge", ft232(1), 115200, kBridge}, replyCutAfterArrow(ft232(1), 115200)},
      {{"bridge 1 ms, Zone 3 -> at a packet edge", ft232(1), 921600, kBridge}, replyCutAfterArrow(ft232(1), 921600)},
      {{"bridge 16 ms, Zone 3 -> at a packet edge", ft232(16), 115200, kBridge},
       replyCutAfterArrow(ft232(16), 115200)},
      {{"bridge 16 ms, Zone 3 -> at a packet edge", ft232(16), 921600, kBridge},
       replyCutAfterArrow(ft232(16), 921600)},
      {{"FT232-class 16 ms, typed ahead", {}, 115200, 16}, typedAhead},
      {{"bridge, typed ahead", {}, 115200, kBridge}, typedAhead},
      {{"FT232-class 16 ms, 3 ms by hand", ft232(16), 115200, 16, microseconds(3'000)},
       replyCutAfterArrow(ft232(16), 115200)},
      {{"pseudo-terminal, 200 ms by hand", {}, 115200, kBridge, microseconds(200'000)}, echoThenReady},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.row.name) + " at " + std::to_string(c.row.rate));
    AdapterConsole console(c.row);
    ASSERT_TRUE(console.Open(c.row.rate));
    console.main.receiveMode = ReceiveMode::syscmd;
    c.run(console);
  }
}

// A transport sysfs knows nothing of (a serial bridge behind a
// pseudo-terminal) shows itself by its lumps: after a burst that came in
// lumps, the quiet covers their gaps and a reply cut after its "->" is read
// whole. A pseudo-terminal written a byte at a time teaches nothing, and gaps
// a FIFO could have made at one rate are forgotten at another.
TEST(AdapterLink, ABridgeIsLearnedFromItsLumps) {
  constexpr int kRate = 115200;
  const auto bridge = sim::AdapterTiming::Ft232(milliseconds(1));
  std::string burst;
  for (int i = 0; burst.size() < 120; ++i) burst += "line " + std::to_string(i) + "\r\n";
  const std::string reply = "\r\nZone 3 -> Cyl 1A2B Hd 0\r\nF3 T>";
  // The lumps come 1 ms apart, the bursts 20 ms: what is learned covers the
  // first and stays below the second. (How far beyond the gaps it goes is the
  // learner's own test; a loaded machine, late to read, stretches the gaps.)
  static constexpr auto kBelowThePauses = milliseconds(20);
  test::RawPty pty;
  NoToolkitPump pump;
  test::ScriptedDialogs dialogs;
  TFrmMain main(pump, dialogs);
  ASSERT_TRUE(test::OpenWithButton(main, pty.SlavePath(), std::to_string(kRate)));
  main.receiveMode = ReceiveMode::syscmd;
  const auto feed = [&](std::vector<test::PacedWriter::Step> steps) {
    test::PacedWriter drive(pty, std::move(steps));
    while (!drive.Done()) main.Delay(1);
    main.Delay(2);
  };
  feed(test::PacedWriter::Bytewise(burst, test::LineTime(1, kRate)));
  EXPECT_EQ(main.Link().LearnedQuiet().count(), 0);
  EXPECT_TRUE(main.Link().TransportUnknown());
  feed(test::AdapterLumps(burst, bridge, kRate));
  EXPECT_GT(main.Link().LearnedQuiet(), milliseconds(1));
  EXPECT_LT(main.Link().LearnedQuiet(), kBelowThePauses);
  EXPECT_FALSE(main.Link().TransportUnknown());
  main.Memo3.clear();
  test::PacedWriter drive(pty, test::AdapterLumps(reply, bridge, kRate, {reply.find('>') + 1}));
  EXPECT_TRUE(main.WaitHD(100));
  EXPECT_EQ(main.LastPrompt, "T>");
  EXPECT_EQ(main.Memo3, reply);
  // A new rate keeps the lesson or forgets it (which, the learner's own test
  // says), and never makes the quiet grow.
  const auto learned = main.Link().LearnedQuiet();
  main.SetPortBaud(57600);
  main.Delay(2);
  EXPECT_LE(main.Link().LearnedQuiet(), learned);
  main.FormClose();
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

// A loaded machine may wake the receive thread late, when the drive's answer
// to a command is already queued behind output from before it, seen by the
// thread or not. The answer still comes as a burst of its own: a ready after
// a step's echo, a prompt after a command typed ahead. The thread is held at
// its wake-up until the answer has arrived, as the machine would hold it.
TEST(AdapterLink, AnAnswerQueuedBeforeALateWakeUpIsNoOutputFromBeforeTheCommand) {
  struct Case {
    const char* name;
    std::string before;   // the drive's answer to a first key
    bool beforeSeen;      // the thread saw it come, and holds it for its quiet, before the command
    std::string command;  // then sent
    std::string answer;   // there when the thread looks after the command
    std::function<bool(TFrmMain&)> answered;
  };
  const auto ready = [](TFrmMain& m) { return m.WaitWB(100); };
  const auto prompt = [](TFrmMain& m) { return m.WaitHD(100) && m.LastPrompt == "F>"; };
  const Case cases[] = {
      {"a ready after an echo held", "d800,0\r\n", true, "3", "w\x88", ready},
      {"a ready after an echo not seen yet", "d800,0\r\n", false, "3", "w\x88", ready},
      {"a prompt with a command typed ahead", "busy", true, "/\r", "\r\nF>", prompt},
      {"a prompt with a command typed ahead, not seen yet", "busy", false, "/\r", "\r\nF>", prompt},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    // A quiet long enough that the held burst cannot end by itself meanwhile.
    AdapterConsole console(Row{c.name, {}, 115200, kBridge, std::chrono::microseconds(300'000)});
    std::atomic<bool> holdNextWakeUp{false}, commandSent{false};
    const auto waitFor = [](const std::function<bool()>& done) {
      for (int i = 0; i < 2000 && !done(); ++i) std::this_thread::sleep_for(milliseconds(1));
    };
    const std::function<void()> lateWakeUp = [&] {
      if (!holdNextWakeUp.exchange(false)) return;
      waitFor([&] { return commandSent.load(); });
      console.pty.Write(c.answer);
      const int all = static_cast<int>(c.before.size() + c.answer.size());
      waitFor([&] { return console.pty.QueuedForConsole() >= all; });
    };
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
    // Not seen yet: the thread is held from the wake-up for it on.
    holdNextWakeUp = !c.beforeSeen;
    console.pty.Write(c.before);
    if (c.beforeSeen) {
      waitFor([&] { return main.Link().Holding(); });
      ASSERT_TRUE(main.Link().Holding());
      holdNextWakeUp = true;  // the wake-up the command's write causes
    } else {
      waitFor([&] { return console.pty.QueuedForConsole() >= static_cast<int>(c.before.size()); });
    }
    main.SendString(c.command);
    commandSent = true;
    EXPECT_TRUE(c.answered(main));
  }
}

}  // namespace
}  // namespace qv
