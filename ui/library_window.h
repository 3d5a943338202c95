#pragma once
// The firmware library window "固件库": the library's folder and the
// box that adds finished backups by themselves, the backups in a table with
// a filter by family and serial number, and the module matrix of the drive
// picked against the other drives of its family and firmware, each copy
// lettered and marked (red: different from all others, yellow: one of
// several variants) as the comparison window marks differences. The model
// (LibraryBrowser of the core) does the work; this window draws it.
#include <QDialog>

#include "library/library_browser.h"

class QCheckBox;
class QLabel;
class QLineEdit;
class QTableView;

namespace qv::ui {

class BackupTableModel;
class MatrixModel;

class LibraryWindow : public QDialog {
  Q_OBJECT
 public:
  LibraryWindow(Dialogs& dialogs, const std::string& userDataFolder, QWidget* parent = nullptr);
  ~LibraryWindow() override;

  LibraryBrowser& Model() { return model_; }

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  void Build();
  void ShowModel();

  Dialogs& dialogs_;
  LibraryBrowser model_;
  bool showing_ = false;
  BackupTableModel* backups_ = nullptr;
  MatrixModel* cells_ = nullptr;
  QLineEdit* edit1_ = nullptr;
  QCheckBox* checkBox1_ = nullptr;
  QTableView* listView1_ = nullptr;
  QTableView* listView2_ = nullptr;
  QLabel* label4_ = nullptr;
  QLabel* label5_ = nullptr;
};

}  // namespace qv::ui
