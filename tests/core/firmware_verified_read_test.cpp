// The verified read: two reads compared, a third deciding sector by sector,
// and on a drive whose line flips a bit now and then, a backup that is still
// the drive's own bytes, or one that fails naming the sectors.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>

#include "console/language_setup.h"
#include "files/file_io.h"
#include "firmware/backup/verified_read.h"
#include "firmware/manifest/manifest.h"
#include "lang/translate.h"
#include "tests/core/firmware_backup_sim.h"

namespace qv {
namespace {

namespace fs = std::filesystem;

TEST(AgreeBySector, MajorityPerSector) {
  const std::string a(8, 'a'), b(8, 'b'), c(8, 'c');
  struct Case {
    const char* name;
    std::vector<std::string> reads;  // sectors of 8 bytes
    size_t bytes;                    // the module's size
    std::string agreed;
    std::vector<size_t> disputed;
  };
  const Case cases[] = {
      {"two reads agree", {a + b, a + b}, 16, a + b, {}},
      {"two reads differ in the second sector", {a + b, a + c}, 16, a + b, {1}},
      {"the third sides with the first", {a + b + a, a + c + a, a + b + c}, 24, a + b + a, {}},
      {"the third sides with the second", {c + b, a + b, a + b}, 16, a + b, {}},
      {"all three differ", {a + a, a + b, a + c}, 16, a + a, {1}},
      {"a read cut short differs where it ends", {a + b, a, a + b}, 16, a + b, {}},
      {"two reads cut short", {a + b, a, a + c}, 16, a + b, {1}},
      // Missing bytes never agree: two reads cut at the same place are no module.
      {"both cut short at the same sector", {a, a}, 16, a, {1}},
      {"both cut short inside a sector", {a + "bbb", a + "bbb"}, 16, a, {1}},
      {"a sector past the module's end is not taken", {a + b + c, a + b + c}, 16, a + b, {}},
  };
  for (const Case& t : cases) {
    SCOPED_TRACE(t.name);
    const std::vector<std::string_view> reads(t.reads.begin(), t.reads.end());
    const ReadsAgreement agreement = AgreeBySector(reads, t.bytes, 8);
    EXPECT_EQ(agreement.disputed, t.disputed);
    EXPECT_EQ(agreement.bytes, t.agreed);
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

// Each way a read of APP can go wrong on the line or at the drive, read once
// and read with 读两遍核对: what the module's line says, whether the backup
// succeeds, and what APP.BIN holds after it (an earlier backup's file stays
// when the module fails).
TEST_F(VerifiedBackup, PassesAgainstTheVerdictAndTheFileLeftBehind) {
  using Kind = sim::SimOptions::WireError::Kind;
  const std::string line = "正在备份APP.............";
  const std::string staleLine = "驱动器报告读取出错（柱面8F磁头0，扇区0起6个）：Read error at sector 0";
  enum class Left { Drive, Old, Other };
  struct Mode {
    std::vector<std::string> lines;  // from APP's line to the verdict
    Left file;
  };
  struct Case {
    const char* name;
    std::function<void(sim::SimOptions&)> damage;
    Mode once, verified;
  };
  const auto wire = [](Kind kind, std::vector<int> reads) {
    return [kind, reads](sim::SimOptions& o) { o.wireError = {0x8F, 0, 3, reads, kind}; };
  };
  const Case cases[] = {
      {"every read equal", [](sim::SimOptions&) {},
       {{line + "完成！", "备份完成!"}, Left::Drive},
       {{line + "完成！", "备份完成!"}, Left::Drive}},
      {"one value flipped", wire(Kind::FlipBit, {1}),
       {{line + "完成！", "备份完成!"}, Left::Other},  // a single read cannot see it
       {{line + "读3遍才核对一致，完成！", "备份完成!"}, Left::Drive}},
      {"both reads short at the same place", wire(Kind::MissingPair, {1, 2}),
       {{line, "备份失败!"}, Left::Old},
       {{line + "读4遍才核对一致，完成！", "备份完成!"}, Left::Drive}},
      {"one read short", wire(Kind::MissingPair, {1}),
       {{line, "备份失败!"}, Left::Old},
       {{line + "读3遍才核对一致，完成！", "备份完成!"}, Left::Drive}},
      {"an address garbled", wire(Kind::WrongAddress, {1}),
       {{line, "备份失败!"}, Left::Old},
       {{line + "读3遍才核对一致，完成！", "备份完成!"}, Left::Drive}},
      {"a broken text line", wire(Kind::NonHex, {2}),
       {{line + "完成！", "备份完成!"}, Left::Drive},
       {{line + "读3遍才核对一致，完成！", "备份完成!"}, Left::Drive}},
      {"a broken text line on the only read", wire(Kind::NonHex, {1}),
       {{line, "读取数据错误，请调低一档速率后再试!", "备份失败!"}, Left::Old},
       {{line + "读3遍才核对一致，完成！", "备份完成!"}, Left::Drive}},
      {"extra pairs", wire(Kind::ExtraPair, {1}),
       {{line, "备份失败!"}, Left::Old},
       {{line + "读3遍才核对一致，完成！", "备份完成!"}, Left::Drive}},
      {"every read garbled", wire(Kind::NonHex, {1, 2, 3, 4, 5}),
       {{line, "读取数据错误，请调低一档速率后再试!", "备份失败!"}, Left::Old},
       {{line, "读两遍核对失败：柱面8F磁头0的数据读了5遍，只有0遍完整无误！", "备份失败!"}, Left::Old}},
      {"no two reads agree", wire(Kind::FlipBit, {1, 2, 3, 4, 5}),
       {{line + "完成！", "备份完成!"}, Left::Other},
       {{line, "读两遍核对失败：柱面8F磁头0的扇区 3读了5遍，没有两遍一致！", "备份失败!"}, Left::Old}},
      {"a read error with a stale buffer",
       [](sim::SimOptions& o) {
         o.failingTrackRead = "r,0,6";
         o.readErrorKeepsBuffer = true;
       },
       {{line, staleLine, "备份失败!"}, Left::Old},
       {{line, staleLine, "备份失败!"}, Left::Old}},
  };
  Tick(true, false, false, false, false);
  fs::create_directories(dir / "backup");
  const std::vector<uint8_t> old = Blocks(6, 512, 7);
  const sim::SimOptions clean = drive->Options();
  for (const Case& c : cases) {
    for (const bool verify : {false, true}) {
      SCOPED_TRACE(std::string(c.name) + (verify ? ", verified" : ", read once"));
      const Mode& want = verify ? c.verified : c.once;
      WriteFile("backup/APP.BIN", old);
      // A stale buffer holds what the drive read last: another module's sectors.
      drive->SetOptions(clean);
      main->receiveMode = ReceiveMode::usercmd;
      main->SendString("/2\rs90,0,22\rr,0,6\r/\r");
      Settle();
      sim::SimOptions damaged = clean;
      c.damage(damaged);
      drive->SetOptions(damaged);
      main->memo1.Clear();
      form->CheckBox6 = verify;
      form->Button7Click();
      std::vector<std::string> lines = BackupLines();
      ASSERT_GE(lines.size(), 2u);
      lines.erase(lines.begin(), lines.begin() + 2);  // the buffer and the reserved area
      EXPECT_EQ(lines, want.lines);
      const std::vector<uint8_t> app = File("APP.BIN");
      switch (want.file) {
        case Left::Drive: EXPECT_EQ(app, Sectors(0x10, 0, 0, 6)); break;
        case Left::Old: EXPECT_EQ(app, old); break;
        case Left::Other:
          EXPECT_EQ(app.size(), 6u * 512);
          EXPECT_NE(app, Sectors(0x10, 0, 0, 6));
          break;
      }
      EXPECT_TRUE(Contains(ManifestText(), want.lines.back() == "备份完成!" ? "complete=yes" : "complete=no"));
    }
  }
  drive->SetOptions(clean);
}

// The verdict lines in English: sentences with the values in their places.
TEST_F(VerifiedBackup, VerdictLinesInEnglish) {
  using Kind = sim::SimOptions::WireError::Kind;
  const struct {
    std::vector<int> flippedReads;
    std::vector<std::string> lines;  // from APP's line to the verdict
  } cases[] = {
      {{1}, {"Backing up APP..............[3 reads before two agreed] done!", "Backup complete!"}},
      {{1, 2, 3, 4, 5},
       {"Backing up APP..............",
        "Double-read check failed: sector 3 at cylinder 8F, head 0, read 5 times, no two reads agree!",
        "Backup failed!"}},
  };
  Tick(true, false, false, false, false);
  form->CheckBox6 = true;
  UseLanguage(Language::English, CatalogueFolder(QV_BUILD_FOLDER));
  struct Chinese {
    ~Chinese() { UseLanguage(Language::Chinese, ""); }
  } afterwards;
  for (const auto& c : cases) {
    Change([&c](sim::SimOptions& o) { o.wireError = {0x8F, 0, 3, c.flippedReads, Kind::FlipBit}; });
    main->memo1.Clear();
    form->Button7Click();
    std::vector<std::string> lines = BackupLines();
    ASSERT_GE(lines.size(), c.lines.size());
    lines.erase(lines.begin(), lines.end() - static_cast<std::ptrdiff_t>(c.lines.size()));
    EXPECT_EQ(lines, c.lines);
  }
}

}  // namespace
}  // namespace qv
