// What goes to the drive never depends on the language: each operation runs
// against a fresh simulated drive in Chinese and in English, and the bytes on
// the wire must match while the pane shows each language's text.
#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "console/language_setup.h"
#include "lang/translate.h"
#include "procedures/id_editor.h"
#include "tests/support/sim_fixture.h"

namespace qv {
namespace {

class BothLanguages : public test::SimFixture {
 protected:
  // The operations only pause for the drive to answer.
  int PauseScale() const override { return 10; }
  void TearDown() override {
    SimFixture::TearDown();
    UseLanguage(Language::Chinese, "");
  }

  struct Run {
    std::string wire;
    std::string pane;
  };
  // A fresh drive and console for each language, so both runs start alike.
  Run RunIn(Language language, const std::function<void(TFrmMain&)>& operation) {
    SimFixture::TearDown();
    UseLanguage(language, CatalogueFolder(QV_BUILD_FOLDER));
    SimFixture::SetUp();
    OpenAt();
    Settle();
    TakeReceived();
    operation(*main);
    Settle(10);
    return {TakeReceived(), PaneText()};
  }
};

void WriteId(TFrmMain& main, bool standardWords) {
  TForm5 form(main);
  form.Edit1 = "ST380016A";
  form.Edit2 = "80";
  form.CheckBox3 = standardWords;
  form.Button7Click();
}

TEST_F(BothLanguages, SameBytesOnTheWire) {
  struct Operation {
    const char* name;
    std::function<void(TFrmMain&)> run;
    const char* chinese;  // a line the pane shows in each language
    const char* english;
  };
  const Operation operations[] = {
      {"ID editor: model, capacity and standard words", [](TFrmMain& main) { WriteId(main, true); }, "写入完成！",
       "Write complete."},
      {"ID editor: away from the T level",
       [](TFrmMain& main) {
         main.SendString("/F\r");
         main.WaitHD(100);
         WriteId(main, false);
       },
       "错误: 请先切换至T级！", "Error: switch to the T level first!"},
      {"About", [](TFrmMain& main) { main.Button8Click(); }, "README 文件", "README file"},
  };
  for (const Operation& operation : operations) {
    const Run chinese = RunIn(Language::Chinese, operation.run);
    const Run english = RunIn(Language::English, operation.run);
    EXPECT_FALSE(chinese.wire.empty()) << operation.name;
    EXPECT_EQ(english.wire, chinese.wire) << operation.name;
    EXPECT_NE(chinese.pane.find(operation.chinese), std::string::npos) << operation.name << "\n" << chinese.pane;
    EXPECT_NE(english.pane.find(operation.english), std::string::npos) << operation.name << "\n" << english.pane;
  }
}

}  // namespace
}  // namespace qv
