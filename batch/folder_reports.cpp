#include "batch/folder_reports.h"

#include "firmware/backup_compare.h"
#include "firmware/manifest.h"
#include "firmware/manifest_check.h"

namespace qv {

namespace {

std::string WithSlash(std::string folder) {
  if (!folder.ends_with('/')) folder += '/';
  return folder;
}

// What the manifest says of the backup as a whole, as its [backup] section
// has it: a backup cut short is no good copy, however well its files agree.
std::string BackupHeader(const Manifest& m) {
  const auto yesNo = [](bool value) { return value ? "yes" : "no"; };
  return "[backup]\tfamily=" + m.family + " drive=" + m.drive + " serial=" + m.serial + " time=" + m.time +
         " complete=" + yesNo(m.complete) + " verified=" + yesNo(m.verified) + "\n";
}

}  // namespace

FolderReport CheckReport(const std::string& folder) {
  const FolderCheck check = CheckFolder(folder);
  if (!check.problem.empty()) return {std::string(kManifestName) + "\t" + check.problem + "\n", false};
  FolderReport report{BackupHeader(*check.manifest), check.AllAgree() && check.manifest->complete};
  for (const ManifestVerdict& file : check.files) report.text += file.name + "\t" + file.text + "\n";
  if (!check.manifest->complete) report.text += std::string(kManifestName) + "\t备份不完整（complete=no）\n";
  return report;
}

FolderReport CompareReport(const std::string& folder1, const std::string& folder2) {
  FolderReport report{{}, true};
  // Two folders that cannot be listed, or hold no module, are not "the same".
  bool modules = false;
  for (const std::string& folder : {folder1, folder2}) {
    const FolderListing listing = ListComparedFolder(folder);
    if (!listing.problem.empty()) {
      report.text += folder + "\t无法列出文件夹：" + listing.problem + "\n";
      report.allGood = false;
    }
    for (const std::string& sub : listing.subfolders) report.text += WithSlash(folder) + sub + "/\t子文件夹，未比较\n";
    for (const std::string& name : listing.files) modules = modules || IsBackupFileName(name);
  }
  if (!modules && report.allGood) {
    report.text += "\t两个文件夹中都没有备份的模块文件，无从比较\n";
    report.allGood = false;
  }
  for (const std::string& name : NamesInEither(folder1, folder2)) {
    const FileComparison c = CompareFileIn(WithSlash(folder1), WithSlash(folder2), name);
    report.allGood = report.allGood && c.Same();
    report.text += name + "\t" + VerdictText(c) + "\n";
  }
  return report;
}

}  // namespace qv
