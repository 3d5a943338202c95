// The headless runner's operations on the simulated drive, run in this
// process where the drive can be looked into: the files and the drive's
// state must be what the windows' own buttons leave.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <tuple>

#include "batch/operations.h"
#include "firmware/family/family_table.h"
#include "tests/core/firmware_backup_sim.h"

namespace qv {
namespace {

namespace fs = std::filesystem;

OperationResult RunArgs(TFrmMain& main, const FamilyTable& families, const std::vector<std::string>& args,
                        LoadTiming timing = {}) {
  std::vector<std::string> all{"--port", "SIM"};  // the port is the caller's; the options need one
  all.insert(all.end(), args.begin(), args.end());
  const BatchOptions options = ParseBatchOptions(all);
  EXPECT_EQ(options.error, "");
  return RunOperation(main, families, options, timing);
}

using BackupOperation = test::BackupSim;

TEST_F(BackupOperation, FamilyFoundByTheDriveOrNamedThenTheWindowsFiles) {
  const OperationResult result = RunArgs(*main, families, {"--backup", Folder(), "--rate", "921600"});
  EXPECT_TRUE(result.succeeded) << result.note;
  EXPECT_EQ(BackupLines(), (std::vector<std::string>{
                               "正在获取缓冲区地址......完成！", "正在获取保留区地址......完成！",
                               "正在备份APP.............完成！", "正在备份Cert............完成！",
                               "正在备份Cert Table......完成！", "正在备份ATA.............完成！",
                               "正在备份Vendor..........完成！", "备份完成!"}));
  // Into the folder named, not one named after the drive.
  EXPECT_FALSE(fs::exists(main->firmwareFolder + "QVTEST_S-1A_1.AA"));
  EXPECT_EQ(File("APP.BIN"), Sectors(0x10, 0, 0, 6));
  EXPECT_EQ(File("CERT.BIN"), Join(Sectors(0x20, 0, 0, 5), Sectors(0x20, 1, 0, 3)));
  EXPECT_EQ(File("Table.BIN"), Join(Sectors(0x21, 0, 4, 3), Sectors(0x21, 0, 3, 1)));
  EXPECT_EQ(File("ATA.BIN"), Sectors(0x22, 0, 0, 0x44));
  EXPECT_EQ(File("Vendor.BIN"), Sectors(0x23, 0, 0, 6));
  EXPECT_EQ(File("ID.BIN"), Sectors(0x23, 0, 4, 1));
  const std::string sn = "QUORVANE SIM DRIVE\r\nQV0000000001\r\n";
  EXPECT_EQ(File("SN.TXT"), std::vector<uint8_t>(sn.begin(), sn.end()));
  const std::string sent = TakeReceived();
  EXPECT_LT(sent.find("B0921\r"), sent.find("s8F,0,22\r"));
  EXPECT_EQ(drive->Rate(), 9600);

  // A family named on the command line, in any case, and some modules only.
  const OperationResult named =
      RunArgs(*main, families, {"--backup", Path("named"), "--family", "qvtest_s-1a", "--modules", "table,vendor"});
  EXPECT_TRUE(named.succeeded) << named.note;
  EXPECT_EQ(ReadFile("named/Table.BIN"), File("Table.BIN"));
  EXPECT_EQ(ReadFile("named/ID.BIN"), File("ID.BIN"));
  EXPECT_FALSE(Exists("named/APP.BIN"));

  // A drive that names no family of the table: nothing is read, and the
  // runner says why rather than taking the list's first family.
  Change([](sim::SimOptions& o) { o.family.word = "UNKNOWN"; });
  const OperationResult unknown = RunArgs(*main, families, {"--backup", Path("unknown")});
  EXPECT_FALSE(unknown.succeeded);
  EXPECT_NE(unknown.note.find("--family"), std::string::npos);
  EXPECT_FALSE(Exists("unknown"));
}

class LoadOperation : public test::TransferSim {
 protected:
  void SetUp() override {
    TransferSim::SetUp();
    if (HasFatalFailure()) return;
    OpenAt();
    families.Parse(BuiltInFamilyTable());
    main->ComboBox3.items = families.Names();
    fs::create_directories(dir / "fw");
    for (const auto& [name, blocks, salt] : {std::tuple{"APP.BIN", 2, 1}, {"CERT.BIN", 4, 2}, {"Table.BIN", 2, 3},
                                             {"ATA0.BIN", 2, 4}, {"ATA1.BIN", 1, 5}}) {
      files[name] = Blocks(static_cast<size_t>(blocks), 1024, static_cast<unsigned>(salt));
      WriteFile(std::string("fw/") + name, files[name]);
    }
    TakeReceived();
  }
  static LoadTiming Quick() {
    LoadTiming timing;
    timing.percent = 1;  // the simulated drive needs no time to start code or store modules
    return timing;
  }
  std::map<std::string, std::vector<uint8_t>> files;
};

TEST_F(LoadOperation, FolderFamilyModulesAndSaveAsTheWindowTakesThem) {
  const OperationResult all = RunArgs(
      *main, families, {"--load", Path("fw"), "--family", "avalanche", "--modules", "app,cert,table,ata", "--save"}, Quick());
  EXPECT_TRUE(all.succeeded) << all.note;
  // AVALANCHE's buffer 80: APP in blocks of 1024, CERT of 2048.
  const std::tuple<const char*, const char*, size_t> modules[] = {{"APP", "APP.BIN", 1024},
                                                                  {"CERT", "CERT.BIN", 2048},
                                                                  {"TABLE", "Table.BIN", 512},
                                                                  {"ATA0", "ATA0.BIN", 512},
                                                                  {"ATA1", "ATA1.BIN", 512}};
  for (const auto& [module, file, blockSize] : modules) {
    const sim::SimModule held = drive->Module(module);
    EXPECT_EQ(held.loaded, files[file]) << module;
    EXPECT_EQ(held.blockSize, blockSize) << module;
    EXPECT_EQ(held.saved, held.loaded) << module;
  }
  const std::string first = TakeReceived();
  EXPECT_NE(first.find("d80,1\r"), std::string::npos);
  EXPECT_NE(first.find("h4\r"), std::string::npos);  // the table's sectors, counted from its file
  EXPECT_EQ(drive->Rate(), 9600);
}

// Without --modules the window's own choice: the code modules found, the
// overlays only filled in; without --save nothing is written, and without a
// family the buffer stays 60. A module asked for whose file the folder lacks
// gets the window's refusal.
TEST_F(LoadOperation, WithoutModulesTheWindowsChoiceAndItsRefusal) {
  const int downloads = drive->DownloadsCompleted();
  const OperationResult preset = RunArgs(*main, families, {"--load", Path("fw")}, Quick());
  EXPECT_TRUE(preset.succeeded) << preset.note;
  EXPECT_EQ(drive->DownloadsCompleted(), downloads + 3);
  const std::string second = TakeReceived();
  EXPECT_NE(second.find("d60,2\r"), std::string::npos);
  for (const char* absent : {"w4,60\r", "w1,60\r", "w,,22\r", "e0,0\r", "e1,0\r"})
    EXPECT_EQ(second.find(absent), std::string::npos) << absent;

  fs::create_directories(dir / "empty");
  dialogs.shown.clear();
  EXPECT_FALSE(RunArgs(*main, families, {"--load", Path("empty"), "--modules", "ata"}, Quick()).succeeded);
  ASSERT_EQ(dialogs.shown.size(), 1u);
  EXPECT_EQ(dialogs.shown[0].text, "请指定ATA0模块文件！");
}

// A table the drive does not take, for no certification code runs in it yet:
// the window goes on past it, the runner reports a failure.
TEST_F(LoadOperation, ATableTheDriveDidNotTakeFailsTheRun) {
  const OperationResult table = RunArgs(*main, families, {"--load", Path("fw"), "--modules", "table"}, Quick());
  EXPECT_FALSE(table.succeeded);
  EXPECT_NE(table.note.find("请先加载CERT模块！"), std::string::npos) << table.note;
  EXPECT_NE(PaneText().find("请先加载CERT模块！"), std::string::npos);
  EXPECT_EQ(drive->Module("TABLE"), sim::SimModule{});
}

class RomOperation : public test::TransferSim {
 protected:
  int PauseScale() const override { return 10; }
  sim::SimOptions Options() const override {
    sim::SimOptions o;
    o.chunkGaps = false;
    return o;
  }
};

TEST_F(RomOperation, WriteThroughTheEntryBufferProgramsTheRom) {
  OpenAt();
  const std::vector<uint8_t> image = Blocks(128);
  WriteFile("image.bin", image);
  const OperationResult result = RunArgs(*main, families, {"--rom-write", Path("image.bin"), "--entry", "800", "--rate", "921600"});
  EXPECT_TRUE(result.succeeded) << PaneText();
  EXPECT_EQ(drive->RomBytes(), image);
  const std::string sent = TakeReceived();
  EXPECT_LT(sent.find("b0921\r"), sent.find("d800,0\r"));
  EXPECT_EQ(drive->Rate(), 9600);
  EXPECT_NE(PaneText().find("正在写入ROM......成功！"), std::string::npos);

  // The window's refusal of a file that is no image reports a failure.
  WriteFile("odd.bin", Blocks(1, 100));
  EXPECT_FALSE(RunArgs(*main, families, {"--rom-write", Path("odd.bin")}).succeeded);
  EXPECT_EQ(drive->RomBytes(), image);
}

}  // namespace
}  // namespace qv
