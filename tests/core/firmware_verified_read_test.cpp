// The verified read: two reads compared, a third deciding sector by sector,
// and on a drive whose line flips a bit now and then, a backup that is still
// the drive's own bytes, or one that fails naming the sectors.
#include <gtest/gtest.h>

#include <filesystem>

#include "files/file_io.h"
#include "firmware/manifest.h"
#include "firmware/verified_read.h"
#include "tests/core/firmware_backup_sim.h"

namespace qv {
namespace {

namespace fs = std::filesystem;

TEST(AgreeBySector, MajorityPerSector) {
  const std::string a(8, 'a'), b(8, 'b'), c(8, 'c');
  struct Case {
    const char* name;
    std::vector<std::string> reads;  // sectors of 8 bytes
    std::string agreed;
    std::vector<size_t> disputed;
  };
  const Case cases[] = {
      {"two reads agree", {a + b, a + b}, a + b, {}},
      {"two reads differ in the second sector", {a + b, a + c}, a + b, {1}},
      {"the third sides with the first", {a + b + a, a + c + a, a + b + c}, a + b + a, {}},
      {"the third sides with the second", {c + b, a + b, a + b}, a + b, {}},
      {"all three differ", {a + a, a + b, a + c}, a + a, {1}},
      {"a read cut short differs where it ends", {a + b, a, a + b}, a + b, {}},
      {"two reads cut short", {a + b, a, a + c}, a + b, {1}},
  };
  for (const Case& t : cases) {
    SCOPED_TRACE(t.name);
    const std::vector<std::string_view> reads(t.reads.begin(), t.reads.end());
    const ReadsAgreement agreement = AgreeBySector(reads, 8);
    EXPECT_EQ(agreement.disputed, t.disputed);
    if (t.disputed.empty()) {
      EXPECT_EQ(agreement.bytes, t.agreed);
    }
  }
}

// APP of the small family lies on cylinder 8F (the reserved area at 7F + 10), sectors 0 to 5.
class VerifiedBackup : public test::BackupSim {
 protected:
  void FlipOnReads(std::vector<int> reads) {
    Change([&reads](sim::SimOptions& o) { o.wireError = {0x8F, 0, 3, reads}; });
  }
  std::string ManifestText() const { return ReadFileBytes(Path("backup/MANIFEST.TXT"), 1 << 20).bytes; }
  static bool Contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }
};

TEST_F(VerifiedBackup, ABitFlippedOnOneReadNeverReachesTheFile) {
  Tick(true, false, false, false, false);
  // Read once, the flipped bit goes into the file unseen.
  FlipOnReads({1});
  form->Button7Click();
  EXPECT_NE(File("APP.BIN"), Sectors(0x10, 0, 0, 6));
  EXPECT_EQ(BackupLines().back(), "备份完成!");

  // Read twice: the first read errs, the third sides with the second.
  main->memo1.Clear();
  FlipOnReads({1});
  form->CheckBox6 = true;
  form->Button7Click();
  EXPECT_EQ(File("APP.BIN"), Sectors(0x10, 0, 0, 6));
  EXPECT_EQ(BackupLines().back(), "备份完成!");
  EXPECT_TRUE(Contains(ManifestText(), "complete=yes\nverified=yes\n")) << ManifestText();
  EXPECT_TRUE(Contains(ManifestText(), "[file APP.BIN]\nsize=3072\n")) << ManifestText();
  for (const auto& entry : fs::directory_iterator(dir / "backup"))
    EXPECT_FALSE(entry.path().string().find(".read") != std::string::npos) << entry.path();
}

TEST_F(VerifiedBackup, NoTwoReadsAgreeFailsTheModuleNamingTheSector) {
  Tick(true, false, false, false, true);
  FlipOnReads({1, 2, 3});
  form->CheckBox6 = true;
  form->Button7Click();
  EXPECT_EQ(BackupLines(),
            (std::vector<std::string>{"正在获取缓冲区地址......完成！", "正在获取保留区地址......完成！",
                                      "正在备份APP.............", "读两遍核对失败：柱面8F磁头0的扇区 3三次读出各不相同！",
                                      "备份失败!"}));
  EXPECT_FALSE(Has("APP.BIN"));
  // The failed backup says so and lists only what it wrote whole.
  const std::string manifest = ManifestText();
  EXPECT_TRUE(Contains(manifest, "complete=no\nverified=yes\nfiles=1\n")) << manifest;
  EXPECT_TRUE(Contains(manifest, "[file SN.TXT]")) << manifest;
  EXPECT_FALSE(Contains(manifest, "APP.BIN")) << manifest;
}

}  // namespace
}  // namespace qv
