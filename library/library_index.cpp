#include "library/library_index.h"

#include <cstdlib>
#include <ctime>

#include "firmware/manifest/manifest.h"
#include "library/sqlite_db.h"

namespace qv {

namespace {
constexpr std::string_view kSourceKey = "folder=";
constexpr std::string_view kAddedKey = "added=";
constexpr std::string_view kOrderKey = "order=";
}  // namespace

bool IsPlainFileName(const std::string& name) {
  return !name.empty() && name != "." && name != ".." && name.find('/') == std::string::npos &&
         name.find('\0') == std::string::npos;
}

std::string LibraryBackup::DriveKey() const { return serial.empty() ? "#" + std::to_string(id) : serial; }

std::pair<std::string, std::string> FamilyAndFirmwareWords(const std::string& drive) {
  // W1_R_W2: the family word before the first '_', the firmware word after
  // the last (the revision between them may be empty).
  const size_t first = drive.find('_');
  const size_t last = drive.rfind('_');
  if (first == std::string::npos || first == last) return {drive, {}};
  return {drive.substr(0, first), drive.substr(last + 1)};
}

int64_t UtcSeconds(const std::string& stamp) {
  std::tm t{};
  int offsetHours = 0, offsetMinutes = 0;
  char sign = 0;
  if (std::sscanf(stamp.c_str(), "%4d-%2d-%2dT%2d:%2d:%2d%c%2d:%2d", &t.tm_year, &t.tm_mon, &t.tm_mday, &t.tm_hour,
                  &t.tm_min, &t.tm_sec, &sign, &offsetHours, &offsetMinutes) != 9 ||
      (sign != '+' && sign != '-'))
    return 0;
  t.tm_year -= 1900;
  t.tm_mon -= 1;
  const int64_t offset = (offsetHours * 60 + offsetMinutes) * 60;
  return static_cast<int64_t>(timegm(&t)) - (sign == '+' ? offset : -offset);
}

std::string OriginText(const BackupOrigin& origin) {
  return std::string(kSourceKey) + origin.source + "\n" + std::string(kAddedKey) + origin.added + "\n" +
         std::string(kOrderKey) + std::to_string(origin.order) + "\n";
}

BackupOrigin ParseOrigin(const std::string& text) {
  BackupOrigin origin;
  size_t from = 0;
  while (from < text.size()) {
    const size_t end = std::min(text.find('\n', from), text.size());
    const std::string_view line = std::string_view(text).substr(from, end - from);
    if (line.starts_with(kSourceKey)) origin.source = line.substr(kSourceKey.size());
    if (line.starts_with(kAddedKey)) origin.added = line.substr(kAddedKey.size());
    if (line.starts_with(kOrderKey)) origin.order = std::atoll(std::string(line.substr(kOrderKey.size())).c_str());
    from = end + 1;
  }
  return origin;
}

int64_t IndexBackup(SqliteDb& db, const Manifest& m, const std::string& manifestSha256, const BackupOrigin& origin) {
  SqliteStatement insert(db,
                         "INSERT INTO backup (manifest_sha256, serial, family, family_word, firmware_word, drive, time, "
                         "time_utc, program, verified, source, added) VALUES (?,?,?,?,?,?,?,?,?,?,?,?) "
                         "ON CONFLICT(manifest_sha256) DO NOTHING");
  const auto [familyWord, firmwareWord] = FamilyAndFirmwareWords(m.drive);
  insert.Bind(1, manifestSha256).Bind(2, m.serial).Bind(3, m.family).Bind(4, familyWord).Bind(5, firmwareWord);
  insert.Bind(6, m.drive).Bind(7, m.time).Bind(8, UtcSeconds(m.time)).Bind(9, m.program);
  insert.Bind(10, int64_t{m.verified}).Bind(11, origin.source).Bind(12, origin.added);
  insert.Step();
  if (db.Changes() == 0) return 0;
  const int64_t id = db.LastInsertId();
  // In the manifest's order, which is the backup's own (APP first).
  SqliteStatement file(db, "INSERT INTO file (backup_id, name, position, size, sha256, place) VALUES (?,?,?,?,?,?)");
  int64_t position = 0;
  for (const ManifestFile& f : m.files) {
    file.Reset();
    file.Bind(1, id).Bind(2, f.name).Bind(3, position++).Bind(4, static_cast<int64_t>(f.size));
    file.Bind(5, f.sha256).Bind(6, f.place);
    file.Step();
  }
  return id;
}

const char* const kBackupColumns =
    "b.id, b.serial, b.family, b.family_word, b.firmware_word, b.drive, b.time, b.time_utc, b.program, b.verified, "
    "b.manifest_sha256, b.source, b.added";

LibraryBackup BackupFromRow(const SqliteStatement& row) {
  LibraryBackup b;
  b.id = row.Int(0);
  b.serial = row.Text(1);
  b.family = row.Text(2);
  b.familyWord = row.Text(3);
  b.firmwareWord = row.Text(4);
  b.drive = row.Text(5);
  b.time = row.Text(6);
  b.timeUtc = row.Int(7);
  b.program = row.Text(8);
  b.verified = row.Int(9) != 0;
  b.manifestSha256 = row.Text(10);
  b.source = row.Text(11);
  b.added = row.Text(12);
  return b;
}

}  // namespace qv
