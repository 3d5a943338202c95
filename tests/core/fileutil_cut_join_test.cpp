// Building files from sector ranges: the routine and the file window.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <random>

#include "console/convert.h"
#include "files/file_io.h"
#include "fileutil/cut_join.h"
#include "fileutil/form1.h"
#include "tests/support/scripted_dialogs.h"

namespace qv {
namespace {
namespace fs = std::filesystem;

class CutJoinTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir = fs::temp_directory_path() / ("qv_cutjoin_" + std::to_string(getpid()) + "_" +
                                       ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(dir);
    fs::create_directories(dir);
  }
  void TearDown() override {
    std::error_code ec;
    fs::permissions(dir, fs::perms::owner_all, fs::perm_options::add, ec);
    fs::remove_all(dir, ec);
  }
  std::string Path(const std::string& name) const { return (dir / name).string(); }
  // A file whose sector k is filled with the byte k + 1, plus `tail` extra bytes.
  std::string MakeSectors(const std::string& name, int sectors, int tail = 0) {
    std::string bytes;
    for (int k = 0; k < sectors; ++k) bytes.append(512, static_cast<char>(k + 1));
    bytes.append(tail, '\x7F');
    EXPECT_TRUE(WriteFileBytes(Path(name), bytes));
    return bytes;
  }
  std::string Read(const std::string& name) const {
    const FileBytes file = ReadFileBytes(Path(name), 1 << 20);
    return file ? file.bytes : "<missing>";
  }
  static std::string Sectors(const std::string& bytes, int first, int count) {
    return bytes.substr(first * 512, count * 512);
  }

