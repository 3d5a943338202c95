// The flash ROM operations against the simulated drive at its boot monitor:
// what travels, what lands in the file (or in the drive's ROM), and which
// lines and boxes the technician sees on every way out.
#include <gtest/gtest.h>
#include <sys/resource.h>

#include <csignal>

#include "console/convert.h"
#include "serial/rates.h"
#include "transfer/transfer.h"
#include "transfer_sim_support.h"

namespace qv {
namespace {

constexpr size_t kRom = 0x10000;
const std::string kErrorLine = "读取数据错误，请调低一档速率后再试!";

// The "e2" commands of addresses first .. end-1, as the drive must receive them.
std::string ByteReads(uint32_t first, uint32_t end) {
  std::string s;
  for (uint32_t a = first; a < end; ++a) s += "e2," + IntToHex(a) + ",0\r";
  return s;
}

size_t Count(const std::string& text, const std::string& what) {
  size_t n = 0;
  for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + what.size())) ++n;
  return n;
}

class FlashRomSim : public test::TransferSim {
 protected:
  int PauseScale() const override { return 10; }
  // 65536 exchanges a run: no pauses between the drive's output chunks.
  sim::SimOptions Options() const override {
    sim::SimOptions o;
    o.chunkGaps = false;
    return o;
  }

  void SetUp() override {
    TransferSim::SetUp();
    if (HasFatalFailure()) return;
    OpenAt();
    // The boot monitor, without the F-level switch's own pauses.
    main->SendString("/F\r");
    ASSERT_TRUE(main->WaitHD(200));
    ASSERT_EQ(drive->Level(), "F");
    // At the fastest rate a burst is over soonest: of the 65536 exchanges of
    // an instruction read or write, each waits only for its reply to end.
    main->SetF(kRates.back());
    ASSERT_EQ(drive->Rate(), kRates.back().baud);
    TakeReceived();
  }

  // What the drive received, once it has stopped coming in; waited for in
  // real ticks, whatever the operations' pauses are here.
  std::string Sent() {
    const auto tick = main->pauseTick;
    main->pauseTick = TFrmMain::kTick;
    std::string sent = TakeReceived();
    main->pauseTick = tick;
    return sent;
  }

  void SetOption(const std::function<void(sim::SimOptions&)>& change) {
    auto o = drive->Options();
    change(o);
    drive->SetOptions(o);
  }

  // The fast read up to its block dumps, as the drive must receive it.
  static std::string CopyAndDumps() {
    std::string s = "Z\rZ\re5\re4,200,1,0\r\re6\r";
    for (int b = 0; b < 128; ++b) s += "B" + IntToHex(b) + "," + IntToHex(b) + "\r";
    return s;
  }

  // A ROM image of the test's own, with a good ending.
  static std::vector<uint8_t> Image(size_t size, unsigned salt) {
    std::vector<uint8_t> image = Blocks(size / 512 + 1, 512, salt);
    image.resize(size);
    if (size >= kRom) {
      image[kRom - 4] = image[kRom - 3] = 0xFF;
      image[kRom - 2] = 0x12;
      image[kRom - 1] = 0x34;
    }
    return image;
  }
};

TEST_F(FlashRomSim, FastReadTakesTheCopyAndReadsTheWorkAreaByteByByte) {
  // The drive's copy holds other bytes at 0x140..0x16F; only the single reads give the ROM's.
  const auto rom = drive->RomBytes();
  ASSERT_NE(drive->BufferBytes(0x140, 1), std::vector<uint8_t>{rom[0x140]});
  EXPECT_TRUE(ReadRom(*main, Path("rom.bin")));
  EXPECT_EQ(ReadFile("rom.bin"), rom);
  EXPECT_EQ(Sent(), CopyAndDumps() + "e5\r" + ByteReads(0x140, 0x170));
  EXPECT_EQ(LastLine(1), "正在读取ROM.........成功！");
  EXPECT_EQ(LastLine(), "");
  EXPECT_EQ(main->ProgressBar1.max, 128);
  EXPECT_EQ(main->ProgressBar1.position, 128);
  EXPECT_EQ(main->receiveMode, ReceiveMode::Empty);
  EXPECT_TRUE(dialogs.questions.empty());
}

