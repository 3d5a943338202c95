#pragma once
// Chooses the language at start-up: a language named for this run
// (quorvane-batch --lang) wins, then the one chosen in the main window's
// 语言 / Language menu (kept in the settings file of the user's data folder),
// then the locale variables as gettext reads them (lang/language_choice.h).
#include <optional>
#include <string>

#include "lang/translate.h"

namespace qv {

// The settings file: lines "key=value"; the language is "language=zh|en".
std::string SettingsPath(const std::string& userDataFolder);
// The language saved in the settings file, or nothing (no file, no line, or
// "follow the system").
std::optional<Language> SavedLanguage(const std::string& settingsPath);
// Saves the choice for the next start, keeping the file's other lines;
// nothing removes the line, so the system's locale decides again. False when
// the file cannot be written.
bool SaveLanguage(const std::string& settingsPath, std::optional<Language> language);

// Where the English catalogue is: beside the program (the build tree), else
// where the package installs it relative to the program (bin/../share/locale).
std::string CatalogueFolder(const std::string& programFolder);

// Chooses the language as above and shows texts in it from now on; English
// without its catalogue is said on stderr and gives Chinese. After
// QApplication: Qt sets the locale from the environment when it starts.
Language SetUpLanguage(std::optional<Language> forThisRun, const std::string& programFolder,
                       const std::string& userDataFolder);

}  // namespace qv
