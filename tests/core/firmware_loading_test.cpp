// Module loading against the simulated drive: what each step puts on the
// wire, what the drive ends up holding and saving, and how the chain ends.
#include <gtest/gtest.h>

#include <filesystem>
#include <algorithm>
#include <functional>
#include <map>
#include <memory>
#include <tuple>

#include "firmware/family/family_lookup.h"
#include "firmware/family/family_table.h"
#include "firmware/loading/form2_loading.h"
#include "transfer_sim_support.h"

namespace qv {
namespace {

class LoadingSim : public test::TransferSim {
 protected:
  void SetUp() override {
    TransferSim::SetUp();
    if (HasFatalFailure()) return;
    OpenAt();
    // The default family table, as start-up loads it.
    families.Parse(BuiltInFamilyTable());
    main->ComboBox3.items = families.Names();
    form = std::make_unique<TForm2>(*main, families);
    // The simulated drive needs no time to start code or store modules.
    form->timing.percent = 1;
    form->ComboBox2.SelectText("115200");
    TakeReceived();
  }
  void TearDown() override {
    form.reset();
    TransferSim::TearDown();
  }

 public:
  // The table of steps below prepares and runs each case through these.
  using SimFixture::main;
  using SimFixture::TakeReceived;

  // A module file of `count` blocks of `size` bytes; its bytes in `data`.
  std::string Module(const std::string& name, size_t count, size_t size, unsigned salt = 0) {
    data[name] = Blocks(count, size, salt);
    WriteFile(name, data[name]);
    return Path(name);
  }
  // The wire bytes of one download of a module in blocks of `size`.
  std::string Download(const std::string& name, size_t size) {
    const std::vector<uint8_t>& bytes = data[name];
    std::string wire("\xCC\x33", 2);
    const size_t n = bytes.size() / size;
    for (size_t k = 1; k < n; ++k) wire += Frame(bytes, k, size, static_cast<int>(k));
    return wire + Frame(bytes, 0, size, 0) + Closing(bytes, bytes.size());
  }
  // A prompt that came late makes the console ask again; once is what counts.
  static std::string Collapsed(std::string bytes) {
    const std::string twice = "\x1A/\r\x1A/\r";
    for (size_t at; (at = bytes.find(twice)) != std::string::npos;) bytes.erase(at, 3);
    return bytes;
  }
  // Certification code running in the drive, as a previous load leaves it.
  void CertRunning() {
    ASSERT_TRUE(form->LoadCert(Module("old-cert.bin", 1, 2048, 7), 2048, false));
    TakeReceived();
  }
  void ExpectBackAt9600() {
    EXPECT_EQ(main->ComboBox2.Text(), "9600");
    EXPECT_EQ(drive->Rate(), 9600);
    EXPECT_TRUE(form->Panel1Enabled);
    EXPECT_EQ(main->receiveMode, ReceiveMode::usercmd);
  }

