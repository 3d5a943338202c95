#pragma once
// Checking the files of a backup folder against its MANIFEST.TXT: the check
// before loading and quorvane-batch --check.
#include <optional>
#include <string>
#include <vector>

#include "firmware/manifest/manifest.h"

namespace qv {

// How one file stands against its manifest entry.
struct ManifestVerdict {
  enum class Kind { Agrees, Unreadable, SizeDiffers, HashDiffers, NotListed };
  std::string name;
  Kind kind = Kind::Agrees;
  std::string text;  // "一致", "大小不符：清单记为4096字节，文件为4000字节", ...
  bool Agrees() const { return kind == Kind::Agrees; }
};

// APP.BIN ... SN.TXT, the files a backup writes, in any letter case.
bool IsBackupFileName(const std::string& name);

// The file at `path` against `entry`: its size first (a file of another
// size is not read), then its SHA-256.
ManifestVerdict CheckAgainstEntry(const ManifestFile& entry, const std::string& path);

// A whole folder: every file its manifest lists, then the files of a backup
// (APP.BIN ... SN.TXT, in any letter case) that the folder holds and the
// manifest does not list. `problem` names what keeps the folder from being
// checked at all: no manifest, or one that is damaged or not ours.
struct FolderCheck {
  std::string problem;
  std::optional<Manifest> manifest;  // as read, when there is no problem
  std::vector<ManifestVerdict> files;
  bool AllAgree() const;
};
FolderCheck CheckFolder(const std::string& folder);

}  // namespace qv
