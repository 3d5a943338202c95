// Track reads and writes against the simulated drive's disk.
#include <gtest/gtest.h>

#include <functional>
#include <stdexcept>

#include "console/convert.h"
#include "console/text.h"
#include "transfer/transfer.h"
#include "transfer_sim_support.h"

namespace qv {
namespace {

class TrackSim : public test::TransferSim {
 protected:
  std::vector<uint8_t> Sectors(int cyl, int head, int first, int count) const {
    std::vector<uint8_t> all;
    for (int s = first; s < first + count; ++s) {
      const auto one = drive->SectorBytes(cyl, head, s);
      all.insert(all.end(), one.begin(), one.end());
    }
    return all;
  }
  void Change(const std::function<void(sim::SimOptions&)>& change) {
    auto o = drive->Options();
    change(o);
    drive->SetOptions(o);
  }
  // The drive answers nothing from its n-th command on, until it has heard
  // `quietFor` of them; then it speaks again.
  void SilenceCommands(int from, int quietFor) {
    ShortenWaits();
    Change([from](sim::SimOptions& o) { o.silentAfterCommand = from; });
    hookPump.hook = [this, from, quietFor] {
      if (drive->CommandsSeen() >= from + quietFor && drive->Options().silentAfterCommand >= 0)
        Change([](sim::SimOptions& o) { o.silentAfterCommand = -1; });
    };
  }
  // Whether `parts` appear in `text` in this order.
  static bool InOrder(const std::string& text, const std::vector<std::string>& parts) {
    size_t at = 0;
    for (const auto& p : parts) {
      at = text.find(p, at);
      if (at == std::string::npos) return false;
      at += p.size();
    }
    return true;
  }
  static constexpr int kLastBlock = static_cast<int>(sim::SimDrive::kBufferSize / 512 - 1);
};

TEST_F(TrackSim, ChunksThenRemainder) {
  OpenAt();
  // The first read command carries the caller's start text as it is; later
  // ones carry the sum in upper case.
  EXPECT_TRUE(ReadTrack(*main, "10", "0", "00a", "5", "0", "2", Path("five.bin"), true));
  EXPECT_EQ(ReadFile("five.bin"), Sectors(0x10, 0, 0xA, 5));
  EXPECT_EQ(TakeReceived(),
            "/2\r"
            "s10,0,22\rr,00a,2\rB0,0\rB1,1\r"
            "s10,0,22\rr,C,2\rB0,0\rB1,1\r"
            "s10,0,22\rr,E,1\rB0,0\r"
            "/\r");
  EXPECT_EQ(LastLine(), "正在读取数据.........完成！");
  EXPECT_EQ(main->ProgressBar1.position, 5);
  EXPECT_EQ(main->receiveMode, ReceiveMode::Empty);

  // Fewer sectors than a chunk: one read command for all of them.
  EXPECT_TRUE(ReadTrack(*main, "3", "1", "7", "3", "0", "80", Path("three.bin"), false));
  EXPECT_EQ(ReadFile("three.bin"), Sectors(3, 1, 7, 3));
  EXPECT_EQ(TakeReceived(), "/2\rs3,1,22\rr,7,3\rB0,0\rB1,1\rB2,2\r/\r");

  // The next start sector past the top of the signed range wraps into its text.
  EXPECT_TRUE(ReadTrack(*main, "3", "1", "7FFFFFFF", "3", "0", "2", Path("top.bin"), false));
  EXPECT_EQ(TakeReceived(), "/2\rs3,1,22\rr,7FFFFFFF,2\rB0,0\rB1,1\rs3,1,22\rr,80000001,1\rB0,0\r/\r");

  // An exact multiple: no remainder step.
  EXPECT_TRUE(ReadTrack(*main, "3", "1", "0", "4", "0", "2", Path("four.bin"), false));
  EXPECT_EQ(ReadFile("four.bin"), Sectors(3, 1, 0, 4));
  EXPECT_EQ(TakeReceived(), "/2\rs3,1,22\rr,0,2\rB0,0\rB1,1\rs3,1,22\rr,2,2\rB0,0\rB1,1\r/\r");
}

TEST_F(TrackSim, StopLeavesNoFile) {
  OpenAt();
  // In the full chunks: STOP while the second sector is on its way.
  StopWhen([this] { return drive->Received().find("B1,1\r") != std::string::npos; });
  EXPECT_FALSE(ReadTrack(*main, "1", "0", "0", "7", "0", "3", Path("full.bin"), true));
  EXPECT_FALSE(Exists("full.bin"));
  EXPECT_EQ(LastLine(), "被用户中止！");
  EXPECT_EQ(TakeReceived(), "/2\rs1,0,22\rr,0,3\rB0,0\rB1,1\r/\r");

  // In the remainder.
  main->stopFlag = 0;
  StopWhen([this] { return drive->Received().find("r,2,2\r") != std::string::npos; });
  EXPECT_FALSE(ReadTrack(*main, "1", "0", "0", "4", "0", "2", Path("rest.bin"), true));
  EXPECT_FALSE(Exists("rest.bin"));
  EXPECT_EQ(LastLine(), "被用户中止！");

  // Already stopped: the level command and the closing prompt request only.
  TakeReceived();
  EXPECT_FALSE(ReadTrack(*main, "1", "0", "0", "4", "0", "2", Path("never.bin"), true));
  EXPECT_FALSE(Exists("never.bin"));
  EXPECT_EQ(TakeReceived(), "/2\r/\r");
}

TEST_F(TrackSim, ReadErrorsAreCaughtExceptBadCounts) {
  OpenAt();
  // A chunk of 0 and a file that can't be written end in an error line (the
  // latter saying why), without the closing "/".
  main->SetProgress(9, 9);
  EXPECT_FALSE(ReadTrack(*main, "1", "0", "0", "4", "0", "0", Path("zero.bin"), false));
  EXPECT_EQ(LastLine(), "读取数据错误，请调低一档速率后再试!");
  EXPECT_EQ(TakeReceived(), "/2\r");
  EXPECT_EQ(main->ProgressBar1.max, 4);
  EXPECT_EQ(main->ProgressBar1.position, 0);
  main->memo1.Clear();
  EXPECT_FALSE(ReadTrack(*main, "1", "0", "0", "1", "0", "1", Path("no/folder/x.bin"), true));
  EXPECT_EQ(LastLine(), "无法写入文件“" + Path("no/folder/x.bin") + "”：所在的文件夹不存在！");
  EXPECT_EQ(TakeReceived(), "/2\rs1,0,22\rr,0,1\rB0,0\r");
  EXPECT_EQ(main->receiveMode, ReceiveMode::Empty);

  // A count that is not hexadecimal reaches the caller before anything is sent.
  try {
    ReadTrack(*main, "1", "0", "0", "4z", "0", "2", Path("bad.bin"), true);
    ADD_FAILURE() << "no conversion error";
  } catch (const EConvertError& e) {
    EXPECT_STREQ(e.what(), "'4z' is not a valid integer value");
  }
  Settle();
  EXPECT_EQ(TakeReceived(), "");
}

TEST_F(TrackSim, BlockWithoutBytesFailsTheRead) {
  OpenAt();
  // Buffer blocks past the drive's buffer bring nothing.
  const std::string base = IntToHex(kLastBlock);
  EXPECT_FALSE(ReadTrack(*main, "1", "0", "0", "4", base, "2", Path("full.bin"), true));
  EXPECT_FALSE(Exists("full.bin"));
  EXPECT_EQ(LastLine(), "正在读取数据.........失败！");
  // In the remainder the file keeps what was read before.
  EXPECT_FALSE(ReadTrack(*main, "1", "0", "0", "1", IntToHex(kLastBlock + 1), "2", Path("rest.bin"), true));
  EXPECT_TRUE(Exists("rest.bin"));
  EXPECT_TRUE(ReadFile("rest.bin").empty());
}

// A read that does not bring exactly its sectors is no read: the drive's
// error line (its buffer left as it was) or a dump garbled on the line.
TEST_F(TrackSim, ExactlyTheSectorsOrNoFile) {
  using Kind = sim::SimOptions::WireError::Kind;
  OpenAt();
  const struct {
    const char* name;
    std::function<void(sim::SimOptions&)> damage;
    std::vector<std::string> lines;  // the last lines of the pane
  } cases[] = {
      {"the drive cannot read the chunk",
       [](sim::SimOptions& o) {
         o.failingTrackRead = "r,2,2";
         o.readErrorKeepsBuffer = true;
       },
       {"正在读取数据.........失败！", "驱动器报告读取出错（柱面5磁头0，扇区2起2个）：Read error at sector 2"}},
      {"a dump line one pair short", [](sim::SimOptions& o) { o.wireError = {5, 0, 1, {1}, Kind::MissingPair}; },
       {"正在读取数据.........失败！"}},
      {"a dump line one pair too long", [](sim::SimOptions& o) { o.wireError = {5, 0, 3, {1}, Kind::ExtraPair}; },
       {"正在读取数据.........失败！"}},
      {"a wrong address in a chunk's last block", [](sim::SimOptions& o) { o.wireError = {5, 0, 1, {1}, Kind::WrongAddress}; },
       {"正在读取数据.........失败！"}},
  };
  const sim::SimOptions clean = drive->Options();
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    // What a drive that keeps its buffer would show for the refused chunk.
    EXPECT_TRUE(ReadTrack(*main, "6", "0", "0", "4", "0", "2", Path("before.bin"), false));
    sim::SimOptions damaged = clean;
    c.damage(damaged);
    drive->SetOptions(damaged);
    main->memo1.Clear();
    EXPECT_FALSE(ReadTrack(*main, "5", "0", "0", "4", "0", "2", Path("out.bin"), true));
    drive->SetOptions(clean);
    EXPECT_FALSE(Exists("out.bin"));
    const auto& pane = main->memo1.Lines();
    ASSERT_GE(pane.size(), c.lines.size());
    for (size_t i = 0; i < c.lines.size(); ++i)
      EXPECT_EQ(Utf8FromGbk(pane[pane.size() - c.lines.size() + i]), c.lines[i]);
  }
  // Clean again, the same read is whole.
  EXPECT_TRUE(ReadTrack(*main, "5", "0", "0", "4", "0", "2", Path("out.bin"), true));
  EXPECT_EQ(ReadFile("out.bin"), Sectors(5, 0, 0, 4));
}

TEST_F(TrackSim, NoPromptInTheRemainderKeepsWhatWasRead) {
  OpenAt();
  // Commands: /2, s, r, B0, B1 (chunk), s, r (remainder), then B0 goes unanswered.
  SilenceCommands(7, 1);
  EXPECT_FALSE(ReadTrack(*main, "2", "0", "0", "3", "0", "2", Path("part.bin"), true));
  EXPECT_EQ(ReadFile("part.bin"), Sectors(2, 0, 0, 2));
  EXPECT_EQ(LastLine(), "正在读取数据.........失败！");
}

TEST_F(TrackSim, NoPromptInAFullChunkLeavesNoFile) {
  OpenAt();
  SilenceCommands(4, 1);  // B1 of the first chunk
  EXPECT_FALSE(ReadTrack(*main, "2", "0", "0", "3", "0", "2", Path("none.bin"), true));
  EXPECT_FALSE(Exists("none.bin"));
  EXPECT_EQ(LastLine(), "正在读取数据.........失败！");
}

TEST_F(TrackSim, WriteInChunksThroughTheBuffer) {
  OpenAt();
  const auto six = Blocks(6, 512, 5);
  WriteFile("six.bin", six);
  const auto untouched = drive->SectorBytes(0x20, 1, 0xA);
  WriteTrack(*main, "20", "1", "5", "5", "0", "2", Path("six.bin"), "9600");
  // Only sectorCount sectors of the longer file are written.
  EXPECT_EQ(Sectors(0x20, 1, 5, 5), std::vector<uint8_t>(six.begin(), six.begin() + 5 * 512));
  EXPECT_EQ(drive->SectorBytes(0x20, 1, 0xA), untouched);
  EXPECT_EQ(drive->DownloadsCompleted(), 3);
  EXPECT_EQ(LastLine(), "正在写入数据......完成！");
  EXPECT_EQ(main->ProgressBar1.max, 3);
  EXPECT_EQ(main->ProgressBar1.position, 3);
  const std::string received = TakeReceived();
  const std::string closing = test::TransferSim::Closing(six, 1024).substr(0, 2);
  EXPECT_TRUE(InOrder(received, {"/\r", "/\rd0\r", closing + "\r/2\r/U\r/2\rs20,1,22\rw,5,2\r/\r", "/\rd0\r",
                                 "w,7,2\r/\r", "/\rd0\r", "w,9,1\r/\r", "/\r"}));
  // The drive answered at once after every download: no rate command.
  EXPECT_EQ(received.find("B0"), std::string::npos);
  EXPECT_EQ(main->receiveMode, ReceiveMode::Empty);
}

TEST_F(TrackSim, RateRecoveryAfterTheDriveFellBackTo9600) {
  OpenAt();
  main->AdMySpeed("115200");
  ASSERT_EQ(drive->Rate(), 115200);
  Change([](sim::SimOptions& o) { o.fallBackTo9600AfterDownload = true; });
  TakeReceived();
  const auto two = Blocks(2, 512, 7);
  WriteFile("two.bin", two);
  WriteTrack(*main, "21", "0", "0", "2", "0", "1", Path("two.bin"), " 115200 ");
  EXPECT_EQ(Sectors(0x21, 0, 0, 2), two);
  EXPECT_EQ(drive->Rate(), 115200);
  EXPECT_EQ(main->ComboBox2.Text(), "115200");
  EXPECT_EQ(LastLine(), "正在写入数据......完成！");
  // Once per chunk, at 9600, the drive is told to go back up.
  const std::string received = TakeReceived();
  EXPECT_TRUE(InOrder(received, {"B0115\r", "w,0,1\r", "B0115\r", "w,1,1\r"}));
}

TEST_F(TrackSim, WriteFailuresAndStop) {
  OpenAt();
  // Counts that aren't hexadecimal: raised before anything is sent.
  EXPECT_THROW(WriteTrack(*main, "1", "0", "0", "q", "0", "1", Path("x.bin"), "9600"), EConvertError);
  EXPECT_THROW(WriteTrack(*main, "1", "0", "s", "1", "0", "1", Path("x.bin"), "9600"), EConvertError);
  Settle();
  EXPECT_EQ(TakeReceived(), "");

  // A shorter file whose length is not a multiple of 512: nothing is written.
  WriteFile("odd.bin", Blocks(1, 700));
  WriteTrack(*main, "1", "0", "0", "5", "0", "2", Path("odd.bin"), "9600");
  ASSERT_EQ(dialogs.shown.size(), 1u);
  EXPECT_EQ(dialogs.shown[0].text, "文件长度必须是512的倍数！");
  EXPECT_EQ(TakeReceived(), "/\r/\r");
  EXPECT_EQ(LastLine().substr(LastLine().size() - 9), "失败！");

  // A chunk of 0 raises after the first prompt request.
  WriteFile("four.bin", Blocks(4));
  EXPECT_THROW(WriteTrack(*main, "1", "0", "0", "4", "0", "0", Path("four.bin"), "9600"), std::invalid_argument);
  EXPECT_EQ(TakeReceived(), "/\r");
  EXPECT_EQ(LastLine(), "正在写入数据......");

  // A refused download fails its chunk and the write; the next chunk never goes.
  drive->RefuseNextBlocks(3);
  WriteTrack(*main, "1", "0", "0", "4", "0", "2", Path("four.bin"), "9600");
  EXPECT_EQ(LastLine(), "正在写入数据......失败！");
  EXPECT_EQ(drive->DownloadsCompleted(), 0);
  EXPECT_EQ(TakeReceived().find("w,"), std::string::npos);

  // STOP during the first chunk: it completes, the second never starts.
  StopWhen([this] { return drive->Received().find("w,0,2\r") != std::string::npos; });
  const auto before = drive->SectorBytes(1, 0, 2);
  WriteTrack(*main, "1", "0", "0", "4", "0", "2", Path("four.bin"), "9600");
  EXPECT_EQ(LastLine(), "被用户中止！");
  EXPECT_EQ(main->ProgressBar1.max, 2);
  EXPECT_EQ(main->ProgressBar1.position, 2);
  EXPECT_EQ(drive->DownloadsCompleted(), 1);
  const auto four = Blocks(4);
  EXPECT_EQ(Sectors(1, 0, 0, 2), std::vector<uint8_t>(four.begin(), four.begin() + 1024));
  EXPECT_EQ(drive->SectorBytes(1, 0, 2), before);
}

}  // namespace
}  // namespace qv
