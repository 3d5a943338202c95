#include "console/console_buttons.h"

#include "lang/translate.h"

namespace qv {

const std::vector<ButtonDef>& ConsoleButtons() {
  static const std::vector<ButtonDef> table = {
      // Marked: "T Stage" and "。" say other words in English; the rest are drive terms.
      {"Button12", N_("T Stage"), "", {Send("\x1A")}},
      {"Button1", "?", "", {Send("?\r")}},
      {"Button2", N_("。"), "", {Send(".\r")}},
      {"Button3", "/1", "", {Send("\x1A"), Pause(10), Send("/1\r"), Pause(10)}},
      {"Button7", "/6", "", {Send("\x1A"), Pause(10), Send("/6\r"), Pause(10)}},
      {"Button13", "Disk Info", "", {Send("/TJ\r")}},
      {"Button14", "Restore Setting", "", {Send("/TF,,22\r")}},
      {"Button15", "11 Series", "", {Send("/Tm0,2,2,0,0,0,0,22\r")}},
      {"Button17", "12 Series", "", {Send("/Tm0,2,2,,,,,22\r")}},
      {"Button18", "View SMART", "", {Send("/1N5\r")}},
      {"Button19", "Clear SMART", "", {Send("/1N1,,22\r")}},
      {"Button11", "Save RAP", "", {Send("/7w2,,22\r")}},
      {"Button10", "Implementation process", N_("确认流程已正确加载,开始执行吗?"), {Send("/6B0\r")}},
  };
  return table;
}

const std::vector<ButtonDef>& PortBarButtons() {
  static const std::vector<ButtonDef> table = {
      {"Button87", "B115200", "", {Send("/TB115200\r")}},
      {"Button88", "B38400", "", {Send("/TB38400\r")}},
  };
  return table;
}

const ButtonDef* FindButton(const std::vector<ButtonDef>& table, std::string_view name) {
  for (const ButtonDef& button : table)
    if (button.name == name) return &button;
  return nullptr;
}

}  // namespace qv
