#pragma once
// The settings file of the user's data folder: lines "key=value", each key
// once. A program that saves one setting keeps the others' lines as they are.
#include <optional>
#include <string>
#include <string_view>

namespace qv {

// The value saved under `key`, or nothing (no file, no line).
std::optional<std::string> SavedSetting(const std::string& settingsPath, std::string_view key);
// Saves `value` under `key` (nothing removes the line), keeping the file's
// other lines. Written beside and renamed over, so a full disk never leaves
// half a file. False when the file cannot be written.
bool SaveSetting(const std::string& settingsPath, std::string_view key, const std::optional<std::string>& value);

}  // namespace qv
