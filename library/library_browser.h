#pragma once
// The firmware library window "固件库": the library's folder and whether
// finished backups go into it by themselves, the backups in a table filtered
// by family and serial number, and for the backup picked the module matrix of
// its drive against the other drives of its family and firmware. It adds
// backup folders, exports a backup to a folder, and opens the comparison
// window on two backups. This is the window's behaviour without its drawing.
#include <functional>
#include <string>
#include <vector>

#include "lang/translate.h"
#include "library/library.h"
#include "library/module_standing.h"

namespace qv {

class Dialogs;

class LibraryBrowser {
 public:
  static constexpr const char* kCaption = N_("固件库");
  static constexpr const char* kFolderTitle = N_("选择固件库所在的文件夹");
  static constexpr const char* kAddTitle = N_("选择备份文件夹（或存放多个备份文件夹的文件夹）");
  static constexpr const char* kExportTitle = N_("选择导出到的文件夹（新的或空的）");

  // The library is the one the settings in `userDataFolder` name.
  LibraryBrowser(Dialogs& dialogs, std::string userDataFolder);
  ~LibraryBrowser();  // removes the folders exported for a comparison
  LibraryBrowser(const LibraryBrowser&) = delete;
  LibraryBrowser& operator=(const LibraryBrowser&) = delete;

  // --- controls (texts in UTF-8) ---
  std::string Edit1;      // "固件库:" the library's folder
  bool CheckBox1 = true;  // "完成的备份自动加入固件库"
  std::string Edit2;      // "系列:" a part of the family
  std::string Edit3;      // "序列号:" a part of the serial number
  std::vector<LibraryBackup> ListView1;  // the backups, newest first
  std::vector<int> selected;             // rows picked in the table
  // The drive of the first row picked against its family and firmware: row 0
  // is that drive, then the other drives, newest first.
  std::vector<LibraryBackup> matrixDrives;
  ModuleMatrix matrix;
  std::vector<ModuleStanding> standings;  // of the drive's own modules

  std::function<void()> onChanged;
  // Told to show the comparison window on two folders.
  std::function<void(const std::string&, const std::string&)> onCompare;

  // Reads the library again with the filter of Edit2 and Edit3.
  void Refresh();
  void Button1Click();    // "...": another library folder
  void CheckBox1Click();  // the box was changed: saved for the next backups
  void Button2Click();    // "加入…": a backup folder, or a folder of them
  void Select(std::vector<int> rows);
  void Button3Click();  // "导出…": the first backup picked, into a folder chosen
  void Button4Click();  // "比较": the two backups picked, in the comparison window
  void Button5Click();  // "重建": the database again from the stored files

 private:
  void Changed();
  void ShowMatrix();
  // The library, or nothing after a message box saying why.
  std::unique_ptr<FirmwareLibrary> Open(FirmwareLibrary::Access access);
  std::string ComparisonFolder(FirmwareLibrary& library, const LibraryBackup& backup);

  Dialogs& dialogs_;
  std::string userDataFolder_;
  std::string comparisons_;  // made at the first comparison
};

}  // namespace qv
