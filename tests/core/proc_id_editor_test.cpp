// The drive ID editor: its number rules, its refusals, and whole writes
// against the simulated drive's identity record.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "console/convert.h"
#include "procedures/id_editor.h"
#include "tests/support/sim_fixture.h"

namespace qv {
namespace {

TEST(IdEditorRules, CapacityRangesInGbAndSectors) {
  EXPECT_FALSE(CapacitySectors(9));
  EXPECT_EQ(CapacitySectors(10), 19072 * 1024u);  // 10 GB: 9536 whole MiB
  EXPECT_EQ(CapacitySectors(80), 156'248'064u);
  EXPECT_EQ(CapacitySectors(2048), 4'000'000'000u);
  EXPECT_FALSE(CapacitySectors(2049));
  EXPECT_FALSE(CapacitySectors(18'999'999));
  EXPECT_EQ(CapacitySectors(19'000'000), 19'000'000u);
  EXPECT_EQ(CapacitySectors(4'000'000'000), 4'000'000'000u);
  EXPECT_FALSE(CapacitySectors(4'000'000'001));
  EXPECT_FALSE(CapacitySectors(0));
  EXPECT_FALSE(CapacitySectors(-80));
}

TEST(IdEditorRules, WordTexts) {
  EXPECT_EQ(IdHex(0x1B), "1B");
  EXPECT_EQ(IdHex(0), "00");
  EXPECT_EQ(IdHex(0x950), "0950");
  EXPECT_EQ(IdHex(156'248'064), "09502800");
  EXPECT_EQ(CapacityWords(156'248'064), "28000950");
  EXPECT_EQ(CapacityWords(4'000'000'000), "2800EE6B");
  EXPECT_EQ(CapacityWords(0x1234), "12340000");
  EXPECT_EQ(WordCommand(0x3C, "2800"), "ASCI3C2800\r");

  std::vector<std::string> words = ModelWords("ST380016A");
  ASSERT_EQ(words.size(), 20u);
  EXPECT_EQ(words[0], "5354");
  EXPECT_EQ(words[3], "3136");
  EXPECT_EQ(words[4], "4120");
  for (size_t i = 5; i < 20; ++i) EXPECT_EQ(words[i], "2020");
  EXPECT_EQ(ModelWords("").front(), "2020");
  // A model too long for its field is cut, not spilled over the next words.
  words = ModelWords(std::string(41, 'A') + "Z");
  ASSERT_EQ(words.size(), 20u);
  EXPECT_EQ(words.back(), "4141");
}

TEST(IdEditorRules, KeyFilters) {
  EXPECT_EQ(TForm5::Edit1KeyPress('a'), 'A');
  EXPECT_EQ(TForm5::Edit1KeyPress('z'), 'Z');
  EXPECT_EQ(TForm5::Edit1KeyPress('-'), '-');
  for (char key : {'0', '9', '\x08', '\x03', '\x16'}) EXPECT_EQ(TForm5::Edit2KeyPress(key), key);
  for (char key : {'a', '-', ' ', '.', '\x1A'}) EXPECT_EQ(TForm5::Edit2KeyPress(key), 0);
}

class IdEditor : public test::SimFixture {
 protected:
  void SetUp() override {
    SimFixture::SetUp();
    OpenAt();
    Settle();
    TakeReceived();
    form = std::make_unique<TForm5>(*main);
    form->onFocus = [this](const std::string& control) { focused = control; };
    form->onChanged = [this] { locked |= !form->Panel1Enabled; };
  }
  std::string SentAfter() {
    Settle(10);
    return TakeReceived();
  }
  std::vector<uint16_t> Words() const { return drive->IdWords(); }

  std::unique_ptr<TForm5> form;
  std::string focused;
  bool locked = false;
};

TEST_F(IdEditor, RefusalsSendNothing) {
  form->CheckBox1 = form->CheckBox2 = false;
  form->Button7Click();
  ASSERT_EQ(dialogs.shown.size(), 1u);
  EXPECT_EQ(dialogs.shown.back().text, "请选择需要写入的信息！");

  form->CheckBox1 = form->CheckBox2 = true;
  form->Edit1 = "  ";
  form->Button7Click();
  EXPECT_EQ(dialogs.shown.back().text, "请输入硬盘型号！");
  EXPECT_EQ(focused, "Edit1");

  form->Edit1 = "X";
  form->Edit2 = "";
  form->Button7Click();
  EXPECT_EQ(dialogs.shown.back().text, "请输入硬盘容量！");
  EXPECT_EQ(focused, "Edit2");

  for (const char* refused : {"9", "2049", "18999999", "4000000001", "0"}) {
    focused.clear();
    form->Edit2 = refused;
    form->Button7Click();
    EXPECT_EQ(dialogs.shown.back().text, "硬盘容量不能大于2048G或小于10G！") << refused;
    EXPECT_EQ(focused, "Edit2");
  }
  // The capacity is read even when it is not to be written.
  form->CheckBox2 = false;
  form->Edit2 = "";
  try {
    form->Button7Click();
    ADD_FAILURE() << "an empty capacity is not a number";
  } catch (const EConvertError& e) {
    EXPECT_STREQ(e.what(), "'' is not a valid integer value");
  }
  EXPECT_EQ(dialogs.shown.size(), 8u);
  EXPECT_EQ(SentAfter(), "");
  EXPECT_FALSE(locked);
}

TEST_F(IdEditor, AwayFromLevelTOnlyTheLevelTestIsSent) {
  main->SendString("/F\r");
  Settle(10);
  TakeReceived();
  form->Button7Click();
  EXPECT_NE(PaneText().find("错误: 请先切换至T级！"), std::string::npos);
  const std::string sent = SentAfter();
  EXPECT_EQ(sent.find("F\r"), std::string::npos) << sent;
  EXPECT_FALSE(locked);
}

TEST_F(IdEditor, WritesModelCapacityAndStandardWords) {
  form->Edit1 = " st380016a";
  form->Edit2 = "2048";
  form->CheckBox3 = true;
  form->Button7Click();

  EXPECT_EQ(form->Edit1, "ST380016A");
  EXPECT_TRUE(locked);
  EXPECT_TRUE(form->Panel1Enabled);
  EXPECT_EQ(main->receiveMode, ReceiveMode::usercmd);
  const std::vector<uint16_t> words = Words();
  const uint16_t model[] = {0x5354, 0x3338, 0x3030, 0x3136, 0x4120};
  for (int i = 0; i < 20; ++i) EXPECT_EQ(words[0x1B + i], i < 5 ? model[i] : 0x2020) << i;
  for (int at : {0x3C, 0x64, 0x81, 0x83}) {
    EXPECT_EQ(words[at], 0x2800) << at;
    EXPECT_EQ(words[at + 1], 0xEE6B) << at;
  }
  EXPECT_EQ(words[0x52], 0x346B);
  EXPECT_EQ(words[0x54], 0x4003);
  const std::string pane = PaneText();
  EXPECT_NE(pane.find("正在写入信息，请稍候……"), std::string::npos);
  EXPECT_NE(pane.find("写入完成！"), std::string::npos);
  const std::string sent = SentAfter();
  EXPECT_NE(sent.find("/\rF\r\r\rF\rASCI013FFF\r"), std::string::npos) << sent;
  EXPECT_NE(sent.find("F\rASCI1B5354\rF\rASCI1C3338\r"), std::string::npos) << sent;
  EXPECT_NE(sent.find("F\rASCI030010\r"), std::string::npos);
  EXPECT_TRUE(sent.ends_with("F\rASCI832800\rF\rASCI84EE6B\r\r")) << sent;
}

TEST_F(IdEditor, InitialiseAloneWritesOnlyTheFixedWords) {
  form->CheckBox1 = form->CheckBox2 = false;
  form->CheckBox4 = true;
  form->Edit2 = "80";
  form->Button7Click();
  const std::string sent = SentAfter();
  EXPECT_NE(sent.find("F\r\r\rF\rASCIFE\rF\rASCI52346B\rF\rASCI544003\r\r"), std::string::npos) << sent;
  EXPECT_EQ(sent.find("ASCI1B"), std::string::npos);
  EXPECT_EQ(sent.find("ASCI3C"), std::string::npos);
  EXPECT_NE(PaneText().find("写入完成！"), std::string::npos);
}

class IdEditorNoEditor : public IdEditor {
  sim::SimOptions Options() const override {
    sim::SimOptions options;
    options.silentAfterCommand = 3;  // answers the level test and "/", then nothing
    return options;
  }
};

TEST_F(IdEditorNoEditor, WithoutTheEditorPromptNothingIsWritten) {
  form->Button7Click();
  const std::string pane = PaneText();
  EXPECT_NE(pane.find("无法写入！"), std::string::npos);
  EXPECT_EQ(pane.find("写入完成！"), std::string::npos);
  EXPECT_TRUE(locked);
  EXPECT_TRUE(form->Panel1Enabled);
  EXPECT_EQ(main->receiveMode, ReceiveMode::usercmd);
  const std::string sent = SentAfter();
  EXPECT_EQ(sent.find("ASCI"), std::string::npos) << sent;
  EXPECT_TRUE(sent.ends_with("/\rF\r\r")) << sent;
}

}  // namespace
}  // namespace qv
