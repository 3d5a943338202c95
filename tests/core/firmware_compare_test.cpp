// Comparing backup folders: the verdict of every file of either folder, and
// files too large to compare refused unread.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "batch/folder_reports.h"
#include "files/file_io.h"
#include "firmware/manifest/folder_compare.h"
#include "firmware/manifest/manifest.h"
#include "tests/support/temp_dir.h"

namespace qv {
namespace {

namespace fs = std::filesystem;

TEST(CompareBackups, ThreeFolders) {
  test::TempDir dir;
  const std::string sector(512, 'S');
  std::string changed = sector;
  changed[3] = 'x';
  changed[200] = 'y';
  const struct {
    const char* folder;
    const char* name;
    std::string bytes;
  } files[] = {
      {"donor", "APP.BIN", sector},  {"donor", "CERT.BIN", sector + sector}, {"donor", "MANIFEST.TXT", "a"},
      {"copy", "APP.BIN", sector},   {"copy", "CERT.BIN", sector + sector},  {"copy", "MANIFEST.TXT", "b"},
      {"patient", "APP.BIN", changed}, {"patient", "CERT.BIN", sector},      {"patient", "ID.BIN", sector},
      {"donor", "Vendor.BIN", sector},
  };
  for (const auto& f : files) {
    fs::create_directories(dir / f.folder);
    ASSERT_TRUE(WriteFileBytes(dir / f.folder + "/" + f.name, f.bytes));
  }
  fs::create_directories(dir / "copy/subfolder");
  ASSERT_TRUE(WriteFileBytes(dir / "copy/Vendor.BIN", sector));

  // The same files, the manifests and a subfolder aside.
  FolderReport same = CompareReport(dir / "donor", dir / "copy");
  EXPECT_TRUE(same.allGood) << same.text;
  EXPECT_EQ(same.text, dir / "copy" + "/subfolder/\t子文件夹，未比较\nAPP.BIN\t相同\nCERT.BIN\t相同\nVendor.BIN\t相同\n"
                       "3 files, all the same\n");

  // A 1 GB file (sparse: nothing is written) is refused by its size, unread.
  {
    std::ofstream big(dir / "patient/Vendor.BIN");
    big.close();
    fs::resize_file(dir / "patient/Vendor.BIN", uint64_t{1} << 30);
  }
  const FolderReport differ = CompareReport(dir / "donor", dir / "patient");
  EXPECT_FALSE(differ.allGood);
  EXPECT_EQ(differ.text,
            "APP.BIN\t不同：2字节不同，首处在0x3、0xC8\n"
            "CERT.BIN\t不同：512字节不同（大小1024和512字节），首处在0x200、0x201、0x202、0x203、0x204、0x205、0x206、0x207……\n"
            "Vendor.BIN\t无法比较：第二个文件夹中的文件太大（1073741824字节），最多只能读取1048576字节\n"
            "ID.BIN\t仅在第二个文件夹中\n"
            "4 files, 4 differ\n");
  EXPECT_NE(CompareReport(dir / "patient", dir / "donor").text.find("ID.BIN\t仅在第一个文件夹中\n"), std::string::npos);

  // The next difference from an offset on, past the shorter file's end too.
  EXPECT_EQ(NextDifference(sector, changed, 0), 3u);
  EXPECT_EQ(NextDifference(sector, changed, 4), 200u);
  EXPECT_EQ(NextDifference(sector, changed, 201), std::nullopt);
  EXPECT_EQ(NextDifference(sector + "z", sector, 0), 512u);
}

// What is not "the same": folders without a module to compare, or one that
// cannot be listed. What is no module: the manifests and what an
// interrupted write left behind.
TEST(CompareBackups, NothingComparedIsNoVerdictOfSameness) {
  test::TempDir dir;
  fs::create_directories(dir / "a");
  fs::create_directories(dir / "b");
  const struct {
    const char* name;
    FolderReport report;
    bool allGood;
    std::string text;
  } cases[] = {
      {"two empty folders", CompareReport(dir / "a", dir / "b"), false,
       "\t两个文件夹中都没有备份的模块文件，无从比较\n0 files, nothing compared\n"},
      {"a file for a folder", (WriteFileBytes(dir / "plain", "x"), CompareReport(dir / "a", dir / "plain")), false,
       dir / "plain" + "\t无法列出文件夹：系统错误：Not a directory\n0 files, nothing compared\n"},
      {"leftovers beside the modules",
       (WriteFileBytes(dir / "a/APP.BIN", "m"), WriteFileBytes(dir / "b/APP.BIN", "m"),
        WriteFileBytes(dir / "a/.APP.BIN.quorvane-99999999-0000abcd", "half"), WriteFileBytes(dir / "b/APP.BIN.read2", "r"),
        WriteFileBytes(dir / "b/MANIFEST.OLD", "old"), CompareReport(dir / "a", dir / "b")),
       true, "APP.BIN\t相同\n1 file, all the same\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(c.report.allGood, c.allGood);
    EXPECT_EQ(c.report.text, c.text);
  }
}

// Two backups of one drive with a log written beside each: the files the
// manifests list are judged, the log is named without a verdict.
TEST(CompareBackups, OnlyWhatTheManifestsListIsJudged) {
  test::TempDir dir;
  for (const char* folder : {"one/", "two/"}) {
    fs::create_directories(dir / folder);
    ASSERT_TRUE(WriteFileBytes(dir / folder + "APP.BIN", "module"));
    ASSERT_TRUE(WriteFileBytes(dir / folder + "log.txt", folder));
    Manifest header;
    header.program = ProgramNameAndVersion();
    ASSERT_FALSE(WriteBackupManifest(dir / folder, header, {{"APP.BIN", ""}}));
  }
  const FolderReport report = CompareReport(dir / "one", dir / "two");
  EXPECT_TRUE(report.allGood);
  EXPECT_EQ(report.text, "APP.BIN\t相同\nlog.txt\t不在备份清单中，未比较\n1 file, all the same\n");
}

}  // namespace
}  // namespace qv