  std::map<std::string, std::vector<uint8_t>> data;
  std::unique_ptr<TForm2> form;
};

struct StepCase {
  const char* name;
  std::function<bool(LoadingSim&)> run;  // prepares the drive and runs the step
  std::function<std::string(LoadingSim&)> wire;
  // Module as the drive names it, the file it came from, its block size on the wire.
  std::vector<std::tuple<std::string, std::string, size_t>> loaded;
  std::vector<std::string> saved;
  const char* line;  // the pane's last line afterwards
};

const StepCase kSteps[] = {
    {"AppBuffer80",
     [](LoadingSim& t) {
       EXPECT_TRUE(t.main->ToF());
       t.TakeReceived();
       return t.form->LoadApp(t.Module("APP.BIN", 3, 1024), "80", 1024, false);
     },
     [](LoadingSim& t) { return "\x1AZ\rZ\rd80,1\r" + t.Download("APP.BIN", 1024) + "j,,1\r\x1A/\r/\r\r"; },
     {{"APP", "APP.BIN", 1024}}, {}, "正在加载APP.........成功！"},
    {"AppBuffer60Saved",
     [](LoadingSim& t) {
       EXPECT_TRUE(t.main->ToF());
       t.TakeReceived();
       return t.form->LoadApp(t.Module("APP.BIN", 3, 2048), "60", 2048, true);
     },
     [](LoadingSim& t) {
       return "\x1AZ\rZ\rd60,2\r" + t.Download("APP.BIN", 2048) + "j,,1\r\x1A/\r/\r\r/\rR1\rR2\rw4,60\r";
     },
     {{"APP", "APP.BIN", 2048}}, {"APP"}, "正在加载APP.........成功！"},
    {"Cert4096Saved",
     [](LoadingSim& t) { return t.form->LoadCert(t.Module("CERT.BIN", 2, 4096), 4096, true); },
     [](LoadingSim& t) { return "d,3,1\r" + t.Download("CERT.BIN", 4096) + "\r\rr\r\r/\rR1\rR2\rw1,60\r"; },
     {{"CERT", "CERT.BIN", 4096}}, {"CERT"}, "正在加载CERT........成功！"},
    {"Cert2048",
     [](LoadingSim& t) { return t.form->LoadCert(t.Module("CERT.BIN", 2, 2048), 2048, false); },
     [](LoadingSim& t) { return "d,2,1\r" + t.Download("CERT.BIN", 2048) + "\r\rr\r\r"; },
     {{"CERT", "CERT.BIN", 2048}}, {}, "正在加载CERT........成功！"},
    // Answered at once: the table isn't sent and the chain goes on.
    {"TableWithoutCert",
     [](LoadingSim& t) { return t.form->LoadTable(t.Module("Table.BIN", 3, 512), true); },
     [](LoadingSim&) { return std::string("/\rh3\r"); }, {}, {}, "请先加载CERT模块！"},
    {"TableWithCertSaved",
     [](LoadingSim& t) {
       t.CertRunning();
       return t.form->LoadTable(t.Module("Table.BIN", 3, 512), true);
     },
     [](LoadingSim& t) { return "/\rh3\r" + t.Download("Table.BIN", 512) + "\r\rw,,22\r"; },
     {{"TABLE", "Table.BIN", 512}}, {"TABLE"}, "正在加载TABLE.......成功！"},
    {"Ata0Alone",
     [](LoadingSim& t) { return t.form->LoadATA0(t.Module("ATA.BIN", 2, 512), 512, true, false); },
     [](LoadingSim& t) { return "/\rN4F,,22\r/\re0,0\r" + t.Download("ATA.BIN", 512) + "b,,22\rN50,,22\r"; },
     {{"ATA0", "ATA.BIN", 512}}, {}, "正在加载ATA0........成功！"},
    {"Ata0AloneSaved",
     [](LoadingSim& t) { return t.form->LoadATA0(t.Module("ATA.BIN", 2, 512), 512, true, true); },
     [](LoadingSim& t) {
       return "/\rN4F,,22\r/\re0,0\r" + t.Download("ATA.BIN", 512) + "b,,22\r/2\rU\r/\rc\rN50,,22\r";
     },
     {{"ATA0", "ATA.BIN", 512}}, {"ATA0"}, "正在加载ATA0........成功！"},
    {"Ata0AndAta1Saved",
     [](LoadingSim& t) {
       return t.form->LoadATA0(t.Module("ATA0.BIN", 2, 512), 512, false, true) &&
              t.form->LoadATA1(t.Module("ATA1.BIN", 3, 512, 5), 512, true);
     },
     [](LoadingSim& t) {
       return "/\rN4F,,22\r/\re0,0\r" + t.Download("ATA0.BIN", 512) + "/\re1,0\r" + t.Download("ATA1.BIN", 512) +
              "b,,22\r/2\rU\r/\rc\rN50,,22\r";
     },
     {{"ATA0", "ATA0.BIN", 512}, {"ATA1", "ATA1.BIN", 512}}, {"ATA0", "ATA1"}, "正在加载ATA1........成功！"},
    // ATA0 leaves the drive in overlay mode for ATA1, which ends it in every case.
    {"Ata0AndAta1",
     [](LoadingSim& t) {
       return t.form->LoadATA0(t.Module("ATA0.BIN", 2, 512), 512, false, false) &&
              t.form->LoadATA1(t.Module("ATA1.BIN", 1, 512, 5), 512, false);
     },
     [](LoadingSim& t) {
       return "/\rN4F,,22\r/\re0,0\r" + t.Download("ATA0.BIN", 512) + "/\re1,0\r" + t.Download("ATA1.BIN", 512) +
              "N50,,22\r";
     },
     {{"ATA0", "ATA0.BIN", 512}, {"ATA1", "ATA1.BIN", 512}}, {}, "正在加载ATA1........成功！"},
};

class LoadingStep : public LoadingSim, public ::testing::WithParamInterface<StepCase> {};

TEST_P(LoadingStep, SendsItsCommandsAndBlocks) {
  const StepCase& c = GetParam();
  EXPECT_TRUE(c.run(*this));
  EXPECT_EQ(Collapsed(TakeReceived()), c.wire(*this));
  for (const auto& [module, file, blockSize] : c.loaded) {
    const sim::SimModule held = drive->Module(module);
    EXPECT_EQ(held.blockSize, blockSize) << module;
    EXPECT_EQ(held.loaded, data[file]) << module;
    const bool saved = std::find(c.saved.begin(), c.saved.end(), module) != c.saved.end();
    EXPECT_EQ(held.saved, saved ? held.loaded : std::vector<uint8_t>{}) << module;
  }
  if (c.loaded.empty()) {
    EXPECT_EQ(drive->Module("TABLE"), sim::SimModule{});
  }
  EXPECT_EQ(LastLine(), c.line);
}

INSTANTIATE_TEST_SUITE_P(Loading, LoadingStep, ::testing::ValuesIn(kSteps),
                         [](const auto& info) { return std::string(info.param.name); });

// The drive's record in order: each text must come after the one before it.
::testing::AssertionResult InOrder(const std::string& received, const std::vector<std::string>& texts) {
  size_t at = 0;
  for (const std::string& text : texts) {
    const size_t found = received.find(text, at);
    if (found == std::string::npos) return ::testing::AssertionFailure() << "no \"" << text << "\" in its place";
    at = found + text.size();
  }
  return ::testing::AssertionSuccess();
}

TEST_F(LoadingSim, WholeChainWithSaveLeavesEveryModuleSavedAndEndsAt9600) {
  main->stopFlag = 1;  // a STOP pressed before the load is not meant for it
  form->CheckBox1 = true;
  form->CheckBox1Click();
  form->Edit1 = Module("APP.BIN", 2, 2048);
  form->CheckBox10 = true;
  form->CheckBox2 = true;
  form->Edit2 = Module("CERT.BIN", 1, 4096, 1);
  form->CheckBox9 = true;
  form->CheckBox3 = true;
  form->Edit6 = Module("Table.BIN", 2, 512, 2);
  form->Edit3 = "7";  // stale: the table's own sectors are announced
  form->CheckBox8 = true;
  form->CheckBox6 = true;
  form->CheckBox6Click();  // ticks ATA0 too
  form->Edit4 = Module("ATA0.BIN", 2, 512, 3);
  form->Edit5 = Module("ATA1.BIN", 1, 512, 4);
  form->CheckBox5 = true;
  form->ComboBox2.SelectText("921600");
  form->Button6Click();

  EXPECT_TRUE(dialogs.shown.empty());
  for (const char* line : {"正在加载APP.........成功！", "正在加载CERT........成功！", "正在加载TABLE.......成功！",
                           "正在加载ATA0........成功！", "正在加载ATA1........成功！"})
    EXPECT_NE(PaneText().find(line), std::string::npos) << line;
  const std::pair<const char*, size_t> modules[] = {
      {"APP", 2048}, {"CERT", 4096}, {"TABLE", 512}, {"ATA0", 512}, {"ATA1", 512}};
  for (const auto& [module, blockSize] : modules) {
    const sim::SimModule held = drive->Module(module);
    EXPECT_EQ(held.blockSize, blockSize) << module;
    EXPECT_FALSE(held.loaded.empty()) << module;
    EXPECT_EQ(held.saved, held.loaded) << module;
  }
  // Each module at the loading rate, each level change back at 9600.
  EXPECT_TRUE(InOrder(TakeReceived(), {"b0921\r", "d60,2\r", "j,,1\r", "w4,60\r", "B0096\r", "B0921\r", "d,3,1\r",
                                        "w1,60\r", "B0096\r", "B0921\r", "h2\r", "w,,22\r", "B0096\r", "B0921\r",
                                        "e0,0\r", "B0096\r", "B0921\r", "e1,0\r", "c\r", "N50,,22\r", "B0096\r"}));
  ExpectBackAt9600();
  EXPECT_EQ(drive->Level(), "T");
  EXPECT_EQ(main->stopFlag, 0);
}

class LoadingFault;

struct FaultCase {
  const char* name;
  std::function<void(LoadingFault&)> set;  // ticks the modules and prepares the fault
  const char* message;                   // start of the one message shown; "" for none
  const char* line;                      // the pane's last line: where the chain ended
  std::vector<std::string> sent;         // in this order
  const char* neverSent;
};

class LoadingFault : public LoadingSim, public ::testing::WithParamInterface<FaultCase> {
 public:
  void Tick(bool TForm2::*box, void (TForm2::*click)()) {
    form.get()->*box = true;
    (form.get()->*click)();
  }
  // Runs `fault` once, when the pane's last line first reads `line`.
  void WhenStepBegins(const std::string& line, std::function<void()> fault) {
    hookPump.hook = [this, line, fault, done = false]() mutable {
      if (!done && LastLine() == line) {
        done = true;
        fault();
      }
    };
  }
  using SimFixture::drive;
  using TransferSim::Path;
};

const FaultCase kFaults[] = {
    {"CertFileVanishes",
     [](LoadingFault& f) {
       f.Tick(&TForm2::CheckBox2, &TForm2::CheckBox2Click);
       f.form->Edit2 = f.Module("CERT.BIN", 1, 4096);
       f.Tick(&TForm2::CheckBox3, &TForm2::CheckBox3Click);
       f.form->Edit6 = f.Module("Table.BIN", 1, 512);
       f.WhenStepBegins("正在加载CERT........", [&f] { std::filesystem::remove(f.Path("CERT.BIN")); });
     },
     "读取模块文件失败：", "正在加载CERT........失败！", {"d,3,1\r", "r\r"}, "h1\r"},
    {"CertFileBecomesAFolder",
     [](LoadingFault& f) {
       f.Tick(&TForm2::CheckBox2, &TForm2::CheckBox2Click);
       f.form->Edit2 = f.Module("CERT.BIN", 1, 4096);
       f.WhenStepBegins("正在加载CERT........", [&f] {
         std::filesystem::remove(f.Path("CERT.BIN"));
         std::filesystem::create_directory(f.Path("CERT.BIN"));
       });
     },
     "读取模块文件失败：", "正在加载CERT........失败！", {"d,3,1\r"}, "w1,60\r"},
    // Emptied after the checks: the drive was put into overlay mode; it is
    // taken out again.
    {"Ata0EmptiedMidChain",
     [](LoadingFault& f) {
       f.Tick(&TForm2::CheckBox6, &TForm2::CheckBox6Click);
       f.form->Edit4 = f.Module("ATA0.BIN", 1, 512);
       f.form->Edit5 = f.Module("ATA1.BIN", 1, 512);
       f.WhenStepBegins("正在加载ATA0........", [&f] { std::filesystem::resize_file(f.Path("ATA0.BIN"), 0); });
     },
     "模块文件", "正在加载ATA0........失败！", {"N4F,,22\r", "e0,0\r", "N50,,22\r"}, "e1,0\r"},
    {"TableNotWholeBlocks",
     [](LoadingFault& f) {
       f.Tick(&TForm2::CheckBox2, &TForm2::CheckBox2Click);
       f.form->Edit2 = f.Module("CERT.BIN", 1, 4096);
       f.Tick(&TForm2::CheckBox3, &TForm2::CheckBox3Click);
       f.form->Edit6 = f.Module("Table.BIN", 1, 512);
       f.form->Edit3 = "1";
       f.Tick(&TForm2::CheckBox4, &TForm2::CheckBox4Click);
       f.form->Edit4 = f.Module("ATA.BIN", 1, 512);
       f.WhenStepBegins("正在加载CERT........", [&f] { std::filesystem::resize_file(f.Path("Table.BIN"), 1000); });
     },
     // Cut to a part block after the checks: refused before the drive is told a table comes.
     "文件长度必须是512的倍数！", "正在加载TABLE.......失败！", {"d,3,1\r", "/\r"}, "h1\r"},
    // The code already running answers "r" as the new code would: the failed
    // download must still count.
    {"CertFailsWhileOldCodeRuns",
     [](LoadingFault& f) {
       f.CertRunning();
       f.Tick(&TForm2::CheckBox2, &TForm2::CheckBox2Click);
       f.form->Edit2 = f.Module("CERT.BIN", 1, 4096);
       f.WhenStepBegins("正在加载CERT........", [&f] { std::filesystem::resize_file(f.Path("CERT.BIN"), 5000); });
     },
     "文件长度必须是4096的倍数！", "正在加载CERT........失败！", {"d,3,1\r", "r\r"}, "w1,60\r"},
    {"CertAtTheWrongLevel",
     [](LoadingFault& f) {
       EXPECT_TRUE(f.main->ToF());
       f.Tick(&TForm2::CheckBox2, &TForm2::CheckBox2Click);
       f.form->Edit2 = f.Module("CERT.BIN", 1, 4096);
     },
     "", "错误: 请先转至T级！", {"b0096\r"}, "d,3,1\r"},
    {"DriveSilentOnceTheCodeStarts",
     [](LoadingFault& f) {
       sim::SimOptions options = f.drive->Options();
       options.silentFromCommand = "j,,1";
       f.drive->SetOptions(options);
       // Back to life once the step has failed, so the ending finds the drive.
       f.WhenStepBegins("正在加载APP.........失败！", [&f] { f.drive->SetOptions({}); });
       f.Tick(&TForm2::CheckBox1, &TForm2::CheckBox1Click);
       f.form->Edit1 = f.Module("APP.BIN", 1, 2048);
       f.Tick(&TForm2::CheckBox2, &TForm2::CheckBox2Click);
       f.form->Edit2 = f.Module("CERT.BIN", 1, 4096);
     },
     "", "正在加载APP.........失败！", {"d60,2\r", "j,,1\r"}, "d,3,1\r"},
};

TEST_P(LoadingFault, EndsTheChainTruthfullyAt9600) {
  const FaultCase& c = GetParam();
  c.set(*this);
  ASSERT_FALSE(HasFatalFailure());
  TakeReceived();
  dialogs.shown.clear();
  form->Button6Click();
  if (*c.message) {
    ASSERT_EQ(dialogs.shown.size(), 1u);
    EXPECT_EQ(dialogs.shown[0].text.rfind(c.message, 0), 0u) << dialogs.shown[0].text;
  } else {
    EXPECT_TRUE(dialogs.shown.empty());
  }
  EXPECT_EQ(LastLine(), c.line);
  const std::string received = TakeReceived();
  EXPECT_TRUE(InOrder(received, c.sent));
  EXPECT_EQ(received.find(c.neverSent), std::string::npos) << c.neverSent;
  ExpectBackAt9600();
}

INSTANTIATE_TEST_SUITE_P(Loading, LoadingFault, ::testing::ValuesIn(kFaults),
                         [](const auto& info) { return std::string(info.param.name); });

// The only test at the drive's own pacing. After its certification code the
// drive talks at 9600 whatever the rate was; the step finds it there.
TEST_F(LoadingSim, CertificationCodeAtFullPacingFoundAgainAt9600) {
  sim::SimOptions options = drive->Options();
  options.fallBackTo9600AfterDownload = true;
  drive->SetOptions(options);
  form->timing = LoadTiming{};
  form->CheckBox2 = true;
  form->CheckBox2Click();
  form->Edit2 = Module("CERT.BIN", 2, 2048);
  form->ComboBox4 = "2048";
  form->Button6Click();
  EXPECT_TRUE(dialogs.shown.empty());
  EXPECT_EQ(LastLine(), "正在加载CERT........成功！");
  EXPECT_EQ(drive->Module("CERT").loaded, data["CERT.BIN"]);
  // (The drive can't hear the PC's "B0096" at the old rate; it hears the prompt requests after it.)
  EXPECT_TRUE(InOrder(TakeReceived(), {"B0115\r", "d,2,1\r", "\x1A/\r", "r\r"}));
  ExpectBackAt9600();
}

// The family lookup asks the drive for its family and firmware, picks the
// family (and with it the buffer) and fills the fields from the folder a
// backup of that drive made.
TEST_F(LoadingSim, FamilyLookupPicksTheFamilyAndTheBackupFolder) {
  struct Case {
    const char* word;  // the family word the drive reports
    bool backedUp;     // a folder named after the drive's firmware type lies in the base folder
    const char* family;  // what the firmware type list then shows
    const char* buffer;
  };
  const Case cases[] = {
      {"NHPLUS2HD", true, "NHPLUS2HD_S-1A", "60"},
      {"AVALANCHE", false, "AVALANCHE", "80"},
      {"UNKNOWN", true, "", "7"},  // no family named so: nothing selected, the buffer stays
      // Found in the folder the backup window names for it, the '/' made '_'.
      {"QV/NH", true, "", "7"},
  };
  main->firmwareFolder = Path("");  // ends in "/"
  for (const Case& c : cases) {
    SCOPED_TRACE(c.word);
    sim::SimOptions options = drive->Options();
    options.family.word = c.word;
    drive->SetOptions(options);
    const std::string type = FolderNameFor(std::string(c.word) + "_S-1A_3.AAC");
    if (c.backedUp) {
      std::filesystem::create_directories(dir / type);
      Module(type + "/APP.BIN", 1, 512);
      Module(type + "/ATA.BIN", 1, 512);
    }
    form->CheckBox2 = true;  // reset by the lookup
    form->Edit2 = "old";
    form->ComboBox1 = "7";
    TakeReceived();
    form->Button5Click();

    EXPECT_EQ(TakeReceived(), "\x01\x0C\r");
    // No family of that name: the lookup says it failed and selects none.
    EXPECT_EQ(LastLine(), std::string("正在份析，请稍候........") + (*c.family ? "完成！" : "失败！"));
    EXPECT_EQ(form->ComboBox7Text, c.family);
    EXPECT_EQ(form->ComboBox7.Text(), c.family);
    EXPECT_EQ(form->ComboBox1, c.buffer);
    EXPECT_FALSE(form->CheckBox2);
    EXPECT_EQ(form->Edit2, "");
    EXPECT_EQ(form->Edit7, c.backedUp ? main->firmwareFolder + type : main->firmwareFolder);
    EXPECT_EQ(form->Edit1, c.backedUp ? Path(type + "/APP.BIN") : "");
    EXPECT_EQ(form->CheckBox1, c.backedUp);
    EXPECT_EQ(form->Edit4, c.backedUp ? Path(type + "/ATA.BIN") : "");
    EXPECT_EQ(form->CheckBox5, c.backedUp);
    EXPECT_EQ(main->receiveMode, ReceiveMode::syscmd);
    EXPECT_TRUE(main->Memo3.empty());
  }
}

// The drive takes as many table sectors as it is told of. A table filled in
// by the lookup, with the hidden count still at its first value, and the same
// file replaced after it was filled in, each go with their own count.
TEST_F(LoadingSim, TableFilledByTheLookupAnnouncesItsOwnSectors) {
  CertRunning();
  sim::SimOptions options = drive->Options();
  options.family.word = "NHPLUS2HD";
  drive->SetOptions(options);
  main->firmwareFolder = Path("");
  const std::string table = "NHPLUS2HD_S-1A_3.AAC/Table.BIN";
  std::filesystem::create_directories(dir / "NHPLUS2HD_S-1A_3.AAC");
  Module(table, 0x17, 512);
  ASSERT_EQ(form->Edit3, "18");
  form->Button5Click();
  ASSERT_EQ(form->Edit6, Path(table));
  ASSERT_TRUE(form->CheckBox3);
  EXPECT_EQ(form->Edit3, "17");
  form->CheckBox8 = true;

  for (const auto& [sectors, count] : {std::pair{0x17u, "h17\r"}, std::pair{0x15u, "h15\r"}}) {
    Module(table, sectors, 512, sectors);
    TakeReceived();
    form->Button6Click();
    EXPECT_TRUE(dialogs.shown.empty());
    EXPECT_EQ(LastLine(), "正在加载TABLE.......成功！");
    EXPECT_TRUE(InOrder(TakeReceived(), {count, Download(table, 512), "w,,22\r"}));
    EXPECT_EQ(drive->Module("TABLE").loaded, data[table]);
    EXPECT_EQ(drive->Module("TABLE").saved, data[table]);
  }
}

}  // namespace
}  // namespace qv
