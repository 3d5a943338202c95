// The receive path through the real serial code, fed by hand with exact chunks.
#include <gtest/gtest.h>
#include <pthread.h>
#include <signal.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <thread>

#include "console/main.h"
#include "console/text.h"
#include "serial/event_wait.h"
#include "tests/support/port_bar.h"
#include "tests/support/raw_pty.h"
#include "tests/support/scripted_dialogs.h"

namespace qv {
namespace {

class ConsoleReceive : public ::testing::Test {
 protected:
  void SetUp() override {
    main.receiveMode = ReceiveMode::usercmd;
    ASSERT_TRUE(test::OpenWithButton(main, pty.SlavePath(), "9600"));
  }
  void TearDown() override { main.FormClose(); }

  // Writes one chunk and lets the console handle it, and decide where its
  // burst ends, before anything else comes.
  void Feed(const std::string& chunk) {
    const int32_t before = main.RxCount;
    pty.Write(chunk);
    for (int i = 0; i < 1000; ++i) {
      main.Delay(1);
      const bool taken = static_cast<size_t>(main.RxCount - before) >= chunk.size();
      if (taken && !main.Link().Undecided() && !main.Link().ChunkReady()) return;
    }
    ADD_FAILURE() << "the console never decided " << testing::PrintToString(chunk);
  }
  std::string Pane() const { return main.memo1.Text(); }

