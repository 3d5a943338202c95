// Where the reserved area begins: the "%" answer, the "x" fallback at level
// 2, and what happens when the drive names nothing usable.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include <string>

#include "console/convert.h"
#include "procedures/sys_area.h"
#include "tests/support/sim_fixture.h"

namespace qv {
namespace {

class SysArea : public test::SimFixture {
 protected:
  void SetUp() override {
    SimFixture::SetUp();
    OpenAt();
    Settle();
    TakeReceived();
  }
};

TEST_F(SysArea, PercentAnswerNamesTheStartAndNothingMoreIsAsked) {
  main->receiveMode = ReceiveMode::usercmd;
  EXPECT_EQ(GetSysB(*main), "7F");
  Settle();
  EXPECT_EQ(TakeReceived(), "%\r");
  EXPECT_EQ(main->receiveMode, ReceiveMode::usercmd);
}

class SysAreaWithoutPercent : public SysArea {
  sim::SimOptions Options() const override {
    sim::SimOptions options;
    options.answerReservedQuery = false;
    return options;
  }
};

TEST_F(SysAreaWithoutPercent, FallsBackToTheDirectoryAtLevelTwo) {
  main->receiveMode = ReceiveMode::R_DATA;
  EXPECT_EQ(GetSysB(*main), "7F");
  Settle();
  const std::string sent = TakeReceived();
  EXPECT_TRUE(sent.starts_with("%\r")) << sent;
  EXPECT_TRUE(sent.ends_with("/2\rx\r")) << sent;
  EXPECT_EQ(main->receiveMode, ReceiveMode::R_DATA);
}

TEST_F(SysAreaWithoutPercent, AwayFromLevelTNothingIsNamedAndLevelTwoIsNotAsked) {
  main->SendString("/F\r");  // the boot monitor: no level T to be found
  Settle(10);
  TakeReceived();
  EXPECT_EQ(GetSysB(*main), "");
  Settle();
  const std::string sent = TakeReceived();
  EXPECT_TRUE(sent.starts_with("%\r")) << sent;
  EXPECT_EQ(sent.find("/2\r"), std::string::npos) << sent;
}

// A drive line the test writes itself, for answers the simulated drive never gives.
class ScriptedLine : public ::testing::Test {
 protected:
  void SetUp() override {
    master = posix_openpt(O_RDWR | O_NOCTTY);
    ASSERT_GE(master, 0);
    ASSERT_EQ(grantpt(master), 0);
    ASSERT_EQ(unlockpt(master), 0);
    main = std::make_unique<TFrmMain>(pump, dialogs);
    ASSERT_TRUE(main->OpenPort(ptsname(master), 9600));
  }
  void TearDown() override {
    main->FormClose();
    main.reset();
    close(master);
  }
  // Queued before the operation runs; it reads it after its command.
  void DriveSays(const std::string& text) { ASSERT_EQ(write(master, text.data(), text.size()), (ssize_t)text.size()); }

  int master = -1;
  NoToolkitPump pump;
  test::ScriptedDialogs dialogs;
  std::unique_ptr<TFrmMain> main;
};

TEST_F(ScriptedLine, RangeWithoutDashIsAConversionErrorAndTheModeComesBack) {
  main->receiveMode = ReceiveMode::usercmd;
  DriveSays("%\r\n: \"SYSTEM\" 0007F \"RESERVED\"\r\nF3 T>");
  EXPECT_THROW(GetSysB(*main), EConvertError);
  EXPECT_EQ(main->receiveMode, ReceiveMode::usercmd);
}

TEST_F(ScriptedLine, LaterLinesReplaceEarlierOnesAndZeroReadsAsZero) {
  DriveSays("%\r\n: \"A\" 0007F-00083 \"B\"\r\n  : not first\r\n:\"C\"00000-00010\r\nF3 T>");
  EXPECT_EQ(GetSysB(*main), "0");
}

}  // namespace
}  // namespace qv
