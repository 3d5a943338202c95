#pragma once
// Which language the technician reads, chosen as gettext chooses a catalogue:
//   1. The locale of messages is the first set and non-empty of LC_ALL,
//      LC_MESSAGES, LANG; none means "C".
//   2. Unless that locale is "C" or "POSIX", LANGUAGE (a list such as
//      "de:en_GB:zh") is read left to right; the first entry in English or
//      Chinese decides.
//   3. Otherwise the locale decides: its language (before '_', '.' or '@')
//      "zh", "C" and "POSIX" (C.UTF-8 too) give the Chinese source texts, any other
//      language English: a technician in Germany or Russia reads English
//      more readily than Chinese, which gettext would fall back to.
// The decision uses the names only: an English locale that is not generated
// on the machine still gives English.
#include <optional>
#include <string>
#include <string_view>

#include "lang/translate.h"

namespace qv {

struct LocaleVariables {
  std::string language;     // LANGUAGE
  std::string lcAll;        // LC_ALL
  std::string lcMessages;   // LC_MESSAGES
  std::string lang;         // LANG
};

LocaleVariables LocaleVariablesFromEnvironment();
Language ChooseLanguage(const LocaleVariables& variables);

// "zh" / "en" (as --lang and the settings file write them), or nothing.
std::optional<Language> LanguageFromCode(std::string_view code);
const char* LanguageCode(Language language);

}  // namespace qv
