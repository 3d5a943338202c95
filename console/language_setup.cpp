#include "console/language_setup.h"

#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>
#include <vector>

#include "lang/language_choice.h"

namespace qv {

namespace fs = std::filesystem;

namespace {

constexpr std::string_view kLanguageKey = "language=";
constexpr const char* kEnglishCatalogue = "/en/LC_MESSAGES/quorvane.mo";  // in the catalogue folder

std::vector<std::string> ReadLines(const std::string& path) {
  std::vector<std::string> lines;
  std::ifstream in(path);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

}  // namespace

std::string SettingsPath(const std::string& userDataFolder) { return userDataFolder + "settings"; }

std::optional<Language> SavedLanguage(const std::string& settingsPath) {
  std::optional<Language> saved;
  for (const std::string& line : ReadLines(settingsPath))
    if (line.starts_with(kLanguageKey)) saved = LanguageFromCode(std::string_view(line).substr(kLanguageKey.size()));
  return saved;
}

bool SaveLanguage(const std::string& settingsPath, std::optional<Language> language) {
  std::ostringstream text;
  for (const std::string& line : ReadLines(settingsPath))
    if (!line.starts_with(kLanguageKey)) text << line << '\n';
  if (language) text << kLanguageKey << LanguageCode(*language) << '\n';
  std::error_code ec;
  fs::create_directories(fs::path(settingsPath).parent_path(), ec);
  // Written beside and renamed over, so a full disk never leaves half a file.
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

std::string CatalogueFolder(const std::string& programFolder) {
  const std::string beside = programFolder + "locale";
  std::error_code ec;
  if (fs::is_regular_file(beside + kEnglishCatalogue, ec)) return beside;
  return fs::weakly_canonical(fs::path(programFolder) / ".." / "share" / "locale", ec).string();
}

Language SetUpLanguage(std::optional<Language> forThisRun, const std::string& programFolder,
                       const std::string& userDataFolder) {
  std::optional<Language> language = forThisRun;
  if (!language) language = SavedLanguage(SettingsPath(userDataFolder));
  if (!language) language = ChooseLanguage(LocaleVariablesFromEnvironment());
  const std::string folder = CatalogueFolder(programFolder);
  const std::string catalogue = folder + kEnglishCatalogue;
  std::error_code ec;
  if (*language == Language::English && !fs::is_regular_file(catalogue, ec)) {
    // Said rather than silently showing the Chinese source texts.
    std::cerr << "Quorvane: English was chosen, but its catalogue " << catalogue
              << " is missing: the texts stay Chinese.\n";
    language = Language::Chinese;
  }
  UseLanguage(*language, folder);
  return *language;
}

}  // namespace qv
