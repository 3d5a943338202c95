// The firmware backup against the simulated drive: the files it builds from
// the drive's sectors, its module variants, and what it says when something
// is missing or goes wrong.
#include <gtest/gtest.h>

#include <filesystem>

#include "files/file_digest.h"
#include "files/file_io.h"
#include "firmware/backup/backup.h"
#include "tests/core/firmware_backup_sim.h"
#include "transfer/form3.h"

namespace qv {
namespace {

namespace fs = std::filesystem;
using test::BackupSim;

std::vector<uint8_t> Bytes(const std::string& text) { return {text.begin(), text.end()}; }

// The drive's identity record as its vendor module keeps it: words low byte first.
std::vector<uint8_t> IdSector(const std::vector<uint16_t>& words) {
  std::vector<uint8_t> bytes;
  for (uint16_t w : words) {
    bytes.push_back(static_cast<uint8_t>(w & 0xFF));
    bytes.push_back(static_cast<uint8_t>(w >> 8));
  }
  return bytes;
}

TEST_F(BackupSim, LookupThenFullBackupFileByFile) {
  // The lookup names the folder after the drive and picks the family by its third key.
  form->ComboBox7.index = 0;
  form->Button2Click();
  EXPECT_EQ(form->Edit1, main->firmwareFolder + "QVTEST_S-1A_1.AA");
  EXPECT_EQ(form->ComboBox7.Text(), "QVTEST_S-1A");
  EXPECT_TRUE(PaneHas("正在份析，请稍候........完成！"));
  EXPECT_TRUE(form->Panel1Enabled);
  form->Edit1 = Folder();

  // A piece of an earlier backup must not slip into this one.
  fs::create_directories(dir / "backup");
  WriteFile("backup/CERT1.BIN", Blocks(2));
  TakeReceived();
  bool panelDisabledWhileWorking = false;
  hookPump.hook = [&] { panelDisabledWhileWorking |= !form->Panel1Enabled; };
  form->Button7Click();
  hookPump.hook = nullptr;
  EXPECT_TRUE(panelDisabledWhileWorking);
  EXPECT_TRUE(form->Panel1Enabled);

  EXPECT_EQ(BackupLines(), (std::vector<std::string>{
                               "正在获取缓冲区地址......完成！", "正在获取保留区地址......完成！",
                               "正在备份APP.............完成！", "正在备份Cert............完成！",
                               "正在备份Cert Table......完成！", "正在备份ATA.............完成！",
                               "正在备份Vendor..........完成！", "备份完成!"}));
  EXPECT_EQ(form->Edit2, "7F");
  EXPECT_EQ(form->Edit3, "400");
  EXPECT_EQ(form->Edit4, "10");

  EXPECT_EQ(File("APP.BIN"), Sectors(0x10, 0, 0, 6));
  // Head 0's certification data, then head 1's.
  EXPECT_EQ(File("CERT.BIN"), Join(Sectors(0x20, 0, 0, 5), Sectors(0x20, 1, 0, 3)));
  // The table's first sector moves to the end.
  EXPECT_EQ(File("Table.BIN"), Join(Sectors(0x21, 0, 4, 3), Sectors(0x21, 0, 3, 1)));
  const std::vector<uint8_t> ata = Sectors(0x22, 0, 0, 0x44);
  EXPECT_EQ(File("ATA.BIN"), ata);
  const sim::AtaLayout layout = *sim::AtaLayoutFor(0x44);
  EXPECT_EQ(File("ATA0.BIN"), Sectors(0x22, 0, 0, layout.firstEnd + 1));
  EXPECT_EQ(File("ATA1.BIN"), Sectors(0x22, 0, layout.second, layout.secondEnd - layout.second + 1));
  EXPECT_EQ(File("Vendor.BIN"), Sectors(0x23, 0, 0, 6));
  EXPECT_EQ(File("ID.BIN"), IdSector(drive->IdWords()));
  EXPECT_EQ(File("SN.TXT"), Bytes("QUORVANE SIM DRIVE\r\nQV0000000001\r\n"));
  for (const char* scratch : {"CERT0.BIN", "CERT1.BIN", "Table0.BIN"}) EXPECT_FALSE(Has(scratch)) << scratch;

  // At the backup's rate while reading, back at 9600 afterwards.
  const std::string sent = TakeReceived();
  EXPECT_LT(sent.find("B0921\r"), sent.find("s8F,0,22\r"));
  EXPECT_NE(sent.find("s9F,1,22\rr,0,3\rB400,400\r"), std::string::npos);
  EXPECT_EQ(drive->Rate(), 9600);
  EXPECT_EQ(main->ComboBox2.Text(), "9600");
  EXPECT_EQ(main->receiveMode, ReceiveMode::usercmd);
}

TEST_F(BackupSim, CertificationVariants) {
  struct Piece {
    int sa, head, start, count;
  };
  struct Case {
    const char* name;
    const char* section;  // the CERT0 and CERT1 lines
    std::vector<Piece> pieces;
  };
  const Case cases[] = {
      {"two pieces of head 0", "CERT0=20 0 5 24 1 3\r\n", {{0x20, 0, 0, 5}, {0x24, 0, 1, 3}}},
      {"head 0 and head 1", "CERT0=20 0 5\r\nCERT1=20 0 3\r\n", {{0x20, 0, 0, 5}, {0x20, 1, 0, 3}}},
      {"head 0 alone", "CERT0=20 0 5\r\n", {{0x20, 0, 0, 5}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    UseTable(std::string("[C]\r\n") + c.section);
    Tick(false, true, false, false, false);
    fs::create_directories(dir / "backup");
    WriteFile("backup/CERT1.BIN", Blocks(2));  // left by an earlier backup
    form->Button7Click();
    std::vector<uint8_t> expected;
    for (const Piece& p : c.pieces) expected = Join(expected, Sectors(p.sa, p.head, p.start, p.count));
    EXPECT_EQ(File("CERT.BIN"), expected);
    EXPECT_FALSE(Has("CERT0.BIN"));
    EXPECT_FALSE(Has("CERT1.BIN"));
    EXPECT_EQ(BackupLines().back(), "备份完成!");
  }
}

TEST_F(BackupSim, AtaWithoutBoundaryKeepsTheModuleWhole) {
  Change([](sim::SimOptions& o) { o.family.ataBoundary = false; });
  Tick(false, false, false, true, false);
  fs::create_directories(dir / "backup");
  WriteFile("backup/ATA0.BIN", Blocks(1));  // overlays of an earlier backup
  WriteFile("backup/ATA1.BIN", Blocks(1));
  form->Button7Click();
  EXPECT_EQ(File("ATA.BIN"), Sectors(0x22, 0, 0, 0x44));
  EXPECT_FALSE(Has("ATA0.BIN"));
  EXPECT_FALSE(Has("ATA1.BIN"));
  EXPECT_EQ(BackupLines().back(), "备份完成!");
  // Without the vendor module SN.TXT still names the model, read from its ID sector alone.
  EXPECT_EQ(File("SN.TXT"), Bytes("QUORVANE SIM DRIVE\r\nQV0000000001\r\n"));
}

TEST_F(BackupSim, FailedAppReadSkipsTheRestAndStillWritesSnText) {
  // The drive's buffer has no room for the sectors past its first.
  Change([](sim::SimOptions& o) { o.trackBufferBase = sim::SimDrive::kBufferSize / 512 - 1; });
  form->Button7Click();
  EXPECT_EQ(BackupLines(), (std::vector<std::string>{"正在获取缓冲区地址......完成！", "正在获取保留区地址......完成！",
                                                     "正在备份APP.............", "备份失败!"}));
  for (const char* skipped : {"CERT.BIN", "Table.BIN", "ATA.BIN", "Vendor.BIN", "ID.BIN"})
    EXPECT_FALSE(Has(skipped)) << skipped;
  EXPECT_EQ(File("SN.TXT"), Bytes("QV0000000001\r\n"));
  EXPECT_EQ(drive->Rate(), 9600);
  EXPECT_TRUE(form->Panel1Enabled);
}

// A backup run again (at a lower rate, say) whose read of a module fails in
// its last chunk leaves that module's file of the earlier backup as it was.
TEST_F(BackupSim, AFailedModuleReadKeepsTheEarlierFile) {
  struct Case {
    const char* file;
    const char* failingRead;  // the module's last read command (chunks of 0x10)
    bool app, ata, vendor;
  };
  const Case cases[] = {
      {"APP.BIN", "r,0,6", true, false, false},
      {"ATA.BIN", "r,40,4", false, true, false},
      {"Vendor.BIN", "r,0,6", false, false, true},
  };
  fs::create_directories(dir / "backup");
  for (const Case& c : cases) {
    SCOPED_TRACE(c.file);
    const std::vector<uint8_t> earlier = Blocks(0x44, 512, 7);
    WriteFile(std::string("backup/") + c.file, earlier);
    Tick(c.app, false, false, c.ata, c.vendor);
    Change([&c](sim::SimOptions& o) { o.failingTrackRead = c.failingRead; });
    EXPECT_FALSE(form->StartBackup());
    Change([](sim::SimOptions& o) { o.failingTrackRead.clear(); });
    EXPECT_EQ(BackupLines().back(), "备份失败!");
    EXPECT_EQ(File(c.file), earlier);
    // The overlays and the ID sector of the earlier backup stay with it.
    EXPECT_FALSE(Has("ATA0.BIN"));
    EXPECT_FALSE(Has("ID.BIN"));
    main->memo1.Clear();
  }
}

// A STOP pressed before an operation (during another one, or idle) is not
// meant for it: the backup and the ROM read, whose level switch waits half a
// second for the drive's boot monitor, both run whole.
TEST_F(BackupSim, AStopPressedEarlierSpoilsNeitherTheBackupNorTheRomRead) {
  Change([](sim::SimOptions& o) { o.monitorStartMs = 500; });
  main->pauseTick = std::chrono::milliseconds(2);
  TForm3 rom(*main);
  rom.Edit1 = Path("rom.bin");
  Tick(true, false, false, false, false);
  const struct {
    const char* name;
    std::function<bool()> run;
  } cases[] = {
      {"backup", [this] { return form->StartBackup(); }},
      {"ROM read", [&rom] { return rom.Run(TForm3::Operation::ReadByBuffer); }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    main->stopFlag = 1;
    EXPECT_TRUE(c.run());
    EXPECT_EQ(main->stopFlag, 0);
  }
  EXPECT_EQ(File("APP.BIN"), Sectors(0x10, 0, 0, 6));
  EXPECT_EQ(ReadFile("rom.bin"), drive->RomBytes());
}

// Refusals before anything is sent: a message box, nothing on the line.
TEST_F(BackupSim, RefusalsShowTheirMessage) {
  WriteFile("plain", Blocks(1));
  struct Case {
    const char* name;
    std::function<void(TForm6&)> setUp;
    std::string message;
  };
  // A folder that can't take the files says which and why, after the words of old.
  const auto folderError = [](const std::string& folder, const std::string& why) {
    return "创建文件夹出错！\r无法在文件夹“" + folder + "”中新建文件：" + why + "！";
  };
  const Case cases[] = {
      {"no firmware type", [](TForm6& f) { f.ComboBox7.index = -1; }, "请选择固件类型！"},
      {"position past the table",
       [](TForm6& f) {
         f.ComboBox7.items.push_back("EXTRA");
         f.ComboBox7.index = 3;
       },
       "请选择固件类型！"},
      {"header \"[\" alone names nothing", [this](TForm6&) { UseTable("[\r\nAPP=10 0 1\r\n"); }, "请选择固件类型！"},
      {"no save folder", [](TForm6& f) { f.Edit1.clear(); }, "请选择保存位置！"},
      {"folder below a file", [this](TForm6& f) { f.Edit1 = Path("plain/sub"); },
       folderError(Path("plain/sub"), "路径中有一级是文件，不是文件夹")},
      {"a file for a folder", [this](TForm6& f) { f.Edit1 = Path("plain"); },
       folderError(Path("plain"), "这是一个文件，不是文件夹")},
      {"blank folder", [](TForm6& f) { f.Edit1 = "   "; }, "创建文件夹出错！"},
      {"folder that takes no files", [](TForm6& f) { f.Edit1 = "/proc/"; },
       folderError("/proc/", "这是系统的虚拟文件夹（如/proc、/sys），不能存放文件")},
      {"under a folder that takes no files", [](TForm6& f) { f.Edit1 = "/proc/backup"; },
       folderError("/proc/backup", "这是系统的虚拟文件夹（如/proc、/sys），不能存放文件")},
      {"no module", [this](TForm6&) { Tick(false, false, false, false, false); }, "请选择需要备份的固件模块！"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    UseTable(test::kSmallTable, 2);
    c.setUp(*form);
    dialogs.shown.clear();
    form->Button7Click();
    ASSERT_EQ(dialogs.shown.size(), 1u);
    EXPECT_EQ(dialogs.shown[0].text, c.message);
    EXPECT_TRUE(form->Panel1Enabled);
  }
  // The folder is created before the modules are looked at.
  EXPECT_TRUE(fs::is_directory(dir / "backup"));
  EXPECT_EQ(TakeReceived(), "");
}

// What the pane says when the drive or the table lets the backup down.
TEST_F(BackupSim, FailureLines) {
  struct Case {
    const char* name;
    std::string table;
    std::function<void(sim::SimOptions&)> drive;
    std::vector<std::string> lines;
    bool backTo9600;
  };
  const std::string found = "正在获取缓冲区地址......完成！", area = "正在获取保留区地址......完成！";
  const Case cases[] = {
      {"no buffer", "[F]\r\nAPP=10 0 2\r\n", [](sim::SimOptions& o) { o.answerBufferQuery = false; },
       {"正在获取缓冲区地址......失败！"}, false},
      {"no reserved area", "[F]\r\nAPP=10 0 2\r\n",
       [](sim::SimOptions& o) {
         o.answerReservedQuery = false;
         o.answerReservedDirectory = false;
       },
       {found, "正在获取保留区地址......失败！"}, false},
      // APP's reports stand alone; the others' end the module's own line.
      {"empty fields", "[F]\r\nTABLE=21 3 1\r\n", nullptr,
       {found, area, "数据信息有误，无法备份！", "正在备份Cert............数据信息有误，无法备份！",
        "正在备份Cert Table......完成！", "正在备份ATA.............数据信息有误，无法备份！",
        "正在备份Vendor..........数据信息有误，无法备份！", "备份完成!"},
       true},
      {"incomplete fields", "[F]\r\nAPP=10 0\r\nCERT0=20 0 1\r\nCERT1=20\r\nTABLE=21\r\nATA=22 0 1\r\nVEN=23 0\r\n",
       nullptr,
       {found, area, "正在备份APP.............", "数据信息不完整，无法备份！",
        "正在备份Cert............数据信息不完整，无法备份！", "正在备份Cert Table......数据信息不完整，无法备份！",
        "正在备份ATA.............完成！", "正在备份Vendor..........数据信息不完整，无法备份！", "备份完成!"},
       true},
      {"second piece of head 0 incomplete", "[F]\r\nCERT0=20 0 1 24 0\r\n", nullptr,
       {found, area, "数据信息有误，无法备份！", "正在备份Cert............数据信息不完整，无法备份！",
        "正在备份Cert Table......数据信息有误，无法备份！", "正在备份ATA.............数据信息有误，无法备份！",
        "正在备份Vendor..........数据信息有误，无法备份！", "备份完成!"},
       true},
      {"value that is not hexadecimal", "[F]\r\nAPP=1G 0 2\r\n", nullptr,
       {found, area, "正在备份APP.............", "读取数据错误，请调低一档速率后再试!"}, true},
      {"binary garbage", "[F]\r\nAPP=\xFF\xFE\x01 \x80 \x7F\r\n", nullptr,
       {found, area, "正在备份APP.............", "读取数据错误，请调低一档速率后再试!"}, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    UseTable(c.table);
    const sim::SimOptions before = drive->Options();
    if (c.drive) Change(c.drive);
    main->memo1.Clear();
    main->receiveMode = ReceiveMode::Empty;
    form->Button7Click();
    drive->SetOptions(before);
    EXPECT_EQ(BackupLines(), c.lines);
    EXPECT_TRUE(form->Panel1Enabled);
    EXPECT_EQ(drive->Rate(), 9600);
    // Only a backup that went past the queries ends with a prompt request in "usercmd".
    EXPECT_EQ(main->receiveMode, c.backTo9600 ? ReceiveMode::usercmd : ReceiveMode::Empty);
    EXPECT_EQ(TakeReceived().find("B0921") != std::string::npos, c.backTo9600);
  }
}

TEST_F(BackupSim, FilesThatCannotBeWrittenNeverEndInSuccess) {
  UseTable("[F]\r\nCERT0=20 0 2\r\nTABLE=21 0 2\r\n");
  // Folders in the way of the joined files.
  fs::create_directories(dir / "backup/CERT.BIN");
  fs::create_directories(dir / "backup/Table.BIN");
  Tick(false, true, true, false, false);
  form->Button7Click();
  const std::vector<std::string> lines = BackupLines();
  ASSERT_EQ(lines.size(), 5u);
  EXPECT_EQ(lines[2], "正在备份Cert............失败！");
  EXPECT_EQ(lines[3], "正在备份Cert Table......失败！");
  EXPECT_EQ(lines[4], "备份失败!");
  // Nor SN.TXT: why, instead of a verdict.
  main->memo1.Clear();
  fs::remove(dir / "backup/SN.TXT");
  fs::create_directories(dir / "backup/SN.TXT");
  form->Button7Click();
  EXPECT_EQ(BackupLines().back(), "无法写入文件“" + Folder() + "SN.TXT”：这是一个文件夹，不是文件！");
  EXPECT_EQ(drive->Rate(), 9600);
}

TEST_F(BackupSim, ManifestDescribesTheBackupOrItFails) {
  form->Button2Click();
  form->Edit1 = Folder();
  Tick(true, false, false, false, false);
  form->Button7Click();
  const std::vector<uint8_t> app = File("APP.BIN");
  const std::vector<uint8_t> manifest = File("MANIFEST.TXT");
  const std::string text(manifest.begin(), manifest.end());
  for (const std::string& part :
       {std::string("family=QVTEST_S-1A\ndrive=QVTEST_S-1A_1.AA\nserial=QV0000000001\ncomplete=yes\nverified=no\nfiles=2\n"),
        "\n[file APP.BIN]\nsize=3072\nsha256=" + Sha256Hex(std::string(app.begin(), app.end())) + "\nplace=8F 0 0 6\n",
        "\n[file SN.TXT]\nsize=" + std::to_string(File("SN.TXT").size()) + "\nsha256="})
    EXPECT_NE(text.find(part), std::string::npos) << text;

  // A manifest that cannot be written fails the backup, and no older one stays behind.
  fs::remove(dir / "backup/MANIFEST.TXT");
  fs::create_directories(dir / "backup/MANIFEST.TXT/in-the-way");
  form->Button7Click();
  const std::vector<std::string> lines = BackupLines();
  ASSERT_GE(lines.size(), 2u);
  EXPECT_NE(lines[lines.size() - 2].find("MANIFEST.TXT"), std::string::npos) << lines[lines.size() - 2];
  EXPECT_EQ(lines.back(), "备份失败!");
}

// A drive whose report matches no family of the table: the lookup says so
// and leaves nothing chosen, so the backup is refused.
TEST_F(BackupSim, LookupThatFindsNoFamilySelectsNone) {
  UseTable("[OTHER]\r\nAPP=10 0 2\r\n", 0, true);
  form->Button2Click();
  EXPECT_TRUE(PaneHas("正在份析，请稍候........失败！"));
  EXPECT_EQ(form->ComboBox7.index, -1);
  Settle();
  TakeReceived();
  dialogs.shown.clear();
  EXPECT_FALSE(form->StartBackup());
  ASSERT_EQ(dialogs.shown.size(), 1u);
  EXPECT_EQ(dialogs.shown[0].text, "请选择固件类型！");
  EXPECT_EQ(TakeReceived(), "");
}

TEST_F(BackupSim, LookupAwayFromLevelTChangesNothing) {
  main->receiveMode = ReceiveMode::usercmd;
  main->SendString("/F\r");
  Settle(10);
  const std::string folder = form->Edit1;
  form->Button2Click();
  EXPECT_TRUE(PaneHas("错误: 请先切换至T级！"));
  EXPECT_EQ(form->ComboBox7.index, 2);
  EXPECT_EQ(form->Edit1, folder);
  // With no folder at all, the lookup is refused before the drive is asked.
  form->Edit1.clear();
  dialogs.shown.clear();
  TakeReceived();
  form->Button2Click();
  ASSERT_EQ(dialogs.shown.size(), 1u);
  EXPECT_EQ(dialogs.shown[0].text, "请选择保存位置！");
  EXPECT_EQ(TakeReceived(), "");
}

TEST_F(BackupSim, SilentDriveAtTheReservedAreaQuery) {
  // Once the buffer query is answered the drive says nothing more.
  hookPump.hook = [this] {
    if (drive->Options().silentAfterCommand < 0 && drive->Received().find("?\r") != std::string::npos)
      Change([this](sim::SimOptions& o) { o.silentAfterCommand = drive->CommandsSeen(); });
  };
  form->Button7Click();
  hookPump.hook = nullptr;
  EXPECT_EQ(BackupLines(), (std::vector<std::string>{"正在获取缓冲区地址......完成！", "正在获取保留区地址......失败！"}));
  EXPECT_TRUE(form->Panel1Enabled);
}

class BackupAt9600 : public BackupSim {
  sim::SimOptions Options() const override {
    sim::SimOptions options = BackupSim::Options();
    options.paceAtLineRate = true;
    return options;
  }
};

// At 9600 baud the "%" answer takes longer than a fast line's five ticks; the
// serial number still arrives whole.
TEST_F(BackupAt9600, SerialNumberArrivesWholeAtTheLowestRate) {
  UseTable("[F]\r\n");  // no module to read: the queries and "%" alone
  form->ComboBox2.SelectText("9600");
  form->Button7Click();
  EXPECT_EQ(BackupLines().back(), "备份完成!");
  EXPECT_EQ(File("SN.TXT"), Bytes("QV0000000001\r\n"));
}

}  // namespace
}  // namespace qv
