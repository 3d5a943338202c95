// The drive-family table: its default text, its parsing, where its file lives,
// and finding a drive's family from the drive's own report.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "console/main.h"
#include "console/text.h"
#include "files/file_io.h"
#include "firmware/family/family_lookup.h"
#include "firmware/family/family_table.h"
#include "tests/support/quiet_startup.h"
#include "tests/support/scripted_dialogs.h"
#include "tests/support/temp_dir.h"

namespace qv {
namespace {

namespace fs = std::filesystem;
using namespace std::literals;

const std::vector<std::string> kDefaultNames = {
    "4200.2 MERCURY", "4200.2 MERC2",   "5400.3 VENUS",   "5400.4 CORSATR", "AVALANCHE",      "ALPINE_3.XXX",
    "ALPINE_8.XXX",   "APLUS",          "PUMA",           "TONKA",          "TONKA15",        "TONKA2",
    "TONKA40",        "TLITE1HD.09E",   "TLITE1HD.09K",   "TLITE2HD.09E",   "TLITE2HD.09K",   "GALAXY",
    "GALAXY2D",       "NHAWK1HD",       "NHAWK2HD",       "NHPLUS2HD_S-1A", "NHPLUS2HD_S-1N"};

class FamilyTableStartup : public ::testing::Test {
 protected:
  // Runs the start-up with the program in `program` and the user's data in `user`.
  void StartUp(const std::string& program, const std::string& user) {
    StartupOptions options = test::QuietStartup(dir.Path());
    options.programFolder = program;
    options.userDataFolder = user;
    main = std::make_unique<TFrmMain>(pump, dialogs);
    main->FormCreate(options);
    LoadFamilyTable(*main, families);
  }
  std::string Pane() const { return Utf8FromGbk(main->memo1.Text()); }

