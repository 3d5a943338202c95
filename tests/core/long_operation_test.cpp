// One long operation at a time: while one runs, every other started from
// within its waits (a click on another window) is refused with one message
// naming what runs, and sends nothing.
#include <gtest/gtest.h>

#include <functional>

#include "batch/form4.h"
#include "console/console_buttons.h"
#include "console/long_operation.h"
#include "firmware/form2.h"
#include "firmware/form6.h"
#include "procedures/id_editor.h"
#include "tests/core/transfer_sim_support.h"
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
      dialogs.shown.clear();
      c.start();
      ASSERT_EQ(dialogs.shown.size(), 1u);
      EXPECT_EQ(dialogs.shown[0].text, "“串行ROM读写：缓冲区读取”正在进行，请等它结束（或按STOP中止）后再开始其它操作！");
    }
  };
  EXPECT_TRUE(rom.Run(TForm3::Operation::ReadByBuffer));
  hookPump.hook = nullptr;
  EXPECT_TRUE(fired);
  EXPECT_EQ(ReadFile("rom.bin"), drive->RomBytes());
  const std::string sent = TakeReceived();
  for (const auto& c : cases) EXPECT_EQ(sent.find(c.neverSent), std::string::npos) << c.name;
  EXPECT_EQ(main->BusyWith(), "");

  // Once it has ended the others start again; a call an operation makes
  // itself is part of it.
  RunButton(*main, diskInfo);
  Settle();
  EXPECT_NE(TakeReceived().find("/TJ\r"), std::string::npos);
  LongOperation outer(*main, "外层");
  EXPECT_TRUE(LongOperation(*main, "内层"));
  EXPECT_EQ(main->BusyWith(), "外层");
}

}  // namespace
}  // namespace qv
