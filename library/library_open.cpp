#include <fcntl.h>
#include <sqlite3.h>
#include <sys/file.h>
#include <unistd.h>

#include <filesystem>
#include <system_error>

#include "files/file_io.h"
#include "files/folder_check.h"
#include "firmware/manifest/manifest.h"
#include "lang/translate.h"
#include "library/library.h"
#include "library/library_index.h"
#include "library/sqlite_db.h"

namespace qv {

namespace fs = std::filesystem;

namespace {

// 'QVLB': a database of ours, not just any SQLite file.
constexpr int64_t kApplicationId = 0x51564C42;
// Another program adding a backup holds the lock for a few milliseconds;
// this is long enough for a queue of them.
constexpr int kBusyMs = 15000;

constexpr const char* kSchema = R"(
CREATE TABLE IF NOT EXISTS backup (
  id INTEGER PRIMARY KEY,
  manifest_sha256 TEXT NOT NULL UNIQUE,
  serial TEXT NOT NULL COLLATE NOCASE,
  family TEXT NOT NULL COLLATE NOCASE,
  family_word TEXT NOT NULL,
  firmware_word TEXT NOT NULL,
  drive TEXT NOT NULL,
  time TEXT NOT NULL,
  time_utc INTEGER NOT NULL,
  program TEXT NOT NULL,
  verified INTEGER NOT NULL,
  source TEXT NOT NULL,
  added TEXT NOT NULL
);
CREATE INDEX IF NOT EXISTS backup_by_time ON backup(time_utc DESC, id DESC);
CREATE INDEX IF NOT EXISTS backup_by_family ON backup(family, time_utc DESC, id DESC);
CREATE INDEX IF NOT EXISTS backup_by_serial ON backup(serial, time_utc DESC, id DESC);
CREATE INDEX IF NOT EXISTS backup_by_firmware ON backup(family, family_word, firmware_word, time_utc DESC, id DESC);
CREATE TABLE IF NOT EXISTS file (
  backup_id INTEGER NOT NULL REFERENCES backup(id) ON DELETE CASCADE,
  name TEXT NOT NULL,
  position INTEGER NOT NULL,
  size INTEGER NOT NULL,
  sha256 TEXT NOT NULL,
  place TEXT NOT NULL,
  PRIMARY KEY (backup_id, name)
) WITHOUT ROWID;
CREATE INDEX IF NOT EXISTS file_by_content ON file(sha256);
)";

// Held while a program makes or checks the database for writing: two
// programs turning a new file into a WAL database at once would each find the
// other's lock in a state SQLite does not wait on.
class SetUpLock {
 public:
  explicit SetUpLock(const std::string& folder) : fd_(open((folder + "library.lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644)) {
    if (fd_ >= 0) flock(fd_, LOCK_EX);
  }
  ~SetUpLock() {
    if (fd_ >= 0) close(fd_);
  }
  SetUpLock(const SetUpLock&) = delete;
  SetUpLock& operator=(const SetUpLock&) = delete;

 private:
  int fd_;
};

bool HasTables(SqliteDb& db) { return db.Number("SELECT count(*) FROM sqlite_master") > 0; }

}  // namespace

std::string DatabaseProblem(const std::string& folder, const SqliteError& error) {
  std::string why;
  switch (error.Code()) {
    case SQLITE_FULL: why = Tr("磁盘已满"); break;
    case SQLITE_READONLY: why = Tr("固件库是只读的（文件夹或数据库文件没有写入权限）"); break;
    case SQLITE_PERM:
    case SQLITE_AUTH: why = Tr("没有权限"); break;
    case SQLITE_CORRUPT:
    case SQLITE_NOTADB:
      why = Tr("数据库已损坏；可用 quorvane-batch --library-rebuild 从库中保存的文件重建");
      break;
    case SQLITE_BUSY:
    case SQLITE_LOCKED: why = Tr("另一个程序长时间占用着固件库，请稍后再试"); break;
    case SQLITE_CANTOPEN: why = Tr("无法打开数据库文件"); break;
    case SQLITE_IOERR: why = TrFormat("读写出错（{1}）", error.what()); break;
    default: why = error.what(); break;
  }
  return TrFormat("固件库“{1}”出错：{2}", folder, why);
}

void SetUpSchema(SqliteDb& db, const std::string& folder, bool write) {
  const auto check = [&] {
    const int64_t format = db.Number("PRAGMA user_version");
    const int64_t application = db.Number("PRAGMA application_id");
    if (format > FirmwareLibrary::kFormat)
      throw LibraryRefusal{TrFormat("固件库“{1}”是较新版本的Quorvane写的（格式{2}，这个版本只认得到格式{3}）。"
                                    "为免误读，这个版本不打开它，请用新版本。",
                                    folder, format, FirmwareLibrary::kFormat)};
    if ((application != 0 && application != kApplicationId) || (application == 0 && HasTables(db)))
      throw LibraryRefusal{TrFormat("“{1}”中的{2}不是Quorvane的固件库。", folder, FirmwareLibrary::kDatabaseName)};
    return format;
  };
  if (check() == FirmwareLibrary::kFormat || !write) return;
  // Two programs making a new library at once: the second finds it made.
  db.Exec("PRAGMA journal_mode=WAL");
  SqliteTransaction transaction(db);
  if (check() == FirmwareLibrary::kFormat) return;
  db.Exec(kSchema);
  db.Exec(("PRAGMA application_id=" + std::to_string(kApplicationId)).c_str());
  db.Exec(("PRAGMA user_version=" + std::to_string(FirmwareLibrary::kFormat)).c_str());
  transaction.Commit();
}

FirmwareLibrary::FirmwareLibrary(std::string folder, std::unique_ptr<SqliteDb> db)
    : folder_(std::move(folder)), db_(std::move(db)) {}

FirmwareLibrary::~FirmwareLibrary() = default;

FirmwareLibrary::Opened FirmwareLibrary::Open(const std::string& folderGiven, Access access) {
  const std::string folder = WithSlash(folderGiven);
  const std::string path = folder + kDatabaseName;
  std::unique_ptr<SqliteDb> db;
  try {
    if (access == Access::Write) {
      if (const FileTrouble trouble = FolderTakesNewFiles(folder, true))
        return {nullptr, TrFormat("无法写入固件库：{1}", FolderTroubleMessage(folder, trouble))};
      const SetUpLock lock(folder);
      db = std::make_unique<SqliteDb>(path, SqliteDb::Mode::Create, kBusyMs);
      SetUpSchema(*db, folder, true);
      // Each add survives a power cut once it is reported.
      db->Exec("PRAGMA synchronous=FULL; PRAGMA foreign_keys=ON");
    } else if (!FileExists(path)) {
      // Nothing added yet: an empty library answers every question.
      db = std::make_unique<SqliteDb>(":memory:", SqliteDb::Mode::Create, kBusyMs);
      db->Exec(kSchema);
    } else {
      try {
        db = std::make_unique<SqliteDb>(path, SqliteDb::Mode::ReadOnly, kBusyMs);
        SetUpSchema(*db, folder, false);
      } catch (const SqliteError& e) {
        // A folder that cannot be written gives no room for SQLite's shared
        // memory file; nobody can change the database there meanwhile.
        if (e.Code() != SQLITE_CANTOPEN && e.Code() != SQLITE_READONLY) throw;
        db = std::make_unique<SqliteDb>(path, SqliteDb::Mode::Immutable, kBusyMs);
        SetUpSchema(*db, folder, false);
      }
      // A file made but never given its tables holds nothing yet.
      if (db->Number("PRAGMA user_version") == 0) {
        db = std::make_unique<SqliteDb>(":memory:", SqliteDb::Mode::Create, kBusyMs);
        db->Exec(kSchema);
      }
    }
  } catch (const SqliteError& e) {
    return {nullptr, DatabaseProblem(folder, e)};
  } catch (const LibraryRefusal& refusal) {
    return {nullptr, refusal.problem};
  }
  return {std::unique_ptr<FirmwareLibrary>(new FirmwareLibrary(folder, std::move(db))), {}};
}

}  // namespace qv
