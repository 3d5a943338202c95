#include "transfer/form3.h"

#include <unistd.h>

#include <exception>
#include <filesystem>

#include "console/long_operation.h"
#include "console/main.h"
#include "console/text.h"
#include "files/file_io.h"
#include "files/folder_check.h"
#include "lang/translate.h"
#include "transfer/transfer.h"

namespace qv {

namespace {
namespace fs = std::filesystem;
}  // namespace

TForm3::TForm3(TFrmMain& main) : main_(main) { main_.AddRateFollower(&ComboBox2); }

TForm3::~TForm3() { main_.RemoveRateFollower(&ComboBox2); }

const std::vector<std::string>& TForm3::EntryBuffers() {
  static const std::vector<std::string> items = {"400", "800"};
  return items;
}

void TForm3::Changed() {
  if (onChanged) onChanged();
}

void TForm3::SetEnabled(bool enabled) {
  Enabled = enabled;
  Changed();
}

void TForm3::Button51Click() {
  const auto chosen = main_.Dlg().ChooseSaveFile(Tr(kFilter), kDefaultExt, kFileName);
  if (!chosen) return;
  Edit1 = Trim(*chosen);
  Changed();
}

void TForm3::Button1Click() {
  const auto chosen = main_.Dlg().ChooseOpenFile(Tr(kFilter), kDefaultExt, kFileName);
  if (!chosen) return;
  Edit2 = *chosen;
  if (!WriteSourceUsable(Edit2)) Edit2.clear();
  Changed();
}

void TForm3::Button2Click() { Run(Operation::ReadByBuffer); }
void TForm3::Button3Click() { Run(Operation::ReadByInstruction); }
void TForm3::Button6Click() { Run(Operation::WriteByBuffer); }
void TForm3::Button4Click() { Run(Operation::WriteByInstruction); }

bool TForm3::SaveTargetUsable(const std::string& path) {
  // A read takes from seconds to many minutes; a place the image cannot go
  // is better said before it starts than after. The shared writer makes its
  // new file beside the target, so the folder must take one.
  std::error_code ec;
  const fs::path target(path);
  std::string problem;
  if (fs::is_directory(target, ec)) problem = Tr("这是一个文件夹");
  else if (const FileTrouble folder = FolderTakesNewFiles(target.parent_path().string(), false))
    problem = folder.reason;
  else if (fs::exists(target, ec) && ::access(path.c_str(), W_OK) != 0)
    problem = Tr("没有写入权限");
  if (problem.empty()) return true;
  main_.Dlg().ShowMessage(TrFormat("无法保存读取的ROM文件“{1}”：{2}！", path, problem));
  return false;
}

bool TForm3::WriteSourceUsable(const std::string& path, std::optional<Operation> operation) {
  const FileCheck file = CheckInputFile(path, kMaxWriteFileBytes);
  if (file.trouble.kind == FileTrouble::Kind::TooLarge) {
    main_.Dlg().ShowMessage(TrFormat("ROM模块文件太长（{1}字节），不能超过{2}字节！", file.size, kMaxWriteFileBytes));
    return false;
  }
  if (file.trouble) {
    main_.Dlg().ShowMessage(TrFormat("无法打开ROM文件“{1}”：{2}！", path, file.trouble.reason));
    return false;
  }
  if (operation == Operation::WriteByBuffer) return FastWriteImageAccepted(main_, file.size);
  if (operation == Operation::WriteByInstruction) return InstructionWriteImageAccepted(main_, file.size);
  return true;
}

bool TForm3::Run(Operation operation) {
  static constexpr const char* kButtons[] = {N_("缓冲区读取"), N_("指令方式读取"), N_("缓冲区写入"), N_("指令方式写入")};
  LongOperation busy(main_, TrFormat("{1}：{2}", Tr(kCaption), Tr(kButtons[static_cast<int>(operation)])));
  if (!busy) return false;
  // Everything that needs no drive is checked before the drive is touched:
  // a refusal after the level switch would leave it at level F for nothing.
  const bool read = operation == Operation::ReadByBuffer || operation == Operation::ReadByInstruction;
  if (!main_.PortOpen()) {
    main_.Dlg().ShowMessage(Tr("请先打开串口！"));
    return false;
  }
  const std::string path = read ? Edit1 : Edit2;
  if (path.empty()) {
    main_.Dlg().ShowMessage(read ? Tr("请指定读取后保存的文件！") : Tr("请选择要写入的ROM文件！"));
    return false;
  }
  if (read ? !SaveTargetUsable(path) : !WriteSourceUsable(path, operation)) return false;

  // A STOP pressed before this run (during a backup, a track read, or idle)
  // is not meant for it; left set, the level switch would skip its waits for
  // the boot monitor.
  main_.stopFlag = 0;
  SetEnabled(false);
  if (!main_.ToF()) {
    SetEnabled(true);
    main_.stopFlag = 0;
    return false;
  }
  main_.receiveMode = ReceiveMode::Empty;
  main_.LastPrompt.clear();
  std::exception_ptr error;
  bool succeeded = false;
  try {
    // A rate the port refused is said in the pane; nothing is read or
    // written, and nothing reads as though STOP had been pressed.
    if (main_.AdMySpeed(ComboBox2.Text())) {
      switch (operation) {
        case Operation::ReadByBuffer: succeeded = ReadRom(main_, path); break;
        case Operation::ReadByInstruction: succeeded = ReadROM1(main_, path); break;
        case Operation::WriteByBuffer: succeeded = WriteBios(main_, ComboBox3, path); break;
        case Operation::WriteByInstruction: succeeded = WriteBios1(main_, path); break;
      }
    }
  } catch (...) {
    error = std::current_exception();
  }
  // Whatever happened, the drive and the port go back to 9600 together and
  // the window comes back.
  main_.SetF(kRates[0]);
  main_.receiveMode = ReceiveMode::usercmd;
  main_.SendString("\r");
  SetEnabled(true);
  main_.stopFlag = 0;
  if (error) std::rethrow_exception(error);
  return succeeded;
}

}  // namespace qv
