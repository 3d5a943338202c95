#pragma once
// The comparison window "比较备份": two folder choosers, the list of the files
// of either folder with their verdicts, and the file picked from it as two
// columns of hexadecimal bytes, the differing ones marked, with a button to
// the next difference. The model (BackupComparison of the core) does the
// work; this window draws it. Only the rows in sight are drawn, so a module
// of 1 MB scrolls as easily as one of a sector.
#include <QDialog>

#include "firmware/manifest/backup_comparison.h"

class QLabel;
class QLineEdit;
class QPushButton;
class QTableView;
class QTimer;

namespace qv {
class Dialogs;
}

namespace qv::ui {

class FileListModel;
class HexPairModel;

class BackupComparisonWindow : public QDialog {
  Q_OBJECT
 public:
  explicit BackupComparisonWindow(Dialogs& dialogs, QWidget* parent = nullptr);
  ~BackupComparisonWindow() override;

  BackupComparison& Model() { return model_; }

 private:
  void Build();
  void Run(void (BackupComparison::*handler)());
  void ShowModel();
  // Works out verdicts for a slice of time, then lets the window breathe.
  void CompareSlice();
  void ShowPosition();

  Dialogs& dialogs_;
  BackupComparison model_;
  bool showing_ = false;
  FileListModel* files_ = nullptr;
  HexPairModel* bytes_ = nullptr;
  QLineEdit* edit1_ = nullptr;
  QLineEdit* edit2_ = nullptr;
  QTableView* listView1_ = nullptr;
  QLabel* label3_ = nullptr;
  QPushButton* button4_ = nullptr;
  QTableView* drawGrid1_ = nullptr;
  QTimer* comparing_ = nullptr;
};

}  // namespace qv::ui
