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
//                                            pass it through Tr() where it is shown.
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

}  // namespace qv
