#pragma once
// SHA-256 digests of bytes and of files, as lower-case hexadecimal: what a
// backup's manifest records and what the checks before loading compare.
#include <cstdint>
#include <string>
#include <string_view>

#include "files/file_io.h"

namespace qv {

std::string Sha256Hex(std::string_view bytes);

// A file's size and digest, read through InputFile in pieces (any size, only
// a piece in memory at a time); the trouble says why there is none.
struct FileDigest {
  uint64_t size = 0;
  std::string sha256;
  FileTrouble trouble;
  explicit operator bool() const { return !trouble; }
};
FileDigest DigestFile(const std::string& path);

}  // namespace qv
