#include "library/library_subject.h"

#include <filesystem>
#include <system_error>

#include "files/file_digest.h"
#include "files/file_io.h"
#include "firmware/manifest/manifest.h"
#include "firmware/manifest/manifest_check.h"
#include "lang/translate.h"
#include "library/library_index.h"
#include "library/sqlite_db.h"

namespace qv {

namespace {

LibrarySubject FromFolder(FirmwareLibrary& library, const std::string& folderGiven) {
  const std::string folder = WithSlash(folderGiven);
  const FolderCheck check = CheckFolder(folder);
  if (!check.problem.empty()) return {{}, check.problem};
  std::string disagreeing;
  for (const ManifestVerdict& file : check.files)
    if (!file.Agrees()) disagreeing += (disagreeing.empty() ? "" : "; ") + file.name + ": " + file.text;
  if (!disagreeing.empty()) return {{}, TrFormat("文件与备份清单不符：{1}", disagreeing)};

  const Manifest& m = *check.manifest;
  const FileBytes manifestFile = ReadFileBytes(folder + kManifestName, kMaxManifestBytes);
  const std::string sha256 = Sha256Hex(manifestFile.bytes);
  LibraryEntry entry;
  if (std::optional<LibraryBackup> stored = library.ByManifest(sha256)) {
    entry.backup = *stored;
  } else {
    LibraryBackup& b = entry.backup;
    b.serial = m.serial;
    b.family = m.family;
    std::tie(b.familyWord, b.firmwareWord) = FamilyAndFirmwareWords(m.drive);
    b.drive = m.drive;
    b.time = m.time;
    b.timeUtc = UtcSeconds(m.time);
    b.program = m.program;
    b.verified = m.verified;
    b.manifestSha256 = sha256;
    std::error_code ec;
    b.source = std::filesystem::absolute(folder, ec).lexically_normal().string();
  }
  for (const ManifestFile& f : m.files) entry.files.push_back({f.name, f.size, f.sha256, f.place});
  return {std::move(entry), {}};
}

}  // namespace

LibrarySubject FindSubject(FirmwareLibrary& library, const std::string& serialOrFolder) {
  try {
    std::error_code ec;
    if (std::filesystem::is_directory(serialOrFolder, ec)) return FromFolder(library, serialOrFolder);
    std::optional<LibraryBackup> newest = library.NewestOf(serialOrFolder);
    if (!newest)
      return {{}, TrFormat("固件库中没有序列号为“{1}”的硬盘，也没有这个文件夹", serialOrFolder)};
    LibraryEntry entry{*newest, library.Files(newest->id)};
    return {std::move(entry), {}};
  } catch (const SqliteError& e) {
    return {{}, DatabaseProblem(library.Folder(), e)};
  }
}

}  // namespace qv
