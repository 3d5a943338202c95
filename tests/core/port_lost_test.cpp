// The adapter pulled out in the middle of every long operation: the
// operation ends at its next wait with its failure, never a success, the
// files are what a failed run leaves, the port shows closed, and the same
// console opens the device again once it is back. Closing the program in
// the middle of one ends it as soon.
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "batch/form4.h"
#include "firmware/loading/form2_loading.h"
#include "firmware_backup_sim.h"
#include "tests/support/port_bar.h"
#include "transfer/form3.h"
#include "transfer/transfer.h"

namespace qv {
namespace {

class PortLostSim;

struct LostCase {
  const char* name;
  // The line drops once the drive has received `trigger` and `extra` bytes after it.
  const char* trigger;
  size_t extra;
  std::function<void(PortLostSim&)> run;
  // In what the console said after the drop (pane text or a message); none
  // for the download alone, whose callers report its result.
  const char* failure;
  // Files of the scratch folder that must exist afterwards and that must not.
  std::vector<const char*> present, absent;
  // The program closing its main window instead of the adapter pulled out.
  bool programCloses = false;
};

void PrintTo(const LostCase& c, std::ostream* os) { *os << c.name; }

class PortLostSim : public test::BackupSim, public ::testing::WithParamInterface<LostCase> {
 public:
  using BackupSim::Blocks;
  using BackupSim::Path;
  using BackupSim::WriteFile;
  using SimFixture::main;
  using SimFixture::drive;
  using SimFixture::families;
  using BackupSim::Tick;
  using BackupSim::form;

  // The ROM window with a file name to save to and a 64 KiB image to write.
  std::unique_ptr<TForm3> RomWindow() {
    auto rom = std::make_unique<TForm3>(*main);
    rom->Edit1 = Path("rom.bin");
    rom->Edit2 = Path("image.bin");
    WriteFile("image.bin", Blocks(128));
    return rom;
  }
  std::unique_ptr<TForm2> form2;
  std::unique_ptr<TForm4> form4;
  std::unique_ptr<TForm3> form3;

 protected:
  void TearDown() override {
    form2.reset();
    form3.reset();
    form4.reset();
    BackupSim::TearDown();
  }

  // Drops the line when the case's trigger has gone by, and keeps the pane as it was then.
  void ArmDrop(const LostCase& c) {
    hookPump.hook = [this, c] {
      if (dropped) return;
      const std::string received = drive->Received();
      const size_t at = received.find(c.trigger);
      if (at == std::string::npos || received.size() < at + std::string(c.trigger).size() + c.extra) return;
      dropped = true;
      paneAtDrop = main->memo1.Lines();
      shownAtDrop = dialogs.shown.size();
      callsAtDrop = hookPump.calls;
      if (c.programCloses)
        main->FormClose();
      else
        drive->CloseMaster();
    };
  }

  // Everything the console said after the drop: text added to the pane's
  // lines of that moment, new lines, and message boxes.
  std::string SaidAfterDrop() const {
    std::string said;
    const auto& lines = main->memo1.Lines();
    for (size_t i = 0; i < lines.size(); ++i) {
      const bool old = i < paneAtDrop.size() && lines[i].starts_with(paneAtDrop[i]);
      said += Utf8FromGbk(old ? lines[i].substr(paneAtDrop[i].size()) : lines[i]) + "\n";
    }
    for (size_t i = shownAtDrop; i < dialogs.shown.size(); ++i) said += dialogs.shown[i].text + "\n";
    return said;
  }

