// A backup folder's manifest as the load and quorvane-batch --check read it:
// module files that are not what the backup wrote are refused before the
// drive hears anything, and a manifest that is damaged or not ours is said so.
#include <gtest/gtest.h>

#include <deque>
#include <filesystem>
#include <functional>
#include <memory>

#include "batch/folder_reports.h"
#include "console/main.h"
#include "files/file_io.h"
#include "firmware/family/family_table.h"
#include "firmware/loading/form2_loading.h"
#include "firmware/manifest/manifest.h"
#include "firmware/manifest/manifest_check.h"
#include "tests/support/scripted_dialogs.h"
#include "tests/support/temp_dir.h"

namespace qv {
namespace {

namespace fs = std::filesystem;

constexpr const char* kPassed = "请先打开串口！";  // the load's next check: the manifest's passed

class ManifestCheck : public ::testing::Test {
 protected:
  void SetUp() override {
    families.Parse(BuiltInFamilyTable());
    main.ComboBox3.items = families.Names();
    folder = dir / "bk/";
    fs::create_directories(folder);
    for (const auto& [name, size] : {std::pair{"APP.BIN", 2048}, {"CERT.BIN", 4096}, {"Table.BIN", 512}})
      ASSERT_TRUE(WriteFileBytes(folder + name, std::string(static_cast<size_t>(size), name[0])));
    WriteManifest({"APP.BIN", "CERT.BIN", "Table.BIN"});
  }

  void WriteManifest(const std::vector<std::string>& names) {
    Manifest header;
    header.program = ProgramNameAndVersion();
    header.family = "TONKA";
    header.complete = true;
    std::vector<WholeFile> files;
    for (const std::string& name : names) files.push_back({name, "8F 0 0 2"});
    ASSERT_FALSE(WriteBackupManifest(folder, header, files));
  }
  std::string ManifestBytes() const { return ReadFileBytes(folder + kManifestName, 1 << 20).bytes; }
  void Replace(const std::string& name, const std::string& bytes) const {
    ASSERT_TRUE(WriteFileBytes(folder + name, bytes));
  }

