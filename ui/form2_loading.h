#pragma once
// The loading window TForm2 "F级引导": firmware type and folder, the five
// modules with their files, save boxes, buffer and block sizes, the loading
// rate and the load button. The model (TForm2 of the core) does the work;
// this window draws it, forwards clicks and filters keys.
#include <QDialog>

#include "console/main.h"
#include "firmware/loading/form2_loading.h"

class QCheckBox;
class QComboBox;
class QLineEdit;
class QPushButton;

namespace qv::ui {

class Form2Loading : public QDialog, public TForm2::View, public MainView {
  Q_OBJECT
 public:
  Form2Loading(TFrmMain& main, const FamilyTable& families, QWidget* parent = nullptr);
  ~Form2Loading() override;

  TForm2& Model() { return model_; }

  // TForm2::View
  void Form2Changed() override;
  // MainView: the loading rate list follows the main window's.
  void Changed(What what) override;

 private:
  void Build();
  void Bind();
  void Run(void (TForm2::*handler)());
  void Tick(QCheckBox* box, bool TForm2::*field, void (TForm2::*click)());

  TFrmMain& main_;
  TForm2 model_;
  bool drawing_ = false;  // widgets being set from the model: not the user's doing

  QWidget* panel1_ = nullptr;
  QComboBox* comboBox7_ = nullptr;
  QPushButton* button5_ = nullptr;
  QLineEdit* edit7_ = nullptr;
  QPushButton* button7_ = nullptr;
  QCheckBox* checkBox1_ = nullptr;
  QLineEdit* edit1_ = nullptr;
  QPushButton* button51_ = nullptr;
  QCheckBox* checkBox10_ = nullptr;
  QComboBox* comboBox1_ = nullptr;
  QComboBox* comboBox3_ = nullptr;
  QCheckBox* checkBox2_ = nullptr;
  QLineEdit* edit2_ = nullptr;
  QPushButton* button1_ = nullptr;
  QCheckBox* checkBox9_ = nullptr;
  QComboBox* comboBox4_ = nullptr;
  QCheckBox* checkBox3_ = nullptr;
  QLineEdit* edit6_ = nullptr;
  QPushButton* button2_ = nullptr;
  QCheckBox* checkBox8_ = nullptr;
  QLineEdit* edit3_ = nullptr;
  QCheckBox* checkBox4_ = nullptr;
  QLineEdit* edit4_ = nullptr;
  QPushButton* button3_ = nullptr;
  QCheckBox* checkBox5_ = nullptr;
  QCheckBox* checkBox6_ = nullptr;
  QLineEdit* edit5_ = nullptr;
  QPushButton* button4_ = nullptr;
  QComboBox* comboBox2_ = nullptr;
  QPushButton* button6_ = nullptr;
};

}  // namespace qv::ui
