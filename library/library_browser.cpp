#include "library/library_browser.h"

#include <stdlib.h>

#include <algorithm>
#include <filesystem>
#include <system_error>

#include "console/dialogs.h"
#include "console/text.h"
#include "firmware/manifest/manifest.h"
#include "library/library_settings.h"
#include "library/sqlite_db.h"

namespace qv {

namespace fs = std::filesystem;

namespace {

std::string Lines(const std::vector<std::string>& lines) {
  std::string text;
  for (const std::string& line : lines) text += "\n" + line;
  return text;
}

// A folder holding a backup, or else the backups in its subfolders.
std::vector<std::string> BackupFoldersIn(const std::string& folder) {
  if (fs::exists(fs::path(folder) / kManifestName)) return {folder};
  std::vector<std::string> found;
  std::error_code ec;
  for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec))
    if (it->is_directory(ec) && fs::exists(it->path() / kManifestName, ec)) found.push_back(it->path().string());
  std::sort(found.begin(), found.end());
  return found;
}

}  // namespace

LibraryBrowser::LibraryBrowser(Dialogs& dialogs, std::string userDataFolder)
    : dialogs_(dialogs), userDataFolder_(std::move(userDataFolder)) {
  const LibrarySettings settings = ReadLibrarySettings(userDataFolder_);
  Edit1 = settings.folder;
  CheckBox1 = settings.autoAdd;
}

LibraryBrowser::~LibraryBrowser() {
  std::error_code ec;
  if (!comparisons_.empty()) fs::remove_all(comparisons_, ec);
}

void LibraryBrowser::Changed() {
  if (onChanged) onChanged();
}

std::unique_ptr<FirmwareLibrary> LibraryBrowser::Open(FirmwareLibrary::Access access) {
  FirmwareLibrary::Opened opened = FirmwareLibrary::Open(Edit1, access);
  if (!opened.library) dialogs_.ShowMessage(opened.problem);
  return std::move(opened.library);
}

void LibraryBrowser::Refresh() {
  ListView1.clear();
  selected.clear();
  if (std::unique_ptr<FirmwareLibrary> library = Open(FirmwareLibrary::Access::Read)) {
    try {
      ListView1 = library->List({Edit2, Edit3, true});
    } catch (const SqliteError& e) {
      dialogs_.ShowMessage(DatabaseProblem(Edit1, e));
    }
  }
  ShowMatrix();
}

void LibraryBrowser::Button1Click() {
  const std::optional<std::string> chosen = dialogs_.ChooseFolder(Tr(kFolderTitle));
  if (!chosen) return;
  Edit1 = Trim(*chosen);
  if (!Edit1.ends_with('/')) Edit1 += '/';
  if (!SaveLibraryFolder(userDataFolder_, Edit1))
    dialogs_.ShowMessage(TrFormat("无法保存设置文件“{1}”！", userDataFolder_ + "settings"));
  Refresh();
}

void LibraryBrowser::CheckBox1Click() {
  if (!SaveAutoAdd(userDataFolder_, CheckBox1))
    dialogs_.ShowMessage(TrFormat("无法保存设置文件“{1}”！", userDataFolder_ + "settings"));
}

void LibraryBrowser::Button2Click() {
  const std::optional<std::string> chosen = dialogs_.ChooseFolder(Tr(kAddTitle));
  if (!chosen) return;
  const std::vector<std::string> folders = BackupFoldersIn(*chosen);
  if (folders.empty()) {
    dialogs_.ShowMessage(TrFormat("文件夹“{1}”及其子文件夹中都没有备份清单{2}。", *chosen, kManifestName));
    return;
  }
  std::unique_ptr<FirmwareLibrary> library = Open(FirmwareLibrary::Access::Write);
  if (!library) return;
  size_t added = 0, there = 0;
  std::vector<std::string> refused;
  for (const std::string& folder : folders) {
    const LibraryAdd outcome = library->Add(folder);
    if (outcome.kind == LibraryAdd::Kind::Added) ++added;
    else if (outcome.kind == LibraryAdd::Kind::AlreadyThere) ++there;
    else refused.push_back(folder + ": " + Lines(outcome.reasons).substr(1));
  }
  library.reset();
  Refresh();
  std::string message = TrFormat("加入了{1}个备份，{2}个库中已有，{3}个没有加入。", added, there, refused.size());
  dialogs_.ShowMessage(message + Lines(refused));
}