  bool dropped = false;
  std::vector<std::string> paneAtDrop;
  size_t shownAtDrop = 0;
  long callsAtDrop = 0;
};

// A button of the serial ROM window, its pauses ten times shorter (the
// instruction write pauses after every byte); shorter still, a loaded machine
// could turn the rate before the drive has, and the trigger never comes.
std::function<void(PortLostSim&)> RomButton(void (TForm3::*button)()) {
  return [button](PortLostSim& t) {
    t.form3 = t.RomWindow();
    t.main->pauseTick = TFrmMain::kTick / 10;
    (*t.form3.*button)();
  };
}

// Each operation's own failure line is its progress line ended by "失败！"
// (the lost port's notice comes in between); the backup and the batch run
// end with lines of their own.
const LostCase kCases[] = {
    {"BufferRead", "B2,2\r", 0,
     [](PortLostSim& t) { ReadBuffer(*t.main, "0", "6", t.Path("buffer.bin")); }, "失败！",
     {"buffer.bin"}, {}},  // with the blocks read before the drop
    {"BufferWrite", "\xCC\x33", 1500,
     [](PortLostSim& t) {
       t.WriteFile("in.bin", t.Blocks(6));
       WriteBuffer(*t.main, "0", "6", t.Path("in.bin"));
     },
     "失败！", {}, {}},
    {"TrackRead", "r,2,2\r", 0,
     [](PortLostSim& t) { ReadTrack(*t.main, "3", "1", "0", "6", "0", "2", t.Path("track.bin"), true); }, "失败！", {},
     {"track.bin"}},
    {"TrackWrite", "\xCC\x33", 600,
     [](PortLostSim& t) {
       t.WriteFile("six.bin", t.Blocks(6));
       WriteTrack(*t.main, "20", "1", "0", "6", "0", "2", t.Path("six.bin"), "9600");
     },
     "失败！", {}, {}},
    {"FileDownload", "\xCC\x33", 1500,
     [](PortLostSim& t) {
       t.WriteFile("many.bin", t.Blocks(6));
       t.main->SendString("d0\r");
       t.main->WaitHD(200);
       EXPECT_FALSE(SendFile(*t.main, t.Path("many.bin"), 512));
     },
     nullptr, {}, {}},
    {"RomFastRead", "B5,5\r", 0, RomButton(&TForm3::Button2Click), "失败！", {}, {"rom.bin"}},
    {"RomInstructionRead", "e2,100,0\r", 0, RomButton(&TForm3::Button3Click), "失败！", {}, {"rom.bin"}},
    {"RomInstructionReadAsTheProgramCloses", "e2,100,0\r", 0, RomButton(&TForm3::Button3Click), "失败！", {},
     {"rom.bin"}, true},
    {"RomFastWrite", "\xCC\x33", 3000, RomButton(&TForm3::Button6Click), "失败！", {}, {}},
    {"RomInstructionWrite", "e1,100,", 0, RomButton(&TForm3::Button4Click), "失败！", {}, {}},
    {"Backup", "B401,401\r", 0,
     [](PortLostSim& t) {
       t.Tick(true, true, true, true, true);
       t.form->Button7Click();
     },
     "备份失败!", {"backup/SN.TXT"}, {"backup/CERT.BIN", "backup/Table.BIN", "backup/ATA.BIN", "backup/Vendor.BIN"}},
    {"LoadChain", "d,3,1\r", 1000,
     [](PortLostSim& t) {
       t.form2 = std::make_unique<TForm2>(*t.main, t.families);
       t.form2->timing.percent = 1;
       t.form2->ComboBox2.SelectText("115200");
       t.form2->CheckBox1 = true;
       t.form2->CheckBox1Click();
       t.WriteFile("APP.BIN", t.Blocks(2, 2048));
       t.form2->Edit1 = t.Path("APP.BIN");
       t.form2->CheckBox2 = true;
       t.WriteFile("CERT.BIN", t.Blocks(1, 4096, 1));
       t.form2->Edit2 = t.Path("CERT.BIN");
       t.form2->Button6Click();
     },
     "失败！", {}, {}},
    {"BatchRun", "B2,2\r", 0,
     [](PortLostSim& t) {
       t.form4 = std::make_unique<TForm4>(*t.main);
       t.form4->Memo1 = {"R_BUF/0/6/" + t.Path("batch.bin"), "STR/x"};
       t.form4->Button9Click();
     },
     "串口已断开，批处理已中止！", {}, {}},
    {"ToF", "\x1A", 0, [](PortLostSim& t) { EXPECT_FALSE(t.main->ToF()); }, "失败！", {}, {}},
    {"RateChange", "B0115\r", 0,
     [](PortLostSim& t) {
       t.main->ComboBox2.SelectText("115200");
       t.main->ComboBox2Change();
     },
     "失败！", {}, {}},
};

TEST_P(PortLostSim, OperationFailsAtOnceAndThePortOpensAgain) {
  const LostCase& c = GetParam();
  ArmDrop(c);
  c.run(*this);
  hookPump.hook = nullptr;
  ASSERT_TRUE(dropped) << "the trigger never went by";
  // Straight down the failure path: a few passes of the event loop per
  // remaining step, not one per tick of every wait left.
  EXPECT_LT(hookPump.calls - callsAtDrop, 300);

  const std::string said = SaidAfterDrop();
  EXPECT_EQ(said.find("已断开（设备被拔出或出错），端口已关闭。") != std::string::npos, !c.programCloses) << said;
  if (c.failure) {
    EXPECT_NE(said.find(c.failure), std::string::npos) << said;
  }
  EXPECT_EQ(said.find("成功"), std::string::npos) << said;
  EXPECT_EQ(said.find("完成"), std::string::npos) << said;
  for (const char* name : c.present) EXPECT_TRUE(Exists(name)) << name;
  for (const char* name : c.absent) EXPECT_FALSE(Exists(name)) << name;
  EXPECT_FALSE(main->PortOpen());
  EXPECT_EQ(main->stopFlag, 0);
  if (c.programCloses) return;  // the window is gone with the program
  EXPECT_EQ(main->btnSwitch, "打开串口");

  // The adapter plugged in again: the same console opens it and talks.
  drive = std::make_unique<sim::SimDrive>(Options());
  ASSERT_TRUE(drive->Start());
  test::SetPortBar(*main, drive->SlavePath());
  OpenAt();
  EXPECT_FALSE(main->LinkGone());
  std::string line;
  main->CMDKeyPress('\r', line);  // the technician's Enter on the command line
  EXPECT_TRUE(main->WaitHD(100));
  EXPECT_EQ(main->LastPrompt, "T>");
}

INSTANTIATE_TEST_SUITE_P(EveryLongOperation, PortLostSim, ::testing::ValuesIn(kCases),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace qv
