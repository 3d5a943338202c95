#pragma once
// How each module of a drive stands against the same module of the other
// drives of its family and firmware: the same on all of them, one of several
// variants, or different from every other (the one to suspect); and which
// drives hold the copy most of them share (the donors). A module that
// differs on every one of three or more drives is each drive's own (the
// vendor data with its serial number), which says nothing against any.
#include <cstddef>
#include <string>
#include <vector>

#include "library/library.h"

namespace qv {

// The module files of a backup: every file but SN.TXT, which names the drive.
bool IsComparedModule(const std::string& name);

enum class Standing { Alone, Identical, Variant, Unique, PerDrive };

struct ModuleStanding {
  std::string name;  // as the drive's backup names it
  Standing standing = Standing::Alone;
  size_t others = 0;    // other drives whose backup holds the module
  size_t same = 0;      // of them, those with the drive's copy
  size_t variants = 0;  // different copies among the drive and the others
};
// The drive's modules in its backup's order; `peers` as FirmwareLibrary::Peers gives them.
std::vector<ModuleStanding> StandingsOf(const LibraryEntry& drive, const std::vector<LibraryEntry>& peers);
// "与其他14块硬盘的都相同", "3个版本之一，与其他9块硬盘中的2块相同" ...
std::string StandingText(const ModuleStanding& module);

struct DonorChoice {
  std::string module;       // the name as the drives' backups have it; empty when none holds it
  size_t holders = 0;       // other drives whose backup holds the module
  size_t commonCount = 0;   // of them, those with the common copy
  size_t commonCopies = 0;  // more than 1: that many copies are equally common
  bool driveHasCommon = false;
  std::vector<LibraryBackup> donors;  // newest first
};
// `module` in any letter case, with or without ".BIN".
DonorChoice FindDonors(const LibraryEntry& drive, const std::vector<LibraryEntry>& peers, const std::string& module);

// The drive and the other drives side by side: a row per drive (the drive
// first, then `peers` in their order), a column per module of any of them.
// Each cell names its copy by a letter, A for the copy most drives hold.
struct ModuleMatrix {
  struct Cell {
    bool present = false;
    std::string variant;  // "A", "B" ...
    Standing standing = Standing::Alone;
    std::string sha256;
  };
  std::vector<std::string> modules;
  std::vector<std::vector<Cell>> rows;
};
ModuleMatrix BuildMatrix(const LibraryEntry& drive, const std::vector<LibraryEntry>& peers);

}  // namespace qv
