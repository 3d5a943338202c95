#pragma once
// Whole-file reads and writes with every failure reported, for the file
// window, the batch scripts and the headless runner.
#include <optional>
#include <string>
#include <string_view>

namespace qv {

// True for an existing file that is not a folder.
bool FileExists(const std::string& path);
// True when the file can be opened for reading.
bool ReadableFile(const std::string& path);

// The file's bytes, or nothing when it cannot be opened or read.
std::optional<std::string> ReadFileBytes(const std::string& path);

// Creates or replaces the file with `bytes`. False when it cannot be created
// or when any byte cannot be written (a full disk shows up at the final
// flush and close, so those are checked too).
bool WriteFileBytes(const std::string& path, std::string_view bytes);
// Creates the file with `bytes` only when nothing of that name exists yet;
// an incomplete file is removed again. False when it existed or failed.
bool CreateFileBytes(const std::string& path, std::string_view bytes);

}  // namespace qv