  fs::path dir;
  test::ScriptedDialogs dialogs;
};

TEST_F(CutJoinTest, CopiesRangesOfBothSourcesAndOnlyWholeSectors) {
  const std::string ten = MakeSectors("ten.bin", 10);
  const std::string odd = MakeSectors("odd.bin", 3, 100);

  EXPECT_TRUE(CutAndJoin(Path("ten.bin"), "2", "3", "", "", "", Path("a.bin")));
  EXPECT_EQ(Read("a.bin"), Sectors(ten, 2, 3));

  // Counts past the end copy what is there; the partial last sector never.
  EXPECT_TRUE(CutAndJoin(Path("odd.bin"), "0", "FFFF", Path("ten.bin"), " 9 ", "ff", Path("b.bin")));
  EXPECT_EQ(Read("b.bin"), Sectors(odd, 0, 3) + Sectors(ten, 9, 1));

  // A start past the end, a missing source and an empty one copy nothing.
  EXPECT_TRUE(CutAndJoin(Path("ten.bin"), "A", "1", Path("none.bin"), "zz", "zz", Path("c.bin")));
  EXPECT_EQ(Read("c.bin"), "");
  EXPECT_TRUE(CutAndJoin("", "", "", "", "", "", Path("d.bin")));
  EXPECT_EQ(Read("d.bin"), "");
}

TEST_F(CutJoinTest, OutputMayBeOneOfTheSources) {
  // The first sector moved to the end, written over the source itself.
  const std::string ten = MakeSectors("table.bin", 10);
  const std::string t = Path("table.bin");
  EXPECT_TRUE(CutAndJoin(t, "1", "A", t, "0", "1", t));
  EXPECT_EQ(Read("table.bin"), Sectors(ten, 1, 9) + Sectors(ten, 0, 1));

  EXPECT_TRUE(CutAndJoin(Path("other.bin"), "0", "1", t, "4", "1", t));
  EXPECT_EQ(Read("table.bin"), Sectors(ten, 5, 1));
}

TEST_F(CutJoinTest, BadNumbersAndHugeRangesAreRaisedWithoutTouchingTheOutput) {
  MakeSectors("src.bin", 4);
  ASSERT_TRUE(WriteFileBytes(Path("out.bin"), "keep"));
  const std::string s = Path("src.bin"), o = Path("out.bin");

  EXPECT_THROW(CutAndJoin(s, "0", "-1", "", "", "", o), EConvertError);
  EXPECT_THROW(CutAndJoin(s, "0x1", "1", "", "", "", o), EConvertError);
  EXPECT_THROW(CutAndJoin(s, "0", "1", s, "g", "1", o), EConvertError);
  EXPECT_THROW(CutAndJoin(s, "FFFFFFFF", "1", "", "", "", o), ERangeError);  // -1 as 32 bits
  EXPECT_THROW(CutAndJoin(s, "0", "80000000", "", "", "", o), ERangeError);
  EXPECT_THROW(CutAndJoin(s, "400000", "1", "", "", "", o), ERangeError);  // 2^31 bytes in
  try {
    CutAndJoin(s, "400000", "1", "", "", "", o);
  } catch (const ERangeError& e) {
    EXPECT_NE(std::string(e.what()).find("2GB"), std::string::npos) << e.what();
  }
  EXPECT_EQ(Read("out.bin"), "keep");
  // Just below the limit is fine: nothing is there to copy.
  EXPECT_TRUE(CutAndJoin(s, "3FFFFF", "1", "", "", "", o));
}

TEST_F(CutJoinTest, UnwritableOutputIsAFailure) {
  MakeSectors("src.bin", 1);
  EXPECT_FALSE(CutAndJoin(Path("src.bin"), "0", "1", "", "", "", Path("no/such/folder/out.bin")));
  EXPECT_FALSE(CutAndJoin(Path("src.bin"), "0", "1", "", "", "", dir.string()));  // a folder
  if (fs::exists("/dev/full")) {  // every write fails with "no space left"
    EXPECT_FALSE(CutAndJoin(Path("src.bin"), "0", "1", "", "", "", "/dev/full"));
  }
}

TEST_F(CutJoinTest, WindowChoosersFillTheRanges) {
  MakeSectors("a.bin", 1, 1000 - 512);
  MakeSectors("b.bin", 0x1A8);
  TForm1 form(dialogs);
  dialogs.paths = {Path("a.bin"), Path("b.bin"), Path("out.bin"), std::nullopt};
  form.Button51Click();
  form.Button1Click();
  form.Button2Click();
  EXPECT_EQ(form.Edit1, Path("a.bin"));
  EXPECT_EQ(form.Edit5, "0");
  EXPECT_EQ(form.Edit3, "1");
  EXPECT_EQ(form.Edit2, Path("b.bin"));
  EXPECT_EQ(form.Edit4, "0");
  EXPECT_EQ(form.Edit7, "1A8");
  EXPECT_EQ(form.Edit6, Path("out.bin"));
  form.Button51Click();  // cancelled: nothing changes
  EXPECT_EQ(form.Edit1, Path("a.bin"));

  form.Button5Click();
  EXPECT_EQ(form.Edit2 + form.Edit4 + form.Edit7, "");
  form.Button3Click();
  EXPECT_EQ(dialogs.shown.back().text, "生成文件完成！");
  EXPECT_EQ(Read("out.bin"), Read("a.bin").substr(0, 512));
  form.Button4Click();
  EXPECT_EQ(form.Edit1 + form.Edit5 + form.Edit3, "");
}

TEST_F(CutJoinTest, WindowChecksInOrderAndLeavesTheOutputAlone) {
  const std::string ten = MakeSectors("ten.bin", 10);
  TForm1 form(dialogs);
  auto build = [&] {
    form.Button3Click();
    return dialogs.shown.empty() ? std::string() : dialogs.shown.back().text;
  };
  form.Edit1 = Path("ten.bin");
  form.Edit5 = "0";
  form.Edit6 = Path("out.bin");
  EXPECT_EQ(build(), "请设置源文件1的截取范围！");
  form.Edit3 = "  ";
  EXPECT_EQ(build(), "请设置源文件1的截取范围！");
  EXPECT_FALSE(fs::exists(Path("out.bin")));

  form.Edit3 = "A";
  form.Edit2 = Path("ten.bin");
  EXPECT_EQ(build(), "请设置源文件2的截取范围！");
  form.Edit4 = "0";
  form.Edit7 = "1";
  form.Edit6 = " ";
  EXPECT_EQ(build(), "请设置目标文件！");
  form.Edit6 = Path("out.bin");

  form.Edit1 = Path("gone.bin");
  EXPECT_EQ(build(), "源文件1不存在！");
  form.Edit1 = "  ";  // blanks are a name, not an absent source
  EXPECT_EQ(build(), "源文件1不存在！");
  form.Edit1 = Path("ten.bin");
  form.Edit5 = "1";  // one sector past the end
  EXPECT_EQ(build(), "源文件1的截取范围超出源文件1长度！");
  form.Edit5 = "0";
  form.Edit4 = "FFFFFFF";  // must not wrap into a small range
  EXPECT_EQ(build(), "源文件2的截取范围超出源文件2长度！");
  form.Edit4 = "xyz";
  EXPECT_EQ(build(), "'xyz' is not a valid integer value");
  form.Edit2 = dir.string();  // a folder is no source file
  EXPECT_EQ(build(), "源文件2不存在！");
  EXPECT_FALSE(fs::exists(Path("out.bin")));

  // The range ending exactly at the end is accepted; the output may be a source.
  form.Edit2 = Path("ten.bin");
  form.Edit4 = "0";
  form.Edit7 = "1";
  form.Edit5 = "1";
  form.Edit3 = "9";
  form.Edit6 = Path("ten.bin");
  EXPECT_EQ(build(), "生成文件完成！");
  EXPECT_EQ(Read("ten.bin"), Sectors(ten, 1, 9) + Sectors(ten, 0, 1));

  form.Edit6 = Path("missing/out.bin");
  EXPECT_EQ(build(), "生成文件失败！");
}

TEST_F(CutJoinTest, UnreadableSourceIsReported) {
  if (geteuid() == 0) GTEST_SKIP() << "root reads every file";
  MakeSectors("locked.bin", 2);
  fs::permissions(Path("locked.bin"), fs::perms::none);
  TForm1 form(dialogs);
  form.Edit2 = Path("locked.bin");
  form.Edit4 = "0";
  form.Edit7 = "1";
  form.Edit6 = Path("out.bin");
  form.Button3Click();
  EXPECT_EQ(dialogs.shown.back().text, "打开文件" + Path("locked.bin") + "失败！");
  EXPECT_FALSE(CutAndJoin("", "", "", Path("locked.bin"), "0", "1", Path("out.bin")));
  EXPECT_FALSE(fs::exists(Path("out.bin")));
}

TEST(CutJoinKeys, RangeFieldsTakeHexDigitsAndEditingKeysOnly) {
  for (char32_t key : std::u32string(U"0129AFaf\b\x03\x16")) EXPECT_TRUE(TForm1::RangeKeyAccepted(key)) << int(key);
  for (char32_t key : std::u32string(U"gG -x\r\x18\x01/中")) EXPECT_FALSE(TForm1::RangeKeyAccepted(key)) << int(key);
}

}  // namespace
}  // namespace qv
