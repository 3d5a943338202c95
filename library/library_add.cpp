#include <sqlite3.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <map>
#include <system_error>

#include "files/file_digest.h"
#include "files/file_io.h"
#include "firmware/manifest/manifest.h"
#include "firmware/manifest/manifest_check.h"
#include "lang/translate.h"
#include "library/library.h"
#include "library/library_index.h"
#include "library/object_store.h"
#include "library/sqlite_db.h"

namespace qv {

namespace fs = std::filesystem;

namespace {

LibraryAdd Refused(std::vector<std::string> reasons) { return {LibraryAdd::Kind::Refused, 0, std::move(reasons)}; }
LibraryAdd Failed(std::string reason) { return {LibraryAdd::Kind::Failed, 0, {std::move(reason)}}; }

// What --check says against the folder, one reason per line; none for a
// folder that passes.
std::vector<std::string> CheckReasons(const std::string& folder) {
  const FolderCheck check = CheckFolder(folder);
  if (!check.problem.empty()) return {check.problem};
  std::vector<std::string> reasons;
  for (const ManifestVerdict& file : check.files)
    if (!file.Agrees()) reasons.push_back(file.name + ": " + file.text);
  if (!check.manifest->complete) reasons.push_back(std::string(kManifestName) + ": " + Tr("备份不完整（complete=no）"));
  return reasons;
}

}  // namespace

LibraryAdd FirmwareLibrary::Add(const std::string& folderGiven) {
  const std::string folder = WithSlash(folderGiven);
  if (std::vector<std::string> reasons = CheckReasons(folder); !reasons.empty()) return Refused(std::move(reasons));
  // The manifest as it is now: its digest names the backup.
  const FileBytes manifestFile = ReadFileBytes(folder + kManifestName, kMaxManifestBytes);
  if (manifestFile.trouble) return Refused({CannotReadMessage(folder + kManifestName, manifestFile.trouble)});
  const ManifestRead read = ParseManifest(manifestFile.bytes);
  if (!read.manifest) return Refused({read.problem});
  const std::string manifestSha256 = Sha256Hex(manifestFile.bytes);
  try {
    if (const std::optional<LibraryBackup> there = ByManifest(manifestSha256))
      return {LibraryAdd::Kind::AlreadyThere, there->id, {}};

    // The files first, each checked again as it is read: the folder may have
    // changed since the check.
    const ObjectStore objects(folder_ + kObjectsFolder);
    for (const ManifestFile& entry : read.manifest->files) {
      if (!IsPlainFileName(entry.name)) return Refused({TrFormat("清单中的“{1}”不是文件夹中的文件名", entry.name)});
      const FileBytes file = ReadFileBytes(folder + entry.name, kMaxStoredBytes);
      if (file.trouble) return Refused({CannotReadMessage(folder + entry.name, file.trouble)});
      if (file.bytes.size() != entry.size || Sha256Hex(file.bytes) != entry.sha256)
        return Refused({entry.name + ": " + Tr("文件在加入时被改动了，与清单不符")});
      if (const FileTrouble trouble = objects.Put(entry.sha256, file.bytes))
        return Failed(CannotWriteMessage(objects.PathFor(entry.sha256), trouble));
    }
    const ObjectStore manifests(folder_ + kManifestsFolder);
    if (const FileTrouble trouble = manifests.Put(manifestSha256, manifestFile.bytes))
      return Failed(CannotWriteMessage(manifests.PathFor(manifestSha256), trouble));
    std::error_code ec;
    const BackupOrigin origin{
        fs::absolute(folder, ec).lexically_normal().string(), LocalTimeWithOffset(std::time(nullptr)),
        std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::system_clock::now().time_since_epoch()).count()};
    CreateFileBytes(manifests.PathFor(manifestSha256) + ".from", OriginText(origin));

    // The rows last, all or none.
    SqliteTransaction transaction(*db_);
    int64_t id = IndexBackup(*db_, *read.manifest, manifestSha256, origin);
    transaction.Commit();
    if (id != 0) return {LibraryAdd::Kind::Added, id, {}};
    // Another program added the same backup meanwhile.
    const std::optional<LibraryBackup> there = ByManifest(manifestSha256);
    return {LibraryAdd::Kind::AlreadyThere, there ? there->id : 0, {}};
  } catch (const SqliteError& e) {
    return Failed(DatabaseProblem(folder_, e));
  }
}

