#pragma once
// The drive ID editor window TForm5 "HDD ID 编辑": model text and capacity
// boxes, what to write, and the write button. The work is done by the
// model (TForm5 of the core); this window draws it and filters the keys.
#include <QDialog>

#include "lang/translate.h"
#include "procedures/id_editor.h"

class QCheckBox;
class QLineEdit;
class QPushButton;

namespace qv::ui {

class Form5IdEditor : public QDialog {
  Q_OBJECT
 public:
  static constexpr const char* kCaption = N_("HDD ID 编辑");

  explicit Form5IdEditor(TFrmMain& main, QWidget* parent = nullptr);

  TForm5& Model() { return model_; }

 protected:
  void showEvent(QShowEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void ShowModel();
  void Write();

  TFrmMain& main_;
  TForm5 model_;
  QWidget* panel1_ = nullptr;
  QLineEdit* edit1_ = nullptr;
  QLineEdit* edit2_ = nullptr;
  QCheckBox* checkBox1_ = nullptr;
  QCheckBox* checkBox2_ = nullptr;
  QCheckBox* checkBox3_ = nullptr;
  QCheckBox* checkBox4_ = nullptr;
};

}  // namespace qv::ui
