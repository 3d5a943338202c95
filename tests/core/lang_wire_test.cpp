// What goes to the drive never depends on the language: each operation runs
// against a fresh simulated drive in Chinese and in English, and the bytes on
// the wire must match while the pane shows each language's text.
#include <gtest/gtest.h>

#include <stdlib.h>

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "batch/form4.h"
#include "batch/operations.h"
#include "console/language_setup.h"
#include "files/file_io.h"
#include "firmware/family/family_table.h"
#include "lang/translate.h"
#include "procedures/id_editor.h"
#include "tests/support/sim_fixture.h"

namespace qv {
namespace {

class BothLanguages : public test::SimFixture {
 protected:
  // The operations only pause for the drive to answer.
  int PauseScale() const override { return 10; }
  void SetUp() override {
    SimFixture::SetUp();
    char name[] = "/tmp/qv-lang-XXXXXX";
    ASSERT_NE(mkdtemp(name), nullptr);
    dir = name;
    families.Parse(BuiltInFamilyTable());
  }
  void TearDown() override {
    SimFixture::TearDown();
    UseLanguage(Language::Chinese, "");
    std::error_code ec;
    std::filesystem::remove_all(dir, ec);
  }

  struct Run {
    std::string wire;
    std::string pane;
  };
  // A fresh drive and console for each language, so both runs start alike.
  Run RunIn(Language language, const std::function<void(TFrmMain&)>& operation) {
    SimFixture::TearDown();
    UseLanguage(language, CatalogueFolder(QV_BUILD_FOLDER));
    SimFixture::SetUp();
    OpenAt();
    Settle();
    TakeReceived();
    operation(*main);
    Settle(10);
    return {TakeReceived(), PaneText()};
  }
  // A folder of files the operation writes, one for each language.
  std::string Folder() const {
    return dir + (CurrentLanguage() == Language::English ? "/en/" : "/zh/");
  }

  std::string dir;
};

// A long operation as quorvane-batch runs it, on the port already open.
void RunBatchOperation(TFrmMain& main, const FamilyTable& families, const std::vector<std::string>& args) {
  std::vector<std::string> all{"--port", "SIM"};
  all.insert(all.end(), args.begin(), args.end());
  ShowFamilies(main, families);
  RunOperation(main, families, ParseBatchOptions(all));
}

void RunScript(TFrmMain& main, std::vector<std::string> lines) {
  TForm4 form(main);
  form.Memo1 = std::move(lines);
  form.Button9Click();
}

void WriteId(TFrmMain& main, bool standardWords) {
  TForm5 form(main);
  form.Edit1 = "ST380016A";
  form.Edit2 = "80";
  form.CheckBox3 = standardWords;
  form.Button7Click();
}

TEST_F(BothLanguages, SameBytesOnTheWire) {
  struct Operation {
    const char* name;
    std::function<void(TFrmMain&)> run;
    const char* chinese;  // a line the pane shows in each language
    const char* english;
  };
  const Operation operations[] = {
      {"ID editor: model, capacity and standard words", [](TFrmMain& main) { WriteId(main, true); }, "写入完成！",
       "Write complete."},
      {"ID editor: away from the T level",
       [](TFrmMain& main) {
         main.SendString("/F\r");
         main.WaitHD(100);
         WriteId(main, false);
       },
       "错误: 请先切换至T级！", "Error: switch to the T level first!"},
      {"About", [](TFrmMain& main) { main.Button8Click(); }, "README 文件", "README file"},
      {"Batch script: a buffer read twice and the reads compared",
       [this](TFrmMain& main) {
         // CMP_FILE's names are separated by "/": relative ones, in the folder.
         std::filesystem::create_directories(Folder());
         const auto here = std::filesystem::current_path();
         std::filesystem::current_path(Folder());
         RunScript(main, {"LEVEL/T", "R_BUF/0/2/1.bin", "R_BUF/0/2/2.bin", "CMP_FILE/1.bin/2.bin"});
         std::filesystem::current_path(here);
       },
       "1.bin 与 2.bin：相同", "1.bin and 2.bin: same"},
      {"Backup through the runner: the vendor module",
       [this](TFrmMain& main) {
         RunBatchOperation(main, families, {"--backup", Folder(), "--rate", "115200", "--modules", "vendor"});
       },
       "正在备份Vendor..........完成！\r\n备份完成!", "Backing up Vendor...........done!\r\nBackup complete!"},
      {"Load through the runner: TABLE without certification code",
       [this](TFrmMain& main) {
         const std::string folder = Folder() + "load/";  // no backup's manifest: nothing to check against
         std::filesystem::create_directories(folder);
         WriteFileBytes(folder + "Table.BIN", std::string(1024, 'T'));
         RunBatchOperation(main, families, {"--load", folder, "--modules", "table"});
       },
       "请先加载CERT模块！", "Load the CERT module first!"},
  };
  for (const Operation& operation : operations) {
    const Run chinese = RunIn(Language::Chinese, operation.run);
    const Run english = RunIn(Language::English, operation.run);
    EXPECT_FALSE(chinese.wire.empty()) << operation.name;
    EXPECT_EQ(english.wire, chinese.wire) << operation.name;
    EXPECT_NE(chinese.pane.find(operation.chinese), std::string::npos) << operation.name << "\n" << chinese.pane;
    EXPECT_NE(english.pane.find(operation.english), std::string::npos) << operation.name << "\n" << english.pane;
  }
}

}  // namespace
}  // namespace qv
