// The firmware library against the real SQLite: a generated set of backups
// (two families, shared, variant and unique modules, a drive backed up twice,
// one without a serial number) against what each question answers; export
// then check; damage, a full disk, a read-only folder, a newer format and two
// programs adding at once.
#include <gtest/gtest.h>
#include <sqlite3.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <filesystem>

#include "batch/cli_options.h"
#include "files/file_digest.h"
#include "files/file_io.h"
#include "firmware/manifest/manifest.h"
#include "firmware/manifest/manifest_check.h"
#include "library/library.h"
#include "library/library_subject.h"
#include "library/module_standing.h"
#include "library/object_store.h"
#include "tests/support/generated_backup.h"
#include "tests/support/temp_dir.h"

#ifndef QV_BATCH_BINARY
#error "QV_BATCH_BINARY must name the built quorvane-batch"
#endif

namespace qv {
namespace {

namespace fs = std::filesystem;

using test::GeneratedBackup;

// TONKA 3.AAC: APP the same on all five drives; CERT x on S1 to S3, y on S4,
// z on S5; S3 backed up twice (the older one with another CERT). S6 has
// another firmware. GALAXY: G1 and G2 alike, a drive without a serial differs.
const GeneratedBackup kBackups[] = {
    {"s3-old", "S3", "TONKA", "TONKA_R1_3.AAC", 1, "app-t", "cert-old"},
    {"s1", "S1", "TONKA", "TONKA_R1_3.AAC", 2, "app-t", "cert-x"},
    {"s2", "S2", "TONKA", "TONKA_R1_3.AAC", 3, "app-t", "cert-x"},
    {"s3", "S3", "TONKA", "TONKA_R1_3.AAC", 4, "app-t", "cert-x"},
    {"s4", "S4", "TONKA", "TONKA_R1_3.AAC", 5, "app-t", "cert-y"},
    {"s5", "S5", "TONKA", "TONKA_R2_3.AAC", 6, "app-t", "cert-z"},  // another mask ROM, the same firmware
    {"s6", "S6", "TONKA", "TONKA_R1_3.AAD", 7, "app-t", "cert-x"},
    {"g1", "G1", "GALAXY", "GALAXY__1.0", 8, "app-g", "cert-g"},
    {"g2", "G2", "GALAXY", "GALAXY__1.0", 9, "app-g", "cert-g"},
    {"n", "", "GALAXY", "GALAXY__1.0", 10, "app-n", "cert-g"},
};

class LibraryTest : public ::testing::Test {
 protected:
  std::string MakeBackup(GeneratedBackup g, bool complete = true) {
    g.app += std::string(1024, 'a');
    g.complete = complete;
    return test::MakeBackup(dir / "in", g);
  }

  std::unique_ptr<FirmwareLibrary> OpenLibrary(FirmwareLibrary::Access access = FirmwareLibrary::Access::Write) {
    FirmwareLibrary::Opened opened = FirmwareLibrary::Open(libraryFolder, access);
    EXPECT_TRUE(opened.problem.empty()) << opened.problem;
    return std::move(opened.library);
  }

  void AddAll() {
    auto library = OpenLibrary();
    for (const GeneratedBackup& g : kBackups) ASSERT_EQ(library->Add(MakeBackup(g)).kind, LibraryAdd::Kind::Added) << g.folder;
  }

  std::vector<std::string> Serials(const std::vector<LibraryBackup>& backups) {
    std::vector<std::string> serials;
    for (const LibraryBackup& b : backups) serials.push_back(b.serial);
    return serials;
  }

