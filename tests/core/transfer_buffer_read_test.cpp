// Buffer reads against the simulated drive: what is sent, what lands in the
// file, and which file is left behind on each way out.
#include <gtest/gtest.h>

#include "console/convert.h"
#include "transfer/transfer.h"
#include "transfer_sim_support.h"

namespace qv {
namespace {

class BufferReadSim : public test::TransferSim {
 protected:
  int PauseScale() const override { return 10; }
  std::vector<uint8_t> DriveBlocks(size_t first, size_t count) const {
    return drive->BufferBytes(first * 512, count * 512);
  }
  void Damage(void (*change)(sim::SimOptions&)) {
    auto o = drive->Options();
    change(o);
    drive->SetOptions(o);
  }
  // The last block of the drive's buffer; the one after it doesn't exist.
  static constexpr size_t kLastBlock = sim::SimDrive::kBufferSize / 512 - 1;
};

TEST_F(BufferReadSim, ReadsTheBlocksOneCommandEach) {
  OpenAt();
  ReadBuffer(*main, "a", "3", Path("out.bin"));
  EXPECT_EQ(ReadFile("out.bin"), DriveBlocks(0xA, 3));
  EXPECT_EQ(TakeReceived(), "/2\rBA,A\rBB,B\rBC,C\r/\r");
  EXPECT_EQ(LastLine(1), "正在读取缓冲区......成功！");
  EXPECT_EQ(LastLine(), "");
  EXPECT_EQ(main->ProgressBar1.max, 3);
  EXPECT_EQ(main->ProgressBar1.position, 3);
  EXPECT_EQ(main->receiveMode, ReceiveMode::Empty);

  // No blocks: no block command, an empty file, success.
  ReadBuffer(*main, "0", "0", Path("none.bin"));
  EXPECT_TRUE(Exists("none.bin"));
  EXPECT_TRUE(ReadFile("none.bin").empty());
  EXPECT_EQ(TakeReceived(), "/2\r/\r");
  EXPECT_EQ(LastLine(1), "正在读取缓冲区......成功！");
}

TEST_F(BufferReadSim, DamagedDumps) {
  OpenAt();
  // Stray text, a 17th line and lower-case digits change nothing.
  Damage([](sim::SimOptions& o) {
    o.dumpExtraLines = true;
    o.dumpLowerCase = true;
  });
  ReadBuffer(*main, "100", "2", Path("extra.bin"));
  EXPECT_EQ(ReadFile("extra.bin"), DriveBlocks(0x100, 2));

  // A missing line: the lines after the gap are skipped, 5 of 16 remain.
  Damage([](sim::SimOptions& o) { o = sim::SimOptions{}, o.dumpSkipLine = true; });
  ReadBuffer(*main, "100", "2", Path("gap.bin"));
  const auto blocks = DriveBlocks(0x100, 2);
  std::vector<uint8_t> expected(blocks.begin(), blocks.begin() + 5 * 32);
  expected.insert(expected.end(), blocks.begin() + 512, blocks.begin() + 512 + 5 * 32);
  EXPECT_EQ(ReadFile("gap.bin"), expected);
  EXPECT_EQ(LastLine(1), "正在读取缓冲区......成功！");
}

TEST_F(BufferReadSim, BlockWithoutBytesFailsTheRead) {
  OpenAt();
  // The drive refuses blocks past its buffer: that block adds no bytes and
  // the next one's check ends the read; the file holds what came before.
  const std::string last = IntToHex(kLastBlock);
  ReadBuffer(*main, last, "3", Path("past.bin"));
  EXPECT_EQ(ReadFile("past.bin"), DriveBlocks(kLastBlock, 1));
  EXPECT_EQ(LastLine(1), "正在读取缓冲区......失败！");
  const std::string next = IntToHex(kLastBlock + 1);
  EXPECT_EQ(TakeReceived(), "/2\rB" + last + "," + last + "\rB" + next + "," + next + "\r/\r");

  // Also when it is the last block of the read.
  ReadBuffer(*main, last, "2", Path("end.bin"));
  EXPECT_EQ(ReadFile("end.bin"), DriveBlocks(kLastBlock, 1));
  EXPECT_EQ(LastLine(1), "正在读取缓冲区......失败！");
}

TEST_F(BufferReadSim, StopKeepsTheBlocksReadSoFar) {
  OpenAt();
  // STOP pressed while the third block is on its way: that block completes.
  StopWhen([this] { return main->ProgressBar1.position == 2; });
  ReadBuffer(*main, "0", "6", Path("stopped.bin"));
  EXPECT_EQ(ReadFile("stopped.bin"), DriveBlocks(0, 3));
  EXPECT_EQ(LastLine(1), "被用户中止！");
  EXPECT_EQ(TakeReceived(), "/2\rB0,0\rB1,1\rB2,2\r/\r");

  // Already stopped: nothing is read and no file is written.
  hookPump.hook = nullptr;
  ReadBuffer(*main, "0", "6", Path("never.bin"));
  EXPECT_FALSE(Exists("never.bin"));
  EXPECT_EQ(LastLine(1), "被用户中止！");
  EXPECT_EQ(TakeReceived(), "/2\r/\r");
}

TEST_F(BufferReadSim, RaisedErrorsReachTheCaller) {
  OpenAt();
  try {
    ReadBuffer(*main, "0", "1g", Path("bad.bin"));
    ADD_FAILURE() << "no conversion error";
  } catch (const EConvertError& e) {
    EXPECT_STREQ(e.what(), "'1g' is not a valid integer value");
  }
  EXPECT_THROW(ReadBuffer(*main, "x", "1", Path("bad.bin")), EConvertError);
  EXPECT_EQ(LastLine(), "正在读取缓冲区......");
  Settle();
  EXPECT_EQ(TakeReceived(), "");

  // A file that can't be created: the blocks were read, the error is raised,
  // and nothing follows (no closing prompt request).
  try {
    ReadBuffer(*main, "0", "1", Path("no/such/folder.bin"));
    ADD_FAILURE() << "no file error";
  } catch (const EFileError& e) {
    EXPECT_NE(std::string(e.what()).find(Path("no/such/folder.bin")), std::string::npos);
  }
  EXPECT_EQ(TakeReceived(), "/2\rB0,0\r");
  EXPECT_EQ(main->receiveMode, ReceiveMode::Empty);
}

TEST_F(BufferReadSim, SilentDriveLeavesNoFile) {
  OpenAt();
  ShortenWaits();
  Damage([](sim::SimOptions& o) { o.silentAfterCommand = 0; });
  // The drive hears "/2" but says nothing; it comes back for the closing "/".
  hookPump.hook = [this] {
    if (drive->CommandsSeen() >= 1 && drive->Options().silentAfterCommand == 0)
      Damage([](sim::SimOptions& o) { o.silentAfterCommand = -1; });
  };
  ReadBuffer(*main, "0", "2", Path("silent.bin"));
  EXPECT_FALSE(Exists("silent.bin"));
  EXPECT_EQ(LastLine(1), "正在读取缓冲区......失败！");
  EXPECT_EQ(TakeReceived(), "/2\r/\r");
}

}  // namespace
}  // namespace qv
