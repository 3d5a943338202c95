#pragma once
// The drive ID editor: rewrites the model text and capacity the drive reports
// to the host (words of its identity record) through the terminal's
// identity-editing mode. The window draws these fields and forwards its keys
// and the write button here.
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace qv {

class TFrmMain;

// A capacity as typed: 10..2048 is a size in GB, 19,000,000..4,000,000,000 a
// count of 512-byte sectors; the sector count, or nothing for any other value.
std::optional<uint32_t> CapacitySectors(int64_t typed);
// Upper-case hexadecimal without leading zeros, with one "0" in front when
// the number of digits is odd ("1B", "0950", "09502800").
std::string IdHex(uint64_t value);
// The model padded with spaces to 40 characters as 20 four-digit word values
// (first character in the high byte). Bytes past the 40th are dropped: they
// have no word of the model field to go to.
std::vector<std::string> ModelWords(std::string_view modelBytes);
// The sector count as two four-digit words, low word first ("28000950" for
// 09502800).
std::string CapacityWords(uint32_t sectors);

// One word write as the identity editor wants it, e.g. "ASCI1B5354\r".
std::string WordCommand(int word, std::string_view value);

class TForm5 {
 public:
  static constexpr int kModelMaxLength = 14;
  static constexpr int kCapacityMaxLength = 10;

  explicit TForm5(TFrmMain& main) : main_(main) {}

  // Texts in UTF-8 as the boxes hold them.
  std::string Edit1 = "ST380016A";  // model
  std::string Edit2 = "80";         // capacity in GB or sectors
  bool CheckBox1 = true;   // "写入型号"
  bool CheckBox2 = true;   // "写入容量"
  bool CheckBox3 = false;  // "写入1、3、6键标准值"
  bool CheckBox4 = false;  // "初始化ID"
  bool Panel1Enabled = true;

  // Told when the model's text or the panel's state changed from here, and
  // which box should take the focus after a refusal ("Edit1", "Edit2").
  std::function<void()> onChanged;
  std::function<void(const std::string& control)> onFocus;

  // Every time the window is shown: model and capacity ticked, the rest cleared.
  void FormShow();
  // Key filters: the key to insert, or 0 to drop it.
  static char Edit1KeyPress(char key);  // a to z become upper case
  static char Edit2KeyPress(char key);  // digits, Backspace, Ctrl-C, Ctrl-V only
  // "写入信息". A capacity that is not a whole number raises EConvertError.
  void Button7Click();

 private:
  void WriteWord(int word, std::string_view value);
  void Command(std::string_view bytes);  // send, then wait for the editor's prompt
  void Changed();
  void Focus(const char* control);

  TFrmMain& main_;
};

}  // namespace qv
