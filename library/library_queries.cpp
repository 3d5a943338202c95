#include <map>
#include <set>

#include "console/text.h"
#include "library/library.h"
#include "library/library_index.h"
#include "library/sqlite_db.h"

namespace qv {

namespace {

// A LIKE pattern that finds `text` anywhere, its own '%' and '_' taken as they are.
std::string Anywhere(const std::string& text) {
  std::string pattern = "%";
  for (char c : text) {
    if (c == '%' || c == '_' || c == '\\') pattern += '\\';
    pattern += c;
  }
  return pattern + "%";
}

}  // namespace

std::vector<LibraryBackup> FirmwareLibrary::List(const LibraryFilter& filter) {
  std::string sql = std::string("SELECT ") + kBackupColumns + " FROM backup b WHERE 1";
  const char* compare = filter.partial ? " LIKE ? ESCAPE '\\'" : " = ?";
  std::vector<std::string> values;
  for (const auto& [column, value] : {std::pair{"b.family", Trim(filter.family)}, {"b.serial", Trim(filter.serial)}}) {
    if (value.empty()) continue;
    sql += std::string(" AND ") + column + compare;
    values.push_back(filter.partial ? Anywhere(value) : value);
  }
  sql += " ORDER BY b.time_utc DESC, b.id DESC";
  SqliteStatement query(*db_, sql.c_str());
  for (size_t i = 0; i < values.size(); ++i) query.Bind(static_cast<int>(i + 1), values[i]);
  std::vector<LibraryBackup> backups;
  while (query.Step()) backups.push_back(BackupFromRow(query));
  return backups;
}

size_t FirmwareLibrary::Count() { return static_cast<size_t>(db_->Number("SELECT count(*) FROM backup")); }

std::optional<LibraryBackup> FirmwareLibrary::One(const char* where, const std::string& value) {
  const std::string sql =
      std::string("SELECT ") + kBackupColumns + " FROM backup b WHERE " + where + " ORDER BY b.time_utc DESC, b.id DESC LIMIT 1";
  SqliteStatement query(*db_, sql.c_str());
  query.Bind(1, value);
  if (!query.Step()) return std::nullopt;
  return BackupFromRow(query);
}

std::optional<LibraryBackup> FirmwareLibrary::ById(int64_t id) { return One("b.id = ?", std::to_string(id)); }
std::optional<LibraryBackup> FirmwareLibrary::NewestOf(const std::string& serial) {
  if (Trim(serial).empty()) return std::nullopt;
  return One("b.serial = ?", Trim(serial));
}
std::optional<LibraryBackup> FirmwareLibrary::ByManifest(const std::string& sha256) {
  return One("b.manifest_sha256 = ?", sha256);
}

std::vector<LibraryFile> FirmwareLibrary::Files(int64_t backupId) {
  SqliteStatement query(*db_, "SELECT name, size, sha256, place FROM file WHERE backup_id = ? ORDER BY position");
  query.Bind(1, backupId);
  std::vector<LibraryFile> files;
  while (query.Step())
    files.push_back({query.Text(0), static_cast<uint64_t>(query.Int(1)), query.Text(2), query.Text(3)});
  return files;
}

std::vector<LibraryEntry> FirmwareLibrary::Peers(const LibraryBackup& of) {
  constexpr const char* kSameFirmware = "b.family = ?1 AND b.family_word = ?2 AND b.firmware_word = ?3";
  const auto bind = [&of](SqliteStatement& query) {
    query.Bind(1, of.family).Bind(2, of.familyWord).Bind(3, of.firmwareWord);
  };
  SqliteStatement backups(*db_, (std::string("SELECT ") + kBackupColumns + " FROM backup b WHERE " + kSameFirmware +
                                 " ORDER BY b.time_utc DESC, b.id DESC")
                                    .c_str());
  bind(backups);
  std::vector<LibraryEntry> peers;
  std::map<int64_t, size_t> byId;
  std::set<std::string> drives{of.DriveKey()};
  while (backups.Step()) {
    LibraryBackup backup = BackupFromRow(backups);
    // The first of a drive is its newest.
    if (!drives.insert(backup.DriveKey()).second) continue;
    byId[backup.id] = peers.size();
    peers.push_back({std::move(backup), {}});
  }
  SqliteStatement files(*db_, (std::string("SELECT f.backup_id, f.name, f.size, f.sha256, f.place FROM file f "
                                           "JOIN backup b ON b.id = f.backup_id WHERE ") +
                               kSameFirmware + " ORDER BY f.position")
                                  .c_str());
  bind(files);
  while (files.Step()) {
    const auto at = byId.find(files.Int(0));
    if (at == byId.end()) continue;
    peers[at->second].files.push_back(
        {files.Text(1), static_cast<uint64_t>(files.Int(2)), files.Text(3), files.Text(4)});
  }
  return peers;
}

}  // namespace qv