TEST_F(FlashRomSim, ImplausibleCopyAsksAndNoEndsWithoutAFile) {
  struct Case {
    std::vector<uint8_t> ending;  // ROM bytes 0xFFFC..0xFFFF
    bool plausible;
  };
  const Case cases[] = {
      {{0xFF, 0xFF, 0x12, 0x34}, true},
      {{0xFF, 0xFF, 0xFF, 0xFF}, false},
      {{0x00, 0xFF, 0x12, 0x34}, false},
      {{0xFF, 0x00, 0xFF, 0xFF}, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.ending));
    auto rom = drive->RomBytes();
    std::copy(c.ending.begin(), c.ending.end(), rom.end() - 4);
    drive->SetRomBytes(rom);
    dialogs.questions.clear();
    dialogs.answers = {false};
    std::filesystem::remove(Path("rom.bin"));

    EXPECT_EQ(ReadRom(*main, Path("rom.bin")), c.plausible);
    const std::string sent = Sent();
    if (c.plausible) {
      EXPECT_TRUE(dialogs.questions.empty());
      EXPECT_EQ(ReadFile("rom.bin"), rom);
      continue;
    }
    ASSERT_EQ(dialogs.questions.size(), 1u);
    EXPECT_EQ(dialogs.questions[0].caption, "提示");
    EXPECT_EQ(dialogs.questions[0].text, "读取ROM数据有误，是否使用指令方法读取?");
    EXPECT_FALSE(Exists("rom.bin"));
    EXPECT_EQ(sent, CopyAndDumps());  // nothing after the question
    EXPECT_EQ(LastLine(1), "正在读取ROM.........失败！");
  }
}

TEST_F(FlashRomSim, ImplausibleCopyAnsweredYesReadsByInstruction) {
  SetOption([](sim::SimOptions& o) { o.romCopyImplausible = true; });
  auto rom = drive->RomBytes();
  rom[0x140] = 0x0A;  // travels as "A" both ways
  drive->SetRomBytes(rom);
  dialogs.answers = {true};

  EXPECT_TRUE(ReadRom(*main, Path("rom.bin")));
  EXPECT_EQ(dialogs.questions.size(), 1u);
  EXPECT_EQ(ReadFile("rom.bin"), rom);
  const std::string sent = Sent();
  EXPECT_EQ(Count(sent, "e2,"), kRom);
  EXPECT_EQ(sent, CopyAndDumps() + "e5\r" + ByteReads(0, kRom));
  // The fast read's line stays as it was; the instruction read reports.
  EXPECT_EQ(LastLine(3), "正在读取ROM.........");
  EXPECT_EQ(LastLine(2), "指令方式读取ROM需要较长时间，请耐心等待！");
  EXPECT_EQ(LastLine(1), "正在读取ROM.........完成！");
  EXPECT_EQ(LastLine(), "");
  EXPECT_EQ(main->ProgressBar1.max, static_cast<int>(kRom));
  EXPECT_EQ(main->ProgressBar1.position, static_cast<int>(kRom));
  EXPECT_EQ(main->receiveMode, ReceiveMode::Empty);
}

TEST_F(FlashRomSim, FastReadWorkAreaAnswersThatAreNotOneByteEach) {
  struct Case {
    std::string reply;  // the drive's answer to "e2,150,0"
    std::string lastLine, lineBefore;
  };
  const Case cases[] = {
      // Two answers for one address: 49 bytes from 0x140, no file.
      {"= 12\r\n= 34", "", "正在读取ROM.........失败！"},
      // Not hexadecimal, or more than a byte: the error line, no outcome word.
      {"= 1G", kErrorLine, "正在读取ROM........."},
      {"= 123", kErrorLine, "正在读取ROM........."},
      {"=", kErrorLine, "正在读取ROM........."},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.reply);
    SetOption([&](sim::SimOptions& o) {
      o.romReplyAddress = 0x150;
      o.romReplyLines = c.reply;
    });
    EXPECT_FALSE(ReadRom(*main, Path("rom.bin")));
    EXPECT_FALSE(Exists("rom.bin"));
    EXPECT_EQ(Sent(), CopyAndDumps() + "e5\r" + ByteReads(0x140, 0x170));
    EXPECT_EQ(LastLine(), c.lastLine);
    EXPECT_EQ(LastLine(1), c.lineBefore);
    EXPECT_EQ(main->receiveMode, ReceiveMode::Empty);
    EXPECT_TRUE(main->Memo3.empty());
  }
}

