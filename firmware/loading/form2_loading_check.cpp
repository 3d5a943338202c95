// The check before loading: a folder written by the backup names each of its
// files with size and SHA-256, so a file changed since (a line error in an
// earlier copy, a file replaced by hand, a folder of another drive) is
// refused before the drive hears anything.
#include <filesystem>

#include "console/text.h"
#include "firmware/loading/form2_loading.h"
#include "firmware/manifest/manifest_check.h"
#include "lang/translate.h"

namespace qv {

bool TForm2::CheckManifests() {
  checkedDigests_.clear();
  Dialogs& dialogs = main_.Dlg();
  const struct {
    bool ticked;
    const std::string& field;
  } modules[] = {{CheckBox1, Edit1}, {CheckBox2, Edit2}, {CheckBox3, Edit6}, {CheckBox4, Edit4}, {CheckBox6, Edit5}};
  std::map<std::string, FolderManifest> folders;  // each read and asked about once
  std::map<std::string, bool> familyAccepted;
  for (const auto& m : modules) {
    if (!m.ticked) continue;
    const std::string path = Trim(m.field);
    const std::filesystem::path file(path);
    const std::string folder = file.has_parent_path() ? file.parent_path().string() + "/" : "./";
    const std::string name = file.filename().string();
    auto [at, fresh] = folders.try_emplace(folder);
    if (fresh) at->second = ReadFolderManifest(folder);
    const FolderManifest& found = at->second;
    if (!found.present) continue;  // a folder of an older backup loads as it always did
    const std::string manifestPath = folder + kManifestName;
    if (!found.read.manifest) {
      dialogs.ShowMessage(
          TrFormat("备份清单“{1}”有误：{2}。无法核对模块文件，不能加载！", manifestPath, found.read.problem));
      return false;
    }
    const Manifest& manifest = *found.read.manifest;
    const ManifestFile* entry = manifest.Find(name);
    if (!entry) {
      dialogs.ShowMessage(TrFormat("模块文件“{1}”不在备份清单“{2}”中，不能加载！", path, manifestPath));
      return false;
    }
    const ManifestVerdict verdict = CheckAgainstEntry(*entry, path);
    if (!verdict.Agrees()) {
      dialogs.ShowMessage(TrFormat("模块文件“{1}”与备份清单不符：{2}。不能加载！", path, verdict.text));
      return false;
    }
    checkedDigests_[path] = entry->sha256;
    const std::string chosen = Trim(ComboBox7Text);
    if (chosen.empty() || UpperCase(Trim(manifest.family)) == UpperCase(chosen)) continue;
    auto [asked, first] = familyAccepted.try_emplace(folder);
    if (first)
      asked->second = dialogs.AskYesNo(
          Tr("提示"), TrFormat("备份清单中的固件类型是“{1}”，与所选的固件类型“{2}”不同。仍然加载吗？", manifest.family, chosen));
    if (!asked->second) return false;
  }
  return true;
}

}  // namespace qv
