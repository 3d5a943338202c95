#include "library/library_settings.h"

#include "console/language_setup.h"
#include "console/main.h"
#include "console/settings_file.h"
#include "firmware/manifest/manifest.h"
#include "lang/translate.h"
#include "library/library.h"
#include "library/library_index.h"

namespace qv {

namespace {
constexpr const char* kFolderKey = "library";
constexpr const char* kAutoAddKey = "library-auto-add";
}  // namespace

std::string DefaultLibraryFolder(const std::string& userDataFolder) { return userDataFolder + "library/"; }

LibrarySettings ReadLibrarySettings(const std::string& userDataFolder) {
  const std::string path = SettingsPath(userDataFolder);
  const std::optional<std::string> folder = SavedSetting(path, kFolderKey);
  LibrarySettings settings{folder && !folder->empty() ? WithSlash(*folder) : DefaultLibraryFolder(userDataFolder)};
  settings.autoAdd = SavedSetting(path, kAutoAddKey) != "no";
  return settings;
}

bool SaveLibraryFolder(const std::string& userDataFolder, const std::string& folder) {
  return SaveSetting(SettingsPath(userDataFolder), kFolderKey, WithSlash(folder));
}

bool SaveAutoAdd(const std::string& userDataFolder, bool autoAdd) {
  return SaveSetting(SettingsPath(userDataFolder), kAutoAddKey, std::string(autoAdd ? "yes" : "no"));
}

void AddFinishedBackup(TFrmMain& main, const std::string& backupFolder, const std::string& libraryFolder) {
  const FolderManifest found = ReadFolderManifest(backupFolder);
  if (!found.read.manifest || !found.read.manifest->complete) {
    main.AddLine(Tr("备份不完整，没有加入固件库。"));
    return;
  }
  main.AddLine(Tr("正在加入固件库......"));
  FirmwareLibrary::Opened opened = FirmwareLibrary::Open(libraryFolder, FirmwareLibrary::Access::Write);
  const LibraryAdd added = opened.library ? opened.library->Add(backupFolder)
                                          : LibraryAdd{LibraryAdd::Kind::Failed, 0, {opened.problem}};
  switch (added.kind) {
    case LibraryAdd::Kind::Added: main.AppendToLastLine(TrFormat("完成！（编号{1}）", added.id)); break;
    case LibraryAdd::Kind::AlreadyThere: main.AppendToLastLine(TrFormat("库中已有（编号{1}）。", added.id)); break;
    case LibraryAdd::Kind::Refused:
    case LibraryAdd::Kind::Failed:
      main.AppendToLastLine(Tr("失败！"));
      for (const std::string& reason : added.reasons) main.AddLine(reason);
      break;
  }
}

std::function<void(const std::string&)> AutoAddHook(TFrmMain& main, const std::string& libraryFolder) {
  // The settings as they are when the backup ends: the library window may
  // have changed them since.
  return [&main, libraryFolder](const std::string& backup) {
    // A console without a data folder of the user's has no library of its own.
    const std::string& userData = main.ownFiles.UserDir();
    if (userData.empty() && libraryFolder.empty()) return;
    const LibrarySettings settings = ReadLibrarySettings(userData);
    if (settings.autoAdd) AddFinishedBackup(main, backup, libraryFolder.empty() ? settings.folder : libraryFolder);
  };
}

}  // namespace qv
