#pragma once
// Whole-file reads and writes for the transfers: every data file is read or
// written in one piece and closed at once. Failures raise EFileError with the
// path and the system's reason, so a half-written file is never taken for a
// good one.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace qv {

std::vector<uint8_t> ReadWholeFile(const std::string& path);

// Creates or replaces the file with exactly these bytes. A regular file that
// could not be written whole is removed before the error is raised.
void WriteWholeFile(const std::string& path, const uint8_t* data, size_t size);
inline void WriteWholeFile(const std::string& path, const std::vector<uint8_t>& data) {
  WriteWholeFile(path, data.data(), data.size());
}

}  // namespace qv
