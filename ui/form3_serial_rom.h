#pragma once
// The serial ROM window TForm3 "串行ROM读写": the files to read into and
// write from, the entry buffer, the rate and the four ROM operations. The
// work is done by the model (TForm3 of the core); this window draws it. It is
// not modal: while an operation runs it is disabled and the main window's
// STOP stays within reach.
#include <QDialog>

#include "console/main.h"
#include "transfer/form3.h"

class QComboBox;
class QLineEdit;

namespace qv::ui {

class Form3SerialRom : public QDialog, public MainView {
  Q_OBJECT
 public:
  explicit Form3SerialRom(TFrmMain& main, QWidget* parent = nullptr);
  ~Form3SerialRom() override;

  TForm3& Model() { return model_; }

  // MainView: the rate list follows the main window's.
  void Changed(What what) override;

 public slots:
  void reject() override;

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  void ShowModel();
  void ShowRates();
  void Click(void (TForm3::*handler)());

  TFrmMain& main_;
  TForm3 model_;
  QWidget* panel1_ = nullptr;
  QLineEdit* edit1_ = nullptr;
  QLineEdit* edit2_ = nullptr;
  QComboBox* comboBox3_ = nullptr;
  QComboBox* comboBox2_ = nullptr;
  bool updating_ = false;  // ComboBox2 being refilled: not the user's choice
};

}  // namespace qv::ui
