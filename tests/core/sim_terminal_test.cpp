// The simulated drive's terminal as the PC sees it through the pty.
#include <gtest/gtest.h>

#include <chrono>
#include <string>

#include "sim/sim_drive.h"
#include "sim/sim_rates.h"
#include "sim_pc_end.h"

namespace qv::sim {
namespace {

using testing::PcEnd;

using SimTerminal = testing::SimLineTest;

TEST(SimRates, CommandDigitsAndFullRates) {
  EXPECT_EQ(RateFromDigits("0096"), 9600);
  EXPECT_EQ(RateFromDigits("0384"), 38400);
  EXPECT_EQ(RateFromDigits("0576"), 57600);
  EXPECT_EQ(RateFromDigits("0115"), 115200);
  EXPECT_EQ(RateFromDigits("0230"), 230400);
  EXPECT_EQ(RateFromDigits("0460"), 460800);
  EXPECT_EQ(RateFromDigits("0625"), 625200);
  EXPECT_EQ(RateFromDigits("0921"), 921600);
  EXPECT_EQ(RateFromDigits("115200"), 115200);
  EXPECT_EQ(RateFromDigits("38400"), 38400);
  EXPECT_EQ(RateFromDigits("9600"), 0);  // four digits are always a code, and 9600 is none
  EXPECT_EQ(RateFromDigits("625000"), 0);
  EXPECT_EQ(RateFromDigits("01 5"), 0);
  EXPECT_EQ(RateFromDigits(""), 0);
}

TEST(SimRates, NoiseNeverLooksLikeAPromptOrAnAnswer) {
  LineNoise noise(3);
  int distinct[256] = {};
  for (int i = 0; i < 20000; ++i) {
    const uint8_t b = noise.Next();
    ASSERT_NE(b, '>');
    ASSERT_NE(b, 0x06);
    ASSERT_NE(b, 0x15);
    ASSERT_NE(b, 0x77);
    ASSERT_NE(b, 0x88);
    distinct[b] = 1;
  }
  int count = 0;
  for (int d : distinct) count += d;
  EXPECT_GT(count, 200);  // it is noise, not a constant
}

TEST_F(SimTerminal, PromptsAndLevels) {
  EXPECT_EQ(Cmd("/\r", "F3 T>"), "/\r\nF3 T>");
  EXPECT_EQ(Cmd("/2\r", "F3 2>"), "/2\r\nF3 2>");
  EXPECT_EQ(drive.Level(), "2");
  EXPECT_EQ(Cmd("/a\r", "F3 A>"), "/a\r\nF3 A>");
  // A level with a command runs the command there.
  EXPECT_EQ(Cmd("/6B0\r", "F3 6>"), "/6B0\r\nOK\r\nF3 6>");
  EXPECT_EQ(Cmd("/TJ\r", "F3 T>"), "/TJ\r\nOK\r\nF3 T>");
  Cmd("/2\r", "F3 2>");
  // Ctrl-Z anywhere, even inside a half-typed line, goes back to level T.
  EXPECT_EQ(Cmd("s1\x1A", "F3 T>"), "s1\r\nF3 T>");
  EXPECT_EQ(drive.Level(), "T");
  EXPECT_EQ(Cmd("\r", "F3 T>"), "\r\nF3 T>");  // the dropped "s1" doesn't come back
}

TEST_F(SimTerminal, EchoesPrintableInputAndRecordsEverything) {
  const std::string sent = "N50,,22\n\x02\r";  // Ctrl-A and Ctrl-L are answered at once, Ctrl-B means nothing
  EXPECT_EQ(Cmd(sent, "F3 T>"), "N50,,22\r\nOK\r\nF3 T>");
  EXPECT_EQ(drive.Received(), sent);
  EXPECT_EQ(drive.CommandsSeen(), 1);
  EXPECT_EQ(Cmd("AB\bC\r", "F3 T>"), "AB\b \bC\r\nOK\r\nF3 T>");
  drive.ClearReceived();
  EXPECT_EQ(drive.Received(), "");
}

TEST_F(SimTerminal, RateChangeAnswersAtTheOldRateThenOnlyAtTheNew) {
  EXPECT_EQ(Cmd("B0115\r", "F3 T>"), "B0115\r\nBaud Rate Changed to 115200\r\nF3 T>");
  EXPECT_EQ(drive.Rate(), 115200);
  drive.ClearReceived();

  // Still at 9600 on the PC: one byte of noise per byte, nothing understood.
  pc.Send("/\r");
  const std::string noise = pc.ReadFor(150);
  EXPECT_EQ(noise.size(), 2u);
  EXPECT_EQ(noise.find('>'), std::string::npos);
  EXPECT_EQ(drive.Received(), "");
  EXPECT_EQ(drive.CommandsSeen(), 1);

  ASSERT_TRUE(pc.SetRate(115200));
  EXPECT_EQ(Cmd("/\r", "F3 T>"), "/\r\nF3 T>");
  EXPECT_EQ(drive.Received(), "/\r");

  // Other levels take the lower-case form; 625200 is a rate of its own.
  Cmd("/2\r", "F3 2>");
  Cmd("b0625\r", "F3 2>");
  EXPECT_EQ(drive.Rate(), 625200);
  ASSERT_TRUE(pc.SetRate(625200));
  EXPECT_EQ(Cmd("/T\r", "F3 T>"), "/T\r\nF3 T>");
  // The full-rate form at level T; a wrong code changes nothing.
  EXPECT_EQ(Cmd("B0999\r", "F3 T>"), "B0999\r\nInvalid baud rate\r\nF3 T>");
  Cmd("B38400\r", "F3 T>");
  EXPECT_EQ(drive.Rate(), 38400);
}

TEST_F(SimTerminal, DriveOutputAtTheWrongRateIsNoise) {
  // The answer is sent at the drive's rate; a PC that has already moved reads noise.
  drive.SetOptions(SimOptions{.paceAtLineRate = true});
  pc.Send("B0921\r");
  std::string got = pc.ReadUntilEnd("B0921");
  pc.SetRate(921600);
  got = pc.ReadFor(150);
  EXPECT_FALSE(got.empty());
  EXPECT_EQ(got.find("F3 T>"), std::string::npos);
  EXPECT_EQ(got.find('>'), std::string::npos);
  EXPECT_EQ(Cmd("/\r", "F3 T>"), "/\r\nF3 T>");
}

TEST_F(SimTerminal, MonitorLevelAfterCtrlT) {
  Cmd("B0115\r", "F3 T>");
  ASSERT_TRUE(pc.SetRate(115200));
  pc.Send("\x14");
  // The monitor talks at 9600 without being told; its banner comes a little later.
  EXPECT_EQ(pc.ReadFor(10), "");
  ASSERT_TRUE(pc.SetRate(9600));
  const std::string banner = pc.ReadUntilEnd("\r\n", 1000);
  EXPECT_NE(banner.find("Boot monitor"), std::string::npos);
  EXPECT_EQ(banner.find('>'), std::string::npos);
  EXPECT_EQ(drive.Level(), "F");
  EXPECT_EQ(drive.Rate(), 9600);

  EXPECT_EQ(Cmd("\x1B", "F>"), "\r\nF>");
  pc.Send("\x1A");  // ignored here
  EXPECT_EQ(pc.ReadFor(50), "");
  EXPECT_EQ(drive.Level(), "F");
  EXPECT_EQ(Cmd("/\r", "F>"), "/\r\nF>");
  EXPECT_EQ(Cmd("Z", "F>"), "Z\r\nF>");
  EXPECT_EQ(Cmd("e5\r", "F>"), "e5\r\nOK\r\nF>");
  // Ctrl-C restarts the monitor; "/T" leaves it.
  pc.Send("\x03");
  EXPECT_NE(pc.ReadUntilEnd("\r\n", 1000).find("Boot monitor"), std::string::npos);
  EXPECT_EQ(Cmd("/T\r", "F3 T>"), "/T\r\nF3 T>");
  pc.Send("\x03");  // not at level T
  EXPECT_EQ(pc.ReadFor(80), "");
  EXPECT_EQ(drive.Level(), "T");
}

TEST_F(SimTerminal, SilentAfterTheNthCommand) {
  drive.SetOptions(SimOptions{.silentAfterCommand = 2});
  Cmd("/\r", "F3 T>");
  Cmd("/2\r", "F3 2>");
  pc.Send("/\r\x1A");
  EXPECT_EQ(pc.ReadFor(80), "");
  EXPECT_EQ(drive.CommandsSeen(), 3);
  EXPECT_EQ(drive.Received(), "/\r/2\r/\r\x1A");
}

TEST_F(SimTerminal, OutputArrivesInIrregularChunksAndPacing) {
  using std::chrono::steady_clock;
  drive.SetOptions(SimOptions{.paceAtLineRate = true});
  // 41 bytes of echo and answer at 9600 baud take about 43 ms.
  auto start = steady_clock::now();
  ASSERT_EQ(Cmd("B0115\r", "F3 T>").size(), 41u);
  EXPECT_GE(steady_clock::now() - start, std::chrono::milliseconds(35));
  pc.SetRate(115200);
  Cmd("/2\r", "F3 2>");
  // About 1.7 KB at 115200 baud holds the line for about 150 ms.
  start = steady_clock::now();
  pc.Send("B0,0\r");
  int reads = 0;
  std::string got;
  while (!got.ends_with("F3 2>")) {
    const std::string chunk = pc.ReadChunk(1000);
    if (chunk.empty()) break;
    got += chunk;
    ++reads;
  }
  const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(steady_clock::now() - start).count();
  EXPECT_TRUE(got.ends_with("F3 2>"));
  EXPECT_GE(ms, 120);
  EXPECT_GT(reads, 5);
}

TEST_F(SimTerminal, HangUpWhenTheLineDrops) {
  // A PC that lets go of the port and opens it again finds the drive still there.
  pc.Close();
  ASSERT_TRUE(pc.Open(drive.SlavePath()));
  EXPECT_EQ(Cmd("/\r", "F3 T>"), "/\r\nF3 T>");
  EXPECT_FALSE(pc.HangUp(20));
  drive.CloseMaster();
  EXPECT_TRUE(pc.HangUp(1000));
}

TEST(SimPort, SharedDriveStartsOnce) {
  const std::string& path = SimPortPath();
  ASSERT_FALSE(path.empty());
  EXPECT_EQ(&path, &SimPortPath());
  PcEnd pc;
  ASSERT_TRUE(pc.Open(path));
  pc.Send("/\r");
  EXPECT_TRUE(pc.ReadUntilEnd(">").ends_with(">"));
}

}  // namespace
}  // namespace qv::sim
