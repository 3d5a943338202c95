#include "library/module_standing.h"

#include <algorithm>
#include <map>

#include "console/text.h"
#include "firmware/manifest/manifest.h"
#include "lang/translate.h"

namespace qv {

namespace {

// Names as keys: a folder copied between systems may change their letter case.
std::string Key(const std::string& name) { return UpperCase(name); }

const LibraryFile* FileOf(const LibraryEntry& entry, const std::string& key) {
  for (const LibraryFile& file : entry.files)
    if (Key(file.name) == key) return &file;
  return nullptr;
}

// The copies of one module across the drives: how many hold each, and their
// order by that count (the first seen first among equals: the newest).
struct Copies {
  std::map<std::string, size_t> count;
  std::vector<std::string> byCount;
  size_t holders = 0;

  void Add(const std::string& sha256) {
    if (count[sha256]++ == 0) byCount.push_back(sha256);
    ++holders;
  }
  void Order() {
    std::stable_sort(byCount.begin(), byCount.end(),
                     [this](const std::string& a, const std::string& b) { return count[a] > count[b]; });
  }
  Standing StandingOf(const std::string& sha256) const {
    const size_t same = count.at(sha256);
    if (holders == 1) return Standing::Alone;
    if (same == holders) return Standing::Identical;
    if (count.size() == holders && holders > 2) return Standing::PerDrive;
    if (same == 1) return Standing::Unique;
    return Standing::Variant;
  }
};

std::string VariantName(size_t rank) {
  return rank < 26 ? std::string(1, static_cast<char>('A' + rank)) : std::to_string(rank + 1);
}

}  // namespace

bool IsComparedModule(const std::string& name) { return Key(name) != Key(module_file::kSn); }

std::vector<ModuleStanding> StandingsOf(const LibraryEntry& drive, const std::vector<LibraryEntry>& peers) {
  std::vector<ModuleStanding> standings;
  for (const LibraryFile& file : drive.files) {
    if (!IsComparedModule(file.name)) continue;
    Copies copies;
    copies.Add(file.sha256);
    for (const LibraryEntry& peer : peers)
      if (const LibraryFile* theirs = FileOf(peer, Key(file.name))) copies.Add(theirs->sha256);
    standings.push_back({file.name, copies.StandingOf(file.sha256), copies.holders - 1, copies.count[file.sha256] - 1,
                         copies.count.size()});
  }
  return standings;
}

std::string StandingText(const ModuleStanding& m) {
  switch (m.standing) {
    case Standing::Alone: return Tr("没有同一系列和固件的其他硬盘可比");
    case Standing::Identical:
      return m.others == 1 ? Tr("与另一块硬盘的相同") : TrFormat("与其他{1}块硬盘的都相同", m.others);
    case Standing::Variant:
      return TrFormat("{1}个版本之一，与其他{3}块硬盘中的{2}块相同", m.variants, m.same, m.others);
    case Standing::Unique:
      return m.others == 1 ? Tr("与另一块硬盘的不同") : TrFormat("与其他{1}块硬盘的都不同（可疑）", m.others);
    case Standing::PerDrive: return TrFormat("{1}块硬盘的各不相同（各盘专有）", m.others + 1);
  }
  return {};
}

DonorChoice FindDonors(const LibraryEntry& drive, const std::vector<LibraryEntry>& peers, const std::string& module) {
  std::string key = Key(Trim(module));
  const auto anyHolds = [&](const std::string& k) {
    if (FileOf(drive, k)) return true;
    return std::any_of(peers.begin(), peers.end(), [&](const LibraryEntry& p) { return FileOf(p, k) != nullptr; });
  };
  if (!anyHolds(key) && key.find('.') == std::string::npos && anyHolds(key + ".BIN")) key += ".BIN";

  DonorChoice choice;
  Copies copies;
  for (const LibraryEntry& peer : peers) {
    if (const LibraryFile* file = FileOf(peer, key)) {
      copies.Add(file->sha256);
      if (choice.module.empty()) choice.module = file->name;
    }
  }
  if (const LibraryFile* own = FileOf(drive, key); own && choice.module.empty()) choice.module = own->name;
  if (copies.holders == 0) return choice;
  copies.Order();
  choice.holders = copies.holders;
  choice.commonCount = copies.count[copies.byCount.front()];
  for (const std::string& sha256 : copies.byCount)
    if (copies.count[sha256] == choice.commonCount) ++choice.commonCopies;
  const auto isCommon = [&](const std::string& sha256) { return copies.count[sha256] == choice.commonCount; };
  for (const LibraryEntry& peer : peers)
    if (const LibraryFile* file = FileOf(peer, key); file && isCommon(file->sha256)) choice.donors.push_back(peer.backup);
  const LibraryFile* own = FileOf(drive, key);
  choice.driveHasCommon = own && copies.count.contains(own->sha256) && isCommon(own->sha256);
  return choice;
}

ModuleMatrix BuildMatrix(const LibraryEntry& drive, const std::vector<LibraryEntry>& peers) {
  std::vector<const LibraryEntry*> rows{&drive};
  for (const LibraryEntry& peer : peers) rows.push_back(&peer);
  ModuleMatrix matrix;
  // The modules in the order of the backups' files, the drive's first.
  std::vector<std::string> keys;
  for (const LibraryEntry* row : rows)
    for (const LibraryFile& file : row->files)
      if (IsComparedModule(file.name) && std::find(keys.begin(), keys.end(), Key(file.name)) == keys.end()) {
        keys.push_back(Key(file.name));
        matrix.modules.push_back(file.name);
      }
  matrix.rows.assign(rows.size(), std::vector<ModuleMatrix::Cell>(keys.size()));
  size_t column = 0;
  for (const std::string& key : keys) {
    Copies copies;
    for (const LibraryEntry* row : rows)
      if (const LibraryFile* file = FileOf(*row, key)) copies.Add(file->sha256);
    copies.Order();
    for (size_t r = 0; r < rows.size(); ++r) {
      const LibraryFile* file = FileOf(*rows[r], key);
      if (!file) continue;
      const size_t rank = std::find(copies.byCount.begin(), copies.byCount.end(), file->sha256) - copies.byCount.begin();
      matrix.rows[r][column] = {true, VariantName(rank), copies.StandingOf(file->sha256), file->sha256};
    }
    ++column;
  }
  return matrix;
}

}  // namespace qv
