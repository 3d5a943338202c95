#include "lang/translate.h"

#include <libintl.h>

#include <atomic>
#include <clocale>
#include <cstdlib>

namespace qv {
namespace {

constexpr const char* kDomain = "quorvane";
std::atomic<Language> current{Language::Chinese};
// LANGUAGE as it was before English set it, to put back on a return to Chinese.
struct {
  bool kept = false;
  bool set = false;
  std::string value;
} userLanguage;

}  // namespace

Language CurrentLanguage() { return current.load(); }

// gettext picks a catalogue by the LC_MESSAGES locale and, unless that locale
// is "C", by LANGUAGE. The language has already been chosen (see
// language_choice.h), and an English locale the user names need not be
// generated on the machine; so the choice is handed to gettext in the one way
// that does not depend on installed locales: LANGUAGE names the catalogue,
// and LC_MESSAGES is C.UTF-8 (built into glibc) when it would be "C" —
// including after a failed setlocale for a missing locale. The Chinese source
// texts need no catalogue at all: Tr() returns them without asking gettext.
// Programs the program starts inherit LANGUAGE=en with English, which is
// what the technician chose.
void UseLanguage(Language language, const std::string& catalogueFolder) {
  if (language == Language::English && !userLanguage.kept) {
    const char* value = std::getenv("LANGUAGE");
    userLanguage = {true, value != nullptr, value ? value : ""};
  }
  if (language == Language::Chinese && userLanguage.kept) {
    if (userLanguage.set) setenv("LANGUAGE", userLanguage.value.c_str(), 1);
    else unsetenv("LANGUAGE");
    userLanguage.kept = false;
  }
  if (language == Language::English) {
    bindtextdomain(kDomain, catalogueFolder.c_str());
    bind_textdomain_codeset(kDomain, "UTF-8");
    setenv("LANGUAGE", "en", 1);
    const char* now = setlocale(LC_MESSAGES, nullptr);
    const std::string messages = now ? now : "C";
    // Setting the locale again also drops gettext's cache of earlier look-ups.
    setlocale(LC_MESSAGES, messages == "C" || messages == "POSIX" ? "C.UTF-8" : messages.c_str());
  }
  current.store(language);
}

std::string Tr(const char* source) {
  if (current.load() == Language::Chinese || *source == '\0') return source;
  return dgettext(kDomain, source);
}

std::string Tr(std::string_view source) { return Tr(std::string(source).c_str()); }

std::string TrPluralForm(const char* singular, const char* plural, unsigned long long count) {
  if (current.load() == Language::Chinese) return singular;
  return dngettext(kDomain, singular, plural, static_cast<unsigned long>(count));
}

}  // namespace qv