TEST_F(FlashRomSim, InstructionReadEndsAtTheFirstBadAnswerOrStop) {
  struct Case {
    std::string reply;  // the drive's answer to "e2,5,0"; empty: STOP instead
    std::string lastLine, lineBefore;
  };
  const Case cases[] = {
      {"Bad address", "", "正在读取ROM.........失败！"},  // no "=" line
      {"= ZZ", kErrorLine, "正在读取ROM........."},
      {"", "", "正在读取ROM.........用户中止！"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.reply);
    SetOption([&](sim::SimOptions& o) {
      o.romReplyAddress = c.reply.empty() ? -1 : 5;
      o.romReplyLines = c.reply;
    });
    main->SetProgress(0, 0);
    if (c.reply.empty()) StopWhen([this] { return main->ProgressBar1.position == 5; });
    EXPECT_FALSE(ReadROM1(*main, Path("rom.bin")));
    hookPump.hook = nullptr;
    main->stopFlag = 0;
    EXPECT_FALSE(Exists("rom.bin"));
    EXPECT_EQ(Sent(), "e5\r" + ByteReads(0, 6));
    EXPECT_EQ(LastLine(), c.lastLine);
    EXPECT_EQ(LastLine(1), c.lineBefore);
    EXPECT_EQ(main->receiveMode, ReceiveMode::Empty);
  }

  // Stopped before the first byte: no byte read, and no success either.
  main->stopFlag = 1;
  EXPECT_FALSE(ReadROM1(*main, Path("rom.bin")));
  EXPECT_EQ(Sent(), "e5\r");
  EXPECT_EQ(LastLine(1), "指令方式读取ROM需要较长时间，请耐心等待！用户中止！");
}

TEST_F(FlashRomSim, DriveFallingSilentMidReadLeavesNoFile) {
  // The copy is asked for, then nothing: the short wait for its prompt ends
  // the read (a silent byte read would cost the full 15 s wait).
  SetOption([this](sim::SimOptions& o) { o.silentAfterCommand = drive->CommandsSeen() + 4; });
  EXPECT_FALSE(ReadRom(*main, Path("rom.bin")));
  EXPECT_FALSE(Exists("rom.bin"));
  EXPECT_TRUE(LastLine(1).ends_with("失败！"));  // no progress line came before
  EXPECT_EQ(Sent(), "Z\rZ\re5\re4,200,1,0\r\r");
}

TEST_F(FlashRomSim, ImageThatCannotBeWrittenSaysWhyAndKeepsTheOldOne) {
  // A folder that does not exist: the file system's reason, no file.
  EXPECT_FALSE(ReadRom(*main, Path("no/such/folder/rom.bin")));
  EXPECT_EQ(LastLine(), "无法写入文件“" + Path("no/such/folder/rom.bin") + "”：所在的文件夹不存在！");
  Sent();

  // A file cut short (here by a size limit, as by a full disk): yesterday's
  // image of that name stays as it was, and nothing else is left.
  WriteFile("rom.bin", std::vector<uint8_t>(kRom, 0x55));
  const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
  rlimit old{};
  getrlimit(RLIMIT_FSIZE, &old);
  rlimit limit = old;
  limit.rlim_cur = 1000;
  setrlimit(RLIMIT_FSIZE, &limit);
  const bool read = ReadRom(*main, Path("rom.bin"));
  setrlimit(RLIMIT_FSIZE, &old);
  std::signal(SIGXFSZ, oldHandler);
  EXPECT_FALSE(read);
  EXPECT_EQ(ReadFile("rom.bin"), std::vector<uint8_t>(kRom, 0x55));
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir), std::filesystem::directory_iterator()), 1);
  EXPECT_EQ(LastLine(), "无法写入文件“" + Path("rom.bin") + "”：文件超过了系统允许的大小！");
}

TEST_F(FlashRomSim, FastWriteProgramsTheRomFromTheEntryBuffer) {
  for (const std::string entry : {"400", "800"}) {
    SCOPED_TRACE(entry);
    const auto image = Image(kRom, entry == "400" ? 1 : 2);
    WriteFile("image.bin", image);
    WriteBios(*main, entry, Path("image.bin"));
    const std::string sent = Sent();
    EXPECT_EQ(drive->RomBytes(), image);
    EXPECT_EQ(drive->LastDownload(), image);
    EXPECT_EQ(drive->BufferBytes(HexToInt(entry) * 512, kRom), image);
    EXPECT_EQ(LastLine(), "正在写入ROM......成功！");
    EXPECT_TRUE(sent.starts_with("\x1AZ\rZ\rd" + entry + ",0\r\xCC"));
    EXPECT_TRUE(sent.ends_with("/\re5\r/F\re9\r/F\re3,200,1,0\r/F\re6\r/F\r"));
  }
}