namespace {

bool IsDamage(const SqliteError& e) { return e.Code() == SQLITE_CORRUPT || e.Code() == SQLITE_NOTADB; }

// Whether the database file there cannot be read as one.
bool DatabaseDamaged(const std::string& path) {
  try {
    SqliteDb probe(path, SqliteDb::Mode::ReadOnly, 0);
    probe.Number("SELECT count(*) FROM sqlite_master");
    return false;
  } catch (const SqliteError& e) {
    return IsDamage(e);
  }
}

}  // namespace

void FirmwareLibrary::Reindex(LibraryRebuild& outcome) {
  const ObjectStore objects(folder_ + kObjectsFolder);
  const ObjectStore manifests(folder_ + kManifestsFolder);
  std::map<std::string, std::string> checked;  // content -> its problem, empty when good
  SqliteTransaction transaction(*db_);
  db_->Exec("DELETE FROM file; DELETE FROM backup");
  // Read whole first, then indexed in the order they were added.
  struct Stored {
    std::string sha256;
    Manifest manifest;
    BackupOrigin origin;
  };
  std::vector<Stored> found;
  std::error_code ec;
  for (fs::recursive_directory_iterator it(folder_ + kManifestsFolder, ec), end; !ec && it != end; it.increment(ec)) {
    const std::string name = it->path().filename().string();
    if (!IsSha256Name(name)) continue;
    std::error_code sizeError;
    const StoredBytes stored = manifests.Get(name, fs::file_size(it->path(), sizeError));
    ManifestRead read = stored.Good() ? ParseManifest(stored.bytes) : ManifestRead{};
    if (!read.manifest) {
      outcome.problems.push_back(it->path().string() + ": " + (stored.Good() ? read.problem : stored.reason));
      continue;
    }
    const FileBytes from = ReadFileBytes(it->path().string() + ".from", kMaxManifestBytes);
    found.push_back({name, std::move(*read.manifest), ParseOrigin(from.bytes)});
  }
  std::sort(found.begin(), found.end(), [](const Stored& a, const Stored& b) {
    return std::tie(a.origin.order, a.sha256) < std::tie(b.origin.order, b.sha256);
  });
  for (const Stored& backup : found) {
    const int64_t id = IndexBackup(*db_, backup.manifest, backup.sha256, backup.origin);
    if (id == 0) continue;
    ++outcome.backups;
    for (const ManifestFile& file : backup.manifest.files) {
      auto [at, isNew] = checked.try_emplace(file.sha256);
      if (isNew) {
        const StoredBytes content = objects.Get(file.sha256, file.size);
        at->second = content.Good() ? std::string() : content.reason;
        ++outcome.files;
      }
      if (!at->second.empty())
        outcome.problems.push_back(
            TrFormat("备份{1}（序列号{2}）的{3}：{4}", id, backup.manifest.serial, file.name, at->second));
    }
  }
  transaction.Commit();
  outcome.done = true;
}

LibraryRebuild FirmwareLibrary::Rebuild(const std::string& folderGiven) {
  const std::string folder = WithSlash(folderGiven);
  LibraryRebuild outcome;
  std::error_code ec;
  if (!fs::is_directory(folder + kManifestsFolder, ec)) {
    outcome.problems.push_back(TrFormat("“{1}”中没有固件库保存的清单（{2}）", folder, kManifestsFolder));
    return outcome;
  }
  // A database that cannot be read is kept aside, not thrown away, and a new
  // one made; one of a newer version or another program is left alone.
  const auto setAside = [&] {
    for (const char* suffix : {"", "-wal", "-shm"})
      fs::rename(folder + kDatabaseName + suffix, folder + kDatabaseName + ".damaged" + suffix, ec);
  };
  for (int attempt = 0; attempt < 2; ++attempt) {
    if (DatabaseDamaged(folder + kDatabaseName)) setAside();
    Opened opened = Open(folder, Access::Write);
    if (!opened.library) {
      outcome.problems.push_back(opened.problem);
      return outcome;
    }
    LibraryRebuild tried;
    try {
      opened.library->Reindex(tried);
      return tried;
    } catch (const SqliteError& e) {
      if (!IsDamage(e) || attempt > 0) {
        outcome.problems.push_back(DatabaseProblem(folder, e));
        return outcome;
      }
      // Damage deeper in the file than its first pages.
      opened.library.reset();
      setAside();
    }
  }
  return outcome;
}

}  // namespace qv
