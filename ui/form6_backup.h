#pragma once
// The backup window TForm6 "备份固件": the firmware type with its lookup
// button, the save folder, the backup rate, the five modules and the backup
// button. The work is done by the model (TForm6 of the core); this window
// draws it, copies the user's choices into it and forwards the clicks.
#include <QDialog>

#include "console/main.h"
#include "firmware/backup/form6_backup.h"

class QCheckBox;
class QComboBox;
class QLineEdit;

namespace qv::ui {

class Form6Backup : public QDialog, public MainView {
  Q_OBJECT
 public:
  Form6Backup(TFrmMain& main, const FamilyTable& families, QWidget* parent = nullptr);
  ~Form6Backup() override;

  TForm6& Model() { return model_; }

  // MainView: the rate list follows the main window's port.
  void Changed(What what) override;

 private:
  void Click(void (TForm6::*handler)());
  void ShowModel();

  TFrmMain& main_;
  TForm6 model_;
  bool showing_ = false;  // the widgets are being set from the model
  QWidget* panel1_ = nullptr;
  QComboBox* comboBox7_ = nullptr;
  QLineEdit* edit1_ = nullptr;
  QComboBox* comboBox2_ = nullptr;
  QCheckBox* checkBoxes_[5] = {};
  QCheckBox* checkBox6_ = nullptr;  // "读两遍核对"
  QLineEdit* hidden_[3] = {};  // Edit2, Edit3, Edit4
};

}  // namespace qv::ui
