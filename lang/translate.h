#pragma once
// The program's texts in the technician's language.
//
// The Chinese texts written in the code are the source texts; an English
// catalogue (po/en.po, compiled by gettext's msgfmt into quorvane.mo)
// translates them. Texts are marked where they are written, so that
// scripts/update_po.sh finds them all:
//   Tr("写入完成！")                          a text shown as it stands;
//   TrFormat("已读 {1} 字节，共 {2}", a, b)   a text with placeholders: {1}, {2} ...
//                                            stand for the arguments, so a
//                                            translation may put them in any order;
//   N_("关于软件")                            a text in a static table, marked only:
//                                            pass it through Tr() where it is shown;
//   TrPlural("{1}字节不同", "{1}字节不同", n)  a text whose words follow a number
//                                            ("1 byte differs", "4 bytes differ"):
//                                            Chinese has one form, written twice as
//                                            the catalogue's singular and plural, and
//                                            `n` picks the translation's form; {1} is n.
// Never build a sentence by joining translated pieces: the word order of the
// translation cannot follow then.
#include <string>
#include <string_view>

#include "lang/format.h"

// Marks a text for the catalogue without translating it (static tables,
// constants initialised before the language is chosen).
#define N_(text) text

namespace qv {

enum class Language { Chinese, English };

// The language texts are shown in; Chinese until UseLanguage says otherwise.
Language CurrentLanguage();
// Shows texts in `language` from now on, English from the catalogue
// <catalogueFolder>/en/LC_MESSAGES/quorvane.mo. Call at start-up before any
// thread that shows texts runs; tests switch between cases.
void UseLanguage(Language language, const std::string& catalogueFolder);

// The text in the current language; the source itself in Chinese or when the
// catalogue has no translation.
std::string Tr(const char* source);
// The same for a marked text held as a view (a table's field).
std::string Tr(std::string_view source);

template <typename... Args>
std::string TrFormat(const char* source, const Args&... args) {
  return FormatText(Tr(source), {FormatArg(args)...});
}

// The form of the text for `count` in the current language (ngettext).
std::string TrPluralForm(const char* singular, const char* plural, unsigned long long count);

// The form for `count` with {1} standing for the count and {2}, {3} ... for
// the further arguments.
template <typename... Args>
std::string TrPlural(const char* singular, const char* plural, unsigned long long count, const Args&... args) {
  return FormatText(TrPluralForm(singular, plural, count), {FormatArg(count), FormatArg(args)...});
}

}  // namespace qv
