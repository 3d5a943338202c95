#include "lang/language_choice.h"

#include <cstdlib>

namespace qv {
namespace {

std::string Variable(const char* name) {
  const char* value = std::getenv(name);
  return value ? value : "";
}

// The language part of a locale or LANGUAGE entry: "en_GB.UTF-8@x" → "en".
std::string_view LanguagePart(std::string_view locale) {
  return locale.substr(0, locale.find_first_of("_.@"));
}

}  // namespace

LocaleVariables LocaleVariablesFromEnvironment() {
  return {Variable("LANGUAGE"), Variable("LC_ALL"), Variable("LC_MESSAGES"), Variable("LANG")};
}

Language ChooseLanguage(const LocaleVariables& variables) {
  std::string_view locale = "C";
  for (const std::string* value : {&variables.lcAll, &variables.lcMessages, &variables.lang})
    if (!value->empty()) {
      locale = *value;
      break;
    }
  // gettext reads no LANGUAGE under the plain C locale (C.UTF-8 is another).
  if (locale == "C" || locale == "POSIX") return Language::Chinese;
  for (std::string_view list = variables.language; !list.empty();) {
    const size_t colon = list.find(':');
    const std::string_view part = LanguagePart(list.substr(0, colon));
    if (part == "en") return Language::English;
    if (part == "zh") return Language::Chinese;
    list = colon == std::string_view::npos ? std::string_view() : list.substr(colon + 1);
  }
  const std::string_view language = LanguagePart(locale);
  return language == "zh" || language == "C" || language == "POSIX" ? Language::Chinese : Language::English;
}

std::optional<Language> LanguageFromCode(std::string_view code) {
  if (code == "zh") return Language::Chinese;
  if (code == "en") return Language::English;
  return std::nullopt;
}

const char* LanguageCode(Language language) { return language == Language::English ? "en" : "zh"; }

}  // namespace qv