  test::RawPty pty;
  NoToolkitPump pump;
  test::ScriptedDialogs dialogs;
  TFrmMain main{pump, dialogs};
};

TEST_F(ConsoleReceive, RoutesTextByReceiveMode) {
  Feed("shown\r\n");
  main.receiveMode = ReceiveMode::syscmd;
  Feed("captured ");
  main.receiveMode = ReceiveMode::R_DATA;
  Feed("dump\r\n");
  main.receiveMode = ReceiveMode::Empty;
  Feed("lost\r\n");
  EXPECT_EQ(Pane(), "shown\r\n");
  EXPECT_EQ(main.Memo3, "captured dump\r\n");
  EXPECT_EQ(main.RxCount, 7 + 9 + 6 + 6);
  EXPECT_EQ(main.edRx, "Rx:28");
}

TEST_F(ConsoleReceive, PromptSplitOverChunksAndLatching) {
  main.receiveMode = ReceiveMode::syscmd;
  Feed("text\r\nF3 ");
  EXPECT_EQ(main.LastPrompt, "");
  Feed("T>");
  EXPECT_EQ(main.LastPrompt, "T>");
  Feed("\r\nF3 2>");  // latched: a later prompt is not recorded until somebody empties it
  EXPECT_EQ(main.LastPrompt, "T>");

  pty.Write("\r\nF3 2>");
  EXPECT_TRUE(main.WaitHD(100));  // the wait empties the old prompt first
  EXPECT_EQ(main.LastPrompt, "2>");
  EXPECT_FALSE(main.WaitHD(3));  // nothing more comes
  EXPECT_FALSE(main.WaitHD(0));
}

// The record decides what the drive's bytes are; the console lets only what
// came after the PC's latest send answer a wait begun after it: a prompt or
// a ready that came before the send, though handed over after it, does not.
TEST_F(ConsoleReceive, OnlyWhatCameAfterTheLatestSendAnswersIt) {
  main.receiveMode = ReceiveMode::syscmd;
  const auto decidedButNotTaken = [&] {
    for (int i = 0; i < 1000 && !main.Link().ChunkReady(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    ASSERT_TRUE(main.Link().ChunkReady());
  };
  // Two sends unanswered: the prompt waits for its burst's end, and a third
  // send comes first.
  main.SendString("\x1A");
  main.SendString("\x1A");
  pty.Write("\r\nF3 T>");
  for (int i = 0; i < 1000 && !main.Link().PromptPending(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  main.SendString("/2\r");
  EXPECT_FALSE(main.WaitHD(3));
  pty.Write("/2\r\nF3 2>");
  EXPECT_TRUE(main.WaitHD(100));
  EXPECT_EQ(main.LastPrompt, "2>");
  // The ready that answered the last step is decided before the console
  // takes it, and the next step goes out first: it answers only that step.
  pty.Write("w\x88");
  decidedButNotTaken();
  main.SendString("3");
  EXPECT_FALSE(main.WaitWB(3));
  // A late main thread: the echo is decided, the step goes out, the ready
  // comes; the ready is still a burst of its own.
  main.SetReceiveGap(std::chrono::milliseconds(40));
  pty.Write("d800,0\r\n");
  decidedButNotTaken();
  main.SendString("3");
  pty.Write("w\x88");
  EXPECT_TRUE(main.WaitWB(100));
  pty.Write("\x15");
  EXPECT_TRUE(main.WaitWE(100));
  EXPECT_EQ(main.WeReply, "ER");
}

TEST_F(ConsoleReceive, PaneLineBreaksNulAndWrapping) {
  Feed("\r");  // a CR alone shows nothing
  EXPECT_EQ(Pane(), "");
  Feed("\n");  // ... and with the LF that follows it makes one line break
  Feed("abc\r");
  Feed("\ndef");
  EXPECT_EQ(Pane(), "\r\nabc\r\ndef");
  Feed(std::string("gh\0ij", 5));  // a NUL ends the chunk's text, but every byte counts
  EXPECT_EQ(Pane(), "\r\nabc\r\ndefgh");
  EXPECT_EQ(main.RxCount, 1 + 1 + 4 + 4 + 5);
  main.Button6Click();
  Feed(std::string(250, 'x'));
  ASSERT_EQ(main.memo1.LineCount(), 3u);
  EXPECT_EQ(main.memo1.Lines()[2].size(), 30u);
}

// Where the kernel has no epoll_pwait2 (or a container refuses it) the
// receive thread waits with ppoll, as finely: the quiet still ends a burst.
TEST_F(ConsoleReceive, TheFallbackWaitDecidesAsFinely) {
  ForceEventWaitFallback(true);
  main.btnSwitchClick();
  ASSERT_TRUE(test::OpenWithButton(main, pty.SlavePath(), "921600"));
  main.receiveMode = ReceiveMode::syscmd;
  pty.Write("w\x88");
  EXPECT_TRUE(main.WaitWB(100));
  pty.Write("\r\nZone 3 ->");
  EXPECT_TRUE(main.WaitHD(100));
  EXPECT_EQ(main.LastPrompt, "->");
  ForceEventWaitFallback(false);
}

TEST_F(ConsoleReceive, AutoClearPastTwoHundredLines) {
  std::string lines;
  for (int i = 0; i < 201; ++i) lines += "line\r\n";
  Feed(lines);
  EXPECT_EQ(main.memo1.LineCount(), 201u);
  Feed("more\r\n");  // unchecked: the pane keeps growing
  EXPECT_EQ(main.memo1.LineCount(), 202u);
  main.CheckBox2 = true;
  Feed("fresh\r\n");
  EXPECT_EQ(Pane(), "fresh\r\n");
}

TEST_F(ConsoleReceive, GarbageNeverBreaksThePane) {
  std::string garbage;
  for (int i = 0; i < 4096; ++i) garbage += static_cast<char>((i * 131 + 7) & 0xFF);
  Feed(garbage);
  EXPECT_EQ(main.RxCount, 4096);
  EXPECT_TRUE(IsValidUtf8(Utf8FromGbk(main.memo1.Text())));
}

TEST_F(ConsoleReceive, SendingAndCounters) {
  main.SendString("");
  EXPECT_EQ(main.TxCount, 0);
  main.SendString("/2\r");
  const char block[] = {'\xCC', '\x33'};
  main.Sendbuffer(block, 2);
  main.Delay(2);
  EXPECT_EQ(pty.ReadAll(), "/2\r\xCC\x33");
  EXPECT_EQ(main.edTx, "Tx:5");
  main.Button5Click();
  EXPECT_EQ(main.edRx, "Rx:0");
  EXPECT_EQ(main.edTx, "Tx:0");
  EXPECT_EQ(main.edStatus, " STATUS: " + pty.SlavePath() + " Opened 9600 None 8 1");

  main.btnSwitchClick();  // close
  EXPECT_EQ(main.edStatus, " STATUS: COM Port Closed");
  main.SendString("abc");  // nothing is written, but the counter still grows
  EXPECT_EQ(main.TxCount, 3);
  EXPECT_EQ(pty.ReadAll(), "");
}

// A write that blocks on a full line and is interrupted by a signal must not
// drop its byte.
TEST_F(ConsoleReceive, InterruptedWritesLoseNoBytes) {
  struct sigaction action {}, previous {};
  action.sa_handler = [](int) {};
  sigemptyset(&action.sa_mask);
  action.sa_flags = 0;  // no restart: a blocked write returns EINTR
  ASSERT_EQ(sigaction(SIGUSR1, &action, &previous), 0);

  std::string sent;
  for (int i = 0; i < 200000; ++i) sent += static_cast<char>('a' + i % 26);
  std::atomic<bool> done{false};
  std::string received;
  const pthread_t self = pthread_self();
  std::thread signaller([&] {
    while (!done) {
      pthread_kill(self, SIGUSR1);
      std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
  });
  std::thread reader([&] {
    while (!done) received += pty.ReadAll();
    received += pty.ReadAll();
  });
  main.SendString(sent);
  done = true;
  signaller.join();
  reader.join();
  sigaction(SIGUSR1, &previous, nullptr);
  EXPECT_EQ(received.size(), sent.size());
  EXPECT_TRUE(received == sent);
}

TEST_F(ConsoleReceive, TheLinkIsNotShared) {
  SerialLink second;
  EXPECT_FALSE(second.Open(pty.SlavePath(), 9600));
  EXPECT_EQ(second.LastErrno(), EBUSY);

  // The open button reports a busy port with the system's message and a reason in the pane.
  TFrmMain other(pump, dialogs);
  EXPECT_FALSE(test::OpenWithButton(other, pty.SlavePath(), "9600"));
  ASSERT_FALSE(dialogs.shown.empty());
  EXPECT_EQ(dialogs.shown.back().text, "选择的端口正在被使用或不存在！");
  EXPECT_NE(Utf8FromGbk(other.memo1.Text()).find("其他程序"), std::string::npos);
  EXPECT_EQ(other.btnSwitch, "打开串口");
}

TEST_F(ConsoleReceive, ALostDeviceClosesThePort) {
  pty.CloseMaster();
  for (int i = 0; i < 100 && main.PortOpen(); ++i) main.Delay(1);
  EXPECT_FALSE(main.PortOpen());
  EXPECT_EQ(main.btnSwitch, "打开串口");
  EXPECT_FALSE(main.Panel2Enabled);
  EXPECT_FALSE(main.ImageOn);
  EXPECT_EQ(main.edStatus, " STATUS: COM Port Closed");
  EXPECT_NE(Utf8FromGbk(main.memo1.Text()).find("已断开"), std::string::npos);
  main.Delay(5);  // no spinning receive thread, no second report
  main.SendString("x");
}

// Needs a port with modem lines, which pseudo-terminals lack: the first ttyS
// port, when this machine has one with a UART behind it and it is free.
TEST(SerialLinkModemLines, BothLowAfterOpenUntilAsked) {
  SerialLink link;
  if (!link.Open("/dev/ttyS0", 9600)) GTEST_SKIP() << link.LastError();
  bool dtr = true, rts = true;
  if (!link.GetModemLines(dtr, rts)) GTEST_SKIP() << "no modem lines";
  EXPECT_FALSE(dtr);
  EXPECT_FALSE(rts);
  ASSERT_TRUE(link.SetModemLines(true));
  ASSERT_TRUE(link.GetModemLines(dtr, rts));
  EXPECT_TRUE(dtr && rts);
}

TEST(ConsolePortBar, BadRateTextAndMissingPort) {
  NoToolkitPump pump;
  test::ScriptedDialogs dialogs;
  TFrmMain main(pump, dialogs);
  main.ComboBox1.items = {"/dev/does-not-exist-qv"};
  main.ComboBox1.index = 0;
  main.ComboBox2.items = {"9600"};
  main.ComboBox2.index = -1;  // a rate outside the list was set: no text
  main.btnSwitchClick();
  ASSERT_EQ(dialogs.shown.size(), 1u);
  EXPECT_EQ(dialogs.shown[0].caption, "警告");
  EXPECT_EQ(dialogs.shown[0].text, "波特率设定有误\r 请重新输入");
  main.ComboBox2.index = 0;
  main.btnSwitchClick();
  EXPECT_EQ(dialogs.shown.back().text, "选择的端口正在被使用或不存在！");
  EXPECT_NE(Utf8FromGbk(main.memo1.Text()).find("设备不存在"), std::string::npos);
  EXPECT_FALSE(main.PortOpen());
}

}  // namespace
}  // namespace qv
