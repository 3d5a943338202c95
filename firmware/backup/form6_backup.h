#pragma once
// The backup window "备份固件": the firmware type (family), the save folder,
// the backup rate, the five module boxes and the backup button. This is the
// window's behaviour without its drawing; the Qt window shows these fields,
// copies edits into them and forwards its clicks.
#include <functional>
#include <string>

#include "console/controls.h"
#include "lang/translate.h"

namespace qv {

class FamilyTable;
class TFrmMain;
struct EarlierBackup;
struct FamilyRecord;
struct FamilyReport;

class TForm6 {
 public:
  static constexpr const char* kCaption = N_("备份固件");
  static constexpr const char* kFolderTitle = N_("选择目标文件夹");

  // Copies the main window's family names (the first selected) and rate list
  // (the last selected; the list follows the main window's port changes).
  // The save folder and the backup base folder start at the folder the
  // program keeps its own files in. `families` is the table the main
  // window's family list shows; it gives the module places.
  TForm6(TFrmMain& main, const FamilyTable& families);
  ~TForm6();
  TForm6(const TForm6&) = delete;
  TForm6& operator=(const TForm6&) = delete;

  // --- controls (texts in UTF-8) ---
  ListControl ComboBox7;  // "固件类型:" family names
  std::string Edit1;      // "保存位置：" save folder
  ListControl ComboBox2;  // "备份速率:"
  bool CheckBox1 = true;  // "App Code"
  bool CheckBox2 = true;  // "Cert"
  bool CheckBox3 = true;  // "Cert Table"
  bool CheckBox4 = true;  // "ATA Ovl"
  bool CheckBox5 = true;  // "Vendor"
  bool CheckBox6 = false;  // "读两遍核对": every module read twice and compared
  // Hidden: what the last backup found (hexadecimal).
  std::string Edit2;  // reserved area's start
  std::string Edit3;  // buffer base
  std::string Edit4;  // sectors per read command
  bool Panel1Enabled = true;

  // Where the family lookup puts a drive's folder; ends in '/'.
  std::string backupFolder;

  // Told whenever the fields or the panel's state changed from here.
  std::function<void()> onChanged;
  // Told of each backup that succeeded, with its folder (ending in '/'),
  // before the panel is enabled again.
  std::function<void(const std::string& folder)> onBackupDone;

  void Button2Click();   // "A": the drive's family and its folder
  void Button51Click();  // "...": choose the save folder
  void Button7Click();   // "开始备份"
  // What the backup button runs: true when every ticked module was read
  // ("备份完成!"); false when the backup failed or never started (a message
  // box said why).
  bool StartBackup();

 private:
  void Changed();
  void SetPanel(bool enabled);
  // The backup's rate: the T-level or F-level switch for ComboBox2's rate.
  // Drive and port to the transfer rate; false when the port refused it.
  bool AdSpeed();
  // Steps that talk to the drive, between disabling and enabling the panel.
  bool RunBackup(const std::string& folder);
  // Asks before a backup with the places of a family the drive does not
  // report, and before one into a folder that holds a backup of another
  // drive (or one whose manifest cannot tell); false when told not to.
  bool Confirmed(const FamilyRecord& record, const FamilyReport& report, const std::string& folder,
                 const EarlierBackup& earlier, const std::string& serial);

  TFrmMain& main_;
  const FamilyTable& families_;
};

}  // namespace qv
