#pragma once
// The library's database rows, shared by the files of library/: its schema,
// the writing of a backup's rows and the reading of one, and SQLite's
// failures in the technician's words.
#include <cstdint>
#include <string>

#include "files/folder_check.h"
#include "library/library.h"

namespace qv {

class SqliteError;
class SqliteStatement;
struct Manifest;

// Makes the tables of a new database or checks those of an existing one;
// raises a LibraryRefusal for a database of a newer version or of another
// program.
void SetUpSchema(SqliteDb& db, const std::string& folder, bool write);

struct LibraryRefusal {
  std::string problem;
};

// Where a backup came from, kept beside its manifest for a rebuild, and the
// order it was added in (nanoseconds since 1970), which a rebuild follows so
// that the backups keep their numbers.
struct BackupOrigin {
  std::string source, added;
  int64_t order = 0;
};
std::string OriginText(const BackupOrigin& origin);
BackupOrigin ParseOrigin(const std::string& text);

// The rows of one backup: 0 when a backup of that manifest is there already
// (added by another program meanwhile). Inside the caller's transaction.
int64_t IndexBackup(SqliteDb& db, const Manifest& manifest, const std::string& manifestSha256,
                    const BackupOrigin& origin);

// The columns BackupFromRow reads, for "SELECT <kBackupColumns> FROM backup b".
extern const char* const kBackupColumns;
LibraryBackup BackupFromRow(const SqliteStatement& row);

// A name of a file in the folder itself: no '/', not "." or "..". A manifest
// could name any path; the library reads and writes only inside the folder.
bool IsPlainFileName(const std::string& name);

}  // namespace qv
