#pragma once
// The file window "创建文件": two sources with a sector range each and an
// output file. This is the window's behaviour without its drawing; the Qt
// window copies the edit texts in before each click and back out after it.
#include <string>

#include "console/dialogs.h"
#include "lang/translate.h"

namespace qv {

class TForm1 {
 public:
  explicit TForm1(Dialogs& dialogs) : dialogs_(dialogs) {}

  static constexpr const char* kCaption = N_("创建文件");
  static constexpr const char* kFilter = N_("所有文件|*.*");

  // Field texts (UTF-8), all empty at first.
  std::string Edit1;  // source 1
  std::string Edit5;  // start 1
  std::string Edit3;  // count 1
  std::string Edit2;  // source 2
  std::string Edit4;  // start 2
  std::string Edit7;  // count 2
  std::string Edit6;  // output

  void Button51Click();  // choose source 1
  void Button1Click();   // choose source 2
  void Button2Click();   // choose the output
  void Button4Click();   // "重置" source 1
  void Button5Click();   // "重置" source 2
  void Button3Click();   // "生成文件"

  // Key filter of the four range fields: hexadecimal digits, Backspace,
  // Ctrl-C and Ctrl-V. Keys that produce no character (arrows, Delete) are
  // not offered to it.
  static bool RangeKeyAccepted(char32_t key);

 private:
  void ChooseSource(std::string& path, std::string& start, std::string& count);
  // The build's checks of one source; false after showing the message.
  bool CheckSource(int number, const std::string& path, const std::string& start, const std::string& count);

  Dialogs& dialogs_;
};

}  // namespace qv
