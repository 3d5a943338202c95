#include "firmware/manifest/backup_comparison.h"

#include <filesystem>
#include <system_error>

#include "console/dialogs.h"
#include "console/text.h"
#include "files/file_io.h"
#include "lang/translate.h"

namespace qv {

void BackupComparison::Changed() {
  if (onChanged) onChanged();
}

std::string BackupComparison::Folder(const std::string& field) const {
  std::string folder = Trim(field);
  if (!folder.empty() && !folder.ends_with('/')) folder += '/';
  return folder;
}

void BackupComparison::ChooseFolder(std::string& field, const char* title) {
  const std::optional<std::string> chosen = dialogs_.ChooseFolder(Tr(title));
  if (!chosen) return;
  field = Folder(*chosen);
  Changed();
  // With both folders known the list follows at once.
  if (!Trim(Edit1).empty() && !Trim(Edit2).empty()) Button3Click();
}

void BackupComparison::Button1Click() { ChooseFolder(Edit1, kFolderTitle1); }
void BackupComparison::Button2Click() { ChooseFolder(Edit2, kFolderTitle2); }

bool BackupComparison::Button3Click() {
  for (const std::string* field : {&Edit1, &Edit2}) {
    std::error_code ec;
    const std::string folder = Folder(*field);
    if (folder.empty() || !std::filesystem::is_directory(folder, ec)) {
      dialogs_.ShowMessage(folder.empty() ? Tr("请选择要比较的两个备份文件夹！") : TrFormat("文件夹“{1}”不存在！", folder));
      return false;
    }
  }
  folder1_ = Folder(Edit1);
  folder2_ = Folder(Edit2);
  judged_ = JudgedFiles(folder1_, folder2_);
  ListView1.clear();
  for (std::string& name : NamesInEither(folder1_, folder2_)) ListView1.push_back({std::move(name), std::nullopt});
  compared_ = 0;
  picked = -1;
  bytes1.clear();
  bytes2.clear();
  position = 0;
  Changed();
  return true;
}

bool BackupComparison::CompareNext() {
  if (compared_ >= ListView1.size()) return false;
  Row& row = ListView1[compared_++];
  row.comparison = CompareFileIn(folder1_, folder2_, row.name, judged_);
  return true;
}

void BackupComparison::Pick(int row) {
  if (row < 0 || row >= static_cast<int>(ListView1.size())) return;
  picked = row;
  const std::string& name = ListView1[row].name;
  const FileBytes read1 = ReadFileBytes(folder1_ + name, kMaxComparedBytes);
  const FileBytes read2 = ReadFileBytes(folder2_ + name, kMaxComparedBytes);
  bytes1 = read1.bytes;
  bytes2 = read2.bytes;
  if (!ListView1[row].comparison) ListView1[row].comparison = CompareFileIn(folder1_, folder2_, name, judged_);
  // A file refused on one side is shown on neither: side by side it would pass for all different.
  // Nor is one no manifest lists: it has no verdict to show the bytes of.
  const FileComparison::Verdict verdict = ListView1[row].comparison->verdict;
  if (verdict == FileComparison::Verdict::NotCompared || verdict == FileComparison::Verdict::NotListed) {
    bytes1.clear();
    bytes2.clear();
  }
  const std::optional<uint64_t> first = NextDifference(bytes1, bytes2, 0);
  position = first ? *first / kRowBytes * kRowBytes : 0;
  Changed();
}

bool BackupComparison::Button4Click() {
  const uint64_t nextRow = (position / kRowBytes + 1) * kRowBytes;
  std::optional<uint64_t> next = NextDifference(bytes1, bytes2, nextRow);
  if (!next) next = NextDifference(bytes1, bytes2, 0);
  if (!next) return false;
  position = *next / kRowBytes * kRowBytes;
  Changed();
  return true;
}

}  // namespace qv
