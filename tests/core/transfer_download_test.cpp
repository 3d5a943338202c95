// The block download, the file download and the buffer write against the
// simulated drive, through the real serial code.
#include <gtest/gtest.h>

#include <stdexcept>
#include <unistd.h>

#include "console/convert.h"
#include "transfer/transfer.h"
#include "transfer_sim_support.h"

namespace qv {
namespace {

class DownloadSim : public test::TransferSim {
 protected:
  int PauseScale() const override { return 10; }
};

TEST_F(DownloadSim, SequenceTravelsBlockZeroLastWithClosingSumOverAllData) {
  OpenAt();
  const auto three = Blocks(3);
  WriteFile("three.bin", three);
  Arm("10");
  ASSERT_TRUE(SendFile(*main, Path("three.bin"), 512));
  const std::string expected = std::string("\xCC\x33", 2) + Frame(three, 1, 512, 1) + Frame(three, 2, 512, 2) +
                               Frame(three, 0, 512, 0) + Closing(three, three.size());
  EXPECT_EQ(TakeReceived(), expected);
  EXPECT_EQ(drive->DownloadsCompleted(), 1);
  EXPECT_EQ(drive->LastDownload(), three);
  EXPECT_EQ(drive->BufferBytes(0x10 * 512, three.size()), three);
  EXPECT_EQ(main->ProgressBar1.max, 1536);
  EXPECT_EQ(main->ProgressBar1.position, 1536);

  // One block: the sequence start, block 0's frame, the closing sum.
  const auto one = Blocks(1, 512, 9);
  WriteFile("one.bin", one);
  Arm();
  ASSERT_TRUE(SendFile(*main, Path("one.bin"), 512));
  EXPECT_EQ(TakeReceived(), std::string("\xCC\x33", 2) + Frame(one, 0, 512, 0) + Closing(one, 512));
  EXPECT_EQ(drive->LastDownload(), one);
}

TEST_F(DownloadSim, RefusedBlocksAreSentAgainThreeAttemptsInAll) {
  OpenAt();
  const auto two = Blocks(2);
  Arm();
  drive->RefuseNextBlocks(2);
  ASSERT_TRUE(SendData(*main, two.data(), two.size(), 512));
  const std::string block1 = Frame(two, 1, 512, 1);
  EXPECT_EQ(TakeReceived(), std::string("\xCC\x33", 2) + block1 + block1 + block1 + Frame(two, 0, 512, 0) +
                                Closing(two, two.size()));
  EXPECT_EQ(drive->LastDownload(), two);

  // A third refusal ends the download: block 0 and the closing sum never go out.
  Arm();
  drive->RefuseNextBlocks(3);
  EXPECT_FALSE(SendData(*main, two.data(), two.size(), 512));
  EXPECT_EQ(TakeReceived(), std::string("\xCC\x33", 2) + block1 + block1 + block1);
  EXPECT_EQ(drive->DownloadsCompleted(), 1);
}

TEST_F(DownloadSim, AtMost255BlocksTravel) {
  OpenAt();
  const auto many = Blocks(256);
  WriteFile("many.bin", many);
  Arm();
  ASSERT_TRUE(SendFile(*main, Path("many.bin"), 512));
  const std::vector<uint8_t> first255(many.begin(), many.begin() + 255 * 512);
  EXPECT_EQ(drive->LastDownload(), first255);
  EXPECT_EQ(main->ProgressBar1.position, 130560);
  const std::string received = TakeReceived();
  EXPECT_EQ(received.substr(received.size() - 2), Closing(many, 255 * 512));
}

TEST_F(DownloadSim, RefusedBeforeAnythingIsSent) {
  OpenAt();
  Arm();
  WriteFile("odd.bin", Blocks(1, 1000));
  EXPECT_FALSE(SendFile(*main, Path("odd.bin"), 512));
  ASSERT_EQ(dialogs.shown.size(), 1u);
  EXPECT_EQ(dialogs.shown[0].text, "文件长度必须是512的倍数！");
  EXPECT_FALSE(SendFile(*main, Path("odd.bin"), 3000));
  EXPECT_EQ(dialogs.shown[1].text, "文件长度必须是3000的倍数！");
  // An empty file has no block 0; the drive would wait for it for ever.
  WriteFile("empty.bin", {});
  EXPECT_FALSE(SendFile(*main, Path("empty.bin"), 512));
  EXPECT_EQ(dialogs.shown[2].text, "要发送的数据长度为0！");
  EXPECT_THROW(SendFile(*main, Path("odd.bin"), 0), std::invalid_argument);
  EXPECT_THROW(SendFile(*main, Path("odd.bin"), 65536), std::invalid_argument);
  EXPECT_THROW(SendFile(*main, Path("missing.bin"), 512), EFileError);
  Settle();
  EXPECT_EQ(TakeReceived(), "");
  EXPECT_EQ(dialogs.shown.size(), 3u);
}

TEST_F(DownloadSim, StopEndsTheDownloadAfterTheBlockInProgress) {
  OpenAt();
  const auto three = Blocks(3);
  Arm();
  // STOP lands while block 1 travels (its start marker is out).
  StopWhen([this] { return main->TxCount > 3; });
  EXPECT_FALSE(SendData(*main, three.data(), three.size(), 512));
  EXPECT_EQ(TakeReceived(), std::string("\xCC\x33", 2) + Frame(three, 1, 512, 1));
  EXPECT_EQ(LastLine(), "操作被用户中止！");
  EXPECT_EQ(drive->DownloadsCompleted(), 0);
}

TEST_F(DownloadSim, SilentDriveFailsAtTheSequenceStart) {
  OpenAt();
  ShortenWaits();
  Arm();
  drive->SetOptions([&] {
    auto o = drive->Options();
    o.silentAfterCommand = 0;
    return o;
  }());
  const auto one = Blocks(1);
  EXPECT_FALSE(SendData(*main, one.data(), one.size(), 512));
  EXPECT_EQ(TakeReceived(), "\xCC");
}

TEST_F(DownloadSim, WriteBufferSendsTheCutDataWithoutLeavingFiles) {
  OpenAt();
  const auto five = Blocks(5, 512, 3);
  WriteFile("five.bin", five);
  // The working folder is the user's: nothing may appear in it.
  const auto cwd = std::filesystem::current_path();
  std::filesystem::create_directory(dir / "cwd");
  std::filesystem::current_path(dir / "cwd");
  WriteBuffer(*main, "20", "3", Path("five.bin"));
  std::filesystem::current_path(cwd);
  EXPECT_TRUE(std::filesystem::is_empty(dir / "cwd"));
  const std::vector<uint8_t> first3(five.begin(), five.begin() + 3 * 512);
  EXPECT_EQ(drive->LastDownload(), first3);
  EXPECT_EQ(drive->BufferBytes(0x20 * 512, first3.size()), first3);
  EXPECT_EQ(LastLine(), "正在写入缓冲区......成功！");
  EXPECT_EQ(main->receiveMode, ReceiveMode::Empty);
  const std::string received = TakeReceived();
  EXPECT_EQ(received.substr(0, 6), "/\rd20\r");
  EXPECT_EQ(received.substr(received.size() - 2), "/\r");
}

TEST_F(DownloadSim, WriteBufferFailuresAndStop) {
  OpenAt();
  // A count that is not hexadecimal: the caller gets the conversion error, the drive nothing.
  WriteFile("two.bin", Blocks(2));
  try {
    WriteBuffer(*main, "0", "2x", Path("two.bin"));
    ADD_FAILURE() << "no conversion error";
  } catch (const EConvertError& e) {
    EXPECT_STREQ(e.what(), "'2x' is not a valid integer value");
  }
  Settle();
  EXPECT_EQ(TakeReceived(), "");

  // Refused three times: the download fails and no prompt is asked for.
  drive->RefuseNextBlocks(3);
  WriteBuffer(*main, "0", "2", Path("two.bin"));
  EXPECT_EQ(LastLine(), "正在写入缓冲区......失败！");
  EXPECT_EQ(drive->DownloadsCompleted(), 0);

  // STOP during the download.
  StopWhen([this] { return main->ProgressBar1.position > 0; });
  WriteFile("four.bin", Blocks(4));
  WriteBuffer(*main, "0", "4", Path("four.bin"));
  EXPECT_EQ(LastLine(1), "操作被用户中止！");
  EXPECT_EQ(LastLine(), "被用户中止！");
  EXPECT_EQ(drive->DownloadsCompleted(), 0);
}

}  // namespace
}  // namespace qv
