#pragma once
// Whole-file reads and writes for the transfers: every data file is read or
// written in one piece and closed at once. Failures raise EFileError with the
// path and the reason, so a half-written file is never taken for a good one
// and a file that is no use (a folder, a pipe, one too large) is never sent.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace qv {

// The file's bytes; anything but a regular file of at most maxBytes raises
// EFileError before a byte of it is read (see InputFile).
std::vector<uint8_t> ReadWholeFile(const std::string& path, uint64_t maxBytes);

// Creates or replaces the file with exactly these bytes. A regular file that
// could not be written whole is removed before the error is raised.
void WriteWholeFile(const std::string& path, const uint8_t* data, size_t size);
inline void WriteWholeFile(const std::string& path, const std::vector<uint8_t>& data) {
  WriteWholeFile(path, data.data(), data.size());
}

}  // namespace qv
