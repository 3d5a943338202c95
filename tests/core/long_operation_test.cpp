// One long operation at a time: while one runs, every other started from
// within its waits (a click on another window) is refused with one message
// naming what runs, and sends nothing.
#include <gtest/gtest.h>

#include <functional>

#include "batch/form4.h"
#include "console/console_buttons.h"
#include "console/long_operation.h"
#include "firmware/backup/form6_backup.h"
#include "firmware/family/family_table.h"
#include "firmware/loading/form2_loading.h"
#include "procedures/id_editor.h"
#include "tests/core/transfer_sim_support.h"
#include "tests/support/port_bar.h"
#include "transfer/form3.h"

namespace qv {
namespace {

class LongOperationSim : public test::TransferSim {
 protected:
  void SetUp() override {
    TransferSim::SetUp();
    if (HasFatalFailure()) return;
    OpenAt();
    main->pauseTick = std::chrono::milliseconds(1);  // the drive needs none of the ROM read's pauses
    Settle();
    TakeReceived();
  }
};

TEST_F(LongOperationSim, AnotherStartedDuringTheWaitsIsRefused) {
  TForm3 rom(*main);
  rom.Edit1 = Path("rom.bin");
  TForm6 backup(*main, families);
  TForm2 load(*main, families);
  TForm4 batch(*main);
  batch.Memo1 = {"STR/zz"};
  TForm5 id(*main);
  const ButtonDef& diskInfo = *FindButton(ConsoleButtons(), "Button13");
  const struct {
    const char* name;
    std::function<void()> start;
    const char* neverSent;  // what it would send first
  } cases[] = {
      {"backup", [&] { backup.StartBackup(); }, "?\r"},
      {"backup lookup", [&] { backup.Button2Click(); }, "\x01"},
      {"load", [&] { load.Load(); }, "\x01"},
      {"loading lookup", [&] { load.Button5Click(); }, "\x01"},
      {"batch run", [&] { EXPECT_EQ(batch.Button9Click().end, TForm4::RunResult::End::Refused); }, "zz\r"},
      {"ID editor", [&] { id.Button7Click(); }, "ASCI"},
      {"console button", [&] { RunButton(*main, diskInfo); }, "/TJ\r"},
  };
  bool fired = false;
  hookPump.hook = [&] {
    if (fired || drive->Received().find("e5\r") == std::string::npos) return;
    fired = true;
    for (const auto& c : cases) {
      SCOPED_TRACE(c.name);
      main->memo1.Clear();
      c.start();
      // Said without a box, whose own loop would hold the ROM read's waits.
      EXPECT_TRUE(dialogs.shown.empty());
      const std::string refusal = "“串行ROM读写：缓冲区读取”正在进行，请等它结束（或按STOP中止）后再开始其它操作！";
      EXPECT_EQ(PaneText(), refusal + "\r\n");
      EXPECT_EQ(main->edStatus, " " + refusal);
    }
  };
  EXPECT_TRUE(rom.Run(TForm3::Operation::ReadByBuffer));
  hookPump.hook = nullptr;
  EXPECT_TRUE(fired);
  EXPECT_EQ(ReadFile("rom.bin"), drive->RomBytes());
  const std::string sent = TakeReceived();
  for (const auto& c : cases) EXPECT_EQ(sent.find(c.neverSent), std::string::npos) << c.name;
  EXPECT_EQ(main->BusyWith(), "");
  EXPECT_EQ(main->edStatus.find("STATUS:"), 1u) << main->edStatus;  // the port's status again

  // Once it has ended the others start again; a call an operation makes
  // itself is part of it.
  RunButton(*main, diskInfo);
  Settle();
  EXPECT_NE(TakeReceived().find("/TJ\r"), std::string::npos);
  LongOperation outer(*main, "外层");
  EXPECT_TRUE(LongOperation(*main, "内层"));
  EXPECT_EQ(main->BusyWith(), "外层");
}

// The main window's own controls pressed during each kind of operation: the
// command line, the single-byte sender and the rate list refuse (typing goes
// on without touching the receive mode), nothing of theirs reaches the
// drive, and the operation ends as it would have; the open/close button
// closes the port, which ends the operation at once as a lost port does,
// with STOP left as it was.
TEST_F(LongOperationSim, MainWindowControlsDuringEachOperation) {
  families.Parse(BuiltInFamilyTable());
  main->ComboBox3.items = families.Names();
  main->ComboBox3.index = 0;
  TForm3 rom(*main);
  rom.Edit1 = Path("rom.bin");
  TForm6 backup(*main, families);
  backup.ComboBox7.SelectText("NHPLUS2HD_S-1A");
  backup.Edit1 = Path("bk/");
  backup.CheckBox1 = backup.CheckBox2 = backup.CheckBox3 = backup.CheckBox4 = false;  // Vendor alone
  TForm4 batch(*main);
  batch.Memo1 = {"R_BUF/0/4/" + Path("buffer.bin")};
  const ButtonDef& level1 = *FindButton(ConsoleButtons(), "Button3");  // "/1": waits between its sends
  const struct {
    const char* name;
    std::function<bool()> run;  // true when it succeeded
  } operations[] = {
      {"ROM read", [&] { return rom.Run(TForm3::Operation::ReadByBuffer); }},
      {"backup", [&] { return backup.StartBackup(); }},
      {"batch run", [&] { return batch.Button9Click().end == TForm4::RunResult::End::Finished; }},
      {"console button", [&] {
         RunButton(*main, level1);
         return true;
       }},
  };
  main->ComboBox2.SelectText("9600");
  const int fast = static_cast<int>(main->ComboBox2.items.size()) - 1;
  for (const auto& op : operations) {
    SCOPED_TRACE(op.name);
    // The refusing controls.
    Settle();
    TakeReceived();
    main->memo1.Clear();
    dialogs.shown.clear();
    std::string line = "zz";
    bool pressed = false;
    hookPump.hook = [&] {
      if (pressed || main->BusyWith().empty()) return;
      pressed = true;
      const ReceiveMode mode = main->receiveMode;
      EXPECT_FALSE(main->CMDKeyPress('\r', line));
      EXPECT_EQ(line, "zz");  // kept for when the operation has ended
      EXPECT_FALSE(main->CMDKeyPress('\x11', line));
      EXPECT_TRUE(main->CMDKeyPress('q', line));  // typed into the line, nothing sent
      main->RadioButton2Click();
      main->Edit21 = "7E";
      main->Edit21Enter();
      main->ComboBox2Choose(fast);
      EXPECT_EQ(main->receiveMode, mode);
    };
    EXPECT_TRUE(op.run());
    hookPump.hook = nullptr;
    EXPECT_TRUE(pressed);
    Settle();
    const std::string sent = TakeReceived();
    for (const char* never : {"zz\r", "\x11", "~"}) EXPECT_EQ(sent.find(never), std::string::npos) << never;
    EXPECT_EQ(main->ComboBox2.Text(), "9600");
    for (const char* control : {"命令行", "单字节发送", "波特率选择"})
      EXPECT_NE(PaneText().find(control + std::string("暂不可用（按STOP可中止它）。")), std::string::npos) << PaneText();
    EXPECT_TRUE(dialogs.shown.empty()) << dialogs.shown.front().text;
    EXPECT_EQ(main->edStatus.find("STATUS:"), 1u) << main->edStatus;
    EXPECT_EQ(drive->Rate(), 9600);

    // Closing the port.
    main->memo1.Clear();
    bool closed = false;
    hookPump.hook = [&] {
      if (closed || main->BusyWith().empty()) return;
      closed = true;
      main->stopFlag = 1;  // STOP pressed before
      main->btnSwitchClick();
      EXPECT_EQ(main->stopFlag, 1);
      EXPECT_FALSE(main->PortOpen());
      // Opening again waits for the operation's end.
      main->btnSwitchClick();
      EXPECT_FALSE(main->PortOpen());
    };
    op.run();
    hookPump.hook = nullptr;
    EXPECT_TRUE(closed);
    EXPECT_NE(PaneText().find("已关闭，“"), std::string::npos) << PaneText();
    EXPECT_NE(PaneText().find("打开串口暂不可用"), std::string::npos) << PaneText();
    EXPECT_EQ(main->BusyWith(), "");
    // The drive may be left at another rate or level: start it afresh.
    drive->Stop();
    drive = std::make_unique<sim::SimDrive>(Options());
    ASSERT_TRUE(drive->Start());
    ASSERT_TRUE(test::OpenWithButton(*main, drive->SlavePath(), "9600"));
    main->stopFlag = 0;
  }
}

}  // namespace
}  // namespace qv
