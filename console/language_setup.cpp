#include "console/language_setup.h"

#include <filesystem>
#include <iostream>

#include "console/settings_file.h"
#include "lang/language_choice.h"

namespace qv {

namespace fs = std::filesystem;

namespace {
constexpr std::string_view kLanguageKey = "language";
constexpr const char* kEnglishCatalogue = "/en/LC_MESSAGES/quorvane.mo";  // in the catalogue folder
}  // namespace

std::string SettingsPath(const std::string& userDataFolder) { return userDataFolder + "settings"; }

std::optional<Language> SavedLanguage(const std::string& settingsPath) {
  const std::optional<std::string> saved = SavedSetting(settingsPath, kLanguageKey);
  return saved ? LanguageFromCode(*saved) : std::nullopt;
}

bool SaveLanguage(const std::string& settingsPath, std::optional<Language> language) {
  return SaveSetting(settingsPath, kLanguageKey,
                     language ? std::optional<std::string>(LanguageCode(*language)) : std::nullopt);
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
