// The language machinery: placeholders, the choice from the locale
// variables, the remembered choice, and texts from the built catalogue.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <string>

#include "console/language_setup.h"
#include "lang/language_choice.h"
#include "lang/translate.h"
#include "tests/support/temp_dir.h"

namespace qv {
namespace {

TEST(Format, NumberedPlaceholders) {
  struct Case {
    const char* pattern;
    std::string expected;
  } cases[] = {
      {"读取 {1} 字节到 {2}", "读取 512 字节到 a.bin"},
      {"{2} gets {1} bytes", "a.bin gets 512 bytes"},  // a translation reorders
      {"{1}{1}", "512512"},
      {"{{1}} is literal", "{1}} is literal"},
      {"{3} and {0} stay as written", "{3} and {0} stay as written"},
      {"{x} {1", "{x} {1"},
      {"", ""},
  };
  for (const Case& c : cases) EXPECT_EQ(FormatText(c.pattern, {FormatArg(512), FormatArg("a.bin")}), c.expected) << c.pattern;
  EXPECT_EQ(TrFormat("{1}-{2}", std::string("x"), -3L), "x--3");
}

TEST(LanguageChoice, FromLocaleVariables) {
  struct Case {
    LocaleVariables variables;  // LANGUAGE, LC_ALL, LC_MESSAGES, LANG
    Language expected;
  } cases[] = {
      {{"", "", "", ""}, Language::Chinese},                              // nothing set: C
      {{"", "", "", "C"}, Language::Chinese},
      {{"", "", "", "POSIX"}, Language::Chinese},
      {{"", "", "", "en_US.UTF-8"}, Language::English},                  // generated or not
      {{"", "", "", "en_GB"}, Language::English},
      {{"", "", "", "en"}, Language::English},
      {{"", "", "", "en_IN@latin"}, Language::English},
      {{"", "", "", "zh_CN.UTF-8"}, Language::Chinese},
      {{"", "", "", "de_DE.UTF-8"}, Language::English},                  // neither Chinese nor English: English
      {{"", "", "", "ru_RU.UTF-8"}, Language::English},
      {{"", "", "", "english"}, Language::English},
      {{"", "", "", "zh_HK"}, Language::Chinese},
      {{"", "", "", "C.UTF-8"}, Language::Chinese},
      {{"", "C", "", "en_US.UTF-8"}, Language::Chinese},                  // LC_ALL first
      {{"", "en_US.UTF-8", "zh_CN.UTF-8", "zh_CN.UTF-8"}, Language::English},
      {{"", "", "en_GB.UTF-8", "zh_CN.UTF-8"}, Language::English},       // then LC_MESSAGES
      {{"", "", "zh_TW.UTF-8", "en_US.UTF-8"}, Language::Chinese},
      {{"en", "", "", ""}, Language::Chinese},                            // LANGUAGE is ignored under C
      {{"en", "", "", "C"}, Language::Chinese},
      {{"en", "", "", "C.UTF-8"}, Language::English},                    // but not under C.UTF-8
      {{"en", "", "", "zh_CN.UTF-8"}, Language::English},
      {{"zh_CN:en", "", "", "en_US.UTF-8"}, Language::Chinese},          // first known entry decides
      {{"de:fr:en_GB", "", "", "de_DE.UTF-8"}, Language::English},
      {{"de", "", "", "zh_CN.UTF-8"}, Language::Chinese},                // a list naming neither: the locale
      {{"de:ru", "", "", "de_DE.UTF-8"}, Language::English},
      {{"zh", "", "", "de_DE.UTF-8"}, Language::Chinese},                // LANGUAGE before the locale
      {{":en:", "", "", "zh_CN.UTF-8"}, Language::English},
  };
  for (const Case& c : cases) {
    const LocaleVariables& v = c.variables;
    EXPECT_EQ(ChooseLanguage(v), c.expected)
        << "LANGUAGE=" << v.language << " LC_ALL=" << v.lcAll << " LC_MESSAGES=" << v.lcMessages << " LANG=" << v.lang;
  }
  EXPECT_EQ(LanguageFromCode("en"), Language::English);
  EXPECT_EQ(LanguageFromCode("zh"), Language::Chinese);
  EXPECT_FALSE(LanguageFromCode("EN"));
  EXPECT_FALSE(LanguageFromCode(""));
}

TEST(LanguageSettings, SavedBesideOtherSettingsAndCleared) {
  test::TempDir dir;
  const std::string path = SettingsPath(dir.Path() + "new-folder/");
  EXPECT_FALSE(SavedLanguage(path));  // no file yet
  ASSERT_TRUE(SaveLanguage(path, Language::English));
  EXPECT_EQ(SavedLanguage(path), Language::English);
  { std::ofstream(path, std::ios::app) << "other=1\nlanguage=bogus-but-last\n"; }
  EXPECT_FALSE(SavedLanguage(path));  // the last line counts, and names no language
  ASSERT_TRUE(SaveLanguage(path, Language::Chinese));
  EXPECT_EQ(SavedLanguage(path), Language::Chinese);
  ASSERT_TRUE(SaveLanguage(path, std::nullopt));
  EXPECT_FALSE(SavedLanguage(path));
  std::ifstream in(path);
  const std::string left((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  EXPECT_EQ(left, "other=1\n");
  EXPECT_FALSE(SaveLanguage("/proc/no-such-folder/settings", Language::English));
}

// --lang wins over the menu's choice, which wins over the locale.
TEST(LanguageSettings, StartUpOrder) {
  test::TempDir dir;
  struct Case {
    std::optional<Language> forThisRun, saved;
    const char* lang;
    Language expected;
  } cases[] = {
      {std::nullopt, std::nullopt, "en_US.UTF-8", Language::English},
      {std::nullopt, std::nullopt, "zh_CN.UTF-8", Language::Chinese},
      {std::nullopt, Language::Chinese, "en_US.UTF-8", Language::Chinese},
      {std::nullopt, Language::English, "C", Language::English},
      {Language::Chinese, Language::English, "en_US.UTF-8", Language::Chinese},
      {Language::English, Language::Chinese, "C", Language::English},
  };
  unsetenv("LANGUAGE");
  unsetenv("LC_ALL");
  unsetenv("LC_MESSAGES");
  for (const Case& c : cases) {
    UseLanguage(Language::Chinese, "");  // also puts back the LANGUAGE English set
    EXPECT_EQ(std::getenv("LANGUAGE"), nullptr);
    setenv("LANG", c.lang, 1);
    ASSERT_TRUE(SaveLanguage(SettingsPath(dir.Path()), c.saved));
    EXPECT_EQ(SetUpLanguage(c.forThisRun, QV_BUILD_FOLDER, dir.Path()), c.expected) << c.lang;
    EXPECT_EQ(CurrentLanguage(), c.expected) << c.lang;
  }
  UseLanguage(Language::Chinese, "");
}

// English comes from the catalogue whatever locale the machine has generated:
// here the locale variables name C, and en_US is not needed.
TEST(Catalogue, EnglishFromTheBuiltCatalogueUnderAnyLocale) {
  setenv("LC_ALL", "C", 1);
  setenv("LANGUAGE", "", 1);
  EXPECT_EQ(Tr("写入完成！"), "写入完成！");
  UseLanguage(Language::English, CatalogueFolder(QV_BUILD_FOLDER));
  EXPECT_EQ(Tr("写入完成！"), "Write complete.");
  EXPECT_EQ(TrFormat("无法保存设置文件“{1}”！", "/x"), "Cannot save the settings file “/x”!");
  for (const auto& [count, english] : {std::pair{1, "1 byte differs, at 0x64"}, {4, "4 bytes differ, the first at 0x64"}})
    EXPECT_EQ(TrPlural("不同：{1}字节不同，首处在{2}", "不同：{1}字节不同，首处在{2}", count, "0x64"), english);
  EXPECT_EQ(Tr("没有这条文字"), "没有这条文字");  // not in the catalogue: the source
  EXPECT_EQ(Tr(""), "");                            // not the catalogue's header
  UseLanguage(Language::Chinese, "");
  EXPECT_EQ(Tr("写入完成！"), "写入完成！");
  EXPECT_EQ(TrPlural("不同：{1}字节不同，首处在{2}", "不同：{1}字节不同，首处在{2}", 4, "0x64"), "不同：4字节不同，首处在0x64");
  // The installed layout: bin/../share/locale.
  EXPECT_EQ(CatalogueFolder("/opt/q/bin/"), "/opt/q/share/locale");
}

}  // namespace
}  // namespace qv
