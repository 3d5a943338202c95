#pragma once
// MANIFEST.TXT: what a backup folder holds, written by the backup after every
// other file. A section [backup] says when, by what, from which drive and
// whether the backup was complete and read twice; a section [file NAME] per
// file gives its size and SHA-256 and, for a module, where on the drive it
// was read. UTF-8 text with LF line ends, one "key=value" per line.
#include <cstdint>
#include <ctime>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "files/file_io.h"

namespace qv {

inline constexpr const char* kManifestName = "MANIFEST.TXT";
// The manifest a new backup replaced, kept for the hashes of the files it replaced.
inline constexpr const char* kOldManifestName = "MANIFEST.OLD";
// Larger than any manifest of a backup folder; a larger file is not one.
inline constexpr uint64_t kMaxManifestBytes = 1 << 20;

// The files the backup writes and the module loading takes back.
namespace module_file {
inline constexpr const char* kApp = "APP.BIN";
inline constexpr const char* kCert0 = "CERT0.BIN";  // pieces, removed once CERT.BIN is built
inline constexpr const char* kCert1 = "CERT1.BIN";
inline constexpr const char* kCert = "CERT.BIN";
inline constexpr const char* kTable0 = "Table0.BIN";  // as read, removed once Table.BIN is built
inline constexpr const char* kTable = "Table.BIN";
inline constexpr const char* kAta = "ATA.BIN";
inline constexpr const char* kAta0 = "ATA0.BIN";
inline constexpr const char* kAta1 = "ATA1.BIN";
inline constexpr const char* kVendor = "Vendor.BIN";
inline constexpr const char* kId = "ID.BIN";
inline constexpr const char* kSn = "SN.TXT";
}  // namespace module_file

struct ManifestFile {
  std::string name;
  uint64_t size = 0;
  std::string sha256;  // 64 lower-case hexadecimal digits
  // Where a module was read: "cylinder head first-sector count" in the
  // drive's hexadecimal, pieces read one after the other joined by " + ".
  // Empty for a file that is not read from the drive as it stands (SN.TXT).
  std::string place;
};

struct Manifest {
  std::string time;     // local time with its offset
  std::string program;  // name and version
  std::string port, rate;
  std::string family;   // the family record the places came from
  std::string drive;    // the drive's own words of the family lookup; empty without one
  std::string serial;   // the serial number of SN.TXT
  bool complete = false;
  bool verified = false;
  std::vector<ManifestFile> files;

  // The file of that name; a name that differs only in letter case counts
  // when no name matches exactly (folders copied between systems).
  const ManifestFile* Find(std::string_view name) const;
};

std::string ManifestText(const Manifest& manifest);

// Why a text is no manifest of ours, or what is wrong with it, in the
// technician's words ("第3行：..."); empty for a good one.
struct ManifestRead {
  std::optional<Manifest> manifest;
  std::string problem;
};
ManifestRead ParseManifest(std::string_view text);

// The folder's MANIFEST.TXT read and parsed; `present` false when the folder
// holds none (a folder of an older backup).
struct FolderManifest {
  bool present = false;
  ManifestRead read;
};
FolderManifest ReadFolderManifest(const std::string& folder);

// A file a backup wrote whole, with its place (see ManifestFile).
struct WholeFile {
  std::string name;
  std::string place;
};
// Writes the folder's MANIFEST.TXT through the shared writer: `header` with
// each file's size and digest as the file now is on disk. A file that can no
// longer be read is left out and the backup called incomplete. `kept` are
// entries of an earlier backup of the same drive, listed after them as they
// stand.
FileTrouble WriteBackupManifest(const std::string& folder, Manifest header, const std::vector<WholeFile>& files,
                                const std::vector<ManifestFile>& kept = {});

// "2026-12-07T11:02:28+08:00"
std::string LocalTimeWithOffset(std::time_t when);
// "Quorvane 7.0"
std::string ProgramNameAndVersion();

}  // namespace qv
