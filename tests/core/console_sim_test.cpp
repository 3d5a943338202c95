// The console against the simulated drive through the real serial code:
// command entry, console buttons, levels, the F-level switch and rate changes.
#include <gtest/gtest.h>
#include <sched.h>

#include <algorithm>
#include <filesystem>

#include "console/console_buttons.h"
#include "tests/support/quiet_startup.h"
#include "tests/support/sim_fixture.h"

namespace qv {
namespace {

using ConsoleSim = test::SimFixture;

TEST_F(ConsoleSim, CommandLineSendsTrimmedLinesAndControlKeys) {
  OpenAt();
  std::string line = "  /2  ";
  EXPECT_FALSE(main->CMDKeyPress('\r', line));
  EXPECT_EQ(line, "");
  line = "/2x";
  EXPECT_FALSE(main->CMDKeyPress('\x1A', line));  // Ctrl-Z goes out at once, the line stays
  EXPECT_EQ(line, "/2x");
  EXPECT_TRUE(main->CMDKeyPress('a', line));
  EXPECT_TRUE(main->CMDKeyPress('\x08', line));
  line.clear();
  main->CMDKeyPress('\r', line);  // an empty line sends CR alone
  SettleUntil([&] { return drive->Received().size() >= 5 && PaneText().find("F3 2>") != std::string::npos; });
  EXPECT_EQ(TakeReceived(), "/2\r\x1A\r");
  EXPECT_EQ(main->receiveMode, ReceiveMode::usercmd);
  EXPECT_NE(PaneText().find("F3 2>"), std::string::npos);
}

TEST_F(ConsoleSim, SingleByteSender) {
  OpenAt();
  main->RadioButton1Click();
  EXPECT_EQ(main->Edit21MaxLength, 3);
  EXPECT_EQ(main->Edit21KeyPress('x'), 0);
  main->Edit21 = "300";
  main->Edit21Enter();  // 300 mod 256
  main->RadioButton2Click();
  EXPECT_EQ(main->Edit21MaxLength, 2);
  main->Edit21 += main->Edit21KeyPress('1');
  main->Edit21 += main->Edit21KeyPress('a');
  EXPECT_EQ(main->Edit21, "1A");
  main->Edit21Enter();
  EXPECT_EQ(main->Edit21, "");
  main->Edit21Enter();  // an empty field sends nothing and says why
  Settle(5);
  EXPECT_EQ(TakeReceived(), std::string("\x2C\x1A"));
  EXPECT_EQ(dialogs.shown.back().text, "'' is not a valid integer value");
}

TEST_F(ConsoleSim, ConsoleButtonsSendExactlyTheirBytes) {
  OpenAt();
  const std::pair<const char*, std::string> expected[] = {
      {"Button12", "\x1A"},
      {"Button1", "?\r"},
      {"Button2", ".\r"},
      {"Button3", "\x1A/1\r"},
      {"Button7", "\x1A/6\r"},
      {"Button13", "/TJ\r"},
      {"Button14", "/TF,,22\r"},
      {"Button15", "/Tm0,2,2,0,0,0,0,22\r"},
      {"Button17", "/Tm0,2,2,,,,,22\r"},
      {"Button18", "/1N5\r"},
      {"Button19", "/1N1,,22\r"},
      {"Button11", "/7w2,,22\r"},
      {"Button10", "/6B0\r"},
      {"Button87", "/TB115200\r"},
  };
  dialogs.answers = {true};
  for (const auto& [name, bytes] : expected) {
    const ButtonDef* button = FindButton(ConsoleButtons(), name);
    if (!button) button = FindButton(PortBarButtons(), name);
    ASSERT_NE(button, nullptr) << name;
    main->receiveMode = ReceiveMode::Empty;
    RunButton(*main, *button);
    EXPECT_EQ(main->receiveMode, ReceiveMode::usercmd);
    Settle(8);
    EXPECT_EQ(TakeReceived(), bytes) << name;
  }
  ASSERT_EQ(dialogs.questions.size(), 1u);
  EXPECT_EQ(dialogs.questions[0].caption, "提示");
  EXPECT_EQ(dialogs.questions[0].text, "确认流程已正确加载,开始执行吗?");
  // The rate button moves the drive only: the port stays where it was.
  EXPECT_EQ(main->ComboBox2.Text(), "9600");

  main->receiveMode = ReceiveMode::syscmd;
  RunButton(*main, *FindButton(ConsoleButtons(), "Button10"));  // answered No
  Settle(5);
  EXPECT_EQ(TakeReceived(), "");
  EXPECT_EQ(main->receiveMode, ReceiveMode::syscmd);
}

TEST_F(ConsoleSim, LevelTests) {
  OpenAt();
  EXPECT_TRUE(main->isT());
  EXPECT_FALSE(main->isF());
  main->SendString("/2\r");
  EXPECT_TRUE(main->WaitHD(100));
  EXPECT_EQ(main->LastPrompt, "2>");
  main->Button6Click();
  EXPECT_TRUE(main->isT());  // WaitPrompt's Ctrl-Z brings the drive back to T
  EXPECT_EQ(drive->Level(), "T");
  EXPECT_EQ(main->receiveMode, ReceiveMode::usercmd);
  EXPECT_EQ(PaneText(), "");  // level tests capture out of the pane's way
}

TEST_F(ConsoleSim, SwitchToTheFLevel) {
  OpenAt();
  // Move drive and port to 115200, so ToF has to bring the port back to 9600.
  main->AdMySpeed("115200");
  ASSERT_EQ(drive->Rate(), 115200);
  EXPECT_TRUE(main->ToF());
  EXPECT_EQ(drive->Level(), "F");
  EXPECT_EQ(main->ComboBox2.Text(), "9600");
  EXPECT_EQ(main->Link().IsOpen(), true);
  EXPECT_NE(PaneText().find("转换至F级...........成功！"), std::string::npos);
  EXPECT_EQ(main->receiveMode, ReceiveMode::syscmd);
  EXPECT_TRUE(main->isF());  // and from F, ToF takes the Ctrl-C path
  // Escape is pressed every two ticks until the monitor shows a prompt,
  // whichever press the prompt answers. On a transport whose bursts end only
  // after a quiet longer than the presses' spacing (a gap set by hand here),
  // waiting to take a prompt as the answer to the last press never ends.
  main->Link().SetManualQuiet(std::chrono::milliseconds(25));
  TakeReceived();
  EXPECT_TRUE(main->ToF());
  const std::string sent = TakeReceived();
  EXPECT_LE(std::count(sent.begin(), sent.end(), '\x1B'), 3) << sent.size() << " bytes sent";
}

TEST_F(ConsoleSim, RateChangesEndWithPortAndDriveAgreeing) {
  OpenAt();
  // At level T through the rate list, at level 2 through the dispatcher.
  main->ComboBox2.SelectText("921600");
  main->ComboBox2Change();
  EXPECT_EQ(drive->Rate(), 921600);
  EXPECT_NE(PaneText().find("正在调整速率，请稍候........完成！"), std::string::npos);
  EXPECT_EQ(main->edStatus, " STATUS: " + drive->SlavePath() + " Opened 921600 None 8 1");
  EXPECT_TRUE(main->btnSwitchEnabled);
  Settle(10);
  std::string sent = TakeReceived();
  EXPECT_NE(sent.find("B0921\r"), std::string::npos);

  main->AdMySpeed("bogus");  // any other text means 9600
  EXPECT_EQ(drive->Rate(), 9600);
  main->AdSpeed();  // ComboBox7: the highest rate
  EXPECT_EQ(drive->Rate(), 921600);
  main->SetSpeed9600();
  EXPECT_EQ(drive->Rate(), 9600);
  EXPECT_TRUE(main->isT());  // still talking

  // Away from level T the lower-case command is used.
  ASSERT_TRUE(main->ToF());
  TakeReceived();
  main->AdMySpeed("625200");
  EXPECT_EQ(drive->Rate(), 625200);
  EXPECT_EQ(main->ComboBox2.Text(), "625200");
  sent = TakeReceived();
  EXPECT_NE(sent.find("b0625\r"), std::string::npos);
  EXPECT_EQ(sent.find("B0625\r"), std::string::npos);
  EXPECT_TRUE(main->isF());
}

TEST_F(ConsoleSim, EveryRateOfTheTableBothWays) {
  OpenAt();
  for (const Rate& rate : kRates) {
    main->Set(rate);
    EXPECT_EQ(drive->Rate(), rate.baud) << rate.text;
    EXPECT_EQ(main->ComboBox2.Text(), rate.text);
    EXPECT_NE(TakeReceived().find(std::string(rate.tCommand)), std::string::npos) << rate.text;
    main->SendString("/\r");
    EXPECT_TRUE(main->WaitHD(50)) << "no dialogue at " << rate.text;
  }
  main->Set(kRates[0]);
  EXPECT_EQ(drive->Rate(), 9600);
}

TEST_F(ConsoleSim, PortSideOnlyRateWithoutListItem) {
  OpenAt();
  main->ComboBox2.items.resize(4);  // an adapter that took only the basic rates
  main->Speed(kRates[7]);
  EXPECT_EQ(main->ComboBox2.index, -1);
  EXPECT_EQ(main->edStatus, " STATUS: " + drive->SlavePath() + " Opened  None 8 1");
  // The drive stayed at 9600: what it says now is noise, and no prompt is found.
  main->SendString("/\r");
  EXPECT_FALSE(main->WaitHD(20));
}

TEST_F(ConsoleSim, ClosedPortWaitsTimeOutAndLevelTestsAnswerFalse) {
  EXPECT_FALSE(main->WaitHD(0));
  EXPECT_FALSE(main->isT());
  EXPECT_EQ(main->TxCount, 30 * 3 + 2);  // every attempt still counts what it would have sent
}

TEST_F(ConsoleSim, AboutButtonTalksToTheDrive) {
  OpenAt();
  main->Button8Click();
  Settle(10);
  EXPECT_EQ(TakeReceived(), "/T\r/\r\n");
  EXPECT_NE(PaneText().find("Quorvane"), std::string::npos);
}

TEST_F(ConsoleSim, StartUpProbesTheFirstPort) {
  const std::string dir = ::testing::TempDir() + "qv_tty_empty";
  std::filesystem::create_directories(dir);
  main->FormCreate(test::QuietStartup(dir));
  // Only the simulated drive is listed; it takes 921600, so all eight rates are offered.
  EXPECT_EQ(main->ComboBox1.items, std::vector<std::string>{"SIM"});
  EXPECT_EQ(main->ComboBox2.items.size(), 8u);
  EXPECT_EQ(main->ComboBox2.Text(), "9600");
  EXPECT_EQ(main->ComboBox7.Text(), "921600");
  EXPECT_FALSE(main->Panel2Enabled);
  EXPECT_FALSE(main->PortOpen());
  EXPECT_EQ(main->receiveMode, ReceiveMode::usercmd);
  EXPECT_EQ(main->edStatus, "COM STATUS：");
}

// Under taskset or in a container the process may use only some processors,
// not necessarily the first ones; the binding must pick one of those.
TEST(StartUpBinding, PicksAProcessorTheProcessMayUse) {
  cpu_set_t before;
  ASSERT_EQ(sched_getaffinity(0, sizeof before, &before), 0);
  if (CPU_COUNT(&before) < 2) GTEST_SKIP() << "needs two processors to choose from";
  int last = CPU_SETSIZE - 1;
  while (!CPU_ISSET(last, &before)) --last;
  cpu_set_t onlyLast;
  CPU_ZERO(&onlyLast);
  CPU_SET(last, &onlyLast);
  // With one processor allowed, an unbiased pick among all of them would miss it now and then.
  for (int i = 0; i < 20; ++i) {
    ASSERT_EQ(sched_setaffinity(0, sizeof onlyLast, &onlyLast), 0);
    BindToRandomProcessor();
    cpu_set_t after;
    sched_getaffinity(0, sizeof after, &after);
    EXPECT_TRUE(CPU_EQUAL(&after, &onlyLast)) << "bound elsewhere than processor " << last;
  }
  // Every thread of the process was bound; give them all their processors back.
  std::error_code ec;
  for (const auto& task : std::filesystem::directory_iterator("/proc/self/task", ec))
    sched_setaffinity(static_cast<pid_t>(std::stol(task.path().filename().string())), sizeof before, &before);
}

}  // namespace
}  // namespace qv
