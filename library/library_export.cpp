#include <filesystem>
#include <system_error>

#include "files/file_digest.h"
#include "files/file_io.h"
#include "files/folder_check.h"
#include "firmware/manifest/manifest.h"
#include "lang/translate.h"
#include "library/library.h"
#include "library/library_index.h"
#include "library/object_store.h"
#include "library/sqlite_db.h"

namespace qv {

namespace fs = std::filesystem;

LibraryExport FirmwareLibrary::Export(int64_t id, const std::string& folderGiven) {
  const std::string folder = WithSlash(folderGiven);
  LibraryExport outcome;
  const auto fail = [&outcome](std::string problem) {
    outcome.problems.push_back(std::move(problem));
    return outcome;
  };
  std::optional<LibraryBackup> backup;
  std::vector<LibraryFile> files;
  try {
    backup = ById(id);
    if (backup) files = Files(id);
  } catch (const SqliteError& e) {
    return fail(DatabaseProblem(folder_, e));
  }
  if (!backup) return fail(TrFormat("固件库中没有编号为{1}的备份", id));

  // Every stored file read and checked before anything is written: a damaged
  // one is named, never handed out.
  const ObjectStore manifests(folder_ + kManifestsFolder);
  std::error_code ec;
  const StoredBytes manifest =
      manifests.Get(backup->manifestSha256, fs::file_size(manifests.PathFor(backup->manifestSha256), ec));
  if (!manifest.Good()) outcome.problems.push_back(std::string(kManifestName) + ": " + manifest.reason);
  const ObjectStore objects(folder_ + kObjectsFolder);
  std::vector<std::string> contents;
  for (const LibraryFile& file : files) {
    if (!IsPlainFileName(file.name)) return fail(TrFormat("“{1}”不是文件夹中的文件名", file.name));
    StoredBytes stored = objects.Get(file.sha256, file.size);
    if (!stored.Good()) outcome.problems.push_back(file.name + ": " + stored.reason);
    contents.push_back(std::move(stored.bytes));
  }
  if (!outcome.problems.empty()) return outcome;

  // Into a folder of its own: files of the technician's are never replaced.
  if (fs::exists(folder, ec) && !fs::is_empty(folder, ec))
    return fail(TrFormat("文件夹“{1}”不是空的；请导出到新的或空的文件夹", folder));
  if (const FileTrouble trouble = FolderTakesNewFiles(folder, true)) return fail(FolderTroubleMessage(folder, trouble));

  // The manifest last, so that a folder cut short is never taken for a whole backup.
  std::vector<std::string> written;
  for (size_t i = 0; i <= files.size() && outcome.problems.empty(); ++i) {
    const bool last = i == files.size();
    const std::string name = last ? kManifestName : files[i].name;
    const std::string& bytes = last ? manifest.bytes : contents[i];
    const std::string path = folder + name;
    if (const FileTrouble trouble = WriteFile(path, bytes)) {
      outcome.problems.push_back(CannotWriteMessage(path, trouble));
      break;
    }
    written.push_back(path);
    const FileDigest digest = DigestFile(path);
    if (!digest || digest.size != bytes.size() || digest.sha256 != (last ? backup->manifestSha256 : files[i].sha256))
      outcome.problems.push_back(TrFormat("{1}：写入后读回的内容与库中的不符", path));
  }
  if (!outcome.problems.empty()) {
    for (const std::string& path : written) fs::remove(path, ec);
    return outcome;
  }
  outcome.done = true;
  return outcome;
}

}  // namespace qv
