#include "library/object_store.h"

#include <sys/stat.h>

#include <filesystem>
#include <system_error>

#include "files/file_digest.h"
#include "lang/translate.h"

namespace qv {

bool IsSha256Name(std::string_view name) {
  if (name.size() != 64) return false;
  for (char c : name)
    if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'))) return false;
  return true;
}

ObjectStore::ObjectStore(std::string folder) : folder_(std::move(folder)) {}

std::string ObjectStore::PathFor(std::string_view sha256) const {
  return folder_ + std::string(sha256.substr(0, 2)) + "/" + std::string(sha256);
}

StoredBytes ObjectStore::Get(const std::string& sha256, uint64_t size) const {
  using State = StoredBytes::State;
  const std::string path = PathFor(sha256);
  FileBytes file = ReadFileBytes(path, kMaxStoredBytes);
  if (file.trouble.kind == FileTrouble::Kind::Missing) return {State::Missing, {}, Tr("库中缺少这个文件")};
  if (file.trouble) return {State::Unreadable, {}, file.trouble.reason};
  if (file.bytes.size() != size || Sha256Hex(file.bytes) != sha256)
    return {State::Damaged, {}, Tr("库中保存的文件已损坏：内容与其SHA-256不符")};
  return {State::Good, std::move(file.bytes), {}};
}

FileTrouble ObjectStore::Put(const std::string& sha256, std::string_view bytes, bool* repaired) const {
  const StoredBytes stored = Get(sha256, bytes.size());
  if (stored.Good()) return {};
  if (repaired) *repaired = stored.state == StoredBytes::State::Damaged;
  const std::string path = PathFor(sha256);
  std::error_code ec;
  std::filesystem::create_directories(std::filesystem::path(path).parent_path(), ec);
  if (const FileTrouble trouble = WriteFile(path, bytes)) return trouble;
  // Read-only: a stored file is never written again, only replaced whole
  // when it was found damaged.
  chmod(path.c_str(), 0444);
  return {};
}

}  // namespace qv
