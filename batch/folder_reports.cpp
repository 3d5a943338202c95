#include "batch/folder_reports.h"

#include "firmware/backup_compare.h"
#include "firmware/manifest_check.h"

namespace qv {

namespace {

std::string WithSlash(std::string folder) {
  if (!folder.ends_with('/')) folder += '/';
  return folder;
}

}  // namespace

FolderReport CheckReport(const std::string& folder) {
  const FolderCheck check = CheckFolder(folder);
  if (!check.problem.empty()) return {std::string(kManifestName) + "\t" + check.problem + "\n", false};
  FolderReport report{{}, check.AllAgree()};
  for (const ManifestVerdict& file : check.files) report.text += file.name + "\t" + file.text + "\n";
  return report;
}

FolderReport CompareReport(const std::string& folder1, const std::string& folder2) {
  FolderReport report{{}, true};
  for (const std::string& name : NamesInEither(folder1, folder2)) {
    const FileComparison c = CompareFileIn(WithSlash(folder1), WithSlash(folder2), name);
    report.allGood = report.allGood && c.Same();
    report.text += name + "\t" + VerdictText(c) + "\n";
  }
  return report;
}

}  // namespace qv
