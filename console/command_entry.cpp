// The command line and the single-byte sender.
#include "console/convert.h"
#include "console/main.h"
#include "console/text.h"
#include "lang/translate.h"

namespace qv {

bool TFrmMain::CMDKeyPress(char key, std::string& line) {
  const auto byte = static_cast<unsigned char>(key);
  if (byte == 0x08) return true;  // ordinary editing
  // A running operation owns the line and the receive mode: a key that
  // switched the mode would send its dump to the pane. Typing goes on; the
  // line waits for the operation's end.
  if (!busyWith_.empty()) return byte >= 0x20 || !RefusedWhileBusy(Tr("命令行"));
  receiveMode = ReceiveMode::usercmd;
  if (byte == 0x0D) {
    const std::string command = Trim(line);
    SendString(Gbk(command) + "\r");
    CMDHistory.Add(command);
    line.clear();
    return false;
  }
  if (byte < 0x20) {  // Ctrl-Z, Ctrl-C, ...: the byte goes out at once
    SendString(std::string(1, key));
    return false;
  }
  return true;
}

bool TFrmMain::CMDKeyDown(HistoryKey key, std::string& line) {
  const std::optional<std::string> recalled = key == HistoryKey::Up ? CMDHistory.Older(line) : CMDHistory.Newer();
  if (!recalled) return false;
  line = *recalled;
  return true;
}

void TFrmMain::RadioButton1Click() {
  Edit21Hex = false;
  Edit21.clear();
  Edit21MaxLength = 3;
  Notify(MainView::What::Edits);
}

void TFrmMain::RadioButton2Click() {
  Edit21Hex = true;
  Edit21.clear();
  Edit21MaxLength = 2;
  Notify(MainView::What::Edits);
}

char TFrmMain::Edit21KeyPress(char key) {
  if (key == 0x08) return key;
  if (Edit21Hex) {
    if (key >= 'a' && key <= 'f') key = static_cast<char>(key - 'a' + 'A');
    return (key >= '0' && key <= '9') || (key >= 'A' && key <= 'F') ? key : 0;
  }
  return key >= '0' && key <= '9' ? key : 0;
}

void TFrmMain::Edit21Enter() {
  if (RefusedWhileBusy(Tr("单字节发送"))) return;
  receiveMode = ReceiveMode::usercmd;
  int32_t value = 0;
  try {
    value = Edit21Hex ? HexToInt(Edit21) : StrToInt(Edit21);
  } catch (const EConvertError& e) {
    dialogs_.ShowMessage(e.what());
    return;
  }
  SendString(std::string(1, static_cast<char>(value & 0xFF)));
  Edit21.clear();
  Notify(MainView::What::Edits);
}

}  // namespace qv