  test::TempDir dir;
  std::string libraryFolder = dir / "library";
};

TEST_F(LibraryTest, EachQuestionAgainstTheGeneratedBackups) {
  AddAll();
  auto library = OpenLibrary(FirmwareLibrary::Access::Read);
  using V = std::vector<std::string>;
  EXPECT_EQ(Serials(library->List({})), (V{"", "G2", "G1", "S6", "S5", "S4", "S3", "S2", "S1", "S3"}));
  EXPECT_EQ(Serials(library->List({"TONKA", "S3", false})), (V{"S3", "S3"}));
  EXPECT_EQ(Serials(library->List({"lax", "", true})), (V{"", "G2", "G1"}));
  EXPECT_EQ(Serials(library->List({"GALAX", "", false})), V{});  // a whole name, unless partial

  struct Expected {
    const char* drive;  // serial number, or a folder not in the library
    std::vector<std::string> standings;
  };
  const std::string s7 = MakeBackup({"s7", "S7", "TONKA", "TONKA_R1_3.AAC", 11, "app-t", "cert-x"});
  const Expected cases[] = {
      {"S4", {"APP.BIN identical 4/4 of 1", "CERT.BIN unique 0/4 of 3", "Vendor.BIN own 0/4 of 5"}},
      {"S1", {"APP.BIN identical 4/4 of 1", "CERT.BIN variant 2/4 of 3", "Vendor.BIN own 0/4 of 5"}},
      {"S6", {"APP.BIN alone 0/0 of 1", "CERT.BIN alone 0/0 of 1", "Vendor.BIN alone 0/0 of 1"}},
      {"G1", {"APP.BIN variant 1/2 of 2", "CERT.BIN identical 2/2 of 1", "Vendor.BIN own 0/2 of 3"}},
      {s7.c_str(), {"APP.BIN identical 5/5 of 1", "CERT.BIN variant 3/5 of 3", "Vendor.BIN own 0/5 of 6"}},
  };
  const char* names[] = {"alone", "identical", "variant", "unique", "own"};
  for (const Expected& c : cases) {
    SCOPED_TRACE(c.drive);
    const LibrarySubject subject = FindSubject(*library, c.drive);
    ASSERT_EQ(subject.problem, "");
    std::vector<std::string> got;
    for (const ModuleStanding& m : StandingsOf(subject.entry, library->Peers(subject.entry.backup)))
      got.push_back(m.name + " " + names[static_cast<int>(m.standing)] + " " + std::to_string(m.same) + "/" +
                    std::to_string(m.others) + " of " + std::to_string(m.variants));
    EXPECT_EQ(got, c.standings);
  }
  EXPECT_EQ(FindSubject(*library, "S9").problem, "固件库中没有序列号为“S9”的硬盘，也没有这个文件夹");

  // Donors of S4's CERT: the three drives with the common copy, newest first.
  const LibrarySubject s4 = FindSubject(*library, "S4");
  const std::vector<LibraryEntry> peers = library->Peers(s4.entry.backup);
  const DonorChoice donors = FindDonors(s4.entry, peers, "cert");
  EXPECT_EQ(donors.module, "CERT.BIN");
  EXPECT_EQ(Serials(donors.donors), (V{"S3", "S2", "S1"}));
  EXPECT_EQ(donors.donors[0].time, "2026-12-04T10:00:00+08:00");  // S3's newer backup
  EXPECT_EQ(donors.commonCount, 3u);
  EXPECT_EQ(donors.holders, 4u);
  EXPECT_FALSE(donors.driveHasCommon);
  EXPECT_TRUE(FindDonors(s4.entry, peers, "NOSUCH.BIN").donors.empty());

  // The matrix: S4's row first, then the others newest first; A is the copy most hold.
  const ModuleMatrix matrix = BuildMatrix(s4.entry, peers);
  EXPECT_EQ(matrix.modules, (V{"APP.BIN", "CERT.BIN", "Vendor.BIN"}));
  std::vector<std::string> certColumn;
  for (const auto& row : matrix.rows) certColumn.push_back(row[1].variant + names[static_cast<int>(row[1].standing)]);
  EXPECT_EQ(certColumn, (V{"Bunique", "Cunique", "Avariant", "Avariant", "Avariant"}));
}

TEST_F(LibraryTest, AddsOnlyWhatPassesTheCheckAndEachBackupOnce) {
  auto library = OpenLibrary();
  const std::string s1 = MakeBackup(kBackups[1]);
  const LibraryAdd first = library->Add(s1);
  ASSERT_EQ(first.kind, LibraryAdd::Kind::Added);
  EXPECT_EQ(library->Add(s1).kind, LibraryAdd::Kind::AlreadyThere);
  EXPECT_EQ(library->Add(s1).id, first.id);
  // Shared content is stored once: S2 adds its Vendor.BIN and SN.TXT only.
  const auto stored = [&] {
    size_t n = 0;
    for (const auto& entry : fs::recursive_directory_iterator(libraryFolder + "/objects")) n += entry.is_regular_file();
    return n;
  };
  EXPECT_EQ(stored(), 4u);
  ASSERT_EQ(library->Add(MakeBackup(kBackups[2])).kind, LibraryAdd::Kind::Added);
  EXPECT_EQ(stored(), 6u);

  struct Refusal {
    std::function<std::string()> make;
    std::string reason;
  };
  const Refusal refusals[] = {
      {[&] { return MakeBackup(kBackups[3], false); }, "MANIFEST.TXT: 备份不完整（complete=no）"},
      {[&] {
         const std::string folder = MakeBackup(kBackups[4]);
         WriteFileBytes(folder + "/CERT.BIN", "cert-Y");
         return folder;
       },
       "CERT.BIN: SHA-256不符：内容与清单记录的不同"},
      {[&] { return dir / "in"; }, "文件夹中没有备份清单MANIFEST.TXT"},
  };
  for (const Refusal& r : refusals) {
    const LibraryAdd refused = library->Add(r.make());
    EXPECT_EQ(refused.kind, LibraryAdd::Kind::Refused);
    EXPECT_EQ(refused.reasons, std::vector<std::string>{r.reason});
  }
  EXPECT_EQ(library->Count(), 2u);
}

TEST_F(LibraryTest, ExportThenCheckAndADamagedFileNeverLeaves) {
  AddAll();
  auto library = OpenLibrary(FirmwareLibrary::Access::Read);
  const LibraryBackup s4 = *library->NewestOf("S4");
  const LibraryExport exported = library->Export(s4.id, dir / "out/s4");
  ASSERT_TRUE(exported.done) << exported.problems.front();
  EXPECT_TRUE(CheckFolder(dir / "out/s4").AllAgree());
  EXPECT_EQ(ReadFileBytes(dir / "out/s4/MANIFEST.TXT", 1 << 20).bytes,
            ReadFileBytes(dir / "in/s4/MANIFEST.TXT", 1 << 20).bytes);
  EXPECT_EQ(library->Export(s4.id, dir / "out/s4").problems,
            std::vector<std::string>{"文件夹“" + (dir / "out/s4/") + "”不是空的；请导出到新的或空的文件夹"});

  // One byte of S4's CERT changed on disk: named, nothing written, and the rebuild finds it too.
  const std::string cert = ObjectStore(libraryFolder + "/objects/").PathFor(Sha256Hex("cert-y"));
  fs::permissions(cert, fs::perms::owner_write, fs::perm_options::add);
  ASSERT_TRUE(WriteFileBytes(cert, "cert-Y"));
  const LibraryExport refused = library->Export(s4.id, dir / "out/damaged");
  EXPECT_FALSE(refused.done);
  EXPECT_EQ(refused.problems, std::vector<std::string>{"CERT.BIN: 库中保存的文件已损坏：内容与其SHA-256不符"});
  EXPECT_FALSE(fs::exists(dir / "out/damaged"));
  library.reset();

  // A rebuild from the stored files gives the same backups and names the damage.
  auto before = Serials(OpenLibrary()->List({}));
  ASSERT_TRUE(WriteFileBytes(libraryFolder + "/library.db", "no database"));
  fs::remove(libraryFolder + "/library.db-wal");
  const LibraryRebuild rebuilt = FirmwareLibrary::Rebuild(libraryFolder);
  EXPECT_TRUE(rebuilt.done);
  EXPECT_EQ(rebuilt.backups, 10u);
  EXPECT_EQ(rebuilt.problems, std::vector<std::string>{"备份" + std::to_string(s4.id) +
                                                       "（序列号S4）的CERT.BIN：库中保存的文件已损坏：内容与其SHA-256不符"});
  EXPECT_TRUE(fs::exists(libraryFolder + "/library.db.damaged"));
  EXPECT_EQ(Serials(OpenLibrary()->List({})), before);
  EXPECT_EQ(OpenLibrary()->NewestOf("S1")->source, fs::path(dir / "in/s1/").lexically_normal().string());
}

TEST_F(LibraryTest, AFullDiskOrANewerFormatLeavesTheDatabaseAsItWas) {
  AddAll();
  auto library = OpenLibrary();
  // Every write past 2000 bytes fails, as on a full disk: the modules are
  // small enough, the database's journal is not.
  const std::string folder = MakeBackup({"s8", "S8", "TONKA", "TONKA_R1_3.AAC", 12, "app-t", "cert-x"});
  const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
  rlimit old{};
  getrlimit(RLIMIT_FSIZE, &old);
  rlimit limit = old;
  limit.rlim_cur = 2000;
  setrlimit(RLIMIT_FSIZE, &limit);
  const LibraryAdd added = library->Add(folder);
  setrlimit(RLIMIT_FSIZE, &old);
  std::signal(SIGXFSZ, oldHandler);
  EXPECT_EQ(added.kind, LibraryAdd::Kind::Failed);
  ASSERT_EQ(added.reasons.size(), 1u);
  EXPECT_TRUE(added.reasons[0].starts_with("固件库“" + libraryFolder + "/”出错：")) << added.reasons[0];
  library.reset();
  EXPECT_EQ(OpenLibrary()->Count(), 10u);

  sqlite3* db = nullptr;
  ASSERT_EQ(sqlite3_open((libraryFolder + "/library.db").c_str(), &db), SQLITE_OK);
  sqlite3_exec(db, "PRAGMA user_version=2", nullptr, nullptr, nullptr);
  sqlite3_close(db);
  for (auto access : {FirmwareLibrary::Access::Read, FirmwareLibrary::Access::Write}) {
    const FirmwareLibrary::Opened refused = FirmwareLibrary::Open(libraryFolder, access);
    EXPECT_EQ(refused.library, nullptr);
    EXPECT_EQ(refused.problem, "固件库“" + libraryFolder +
                                   "/”是较新版本的Quorvane写的（格式2，这个版本只认得到格式1）。为免误读，这个版本不打开它，请用新版本。");
  }
  EXPECT_FALSE(FirmwareLibrary::Rebuild(libraryFolder).done);
}

TEST_F(LibraryTest, TwoProgramsAddingAtOnceLoseNothing) {
  std::vector<std::string> folders;
  for (int i = 0; i < 24; ++i) {
    const std::string name = "d" + std::to_string(i), serial = "D" + std::to_string(i);
    folders.push_back(MakeBackup({name, serial, "TONKA", "TONKA_R1_3.AAC", 1 + i % 28, "app-t", i % 2 ? "cert-x" : "cert-y"}));
  }
  // Each adds two thirds, the middle third both: a new library made by both at once.
  pid_t children[2];
  for (int c = 0; c < 2; ++c) {
    children[c] = fork();
    if (children[c] == 0) {
      FirmwareLibrary::Opened opened = FirmwareLibrary::Open(libraryFolder, FirmwareLibrary::Access::Write);
      bool good = opened.library != nullptr;
      if (!good) fprintf(stderr, "OPEN %s\n", opened.problem.c_str());
      for (size_t i = c == 0 ? 0 : 8; good && i < (c == 0 ? 16u : 24u); ++i) {
        const LibraryAdd added = opened.library->Add(folders[i]);
        good = added.kind == LibraryAdd::Kind::Added || added.kind == LibraryAdd::Kind::AlreadyThere;
        if (!good) fprintf(stderr, "ADD %s\n", added.reasons.front().c_str());
      }
      _exit(good ? 0 : 1);
    }
  }
  for (pid_t child : children) {
    int status = 0;
    waitpid(child, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  }
  EXPECT_EQ(OpenLibrary()->Count(), 24u);
}

// Runs quorvane-batch through the shell; its stdout and stderr together, and its status.
std::pair<int, std::string> Batch(const std::string& args, bool asAnotherUser, const std::string& env = "") {
  const std::string prefix = env + (asAnotherUser ? "setpriv --reuid=nobody --regid=nogroup --clear-groups " : "");
  FILE* pipe = popen((prefix + QV_BATCH_BINARY + " --lang zh " + args + " 2>&1").c_str(), "r");
  std::string out;
  char buffer[4096];
  while (size_t n = fread(buffer, 1, sizeof buffer, pipe)) out.append(buffer, n);
  const int status = pclose(pipe);
  return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, out};
}

TEST_F(LibraryTest, AReadOnlyLibraryIsReadAndRefusesAdditionsClearly) {
  AddAll();
  const std::string folder = MakeBackup({"s8", "S8", "TONKA", "TONKA_R1_3.AAC", 12, "app-t", "cert-x"});
  // Root writes anywhere: the library is then another user's.
  const bool root = geteuid() == 0;
  if (!root) fs::permissions(libraryFolder, fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                             fs::perm_options::remove);
  const auto [added, addOutput] = Batch("--library " + libraryFolder + " --library-add " + folder, root);
  EXPECT_EQ(added, 2);
  EXPECT_NE(addOutput.find("quorvane-batch: 无法写入固件库：无法在文件夹“" + libraryFolder + "/”中新建文件：没有写入权限！"),
            std::string::npos)
      << addOutput;
  const auto [listed, listOutput] = Batch("--library " + libraryFolder + " --library-list --family tonka", root);
  EXPECT_EQ(listed, 0) << listOutput;
  EXPECT_NE(listOutput.find("\n7 backups\n"), std::string::npos) << listOutput;
  EXPECT_EQ(listOutput.find("S8"), std::string::npos);
  const auto [drive, driveOutput] = Batch("--library " + libraryFolder + " --library-drive S4", root);
  EXPECT_NE(driveOutput.find("CERT.BIN\t与其他4块硬盘的都不同（可疑）\n"), std::string::npos) << driveOutput;
  EXPECT_NE(driveOutput.find("to suspect: CERT.BIN\n"), std::string::npos) << driveOutput;
}

TEST(LibraryOptions, TheLibraryOperationsAndWhatGoesWithThem) {
  const struct {
    std::vector<std::string> args;
    std::string error;
  } cases[] = {
      {{"--library-add", "a", "b", "--library", "lib", "c"}, ""},
      {{"--library-list", "--family", "tonka", "--serial", "S1"}, ""},
      {{"--library-donors", "S1"}, "--library-donors needs SERIAL|FOLDER and MODULE"},
      {{"--library-export", "S1"}, "--library-export needs SERIAL|ID and DIR"},
      {{"--library-drive", "S1", "--serial", "S1"}, "--serial does not go with --library-drive"},
      {{"--port", "SIM", "--load", "bk", "--library", "lib"}, "--library does not go with --load"},
      {{"--library-list", "--library-rebuild"}, "one operation at a time: --library-list and --library-rebuild"},
  };
  for (const auto& c : cases) {
    const BatchOptions o = ParseBatchOptions(c.args);
    EXPECT_EQ(o.error, c.error) << c.args.front();
    EXPECT_TRUE(!c.error.empty() || !WorksOnADrive(o.mode)) << c.args.front();
  }
  const BatchOptions add = ParseBatchOptions(cases[0].args);
  EXPECT_EQ(add.folders, (std::vector<std::string>{"a", "b", "c"}));
  EXPECT_EQ(add.library, "lib");
}

TEST_F(LibraryTest, ABackupThatCompletesIsAddedByItselfUnlessTurnedOff) {
  const std::string env = "XDG_DATA_HOME=" + (dir / "data") + " ";
  const std::string backup = " --port SIM --rate 921600 --modules vendor --backup ";
  auto [status, output] = Batch("--library " + libraryFolder + backup + (dir / "bk1"), false, env);
  EXPECT_EQ(status, 0) << output;
  EXPECT_NE(output.find("正在加入固件库......完成！（编号1）"), std::string::npos) << output;
  std::tie(status, output) = Batch(backup + (dir / "bk2"), false, env);  // the default library
  EXPECT_EQ(OpenLibrary()->Count(), 1u);
  EXPECT_EQ(FirmwareLibrary::Open(dir / "data/quorvane/library", FirmwareLibrary::Access::Read).library->Count(), 1u);

  ASSERT_TRUE(WriteFileBytes(dir / "data/quorvane/settings", "library-auto-add=no\n"));
  std::tie(status, output) = Batch("--library " + libraryFolder + backup + (dir / "bk3"), false, env);
  EXPECT_EQ(status, 0) << output;
  EXPECT_EQ(output.find("固件库"), std::string::npos) << output;
  EXPECT_EQ(OpenLibrary()->Count(), 1u);
}

}  // namespace
}  // namespace qv
