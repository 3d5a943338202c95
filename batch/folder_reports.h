#pragma once
// The runner's operations on backup folders alone, without a drive:
// --check and --compare. One line per file, its name and its verdict
// separated by a tab, in the words the windows use, the files in the order
// a backup writes them; last a line that counts them ("9 files, 1 differs").
#include <string>

namespace qv {

struct FolderReport {
  std::string text;
  bool allGood = false;  // every file agrees with the manifest, or is the same in both
};

FolderReport CheckReport(const std::string& folder);
FolderReport CompareReport(const std::string& folder1, const std::string& folder2);

}  // namespace qv
