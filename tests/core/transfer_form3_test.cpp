// The serial ROM window's behaviour: its file choosers and size limit, the
// checks before an operation, and the way back to 9600 after every one.
#include <gtest/gtest.h>

#include "console/convert.h"
#include "transfer/form3.h"
#include "transfer_sim_support.h"

namespace qv {
namespace {

class Form3Sim : public test::TransferSim {
 protected:
  // The ROM operations only pause for the drive to answer.
  int PauseScale() const override { return 10; }
  void SetUp() override {
    TransferSim::SetUp();
    if (HasFatalFailure()) return;
    form = std::make_unique<TForm3>(*main);
    form->onChanged = [this] { ++changes; };
  }
  void TearDown() override {
    form.reset();
    TransferSim::TearDown();
  }

  std::unique_ptr<TForm3> form;
  int changes = 0;
};

TEST_F(Form3Sim, ChoosersAndTheSizeLimitOfAFileToWrite) {
  using Chooser = test::ScriptedDialogs::Chooser;
  // The save chooser: its name is taken without the blanks around it.
  dialogs.paths = {"  " + Path("out.bin") + " ", std::nullopt};
  form->Button51Click();
  EXPECT_EQ(form->Edit1, Path("out.bin"));
  form->Button51Click();  // cancelled: nothing changes
  EXPECT_EQ(form->Edit1, Path("out.bin"));
  EXPECT_EQ(dialogs.choosers,
            std::vector<Chooser>(2, Chooser{"save", "BIN文件|*.bin|所有文件|*.*", "*.bin", "ROM.BIN"}));

  // The open chooser, then the limit of 524288 bytes.
  WriteFile("limit.bin", std::vector<uint8_t>(524288, 1));
  WriteFile("over.bin", std::vector<uint8_t>(524289, 1));
  dialogs.paths = {Path("limit.bin"), Path("over.bin"), Path("gone.bin")};
  form->Button1Click();
  EXPECT_EQ(form->Edit2, Path("limit.bin"));
  EXPECT_TRUE(dialogs.shown.empty());
  form->Button1Click();
  EXPECT_EQ(form->Edit2, "");
  ASSERT_EQ(dialogs.shown.size(), 1u);
  EXPECT_EQ(dialogs.shown[0].text, "ROM模块文件太长（524289字节），不能超过524288字节！");
  form->Button1Click();  // vanished between the choice and the look at its size
  EXPECT_EQ(form->Edit2, "");
  EXPECT_EQ(dialogs.shown.size(), 2u);
  EXPECT_EQ(dialogs.choosers.back(), (Chooser{"open", "BIN文件|*.bin|所有文件|*.*", "*.bin", "ROM.BIN"}));
  EXPECT_GE(changes, 3);

  // The rate list is the main window's, the last rate chosen; the entry buffer 400.
  EXPECT_EQ(form->ComboBox2.items, main->ComboBox2.items);
  EXPECT_EQ(form->ComboBox2.Text(), "921600");
  EXPECT_EQ(form->ComboBox3, "400");
  EXPECT_EQ(TForm3::EntryBuffers(), (std::vector<std::string>{"400", "800"}));
}

// Whatever needs no drive is checked before the drive hears anything: the
// refused button leaves the drive where it was.
TEST_F(Form3Sim, ChecksBeforeTheDriveIsTouched) {
  std::filesystem::create_directory(dir / "folder");
  WriteFile("big.bin", std::vector<uint8_t>(524289, 1));
  WriteFile("part.bin", std::vector<uint8_t>(1000, 1));
  WriteFile("256.bin", std::vector<uint8_t>(256 * 512, 1));
  WriteFile("empty.bin", {});
  WriteFile("short.bin", std::vector<uint8_t>(65535, 1));
  struct Case {
    void (TForm3::*button)();
    std::string edit1, edit2, message;
  };
  const Case closed{&TForm3::Button2Click, Path("r.bin"), "", "请先打开串口！"};
  const Case cases[] = {
      {&TForm3::Button2Click, "", "", "请指定读取后保存的文件！"},
      {&TForm3::Button6Click, Path("r.bin"), "", "请选择要写入的ROM文件！"},
      {&TForm3::Button3Click, Path("folder"), "", "无法保存读取的ROM文件“" + Path("folder") + "”：这是一个文件夹！"},
      {&TForm3::Button2Click, Path("no/r.bin"), "", "无法保存读取的ROM文件“" + Path("no/r.bin") + "”：文件夹不存在！"},
      // A folder that takes no new file, for the writer's file beside the target.
      {&TForm3::Button2Click, Path("part.bin/r.bin"), "",
       "无法保存读取的ROM文件“" + Path("part.bin/r.bin") + "”：这是一个文件，不是文件夹！"},
      {&TForm3::Button2Click, "/proc/rom.bin", "",
       "无法保存读取的ROM文件“/proc/rom.bin”：这是系统的虚拟文件夹（如/proc、/sys），不能存放文件！"},
      // The file to write, as the write will read it.
      {&TForm3::Button6Click, "", Path("folder"), "无法打开ROM文件“" + Path("folder") + "”：这是一个文件夹，不是文件！"},
      {&TForm3::Button6Click, "", Path("gone.bin"), "无法打开ROM文件“" + Path("gone.bin") + "”：文件不存在！"},
      {&TForm3::Button4Click, "", Path("big.bin"), "ROM模块文件太长（524289字节），不能超过524288字节！"},
      {&TForm3::Button6Click, "", Path("part.bin"), "文件长度必须是512的倍数！"},
      {&TForm3::Button6Click, "", Path("empty.bin"), "ROM文件是空文件，没有可写入的数据！"},
      {&TForm3::Button6Click, "", Path("256.bin"), "ROM文件太大：缓冲区写入一次最多下载255块（130560字节），不能只写入一部分！"},
      {&TForm3::Button4Click, "", Path("short.bin"), "ROM文件太小（65535字节）：指令方式写入需要至少65536字节！"},
  };
  const auto check = [this](const Case& c) {
    SCOPED_TRACE(c.message);
    form->Edit1 = c.edit1;
    form->Edit2 = c.edit2;
    dialogs.shown.clear();
    (form.get()->*c.button)();
    ASSERT_EQ(dialogs.shown.size(), 1u);
    EXPECT_EQ(dialogs.shown[0].text, c.message);
    EXPECT_TRUE(form->Enabled);
    EXPECT_EQ(drive->Level(), "T");
    EXPECT_EQ(TakeReceived(), "");
  };
  check(closed);
  OpenAt();
  Settle();
  TakeReceived();
  for (const Case& c : cases) check(c);
}

TEST_F(Form3Sim, EveryOperationEndsWithDriveAndPortAt9600) {
  OpenAt();
  form->ComboBox2.SelectText("921600");
  std::vector<bool> enabledDuringRun;
  hookPump.hook = [&] {
    if (drive->Received().find("e5\r") != std::string::npos && enabledDuringRun.empty())
      enabledDuringRun.push_back(form->Enabled);
  };
  const auto backAt9600 = [&] {
    EXPECT_EQ(drive->Rate(), 9600);
    EXPECT_EQ(drive->Level(), "F");
    EXPECT_EQ(main->ComboBox2.Text(), "9600");
    EXPECT_TRUE(form->Enabled);
    EXPECT_EQ(main->stopFlag, 0);
    EXPECT_EQ(main->receiveMode, ReceiveMode::usercmd);
    // The port talks with the drive again: the CR sent last shows its prompt.
    Settle(20);
    EXPECT_TRUE(PaneText().ends_with("F>")) << PaneText();
  };

  // A fast read at 921600 that succeeds.
  form->Edit1 = Path("rom.bin");
  form->Button2Click();
  EXPECT_EQ(ReadFile("rom.bin"), drive->RomBytes());
  EXPECT_EQ(enabledDuringRun, std::vector<bool>{false});
  std::string sent = TakeReceived();
  ASSERT_NE(sent.find("b0921\r"), std::string::npos);
  EXPECT_LT(sent.find("b0921\r"), sent.find("e5\r"));
  EXPECT_GT(sent.rfind("b0096\r"), sent.rfind("e2,16F,0\r"));
  backAt9600();

  // A fast write whose file goes missing once the rate is set: the error
  // reaches the caller, after the way back.
  WriteFile("gone.bin", std::vector<uint8_t>(512, 1));
  dialogs.paths = {Path("gone.bin")};
  form->Button1Click();
  hookPump.hook = [&] {
    if (drive->Received().find("b0921\r") != std::string::npos) std::filesystem::remove(Path("gone.bin"));
  };
  EXPECT_THROW(form->Button6Click(), EFileError);
  hookPump.hook = nullptr;
  sent = TakeReceived();
  EXPECT_NE(sent.find("b0921\r"), std::string::npos);
  EXPECT_NE(sent.find("b0096\r"), std::string::npos);
  backAt9600();

  // An instruction write stopped after its tenth byte.
  WriteFile("image.bin", std::vector<uint8_t>(0x10000, 0x5A));
  dialogs.paths = {Path("image.bin")};
  form->Button1Click();
  main->SetProgress(0, 0);
  StopWhen([this] { return main->ProgressBar1.position == 10; });
  form->Button4Click();
  hookPump.hook = nullptr;
  EXPECT_NE(PaneText().find("被用户中止！"), std::string::npos);
  sent = TakeReceived();
  EXPECT_EQ(sent.find("e1,B,"), std::string::npos);
  EXPECT_GT(sent.rfind("b0096\r"), sent.rfind("e1,A,5A,0\r"));
  backAt9600();
}

}  // namespace
}  // namespace qv
