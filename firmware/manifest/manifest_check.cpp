#include "firmware/manifest/manifest_check.h"

#include <filesystem>
#include <set>
#include <system_error>

#include "console/text.h"
#include "files/folder_check.h"
#include "files/file_digest.h"
#include "lang/translate.h"

namespace qv {

namespace {

using Kind = ManifestVerdict::Kind;

}  // namespace

bool IsBackupFileName(const std::string& name) {
  namespace mf = module_file;
  for (const char* known : {mf::kApp, mf::kCert, mf::kTable, mf::kAta, mf::kAta0, mf::kAta1, mf::kVendor, mf::kId,
                            mf::kSn})
    if (UpperCase(name) == UpperCase(known)) return true;
  return false;
}

ManifestVerdict CheckAgainstEntry(const ManifestFile& entry, const std::string& path) {
  ManifestVerdict v{entry.name, Kind::Agrees, Tr("一致")};
  const FileCheck file = CheckInputFile(path, UINT64_MAX);
  if (file.trouble) return {entry.name, Kind::Unreadable, file.trouble.reason};
  if (file.size != entry.size)
    return {entry.name, Kind::SizeDiffers,
            TrFormat("大小不符：清单记为{1}字节，文件为{2}字节", entry.size, file.size)};
  const FileDigest digest = DigestFile(path);
  if (digest.trouble) return {entry.name, Kind::Unreadable, digest.trouble.reason};
  if (digest.size != entry.size || digest.sha256 != entry.sha256)
    return {entry.name, Kind::HashDiffers, Tr("SHA-256不符：内容与清单记录的不同")};
  return v;
}

bool FolderCheck::AllAgree() const {
  if (!problem.empty()) return false;
  for (const ManifestVerdict& f : files)
    if (!f.Agrees()) return false;
  return true;
}

FolderCheck CheckFolder(const std::string& folderGiven) {
  const std::string folder = WithSlash(folderGiven);
  const FolderManifest found = ReadFolderManifest(folder);
  if (!found.present) return {TrFormat("文件夹中没有备份清单{1}", kManifestName), {}, {}};
  if (!found.read.manifest) return {TrFormat("备份清单{1}有误：{2}", kManifestName, found.read.problem), {}, {}};
  const Manifest& manifest = *found.read.manifest;
  FolderCheck check;
  check.manifest = manifest;
  for (const ManifestFile& entry : manifest.files) check.files.push_back(CheckAgainstEntry(entry, folder + entry.name));
  std::set<std::string> notListed;
  std::error_code ec;
  for (std::filesystem::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
    const std::string name = it->path().filename().string();
    if (IsBackupFileName(name) && FileExists(it->path().string()) && !manifest.Find(name)) notListed.insert(name);
  }
  for (const std::string& name : notListed) check.files.push_back({name, Kind::NotListed, Tr("不在清单中")});
  return check;
}

}  // namespace qv
