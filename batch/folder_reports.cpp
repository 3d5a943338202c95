#include "batch/folder_reports.h"

#include <algorithm>
#include <iterator>

#include "console/text.h"
#include "files/folder_check.h"
#include "firmware/manifest/folder_compare.h"
#include "firmware/manifest/manifest.h"
#include "firmware/manifest/manifest_check.h"
#include "lang/translate.h"

namespace qv {

namespace {

// What the manifest says of the backup as a whole, as its [backup] section
// has it: a backup cut short is no good copy, however well its files agree.
std::string BackupHeader(const Manifest& m) {
  const auto yesNo = [](bool value) { return value ? "yes" : "no"; };
  return "[backup]\tfamily=" + m.family + " drive=" + m.drive + " serial=" + m.serial + " time=" + m.time +
         " complete=" + yesNo(m.complete) + " verified=" + yesNo(m.verified) + "\n";
}

// Both reports list a folder's files in one order, the backup's own (APP
// first, SN.TXT last), then any other file by name, so that a check and a
// comparison of the same folder read side by side.
size_t BackupRank(const std::string& name) {
  using namespace module_file;
  static const char* const kOrder[] = {kApp, kCert, kCert0, kCert1, kTable, kTable0, kAta,
                                       kAta0, kAta1, kVendor, kId, kSn};
  const std::string upper = UpperCase(name);
  for (size_t i = 0; i < std::size(kOrder); ++i)
    if (upper == UpperCase(kOrder[i])) return i;
  return std::size(kOrder);
}

bool InBackupOrder(const std::string& a, const std::string& b) {
  const size_t rankA = BackupRank(a), rankB = BackupRank(b);
  return rankA != rankB ? rankA < rankB : a < b;
}

std::string Files(size_t n) { return std::to_string(n) + (n == 1 ? " file" : " files"); }

}  // namespace

FolderReport CheckReport(const std::string& folder) {
  FolderCheck check = CheckFolder(folder);
  if (!check.problem.empty()) return {std::string(kManifestName) + "\t" + check.problem + "\n", false};
  std::stable_sort(check.files.begin(), check.files.end(),
                   [](const ManifestVerdict& a, const ManifestVerdict& b) { return InBackupOrder(a.name, b.name); });
  FolderReport report{BackupHeader(*check.manifest), check.AllAgree() && check.manifest->complete};
  size_t disagreeing = 0;
  for (const ManifestVerdict& file : check.files) {
    report.text += file.name + "\t" + file.text + "\n";
    if (!file.Agrees()) ++disagreeing;
  }
  if (!check.manifest->complete) report.text += std::string(kManifestName) + "\t" + Tr("备份不完整（complete=no）") + "\n";
  report.text += Files(check.files.size()) + ", " +
                 (disagreeing == 0 ? std::string("all agree with ") + kManifestName
                                   : std::to_string(disagreeing) + (disagreeing == 1 ? " does" : " do") +
                                         " not agree with " + kManifestName) +
                 "\n";
  return report;
}

FolderReport CompareReport(const std::string& folder1, const std::string& folder2) {
  FolderReport report{{}, true};
  // Two folders that cannot be listed, or hold no module, are not "the same".
  bool modules = false;
  for (const std::string& folder : {folder1, folder2}) {
    const FolderListing listing = ListComparedFolder(folder);
    if (!listing.problem.empty()) {
      report.text += folder + "\t" + TrFormat("无法列出文件夹：{1}", listing.problem) + "\n";
      report.allGood = false;
    }
    for (const std::string& sub : listing.subfolders) report.text += WithSlash(folder) + sub + "/\t" + Tr("子文件夹，未比较") + "\n";
    for (const std::string& name : listing.files) modules = modules || IsBackupFileName(name);
  }
  if (!modules && report.allGood) {
    report.text += "\t" + Tr("两个文件夹中都没有备份的模块文件，无从比较") + "\n";
    report.allGood = false;
  }
  std::vector<std::string> names = NamesInEither(folder1, folder2);
  std::stable_sort(names.begin(), names.end(), InBackupOrder);
  const JudgedFiles judged(folder1, folder2);
  size_t compared = 0, differing = 0;
  for (const std::string& name : names) {
    const FileComparison c = CompareFileIn(WithSlash(folder1), WithSlash(folder2), name, judged);
    if (c.Judged()) ++compared;
    if (c.Judged() && !c.Same()) ++differing;
    report.text += name + "\t" + VerdictText(c) + "\n";
  }
  const std::string verdict = differing != 0   ? std::to_string(differing) + (differing == 1 ? " differs" : " differ")
                              : compared == 0  ? std::string("nothing compared")
                              : report.allGood ? std::string("all the same")
                                               : std::string("none differs, but the folders are not the same (see above)");
  report.allGood = report.allGood && differing == 0;
  report.text += Files(compared) + ", " + verdict + "\n";
  return report;
}

}  // namespace qv
