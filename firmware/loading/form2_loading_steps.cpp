// The load: its checks, the chain of module steps and the steps themselves.
// Every command, pause and prompt wait below is what the drive needs between
// two steps of its loader; a pause cut short or a save sent early can leave a
// drive that no longer answers.
#include <exception>
#include <optional>
#include <string>
#include <vector>

#include "console/convert.h"
#include "console/long_operation.h"
#include "console/text.h"
#include "files/file_digest.h"
#include "files/file_io.h"
#include "firmware/loading/form2_loading.h"
#include "lang/translate.h"
#include "transfer/file_io.h"
#include "transfer/transfer.h"
#include "transfer/transfer_common.h"

namespace qv {

namespace {

constexpr const char* kSucceeded = N_("成功！");
constexpr const char* kFailed = N_("失败！");
constexpr const char* kNeedLevelT = N_("错误: 请先转至T级！");
constexpr const char* kDiskCodeMarker = "Disk Code Revision";
constexpr int kCrTries = 300;       // CR until the certification code's prompt
constexpr int kTableCrTries = 100;  // CR until the table's prompt

std::string Outcome(bool good) { return Tr(good ? kSucceeded : kFailed); }

}  // namespace

// --- checks ---

bool TForm2::CheckLoad() {
  Dialogs& dialogs = main_.Dlg();
  const auto refuse = [&dialogs](const std::string& text) {
    dialogs.ShowMessage(text);
    return false;
  };
  // The file as the step will read it: a folder, a pipe or a link to nothing
  // is no module file, and an empty one or one over the module's limit is
  // refused before the drive hears anything.
  const auto fileGiven = [&refuse](const std::string& module, const std::string& field, uint64_t limit,
                                   uint64_t& bytes) {
    if (Trim(field).empty()) return refuse(TrFormat("请指定{1}模块文件！", module));
    const FileCheck file = CheckInputFile(Trim(field), limit);
    bytes = file.size;
    switch (file.trouble.kind) {
      case FileTrouble::Kind::None: break;
      case FileTrouble::Kind::Missing:
      case FileTrouble::Kind::NotAFile: return refuse(TrFormat("指定的{1}模块文件不存在！", module));
      case FileTrouble::Kind::TooLarge: return refuse(TooLongMessage(limit));
      case FileTrouble::Kind::Unreadable: return refuse(CannotReadMessage(Trim(field), file.trouble));
    }
    if (bytes == 0) return refuse(TrFormat("指定的{1}模块文件是空文件！", module));
    return true;
  };
  // A block size the download can't use would fail with the drive halfway
  // into its loader; it is refused before anything is sent.
  const auto blockSize = [&refuse](const std::string& text, int& size) {
    try {
      size = StrToInt(Trim(text));
    } catch (const EConvertError& e) {
      return refuse(e.what());
    }
    if (size < 1 || size > 0xFFFF) return refuse(Tr("块大小必须在1到65535之间！"));
    return true;
  };
  // One download carries at most 255 blocks; the rest would be cut off
  // silently and the drive left with part of its code. (The 512-byte modules
  // are held to 127 KB, less than 255 blocks, by their limit.)
  const auto fitsOneDownload = [&refuse](const std::string& module, uint64_t bytes, int size) {
    if (bytes <= static_cast<uint64_t>(kMaxBlocks) * static_cast<uint64_t>(size)) return true;
    return refuse(TrFormat("{1}模块文件超过{2}块（块大小{3}字节），无法一次加载！", module, kMaxBlocks, size));
  };

  // A download sends whole blocks only: a module of a part block would be
  // refused halfway, with the drive already at level F and told what comes.
  // It is never padded, for the drive would keep the padding as its code.
  // The message says which of the block sizes offered would take the file.
  const auto wholeBlocks = [&refuse](const std::string& module, uint64_t bytes, int size,
                                     const std::vector<std::string>& offered) {
    if (bytes % static_cast<uint64_t>(size) == 0) return true;
    std::string fitting, all;
    for (const std::string& item : offered) {
      all = all.empty() ? item : TrFormat("{1}、{2}", all, item);
      if (bytes % std::stoull(item) == 0) fitting = fitting.empty() ? item : TrFormat("{1}或{2}", fitting, item);
    }
    if (!fitting.empty())
      return refuse(TrFormat("{1}模块文件长度为{2}字节，不是块大小{3}字节的整数倍，无法加载：请把块大小改为{4}！", module,
                             bytes, size, fitting));
    if (offered.size() > 1)
      return refuse(TrFormat("{1}模块文件长度为{2}字节，不是块大小{3}字节的整数倍，无法加载：可选的块大小（{4}）都不能"
                             "整除它，这个模块文件不能加载！",
                             module, bytes, size, all));
    return refuse(TrFormat("{1}模块文件长度为{2}字节，不是块大小{3}字节的整数倍，无法加载！", module, bytes, size));
  };

  if (!CheckBox1 && !CheckBox2 && !CheckBox3 && !CheckBox4 && !CheckBox6)
    return refuse(Tr("请指定要加载的模块！"));
  if (CheckBox1) {
    int size = 0;
    uint64_t bytes = 0;
    if (Trim(ComboBox1).empty()) return refuse(Tr("指定缓冲区！"));
    if (!fileGiven("APP", Edit1, kCodeLimit, bytes) || !blockSize(ComboBox3, size) ||
        !fitsOneDownload("APP", bytes, size) || !wholeBlocks("APP", bytes, size, kAppBlockItems))
      return false;
  }
  if (CheckBox2) {
    int size = 0;
    uint64_t bytes = 0;
    if (!fileGiven("CERT", Edit2, kCodeLimit, bytes) || !blockSize(ComboBox4, size) ||
        !fitsOneDownload("CERT", bytes, size) || !wholeBlocks("CERT", bytes, size, kCertBlockItems))
      return false;
  }
  const struct {
    bool ticked;
    const char* module;
    const std::string& field;
  } others[] = {{CheckBox3, "TABLE", Edit6}, {CheckBox4, "ATA0", Edit4}, {CheckBox6, "ATA1", Edit5}};
  for (const auto& m : others) {
    uint64_t bytes = 0;
    if (m.ticked && (!fileGiven(m.module, m.field, kModuleLimit, bytes) ||
                     !wholeBlocks(m.module, bytes, kSectorBlockSize, {std::to_string(kSectorBlockSize)})))
      return false;
  }
  if (!CheckManifests()) return false;
  // Without the port every wait of the chain would only run out.
  if (!main_.PortOpen()) return refuse(Tr("请先打开串口！"));
  return true;
}

// --- the chain ---

void TForm2::Button6Click() { Load(); }

bool TForm2::Load() {
  LongOperation busy(main_, TrFormat("{1}：加载", Tr(kCaption)));
  if (!busy) return false;
  main_.Memo3.clear();
  tableSkipped_ = false;
  if (!CheckLoad()) return false;
  // A STOP pressed before this load is not meant for it.
  main_.stopFlag = 0;
  Panel1Enabled = false;
  Changed();
  main_.receiveMode = ReceiveMode::Empty;
  bool good = false;
  try {
    good = RunChain();
  } catch (const std::exception& e) {
    main_.Dlg().ShowMessage(e.what());
  }
  // Whatever happened, drive and port go back to 9600 and the terminal to the user.
  if (main_.PortOpen()) {
    main_.SetSpeed9600();
    main_.Delay(timing.Pause(50));
  }
  main_.receiveMode = ReceiveMode::usercmd;
  main_.SendString("\r");
  main_.stopFlag = 0;
  Panel1Enabled = true;
  Changed();
  return good;
}

bool TForm2::RunChain() {
  bool good = true;
  if (CheckBox1) {
    main_.ToF();
    good = main_.isF();
    if (good) {
      good = AdSpeed() && LoadApp(Trim(Edit1), Trim(ComboBox1), StrToInt(Trim(ComboBox3)), CheckBox10);
    }
  }
  if (CheckBox2 && good) good = ToLevelT() && LoadCert(Trim(Edit2), StrToInt(Trim(ComboBox4)), CheckBox9);
  if (CheckBox3 && good) good = ToLevelT() && LoadTable(Trim(Edit6), CheckBox8);
  if (CheckBox4 && good) good = ToLevelT() && LoadATA0(Trim(Edit4), kSectorBlockSize, !CheckBox6, CheckBox5);
  if (CheckBox6 && good) good = ToLevelT() && LoadATA1(Trim(Edit5), kSectorBlockSize, CheckBox5);
  return good;
}

bool TForm2::ToLevelT() {
  // A port lost on the way has been reported in the pane already.
  if (!main_.PortOpen()) return false;
  main_.SetSpeed9600();
  if (!main_.isT()) {
    main_.AddLine(Tr(kNeedLevelT));
    return false;
  }
  // A rate the port refused is said in the pane: the step fails.
  return AdSpeed();
}

bool TForm2::AdSpeed() {
  main_.WaitPrompt();
  return main_.AdMySpeed(ComboBox2.Text());
}

// --- the steps ---

std::optional<std::vector<uint8_t>> TForm2::ReadModule(const std::string& file, uint64_t limit) {
  std::vector<uint8_t> data;
  try {
    data = ReadWholeFile(file, limit);
  } catch (const EFileError& e) {
    main_.Dlg().ShowMessage(TrFormat("读取模块文件失败：{1}", e.what()));
    return std::nullopt;
  }
  if (data.empty()) {
    main_.Dlg().ShowMessage(TrFormat("模块文件{1}长度为0！", file));
    return std::nullopt;
  }
  if (const auto checked = checkedDigests_.find(file);
      checked != checkedDigests_.end() && Sha256Hex({reinterpret_cast<const char*>(data.data()), data.size()}) != checked->second) {
    main_.Dlg().ShowMessage(TrFormat("模块文件“{1}”在核对之后被改动过，与备份清单不符，不能加载！", file));
    return std::nullopt;
  }
  return data;
}

bool TForm2::SendModule(const std::string& file, int blockSize, uint64_t limit) {
  // Read now: the file may have changed or gone since the checks.
  const auto data = ReadModule(file, limit);
  return data && SendData(main_, data->data(), data->size(), blockSize);
}

void TForm2::Send(std::string_view line, int waitTicks) {
  main_.SendString(qv::Command(line));
  main_.WaitHD(timing.Wait(waitTicks));
}

bool TForm2::LoadApp(const std::string& file, const std::string& buffer, int blockSize, bool save) {
  main_.AddLine(Tr("正在加载APP........."));
  main_.Delay(timing.Pause(20));
  main_.SendString("\x1A");
  main_.WaitHD(timing.Wait(50));
  Send("Z", 150);
  main_.SendString("Z\r");
  main_.Delay(timing.Pause(300));
  main_.receiveMode = ReceiveMode::Empty;
  // Buffer 80 takes blocks of 1024 bytes, buffer 60 blocks of 2048.
  main_.SendString(qv::Command("d" + buffer + (buffer == "80" ? ",1" : ",2")));
  main_.Delay(timing.Pause(30));
  bool good = SendModule(file, blockSize, kCodeLimit);
  if (good) {
    main_.Delay(timing.Pause(900));
    main_.SendString("j,,1\r");
    good = main_.WaitHD(timing.Wait(1500));
  }
  // The code runs when the drive answers at level T.
  if (good) good = main_.isT();
  if (good) {
    main_.SendString("\r");
    if (main_.WaitHD(timing.Wait(300)) && save) {
      Send("/", 30);
      Send("R1", 1500);
      Send("R2", 1500);
      Send("w4,60", 1500);
    }
  }
  main_.AppendToLastLine(Outcome(good));
  return good;
}

bool TForm2::LoadCert(const std::string& file, int blockSize, bool save) {
  main_.AddLine(Tr("正在加载CERT........"));
  main_.Delay(timing.Pause(20));
  main_.receiveMode = ReceiveMode::Empty;
  main_.SendString(blockSize == 4096 ? "d,3,1\r" : "d,2,1\r");
  main_.Delay(timing.Pause(30));
  bool good = SendModule(file, blockSize, kCodeLimit);
  if (good) {
    main_.Delay(timing.Pause(1100));
    // The certification code may come up at 9600 whatever the rate was.
    main_.SendString("\r");
    if (!main_.WaitHD(5)) main_.Set(kRates[0]);
    main_.LastPrompt.clear();
    for (int i = 0; i < kCrTries && main_.LastPrompt.empty(); ++i) {
      main_.SendString("\r");
      main_.WaitHD(30);
    }
  }
  // Asked even after a failed download, which it brings the terminal back
  // from; but only a good download makes the step good.
  main_.Memo3.clear();
  main_.receiveMode = ReceiveMode::syscmd;
  main_.SendString("r\r");
  main_.WaitHD(timing.Wait(150));
  bool running = false;
  for (std::string_view line : main_.CaptureLines()) running |= line.find(kDiskCodeMarker) != std::string_view::npos;
  main_.Memo3.clear();
  good = good && running;
  if (good) {
    main_.SendString("\r");
    if (main_.WaitHD(timing.Wait(300)) && save) {
      Send("/", 50);
      Send("R1", 1500);
      Send("R2", 1500);
      Send("w1,60", 1500);
    }
  }
  main_.AppendToLastLine(Outcome(good));
  return good;
}

bool TForm2::LoadTable(const std::string& file, bool save) {
  main_.Delay(timing.Pause(150));
  Send("/", 5);
  // The drive is told how many sectors come and takes exactly that many: the
  // count is measured on the bytes about to be sent, whatever the file was
  // when it was chosen, and nothing is announced that can't be sent whole.
  const auto data = ReadModule(file, kModuleLimit);
  if (!data || !DownloadLengthAccepted(main_, data->size(), kSectorBlockSize)) {
    main_.AddLine(Tr("正在加载TABLE.......") + Outcome(false));
    return false;
  }
  Send("h" + IntToHex(static_cast<uint32_t>(data->size() / kSectorBlockSize)), 30);
  // A drive without certification code answers at once instead of taking the table.
  if (!main_.LastPrompt.empty()) {
    main_.AddLine(Tr("请先加载CERT模块！"));
    tableSkipped_ = true;
    return true;
  }
  main_.AddLine(Tr("正在加载TABLE......."));
  main_.Delay(timing.Pause(1));
  const bool good = SendData(main_, data->data(), data->size(), kSectorBlockSize);
  if (good) {
    main_.Delay(timing.Pause(1100));
    for (int i = 0; i < kTableCrTries && main_.LastPrompt.empty(); ++i) {
      main_.SendString("\r");
      main_.WaitHD(timing.Wait(150));
    }
    main_.SendString("\r");
    if (main_.WaitHD(timing.Wait(300)) && save) Send("w,,22", 1500);
  }
  main_.AppendToLastLine(Outcome(good));
  return good;
}

bool TForm2::LoadATA0(const std::string& file, int blockSize, bool last, bool save) {
  main_.AddLine(Tr("正在加载ATA0........"));
  main_.Delay(timing.Pause(11));
  main_.receiveMode = ReceiveMode::Empty;
  Send("/", 110);
  Send("N4F,,22", 110);
  Send("/", 110);
  main_.SendString("e0,0\r");
  main_.Delay(timing.Pause(1500));
  const bool good = SendModule(file, blockSize, kModuleLimit);
  if (!good) {
    Send("N50,,22", 600);
  } else if (last) {
    main_.Delay(timing.Pause(1300));
    Send("b,,22", 600);
    if (save) {
      Send("/2", 110);
      main_.SendString("U\r");
      main_.Delay(timing.Pause(1500));
      Send("/", 110);
      Send("c", 3000);
    }
    Send("N50,,22", 600);
  }
  // With ATA1 to follow, the drive stays in overlay mode.
  main_.AppendToLastLine(Outcome(good));
  return good;
}

bool TForm2::LoadATA1(const std::string& file, int blockSize, bool save) {
  main_.AddLine(Tr("正在加载ATA1........"));
  main_.Delay(timing.Pause(1));
  main_.receiveMode = ReceiveMode::Empty;
  Send("/", 110);
  main_.SendString("e1,0\r");
  main_.Delay(timing.Pause(1500));
  const bool good = SendModule(file, blockSize, kModuleLimit);
  if (good && save) {
    main_.Delay(timing.Pause(1200));
    Send("b,,22", 2100);
    Send("/2", 110);
    main_.SendString("U\r");
    main_.Delay(timing.Pause(5100));
    Send("/", 110);
    Send("c", 6000);
  }
  Send("N50,,22", 1100);
  main_.AppendToLastLine(Outcome(good));
  return good;
}

}  // namespace qv