void LibraryBrowser::Select(std::vector<int> rows) {
  selected.clear();
  for (int row : rows)
    if (row >= 0 && row < static_cast<int>(ListView1.size())) selected.push_back(row);
  ShowMatrix();
}

void LibraryBrowser::ShowMatrix() {
  matrixDrives.clear();
  matrix = {};
  standings.clear();
  std::unique_ptr<FirmwareLibrary> library = selected.empty() ? nullptr : Open(FirmwareLibrary::Access::Read);
  if (library) {
    try {
      const LibraryBackup& backup = ListView1[selected.front()];
      const LibraryEntry drive{backup, library->Files(backup.id)};
      const std::vector<LibraryEntry> peers = library->Peers(backup);
      matrix = BuildMatrix(drive, peers);
      standings = StandingsOf(drive, peers);
      matrixDrives.push_back(backup);
      for (const LibraryEntry& peer : peers) matrixDrives.push_back(peer.backup);
    } catch (const SqliteError& e) {
      dialogs_.ShowMessage(DatabaseProblem(Edit1, e));
    }
  }
  Changed();
}

void LibraryBrowser::Button3Click() {
  if (selected.empty()) {
    dialogs_.ShowMessage(Tr("请先在表中选择要导出的备份！"));
    return;
  }
  const LibraryBackup backup = ListView1[selected.front()];
  const std::optional<std::string> chosen = dialogs_.ChooseFolder(Tr(kExportTitle));
  if (!chosen) return;
  std::unique_ptr<FirmwareLibrary> library = Open(FirmwareLibrary::Access::Read);
  if (!library) return;
  const LibraryExport outcome = library->Export(backup.id, *chosen);
  if (outcome.done)
    dialogs_.ShowMessage(TrFormat("备份{1}（序列号{2}）已导出到“{3}”。", backup.id, backup.serial, *chosen));
  else
    dialogs_.ShowMessage(Tr("没有导出：") + Lines(outcome.problems));
}

std::string LibraryBrowser::ComparisonFolder(FirmwareLibrary& library, const LibraryBackup& backup) {
  // Named by the backup's manifest: another library's backup of the same number is another backup.
  const std::string folder = comparisons_ + backup.manifestSha256.substr(0, 16) + "/";
  std::error_code ec;
  if (fs::exists(folder + kManifestName, ec)) return folder;
  const LibraryExport outcome = library.Export(backup.id, folder);
  if (outcome.done) return folder;
  dialogs_.ShowMessage(TrFormat("无法取出备份{1}：", backup.id) + Lines(outcome.problems));
  return {};
}

void LibraryBrowser::Button4Click() {
  if (selected.size() != 2) {
    dialogs_.ShowMessage(Tr("请在表中选择要比较的两个备份！"));
    return;
  }
  if (comparisons_.empty()) {
    // Folders of the program's own, removed with the window.
    std::string pattern = (fs::temp_directory_path() / "quorvane-compare-XXXXXX").string();
    if (!mkdtemp(pattern.data())) {
      dialogs_.ShowMessage(Tr("无法建立比较用的临时文件夹！"));
      return;
    }
    comparisons_ = pattern + "/";
  }
  std::unique_ptr<FirmwareLibrary> library = Open(FirmwareLibrary::Access::Read);
  if (!library) return;
  const std::string first = ComparisonFolder(*library, ListView1[selected[0]]);
  const std::string second = first.empty() ? std::string() : ComparisonFolder(*library, ListView1[selected[1]]);
  if (!second.empty() && onCompare) onCompare(first, second);
}

void LibraryBrowser::Button5Click() {
  if (!dialogs_.AskYesNo(Tr("提示"), TrFormat("从“{1}”中保存的清单和文件重建固件库的数据库，并逐一核对保存的文件吗？", Edit1)))
    return;
  const LibraryRebuild outcome = FirmwareLibrary::Rebuild(Edit1);
  Refresh();
  if (outcome.done)
    dialogs_.ShowMessage(TrFormat("重建完成：{1}个备份，核对了{2}个保存的文件，{3}处问题。", outcome.backups, outcome.files,
                                  outcome.problems.size()) +
                         Lines(outcome.problems));
  else
    dialogs_.ShowMessage(Tr("没有重建：") + Lines(outcome.problems));
}

}  // namespace qv
