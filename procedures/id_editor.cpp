#include "procedures/id_editor.h"

#include "console/convert.h"
#include "console/long_operation.h"
#include "console/main.h"
#include "console/text.h"
#include "lang/translate.h"

namespace qv {

namespace {

constexpr int64_t kMinGb = 10, kMaxGb = 2048;
constexpr int64_t kMinSectors = 19'000'000, kMaxSectors = 4'000'000'000;
constexpr int kModelFirstWord = 0x1B;
constexpr int kModelWords = 20;
// Each capacity goes to the 28-bit count, the 48-bit count and the two
// vendor copies the drives keep of it.
constexpr int kCapacityWords[] = {0x3C, 0x64, 0x81, 0x83};

// The capacity box as a whole number. The range goes past 32 bits, so it is
// read as a 64-bit number; anything else is a conversion error.
int64_t ReadCapacity(const std::string& typed) {
  const std::string text = Trim(typed);
  size_t i = 0;
  const bool negative = !text.empty() && (text[0] == '-' || text[0] == '+') && text[i++] == '-';
  if (i == text.size() || text.size() - i > 18) throw EConvertError(typed);
  int64_t value = 0;
  for (; i < text.size(); ++i) {
    if (text[i] < '0' || text[i] > '9') throw EConvertError(typed);
    value = value * 10 + (text[i] - '0');
  }
  return negative ? -value : value;
}

}  // namespace

std::optional<uint32_t> CapacitySectors(int64_t typed) {
  if (typed >= kMinGb && typed <= kMaxGb) {
    const int64_t bytes = typed * 1'000'000'000;
    const int64_t wholeMiB = bytes / 1'048'576;
    return static_cast<uint32_t>(wholeMiB * 2048);
  }
  if (typed >= kMinSectors && typed <= kMaxSectors) return static_cast<uint32_t>(typed);
  return std::nullopt;
}

std::string IdHex(uint64_t value) {
  static const char kDigits[] = "0123456789ABCDEF";
  std::string hex;
  do {
    hex.insert(hex.begin(), kDigits[value & 0xF]);
    value >>= 4;
  } while (value != 0);
  if (hex.size() % 2 != 0) hex.insert(hex.begin(), '0');
  return hex;
}

std::vector<std::string> ModelWords(std::string_view modelBytes) {
  std::string digits;
  for (unsigned char byte : modelBytes.substr(0, 2 * kModelWords)) digits += IdHex(byte);
  while (digits.size() < 4 * kModelWords) digits += "20";
  std::vector<std::string> words;
  for (size_t at = 0; at < digits.size(); at += 4) words.push_back(digits.substr(at, 4));
  return words;
}

std::string CapacityWords(uint32_t sectors) {
  std::string hex = IdHex(sectors);
  hex.insert(0, 8 - hex.size(), '0');
  return hex.substr(4, 4) + hex.substr(0, 4);
}

std::string WordCommand(int word, std::string_view value) {
  return "ASCI" + IdHex(static_cast<uint64_t>(word)) + std::string(value) + "\r";
}

void TForm5::FormShow() {
  CheckBox1 = true;
  CheckBox2 = true;
  CheckBox3 = false;
  CheckBox4 = false;
}

char TForm5::Edit1KeyPress(char key) { return key >= 'a' && key <= 'z' ? static_cast<char>(key - 'a' + 'A') : key; }

char TForm5::Edit2KeyPress(char key) {
  if ((key >= '0' && key <= '9') || key == 0x08 || key == 0x03 || key == 0x16) return key;
  return 0;
}

void TForm5::Changed() {
  if (onChanged) onChanged();
}

void TForm5::Focus(const char* control) {
  if (onFocus) onFocus(control);
}

void TForm5::Command(std::string_view bytes) {
  main_.SendString(bytes);
  main_.WaitHD(300);
}

void TForm5::WriteWord(int word, std::string_view value) {
  main_.SendString("F\r");
  main_.WaitHD(100);
  main_.SendString(WordCommand(word, value));
  main_.WaitHD(100);
  main_.Delay(10);
}

void TForm5::Button7Click() {
  LongOperation busy(main_, Tr("HDD ID 编辑：写入信息"));
  if (!busy) return;
  if (!CheckBox1 && !CheckBox2 && !CheckBox3 && !CheckBox4) {
    main_.Dlg().ShowMessage(Tr("请选择需要写入的信息！"));
    return;
  }
  Edit1 = UpperCase(Trim(Edit1));
  Changed();
  if (CheckBox1 && Edit1.empty()) {
    main_.Dlg().ShowMessage(Tr("请输入硬盘型号！"));
    Focus("Edit1");
    return;
  }
  if (CheckBox2 && Trim(Edit2).empty()) {
    main_.Dlg().ShowMessage(Tr("请输入硬盘容量！"));
    Focus("Edit2");
    return;
  }
  const std::optional<uint32_t> sectors = CapacitySectors(ReadCapacity(Edit2));
  if (!sectors) {
    main_.Dlg().ShowMessage(Tr("硬盘容量不能大于2048G或小于10G！"));
    Focus("Edit2");
    return;
  }
  if (!main_.isT()) {
    main_.AddLine(Tr("错误: 请先切换至T级！"));
    return;
  }

  main_.AddLine(Tr("正在写入信息，请稍候……"));
  Panel1Enabled = false;
  Changed();
  // Whatever happens below, the window must not stay locked.
  struct Unlock {
    TForm5& form;
    ~Unlock() {
      form.Panel1Enabled = true;
      form.Changed();
    }
  } unlock{*this};

  main_.Delay(10);
  main_.receiveMode = ReceiveMode::Empty;
  Command("/\r");
  Command("F\r");
  if (main_.LastPrompt != "->") {
    main_.AddLine(Tr("无法写入！"));
  } else {
    Command("\r");
    main_.Delay(30);
    Command("\r");
    if (CheckBox4) {
      Command("F\r");
      Command("ASCIFE\r");
      main_.Delay(300);
    }
    if (CheckBox3) {
      for (std::string_view word : {"ASCI013FFF\r", "ASCI030010\r", "ASCI06003F\r"}) {
        Command("F\r");
        Command(word);
        main_.Delay(30);
      }
    }
    for (std::string_view word : {"ASCI52346B\r", "ASCI544003\r"}) {
      Command("F\r");
      Command(word);
      main_.Delay(30);
    }
    if (CheckBox1) {
      const std::vector<std::string> words = ModelWords(Gbk(Edit1));
      for (size_t i = 0; i < words.size(); ++i) WriteWord(kModelFirstWord + static_cast<int>(i), words[i]);
    }
    if (CheckBox2) {
      const std::string words = CapacityWords(*sectors);
      for (int at : kCapacityWords) {
        WriteWord(at, words.substr(0, 4));
        WriteWord(at + 1, words.substr(4, 4));
      }
    }
    main_.AddLine(Tr("写入完成！"));
  }
  main_.Delay(20);
  main_.receiveMode = ReceiveMode::usercmd;
  main_.SendString("\r");
}

}  // namespace qv
