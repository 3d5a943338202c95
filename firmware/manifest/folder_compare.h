#pragma once
// Comparing two backup folders file by file: what differs between a donor's
// modules and a patient's, or between two backups of one drive.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "firmware/manifest/manifest.h"

namespace qv {

// Files larger than the largest module the loading takes are not compared.
inline constexpr uint64_t kMaxComparedBytes = 1048576;
// How many differing offsets a verdict names.
inline constexpr size_t kNamedOffsets = 8;

// What a backup folder holds for a comparison: its regular files but the
// manifests (which always differ) and what an interrupted write left behind
// (the writer's temporary files, the verified read's "APP.BIN.read1"), and
// the subfolders, which are not entered. `problem` says why the folder
// could not be listed.
struct FolderListing {
  std::vector<std::string> files, subfolders;  // sorted
  std::string problem;
};
FolderListing ListComparedFolder(const std::string& folder);

// The names of the files of either folder, as listed above, sorted.
std::vector<std::string> NamesInEither(const std::string& folder1, const std::string& folder2);

// Which files a comparison judges. A backup folder holds what its manifest
// lists and whatever else was put beside it (a log, a ROM image, notes):
// when either folder has a manifest, only the files a manifest lists are
// judged and the others are named without a verdict, so that two backups of
// one drive compare as the same. Folders of older backups, without a
// manifest, have every file judged.
class JudgedFiles {
 public:
  JudgedFiles() = default;  // every file
  JudgedFiles(const std::string& folder1, const std::string& folder2);
  bool Judged(const std::string& name) const;

 private:
  std::vector<Manifest> manifests_;
};

struct FileComparison {
  // NotListed: a file no manifest lists, named without a verdict.
  enum class Verdict { Same, OnlyInFirst, OnlyInSecond, Differ, NotCompared, NotListed };
  Verdict verdict = Verdict::Same;
  uint64_t size1 = 0, size2 = 0;
  uint64_t differingBytes = 0;          // bytes past the shorter file's end count too
  std::vector<uint64_t> firstOffsets;   // at most kNamedOffsets
  std::string reason;                   // NotCompared: which file and why
  bool Same() const { return verdict == Verdict::Same; }
  bool Judged() const { return verdict != Verdict::NotListed; }
};

// The bytes of two files side by side.
FileComparison CompareBytes(std::string_view a, std::string_view b);
// The file `name` of both folders (each ending in '/'), when `judged` judges it.
FileComparison CompareFileIn(const std::string& folder1, const std::string& folder2, const std::string& name,
                             const JudgedFiles& judged);

// "相同", "仅在第一个文件夹中", "不同：3字节不同，首处在0x10、0x11、0x200", ...
std::string VerdictText(const FileComparison& comparison);

// The first offset from `from` on at which the two differ (a byte that only
// one of them has differs); none past the end of both.
std::optional<uint64_t> NextDifference(std::string_view a, std::string_view b, uint64_t from);

}  // namespace qv
