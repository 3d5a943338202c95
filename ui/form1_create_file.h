#pragma once
// The file window TForm1 "创建文件": a range of sectors from each of two
// source files joined into an output file.
#include <QDialog>

#include "fileutil/form1.h"

class QLineEdit;

namespace qv::ui {

class Form1CreateFile : public QDialog {
  Q_OBJECT
 public:
  Form1CreateFile(Dialogs& dialogs, QWidget* parent = nullptr);

  TForm1& Model() { return model_; }

 private:
  // Runs a click of the model with the edit texts copied in and back out.
  void Click(void (TForm1::*handler)());
  void ToModel();
  void FromModel();

  TForm1 model_;
  QLineEdit* edit1_ = nullptr;
  QLineEdit* edit5_ = nullptr;
  QLineEdit* edit3_ = nullptr;
  QLineEdit* edit2_ = nullptr;
  QLineEdit* edit4_ = nullptr;
  QLineEdit* edit7_ = nullptr;
  QLineEdit* edit6_ = nullptr;
};

}  // namespace qv::ui
