#pragma once
// Files kept by the SHA-256 of their content: <folder>/ab/abcdef... (the first
// two digits as a subfolder, so that no folder holds more than a few thousand
// files). A content is stored once, however many backups hold it, and a
// stored file is never changed: it is made read-only, and one whose bytes no
// longer match its name is damaged, never handed out.
#include <cstdint>
#include <string>
#include <string_view>

#include "files/file_io.h"

namespace qv {

// Larger than any file of a backup folder; a larger one is no module.
inline constexpr uint64_t kMaxStoredBytes = 64ull << 20;

bool IsSha256Name(std::string_view name);

struct StoredBytes {
  enum class State { Good, Missing, Damaged, Unreadable };
  State state = State::Missing;
  std::string bytes;   // Good only
  std::string reason;  // why not Good, in the technician's words
  bool Good() const { return state == State::Good; }
};

class ObjectStore {
 public:
  explicit ObjectStore(std::string folder);  // ends in '/'

  std::string PathFor(std::string_view sha256) const;
  // Stores `bytes`, whose SHA-256 is `sha256` (the caller has checked).
  // Nothing is written when the file is there with that content; a stored
  // file that is damaged is replaced by the good bytes (`repaired` then).
  FileTrouble Put(const std::string& sha256, std::string_view bytes, bool* repaired = nullptr) const;
  // The stored content, checked against its name (and `size`).
  StoredBytes Get(const std::string& sha256, uint64_t size) const;

 private:
  std::string folder_;
};

}  // namespace qv
