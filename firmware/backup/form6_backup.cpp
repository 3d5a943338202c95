#include "firmware/backup/form6_backup.h"

#include <cstdlib>
#include <exception>

#include "console/convert.h"
#include "console/long_operation.h"
#include "console/main.h"
#include "console/text.h"
#include "files/folder_check.h"
#include "firmware/backup/backup.h"
#include "firmware/backup/backup_folder.h"
#include "firmware/family/family_lookup.h"
#include "firmware/family/family_table.h"
#include "lang/translate.h"
#include "procedures/sys_area.h"
#include "transfer/transfer_common.h"

namespace qv {

namespace {

constexpr const char* kNoFamily = N_("请选择固件类型！");
constexpr const char* kNoFolder = N_("请选择保存位置！");
constexpr const char* kFolderError = N_("创建文件夹出错！");
constexpr const char* kNoModule = N_("请选择需要备份的固件模块！");

}  // namespace

TForm6::TForm6(TFrmMain& main, const FamilyTable& families) : main_(main), families_(families) {
  ComboBox7.items = main.ComboBox3.items;
  ComboBox7.index = ComboBox7.items.empty() ? -1 : 0;
  main.AddRateFollower(&ComboBox2);
  // The firmware base folder starts where the program keeps its own files.
  Edit1 = backupFolder = main.firmwareFolder;
}

TForm6::~TForm6() { main_.RemoveRateFollower(&ComboBox2); }

void TForm6::Changed() {
  if (onChanged) onChanged();
}

void TForm6::SetPanel(bool enabled) {
  Panel1Enabled = enabled;
  Changed();
}

bool TForm6::AdSpeed() {
  main_.WaitPrompt();
  return main_.AdMySpeed(ComboBox2.Text());
}

void TForm6::Button2Click() {
  LongOperation busy(main_, TrFormat("{1}：分析固件版本", Tr(kCaption)));
  if (!busy) return;
  if (Edit1.empty()) {
    main_.Dlg().ShowMessage(Tr(kNoFolder));
    return;
  }
  SetPanel(false);
  struct Enable {
    TForm6& form;
    ~Enable() { form.SetPanel(true); }
  } enable{*this};
  if (main_.isT()) {
    main_.AddLine(Tr("正在份析，请稍候........"));
    const FamilyReport report = QueryFamilyReport(main_);
    Edit1 = Trim(backupFolder) + report.FolderName();
    main_.Memo3.clear();
    // No family of the table matches: none stays selected, so a backup is
    // refused instead of reading the places of whichever family was shown.
    const bool found = SelectFamily(ComboBox7, report);
    if (!found) ComboBox7.index = -1;
    main_.AppendToLastLine(found ? Tr("完成！") : Tr("失败！"));
  } else {
    main_.AddLine(Tr("错误: 请先切换至T级！"));
  }
  main_.receiveMode = ReceiveMode::usercmd;
  main_.SendString("\r");
}

void TForm6::Button51Click() {
  const std::optional<std::string> chosen = main_.Dlg().ChooseFolder(Tr(kFolderTitle));
  if (!chosen) return;
  std::string folder = Trim(*chosen);
  if (folder.empty()) return;
  if (!folder.ends_with('/')) folder += '/';
  // The loading window starts looking for firmware there too.
  Edit1 = backupFolder = main_.firmwareFolder = folder;
  Changed();
}

void TForm6::Button7Click() { StartBackup(); }

bool TForm6::StartBackup() {
  LongOperation busy(main_, Tr(kCaption));
  if (!busy) return false;
  if (ComboBox7.Text().empty() || ComboBox7.index >= static_cast<int>(families_.Count())) {
    main_.Dlg().ShowMessage(Tr(kNoFamily));
    return false;
  }
  if (Edit1.empty()) {
    main_.Dlg().ShowMessage(Tr(kNoFolder));
    return false;
  }
  std::string folder = Trim(Edit1);
  if (folder.empty()) {
    main_.Dlg().ShowMessage(Tr(kFolderError));
    return false;
  }
  // Made and tried with a file of its own: a backup into it would otherwise
  // read every module and then lose it.
  if (const FileTrouble trouble = FolderTakesNewFiles(folder, true)) {
    main_.Dlg().ShowMessage(Tr(kFolderError) + "\r" + FolderTroubleMessage(folder, trouble));
    return false;
  }
  if (!folder.ends_with('/')) folder += '/';
  Edit1 = folder;
  Changed();
  if (!CheckBox1 && !CheckBox2 && !CheckBox3 && !CheckBox4 && !CheckBox5) {
    main_.Dlg().ShowMessage(Tr(kNoModule));
    return false;
  }
  // A STOP pressed before this backup is not meant for it: left set, every
  // track read would skip its sectors.
  main_.stopFlag = 0;
  SetPanel(false);
  struct Enable {
    TForm6& form;
    ~Enable() {
      form.main_.stopFlag = 0;
      form.SetPanel(true);
    }
  } enable{*this};
  const bool good = RunBackup(folder);
  if (good && onBackupDone) onBackupDone(folder);
  return good;
}

bool TForm6::RunBackup(const std::string& folder) {
  bool good = false;
  try {
    main_.AddLine(Tr("正在获取缓冲区地址......"));
    main_.Delay(1);
    Edit3.clear();
    Edit4.clear();
    const BufferAddress buffer = GetBuffAD(main_);
    Edit3 = buffer.base;
    Edit4 = buffer.chunk;
    Changed();
    // Without the buffer or the area's start nothing was changed on the drive:
    // the rate and the receive mode stay as they are.
    if (buffer.base.empty() || buffer.chunk.empty()) {
      main_.AppendToLastLine(Tr("失败！"));
      return false;
    }
    main_.AppendToLastLine(Tr("完成！"));

    main_.AddLine(Tr("正在获取保留区地址......"));
    main_.Delay(1);
    Edit2 = GetSysB(main_);
    Changed();
    if (Trim(Edit2).empty()) {
      main_.AppendToLastLine(Tr("失败！"));
      return false;
    }
    main_.AppendToLastLine(Tr("完成！"));

    // The drive in front of the technician now: its serial number (in the
    // answer just read) and its family report, not those of a lookup run
    // before it may have been swapped.
    const std::string serial = SerialFromPercentReply(main_.CaptureLines());
    const FamilyReport report = QueryFamilyReport(main_);
    main_.Memo3.clear();
    const FamilyRecord& record = *families_.AtListPosition(ComboBox7.index);
    const EarlierBackup earlier = ReadEarlierBackup(folder);
    if (!Confirmed(record, report, folder, earlier, serial)) {
      main_.AddLine(Tr("备份已取消。"));
      return false;
    }
    if (const FileTrouble trouble = KeepEarlierManifest(folder)) {
      main_.AddLine(CannotWriteMessage(folder + kOldManifestName, trouble));
      return false;
    }

    main_.receiveMode = ReceiveMode::Empty;
    // A rate the port refused is said in the pane; the backup fails rather
    // than stop as if STOP had been pressed.
    const bool atRate = AdSpeed();
    BackupPlan plan{record, folder, HexToInt(Trim(Edit2)), buffer};
    plan.app = CheckBox1;
    plan.cert = CheckBox2;
    plan.table = CheckBox3;
    plan.ata = CheckBox4;
    plan.vendor = CheckBox5;
    plan.verify = CheckBox6;
    plan.rate = ComboBox2.Text();
    plan.driveWords = DriveWords(report);
    plan.serial = serial;
    if (earlier.SameDrive(serial)) plan.earlier = &*earlier.manifest;
    good = atRate && BackupModules(main_, plan);
    main_.receiveMode = ReceiveMode::Empty;
    main_.AddLine(good ? Tr("备份完成!") : Tr("备份失败!"));
  } catch (const std::exception& e) {
    good = false;
    AddReadErrorLine(main_, e);
  }
  main_.SetSpeed9600();
  main_.receiveMode = ReceiveMode::usercmd;
  main_.SendString("\r");
  return good;
}

bool TForm6::Confirmed(const FamilyRecord& record, const FamilyReport& report, const std::string& folder,
                       const EarlierBackup& earlier, const std::string& serial) {
  Dialogs& dialogs = main_.Dlg();
  // The places of a family the drive does not report would read other
  // sectors than its modules.
  if (!DriveWords(report).empty() && !ReportNamesFamily(report, record.name) &&
      !dialogs.AskYesNo(Tr("提示"), TrFormat("驱动器报告的固件类型是“{1}”，与所选的固件类型“{2}”不符。仍按“{2}”的位置备份吗？",
                                             DriveWords(report), record.name)))
    return false;
  return !earlier.present || earlier.SameDrive(serial) || dialogs.AskYesNo(Tr("提示"), OtherDriveQuestion(folder, earlier, serial));
}

}  // namespace qv