  test::TempDir dir;
  NoToolkitPump pump;
  test::ScriptedDialogs dialogs;
  FamilyTable families;
  std::unique_ptr<TFrmMain> main;
};

TEST_F(FamilyTableStartup, WritesTheDefaultTableOnceAndListsItsFamiliesInOrder) {
  fs::create_directories(dir / "bin");
  StartUp(dir / "bin", dir / "user");
  const FileBytes read = ReadFileBytes(dir / "bin/Varnel授权.reg", FamilyTable::kMaxFileBytes);
  ASSERT_TRUE(read);
  const std::string* file = &read.bytes;
  EXPECT_EQ(*file, BuiltInFamilyTable());
  // GBK, CR LF only, the comment block, two blank lines, sections one blank line apart.
  EXPECT_TRUE(file->starts_with("//[NHPLUS2HD_S-1A_3.AAC]\r\n//\xB9\xCC\xBC\xFE\xC0\xE0\xD0\xCD"));
  EXPECT_NE(file->find("\r\n//\xB8\xF9\xBE\xDD\xD0\xE8\xD2\xAA\xBF\xC9\xD7\xD4\xD0\xD0\xCC\xED\xBC\xD3\r\n\r\n\r\n"
                       "[4200.2 MERCURY]\r\nAPP=16 0 1A0 60\r\nCERT0=64 0 1F2 66 0 1C6\r\nTABLE=66 1C6 16\r\n"),
            std::string::npos);
  EXPECT_NE(file->find("VEN=48 0 12\r\n\r\n[5400.3 VENUS]\r\n"), std::string::npos);
  EXPECT_TRUE(file->ends_with("[NHPLUS2HD_S-1N]\r\nAPP=16 0 238 60\r\nCERT0=64 0 35C\r\nCERT1=64 0 1C4\r\n"
                              "TABLE=66 1C4 17\r\nATA=68 0 93\r\nVEN=6C 0 12\r\n"));
  size_t crlf = 0;
  for (size_t at = 0; (at = file->find('\n', at)) != std::string::npos; ++at, ++crlf) ASSERT_EQ((*file)[at - 1], '\r');
  EXPECT_EQ(crlf, 13u + 2u + 23u + 22u + 23u * 6u - 11u);  // 11 families lack CERT1
  EXPECT_EQ(main->ComboBox3.items, kDefaultNames);
  EXPECT_EQ(main->ComboBox3.index, 0);
  EXPECT_EQ(families.AtListPosition(0)->CERT0, "64 0 1F2 66 0 1C6");
  EXPECT_EQ(families.AtListPosition(0)->CERT1, "");
  EXPECT_EQ(families.AtListPosition(23), nullptr);
  EXPECT_EQ(Pane(), "");
}

TEST_F(FamilyTableStartup, AnExistingTableIsReadBesideTheProgramFirstAndNeverRewritten) {
  fs::create_directories(dir / "bin");
  fs::create_directories(dir / "user");
  WriteFileBytes(dir / "user/Varnel授权.reg", "[USERS]\n");
  StartUp(dir / "bin", dir / "user");  // only the user folder has one: it is used, none is written
  EXPECT_EQ(main->ComboBox3.items, std::vector<std::string>{"USERS"});
  EXPECT_FALSE(fs::exists(dir / "bin/Varnel授权.reg"));

  const std::string edited = "[mine]\r\napp = 1 2 3 80\r\n";
  WriteFileBytes(dir / "bin/Varnel授权.reg", edited);
  StartUp(dir / "bin", dir / "user");
  EXPECT_EQ(main->ComboBox3.items, std::vector<std::string>{"MINE"});
  EXPECT_EQ(families.AtListPosition(0)->APP, "1 2 3 80");
  EXPECT_EQ(ReadFileBytes(dir / "bin/Varnel授权.reg", FamilyTable::kMaxFileBytes).bytes, edited);
}

TEST_F(FamilyTableStartup, AReadOnlyProgramFolderPutsTheTableInTheUserFolder) {
  StartUp(dir / "not-there", dir / "data/quorvane");
  EXPECT_EQ(ReadFileBytes(dir / "data/quorvane/Varnel授权.reg", FamilyTable::kMaxFileBytes).bytes, BuiltInFamilyTable());
  EXPECT_EQ(main->firmwareFolder, dir / "data/quorvane/");
  EXPECT_EQ(main->ComboBox3.items.size(), 23u);
}

TEST_F(FamilyTableStartup, WithNowhereToWriteTheBuiltInTableIsUsedAndThePaneSaysSo) {
  std::ofstream(dir / "file") << "x";
  StartUp(dir / "not-there", dir / "file/quorvane");
  EXPECT_EQ(main->ComboBox3.items, kDefaultNames);
  const std::string pane = Pane();
  EXPECT_NE(pane.find("本次使用程序内置的系列表。"), std::string::npos) << pane;
  EXPECT_EQ(main->memo1.LineCount(), 1u);
}

TEST_F(FamilyTableStartup, SectionsPastTheCapacityAreLeftOutAndCounted) {
  std::string text;
  for (int i = 1; i <= 205; ++i) text += "[F" + std::to_string(i) + "]\r\nAPP=1 0 1\r\n";
  fs::create_directories(dir / "bin");
  WriteFileBytes(dir / "bin/Varnel授权.reg", text);
  StartUp(dir / "bin", dir / "user");
  EXPECT_EQ(families.Count(), 200u);
  EXPECT_EQ(main->ComboBox3.items.back(), "F200");
  EXPECT_NE(Pane().find("其后的 5 个系列未载入"), std::string::npos);
}

TEST(FamilyTableParse, SectionsKeysAndOddLines) {
  struct Case {
    std::string_view text;
    std::vector<std::string> names;
    std::string app;  // APP of the first record
  } cases[] = {
      {"[tonka]\napp = 16 0 1a0 60 \n", {"TONKA"}, "16 0 1A0 60"},
      {"  [ALPINE]   \r\nAPP=15 0 180\r\n", {"ALPINE"}, "15 0 180"},                  // trailing spaces
      {"[A] comment\nAPP=1\n", {"A] COMMEN"}, "1"},                                     // only the last character goes
      {"[\nAPP=1\n[]\n", {"", ""}, "1"},                                                // headers without a name
      {"APP=9\n// [X]\n[B]\nFOO=1\nAPP 2\nAPP=3\nAPP=4\n", {"B"}, "4"},                // before the first section, unknown, later wins
      {"[C]\n//APP=5\n\n\nAPP==7\n", {"C"}, "=7"},                                       // comment inside, value after the first "="
      {"\xFF\xFE\0\n[D]\rAPP=8\r"sv, {"D"}, "8"},                                        // garbage, CR alone
  };
  for (const Case& c : cases) {
    FamilyTable table;
    table.Parse(c.text);
    EXPECT_EQ(table.Names(), c.names) << c.text;
    if (!c.names.empty()) {
      EXPECT_EQ(table.AtListPosition(0)->APP, c.app) << c.text;
    }
  }
}

TEST(FamilyTableParse, SplitsLocationsAsTheModuleStepsReadThem) {
  struct Case {
    const char* field;
    size_t count;
    bool restInLast;
    std::vector<std::string> values;
  } cases[] = {
      {"16 0 1A0 60", 3, false, {"16", "0", "1A0"}},
      {"16 0 1A0 60", 3, true, {"16", "0", "1A0 60"}},
      {"64   0  280 66 0 1A8", 6, true, {"64", "0", "280", "66", "0", "1A8"}},
      {"64 0 280", 6, true, {"64", "0", "280"}},
      {" 66 ", 3, true, {"66"}},
      {"", 3, true, {}},
  };
  for (const Case& c : cases) EXPECT_EQ(SplitLocation(c.field, c.count, c.restInLast), c.values) << c.field;
}

TEST(FamilyLookup, KeysFromTheDrivesReportSelectTheFirstNameHoldingTheFirstMatchingKey) {
  struct Case {
    std::vector<std::string> report;
    std::string typeName;
    std::string selected;  // "" : no key matched, the selection stays
  } cases[] = {
      {{"NHPLUS2HD Family_Disk 3.AAC Jan", "Mask Rom Rev = S-1A"}, "NHPLUS2HD_S-1A_3.AAC", "NHPLUS2HD_S-1A"},
      {{"  ALPINE x_Disk 3.06 y  "}, "ALPINE__3.06", "ALPINE_3.XXX"},
      {{"TONKA2 a_Disk b c"}, "TONKA2__B", "TONKA2"},
      {{"Tonka a_Disk b c"}, "TONKA__B", "TONKA"},
      {{"TONKA a_Disk 3.A Mask Rom Rev=S2"}, "TONKA_S2_3.A", "TONKA"},  // the revision after "_Disk" counts,
      {{"Mask Rom Rev=Q PUMA_Disk 1"}, "MASK__", ""},                      // the one before it doesn't
      {{"ServoRev 12", "Mask Rom Rev: none"}, "__", ""},       // no family word: no key at all
      {{"CORSAIR a_Disk 1 2", "PUMA a_Disk 1 2"}, "PUMA__1", "PUMA"},  // a later line replaces an earlier one
  };
  for (const Case& c : cases) {
    const FamilyReport report = ParseFamilyReport(c.report);
    EXPECT_EQ(report.TypeName(), c.typeName) << c.report[0];
    ListControl list{kDefaultNames, 2};
    EXPECT_EQ(SelectFamily(list, report), !c.selected.empty()) << c.report[0];
    EXPECT_EQ(list.Text(), c.selected.empty() ? "5400.3 VENUS" : c.selected) << c.report[0];
  }
  EXPECT_EQ(ParseFamilyReport({"NHPLUS2HD Family_Disk 3.AAC Jan", "Mask Rom Rev = S-1A"}).Keys(),
            (std::vector<std::string>{"NHPLUS2HD_S-1A_3.AAC", "NHPLUS2HD_3.AAC", "NHPLUS2HD_S-1A", "NHPLUS2HD"}));
}

}  // namespace
}  // namespace qv
