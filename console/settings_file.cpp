#include "console/settings_file.h"

#include <filesystem>
#include <fstream>
#include <sstream>
#include <vector>

namespace qv {

namespace fs = std::filesystem;

namespace {

std::vector<std::string> ReadLines(const std::string& path) {
  std::vector<std::string> lines;
  std::ifstream in(path);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

std::string Prefix(std::string_view key) { return std::string(key) + "="; }

}  // namespace

std::optional<std::string> SavedSetting(const std::string& settingsPath, std::string_view key) {
  std::optional<std::string> saved;
  const std::string prefix = Prefix(key);
  for (const std::string& line : ReadLines(settingsPath))
    if (line.starts_with(prefix)) saved = line.substr(prefix.size());
  return saved;
}

bool SaveSetting(const std::string& settingsPath, std::string_view key, const std::optional<std::string>& value) {
  const std::string prefix = Prefix(key);
  std::ostringstream text;
  for (const std::string& line : ReadLines(settingsPath))
    if (!line.starts_with(prefix)) text << line << '\n';
  if (value) text << prefix << *value << '\n';
  std::error_code ec;
  fs::create_directories(fs::path(settingsPath).parent_path(), ec);
  const std::string temporary = settingsPath + ".new";
  {
    std::ofstream out(temporary, std::ios::trunc);
    out << text.str();
    out.flush();
    if (!out) {
      fs::remove(temporary, ec);
      return false;
    }
  }
  fs::rename(temporary, settingsPath, ec);
  return !ec;
}

}  // namespace qv