TEST_F(FlashRomSim, FastWriteRefusesAFileBeforeSendingAnything) {
  const auto rom = drive->RomBytes();
  std::filesystem::create_directory(dir / "folder");
  WriteFile("empty.bin", {});
  WriteFile("odd.bin", Image(1000, 3));
  WriteFile("big.bin", Image(256 * 512, 3));
  struct Case {
    std::string file;
    std::string box;  // empty: the file's error is raised
  };
  const Case cases[] = {
      {"missing.bin", ""},
      {"folder", ""},
      {"empty.bin", "ROM文件是空文件，没有可写入的数据！"},
      {"odd.bin", "文件长度必须是512的倍数！"},
      {"big.bin", "ROM文件太大：缓冲区写入一次最多下载255块（130560字节），不能只写入一部分！"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.file);
    dialogs.shown.clear();
    if (c.box.empty()) {
      // Raised before the progress line, which would stay without an outcome.
      const size_t lines = main->memo1.LineCount();
      EXPECT_THROW(WriteBios(*main, "400", Path(c.file)), EFileError);
      EXPECT_EQ(main->memo1.LineCount(), lines);
      EXPECT_TRUE(dialogs.shown.empty());
    } else {
      WriteBios(*main, "400", Path(c.file));
      ASSERT_EQ(dialogs.shown.size(), 1u);
      EXPECT_EQ(dialogs.shown[0].text, c.box);
      EXPECT_EQ(LastLine(), "正在写入ROM......失败！");
    }
    EXPECT_EQ(Sent(), "");
  }
  EXPECT_EQ(drive->RomBytes(), rom);
}

TEST_F(FlashRomSim, FastWriteStoppedDuringTheDownloadProgramsNothing) {
  const auto rom = drive->RomBytes();
  WriteFile("image.bin", Image(kRom, 4));
  StopWhen([this] { return main->ProgressBar1.position >= 2 * 512; });
  WriteBios(*main, "400", Path("image.bin"));
  EXPECT_EQ(LastLine(1), "操作被用户中止！");
  EXPECT_EQ(LastLine(), "被用户中止！");
  const std::string sent = Sent();
  EXPECT_EQ(sent.find("e9"), std::string::npos);
  EXPECT_EQ(drive->RomBytes(), rom);
}

TEST_F(FlashRomSim, InstructionWriteSendsTheFirst65536BytesOnly) {
  auto image = Image(70000, 5);
  image[0x140] = 0x0A;
  WriteFile("image.bin", image);
  main->stopFlag = 1;  // cleared at the start
  // No pause at all, not even the tick after each byte (65536 of them). The
  // answers to "Z" and "e9" may then come while the first bytes are under
  // way, so some waits end on an earlier prompt: harmless here, every command
  // still gets its own.
  main->pauseTick = std::chrono::microseconds(0);
  WriteBios1(*main, Path("image.bin"));

  const std::string sent = Sent();
  image.resize(kRom);
  EXPECT_EQ(drive->RomBytes(), image);
  EXPECT_EQ(Count(sent, "e1,"), kRom);
  EXPECT_TRUE(sent.starts_with("Z\rZ\re9\re1,0," + IntToHex(image[0]) + ",0\r"));
  EXPECT_NE(sent.find("\re1,140,A,0\r"), std::string::npos);
  EXPECT_TRUE(sent.ends_with("e1,FFFF,34,0\r/\r"));
  EXPECT_EQ(LastLine(1), "指令方式写入ROM需要较长时间，请耐心等待！");
  EXPECT_EQ(LastLine(), "正在写入ROM......成功！");
  EXPECT_EQ(main->ProgressBar1.max, static_cast<int>(kRom));
  EXPECT_EQ(main->ProgressBar1.position, static_cast<int>(kRom));
  EXPECT_EQ(main->stopFlag, 0);
}

TEST_F(FlashRomSim, InstructionWriteRefusesAFileOrStops) {
  const auto rom = drive->RomBytes();
  std::filesystem::create_directory(dir / "folder");
  WriteFile("empty.bin", {});
  WriteFile("short.bin", Image(kRom - 1, 6));
  const std::pair<std::string, std::string> cases[] = {
      {"missing.bin", "读入ROM文件出错，文个无法打开！"},
      {"folder", "读入ROM文件出错，文个无法打开！"},
      {"empty.bin", "读入ROM文件出错，文件太小！"},
      {"short.bin", "读入ROM文件出错，文件太小！"},
  };
  for (const auto& [file, line] : cases) {
    SCOPED_TRACE(file);
    WriteBios1(*main, Path(file));
    EXPECT_EQ(LastLine(), line);
    EXPECT_EQ(Sent(), "");
  }
  EXPECT_EQ(drive->RomBytes(), rom);

  // STOP: the byte under way completes, the drive gets its prompt request,
  // and the flag is down again afterwards.
  WriteFile("image.bin", Image(kRom, 7));
  StopWhen([this] { return main->ProgressBar1.position == 20; });
  WriteBios1(*main, Path("image.bin"));
  EXPECT_EQ(LastLine(), "被用户中止！");
  EXPECT_EQ(main->stopFlag, 0);
  const std::string sent = Sent();
  EXPECT_EQ(Count(sent, "e1,"), 21u);
  EXPECT_TRUE(sent.ends_with("e1,14," + IntToHex(Image(kRom, 7)[0x14]) + ",0\r/\r"));
}

}  // namespace
}  // namespace qv
