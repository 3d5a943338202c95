#pragma once
// The firmware library: the backups of every drive that came in, kept in one
// folder and asked by family, firmware and serial number.
//
// What is stored where, and why:
//   library.db              SQLite, in WAL mode: a row per backup (serial
//                           number, family of the table, the family and
//                           firmware words of the drive's own report, time,
//                           program, verified) and a row per file of it (name,
//                           size, SHA-256, place). It is only an index: all of
//                           it can be built again from the two folders below
//                           (Rebuild), so a damaged database loses nothing.
//   objects/ab/<sha256>     each file's content, named by its SHA-256: a module
//                           that is the same on a hundred drives takes its
//                           space once. Written whole, then read-only, never
//                           changed; checked against its name whenever read.
//   manifests/ab/<sha256>   each backup's MANIFEST.TXT byte for byte, named by
//                           its own SHA-256, which identifies the backup (the
//                           same folder added twice is one backup, and an
//                           export gives back the very manifest), and beside
//                           it <sha256>.from: the folder it came from and when.
//   library.lock            held while a program makes or opens the database
//                           for writing, so that two never set it up at once.
// An add writes the files first and the rows last, in one transaction: a
// program stopped halfway, a full disk or a read-only folder leaves the
// database as it was (at most files that no row names, which a rebuild takes
// in), never a row whose files are missing. Several programs may add at once:
// the same content is the same file, and SQLite's locks put the transactions
// in a row. The database carries its format number; a library written by a
// newer version is refused rather than misread.
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace qv {

class SqliteDb;
class SqliteError;
struct Manifest;

struct LibraryBackup {
  int64_t id = 0;
  std::string serial;
  std::string family;        // the table's section the module places came from
  std::string familyWord;    // the drive's own report: its family word ...
  std::string firmwareWord;  // ... and firmware word
  std::string drive;         // the report's words as the manifest has them (W1_R_W2)
  std::string time;          // the backup's, as the manifest has it
  int64_t timeUtc = 0;       // the same in seconds since 1970 UTC: the order, newest first
  std::string program;
  bool verified = false;
  std::string manifestSha256;
  std::string source;  // the folder it was added from
  std::string added;   // when

  // The drive it was made of: its serial number, or "#id" when it has none.
  std::string DriveKey() const;
};

struct LibraryFile {
  std::string name;
  uint64_t size = 0;
  std::string sha256;
  std::string place;
};

// A backup with its files.
struct LibraryEntry {
  LibraryBackup backup;
  std::vector<LibraryFile> files;
};

struct LibraryFilter {
  std::string family, serial;  // empty: any
  bool partial = false;        // a part of the family or serial number is enough (the window's filter)
};

struct LibraryAdd {
  enum class Kind { Added, AlreadyThere, Refused, Failed };
  Kind kind = Kind::Failed;
  int64_t id = 0;                    // Added, AlreadyThere
  std::vector<std::string> reasons;  // Refused (what --check says), Failed (what could not be written)
};

struct LibraryExport {
  bool done = false;
  std::vector<std::string> problems;  // a damaged or missing stored file, a file that could not be written
};

struct LibraryRebuild {
  bool done = false;
  size_t backups = 0, files = 0;
  std::vector<std::string> problems;  // damaged manifests and stored files, by backup
};

class FirmwareLibrary {
 public:
  static constexpr int kFormat = 1;  // of the database; a higher one is a newer version's
  static constexpr const char* kDatabaseName = "library.db";
  static constexpr const char* kObjectsFolder = "objects/";
  static constexpr const char* kManifestsFolder = "manifests/";

  enum class Access { Read, Write };
  struct Opened {
    std::unique_ptr<FirmwareLibrary> library;
    std::string problem;  // why not, in the technician's words
  };
  // Opens the library in `folder`. For writing it is made when missing; for
  // reading a missing one is an empty library, and one in a folder that
  // cannot be written is still read.
  static Opened Open(const std::string& folder, Access access);
  ~FirmwareLibrary();

  const std::string& Folder() const { return folder_; }

  // Adds the backup in `backupFolder` once it passes the check against its
  // manifest (every file agrees, complete=yes).
  LibraryAdd Add(const std::string& backupFolder);

  // Newest first.
  std::vector<LibraryBackup> List(const LibraryFilter& filter);
  size_t Count();
  std::optional<LibraryBackup> ById(int64_t id);
  std::optional<LibraryBackup> NewestOf(const std::string& serial);
  std::optional<LibraryBackup> ByManifest(const std::string& manifestSha256);
  std::vector<LibraryFile> Files(int64_t backupId);
  // The newest backup of each drive of the same family (section, family word
  // and firmware word) as `of`, newest first, the drive of `of` left out.
  std::vector<LibraryEntry> Peers(const LibraryBackup& of);

  // Writes the backup into `folder` (new or empty) with its MANIFEST.TXT, each
  // stored file checked before a byte is written and each written file after.
  LibraryExport Export(int64_t id, const std::string& folder);

  // Builds the database again from the stored manifests and files; a
  // database that cannot be read is kept aside as library.db.damaged.
  static LibraryRebuild Rebuild(const std::string& folder);

 private:
  FirmwareLibrary(std::string folder, std::unique_ptr<SqliteDb> db);
  // Every row again from the stored manifests, in one transaction.
  void Reindex(LibraryRebuild& outcome);
  std::optional<LibraryBackup> One(const char* where, const std::string& value);

  std::string folder_;
  std::unique_ptr<SqliteDb> db_;
};

// What SQLite's failure means to the technician: "固件库“…”出错：磁盘已满".
std::string DatabaseProblem(const std::string& folder, const SqliteError& error);

// The family and firmware words of the drive's report, from the manifest's
// words W1_R_W2.
std::pair<std::string, std::string> FamilyAndFirmwareWords(const std::string& drive);
// "2026-12-07T11:02:28+08:00" in seconds since 1970 UTC; 0 for another text.
int64_t UtcSeconds(const std::string& stamp);

}  // namespace qv