  NoToolkitPump pump;
  test::ScriptedDialogs dialogs;
  TFrmMain main{pump, dialogs};
  FamilyTable families;
  test::TempDir dir;
  std::string folder;
};

TEST_F(ManifestCheck, LoadAndCheckRefuseWhatTheManifestDoesNotVouchFor) {
  struct Case {
    const char* name;
    std::function<void()> change;
    const char* family;            // chosen for the load
    std::deque<bool> answers;      // to the family question
    std::vector<std::string> says; // in the load's message box; empty: none shown
    bool asked;
    bool checkAgrees;
    const char* checkSays;         // in --check's report
  };
  const std::string original = ManifestBytes();
  const Case cases[] = {
      {"all agree", nullptr, "TONKA", {}, {kPassed}, false, true, "一致"},
      {"size", [this] { Replace("CERT.BIN", std::string(8192, 'C')); }, "TONKA", {},
       {"CERT.BIN", "大小不符：清单记为4096字节，文件为8192字节"}, false, false, "大小不符"},
      {"hash", [this] { Replace("APP.BIN", std::string(2047, 'A') + "B"); }, "TONKA", {},
       {"APP.BIN", "SHA-256不符"}, false, false, "SHA-256不符"},
      {"missing file", [this] { fs::remove(folder + "Table.BIN"); }, "TONKA", {},
       {"指定的TABLE模块文件不存在！"}, false, false, "文件不存在"},
      {"file the manifest does not list", [this] { WriteManifest({"APP.BIN", "CERT.BIN"}); },
       "TONKA", {}, {"Table.BIN", "不在备份清单"}, false, false, "不在清单中"},
      {"another family, No", nullptr, "AVALANCHE", {}, {}, true, true, "一致"},
      {"another family, Yes", nullptr, "avalanche", {true}, {kPassed}, true, true, "一致"},
      {"no family chosen", nullptr, "", {}, {kPassed}, false, true, "一致"},
      {"no manifest", [this] { fs::remove(folder + kManifestName); }, "AVALANCHE", {}, {kPassed},
       false, false, "没有备份清单"},
      {"damaged", [this, &original] {
         std::string text = original;
         text.replace(text.find("sha256=") + 7, 4, "XYZ!");
         Replace(kManifestName, text);
       }, "TONKA", {}, {"有误", "sha256应为64位小写十六进制数"}, false, false, "有误"},
      {"truncated in a line", [this, &original] { Replace(kManifestName, original.substr(0, original.find("sha256=") + 10)); },
       "TONKA", {}, {"有误", "截断"}, false, false, "截断"},
      {"truncated at a section", [this, &original] {
         Replace(kManifestName, original.substr(0, original.rfind("\n[file")) + "\n");
       }, "TONKA", {}, {"有误", "应有3个文件，只写了2个"}, false, false, "截断"},
      {"not ours", [this] { Replace(kManifestName, "[general]\nname=x\n"); }, "TONKA", {},
       {"不是Quorvane的备份清单"}, false, false, "不是Quorvane的备份清单"},
      {"binary", [this] { Replace(kManifestName, std::string("\0\xFF[backup]\n", 11)); }, "TONKA", {},
       {"不是Quorvane的备份清单"}, false, false, "不是"},
      {"a folder in its place", [this] {
         fs::remove(folder + kManifestName);
         fs::create_directories(folder + kManifestName);
       }, "TONKA", {}, {"有误", "文件夹"}, false, false, "文件夹"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    fs::remove_all(folder + kManifestName);
    Replace(kManifestName, original);
    for (const auto& [name, size] : {std::pair{"APP.BIN", 2048}, {"CERT.BIN", 4096}, {"Table.BIN", 512}})
      Replace(name, std::string(static_cast<size_t>(size), name[0]));
    TForm2 form(main, families);
    form.ComboBox7Text = c.family;
    form.AutoSetFile(folder);
    if (c.change) c.change();
    dialogs.shown.clear();
    dialogs.questions.clear();
    dialogs.answers = c.answers;

    EXPECT_FALSE(form.Load());
    if (c.says.empty()) {
      EXPECT_TRUE(dialogs.shown.empty());
    } else {
      ASSERT_EQ(dialogs.shown.size(), 1u);
      for (const std::string& part : c.says) EXPECT_NE(dialogs.shown[0].text.find(part), std::string::npos) << dialogs.shown[0].text;
    }
    ASSERT_EQ(dialogs.questions.size(), c.asked ? 1u : 0u);
    if (c.asked) {
      EXPECT_NE(dialogs.questions[0].text.find("“TONKA”"), std::string::npos) << dialogs.questions[0].text;
    }

    const FolderCheck check = CheckFolder(folder);
    EXPECT_EQ(check.AllAgree(), c.checkAgrees);
    std::string report = check.problem;
    for (const ManifestVerdict& v : check.files) report += v.name + ":" + v.text + "\n";
    EXPECT_NE(report.find(c.checkSays), std::string::npos) << report;
  }
}

// --check of a folder whose files all agree: a backup cut short is still no
// good copy, and the header says what the manifest says of it.
TEST_F(ManifestCheck, CheckReportTellsAnIncompleteBackup) {
  for (const bool complete : {true, false}) {
    SCOPED_TRACE(complete);
    Manifest header;
    header.program = ProgramNameAndVersion();
    header.family = "TONKA";
    header.serial = "QV1";
    header.complete = complete;
    header.verified = true;
    ASSERT_FALSE(WriteBackupManifest(folder, header, {{"APP.BIN", "8F 0 0 2"}, {"CERT.BIN", ""}, {"Table.BIN", ""}}));
    const FolderReport report = CheckReport(folder);
    EXPECT_EQ(report.allGood, complete);
    const std::string said = std::string(complete ? "yes" : "no");
    EXPECT_TRUE(report.text.starts_with("[backup]\tfamily=TONKA drive= serial=QV1 time= complete=" + said +
                                        " verified=yes\nAPP.BIN\t一致\n"))
        << report.text;
    EXPECT_EQ(report.text.find("备份不完整") != std::string::npos, !complete) << report.text;
  }
}

}  // namespace
}  // namespace qv
