#pragma once
// The comparison window "比较备份": two backup folders, the list of the files
// of either with their verdicts, and the file picked from the list as two
// columns of bytes. This is the window's behaviour without its drawing; the
// Qt window shows these fields, forwards its clicks and works through the
// pending verdicts a few at a time, so that a folder of thousands of files
// keeps the window answering.
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "firmware/manifest/folder_compare.h"
#include "lang/translate.h"

namespace qv {

class Dialogs;

class BackupComparison {
 public:
  static constexpr const char* kCaption = N_("比较备份");
  static constexpr const char* kFolderTitle1 = N_("选择第一个备份文件夹");
  static constexpr const char* kFolderTitle2 = N_("选择第二个备份文件夹");
  static constexpr uint64_t kRowBytes = 16;  // bytes a row of the side-by-side view shows

  explicit BackupComparison(Dialogs& dialogs) : dialogs_(dialogs) {}

  // --- controls (texts in UTF-8) ---
  std::string Edit1;  // first folder
  std::string Edit2;  // second folder
  struct Row {
    std::string name;
    std::optional<FileComparison> comparison;  // none while still to be compared
  };
  std::vector<Row> ListView1;  // the files of either folder, by name
  int picked = -1;             // the row shown side by side
  std::string bytes1, bytes2;  // its bytes in each folder; empty where it is absent or was not read
  uint64_t position = 0;       // the offset the side-by-side view is at

  // Told whenever the fields changed from here.
  std::function<void()> onChanged;

  void Button1Click();  // "...": the first folder
  void Button2Click();  // "...": the second folder
  // "比较": lists the files of both folders, their verdicts to come. False
  // after a message box when a folder is not there.
  bool Button3Click();
  // Works out the next verdict still to come; false when none was left.
  bool CompareNext();
  size_t Pending() const { return ListView1.size() - compared_; }
  // Shows the row's file side by side, from its first difference on.
  void Pick(int row);
  // "下一处不同": the view to the first difference past its row, from the
  // top again after the last one. False when the two have no difference.
  bool Button4Click();

 private:
  void Changed();
  void ChooseFolder(std::string& field, const char* title);
  std::string Folder(const std::string& field) const;

  Dialogs& dialogs_;
  std::string folder1_, folder2_;  // as compared, each ending in '/'
  JudgedFiles judged_;
  size_t compared_ = 0;            // rows with their verdict, from the top
};

}  // namespace qv
