#include "firmware/backup/backup_folder.h"

#include <algorithm>

#include "console/text.h"
#include "firmware/family/family_lookup.h"
#include "firmware/manifest/manifest_check.h"
#include "lang/translate.h"

namespace qv {

std::string DriveWords(const FamilyReport& report) {
  // A drive that named nothing has no words of its own ("__").
  if (report.W1.empty() && report.R.empty() && report.W2.empty()) return {};
  return Trim(report.TypeName());
}

bool ReportNamesFamily(const FamilyReport& report, const std::string& familyName) {
  const std::string name = UpperCase(familyName);
  for (const std::string& key : report.Keys())
    if (name.find(key) != std::string::npos) return true;
  return false;
}

EarlierBackup ReadEarlierBackup(const std::string& folder) {
  // Only a file describes a backup; anything else at that name is no manifest
  // the new backup could replace (and it will say so when it writes its own).
  if (!FileExists(folder + kManifestName)) return {};
  const FolderManifest found = ReadFolderManifest(folder);
  return {found.present, found.read.manifest};
}

std::string OtherDriveQuestion(const std::string& folder, const EarlierBackup& earlier, const std::string& serial) {
  // Whole sentences, one for each earlier backup: a translation can't follow
  // a sentence joined from pieces.
  const char* question = nullptr;
  if (!earlier.manifest)
    question = N_("文件夹“{1}”中已有一个清单无法读取的备份。新的备份会替换其中同名的模块文件，原清单保存为{2}。"
               "仍然备份到这个文件夹吗？");
  else if (earlier.manifest->serial.empty())
    question = N_("文件夹“{1}”中已有一个没有记下序列号的备份。新的备份会替换其中同名的模块文件，原清单保存为{2}。"
               "仍然备份到这个文件夹吗？");
  else if (serial.empty())
    question = N_("文件夹“{1}”中已有硬盘（序列号{3}）的备份，而这块硬盘没有报告序列号。新的备份会替换其中同名的模块文件，"
               "原清单保存为{2}。仍然备份到这个文件夹吗？");
  else
    question = N_("文件夹“{1}”中已有另一块硬盘（序列号{3}）的备份。新的备份会替换其中同名的模块文件，原清单保存为{2}。"
               "仍然备份到这个文件夹吗？");
  return TrFormat(question, folder, kOldManifestName, earlier.manifest ? earlier.manifest->serial : std::string());
}

std::vector<ManifestFile> EntriesStillGood(const std::string& folder, const Manifest& earlier,
                                           const std::vector<std::string>& written) {
  std::vector<ManifestFile> kept;
  for (const ManifestFile& entry : earlier.files) {
    if (std::find(written.begin(), written.end(), entry.name) != written.end()) continue;
    if (CheckAgainstEntry(entry, folder + entry.name).Agrees()) kept.push_back(entry);
  }
  return kept;
}

FileTrouble KeepEarlierManifest(const std::string& folder) {
  const std::string from = folder + kManifestName;
  if (!FileExists(from)) return {};
  // A copy: MANIFEST.TXT stays until the new one replaces it, so a backup
  // cut off halfway leaves files the old manifest no longer vouches for,
  // which the loading then refuses, rather than a folder without a manifest.
  const FileBytes earlier = ReadFileBytes(from, kMaxManifestBytes);
  if (earlier.trouble) return earlier.trouble;
  return WriteFile(folder + kOldManifestName, earlier.bytes);
}

}  // namespace qv
