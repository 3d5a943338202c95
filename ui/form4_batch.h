#pragma once
// The batch window TForm4 "Quorvane 自定义批处理流程": edits, loads, saves
// and runs batch scripts. It is shown modally from the main window's
// "Loading process" button.
#include <QDialog>

#include "batch/form4.h"

class QLineEdit;
class QPlainTextEdit;
class QPushButton;

namespace qv::ui {

class MainWindow;

class Form4Batch : public QDialog, public TForm4::View {
  Q_OBJECT
 public:
  Form4Batch(TFrmMain& main, QWidget* parent = nullptr);
  ~Form4Batch() override;

  TForm4& Model() { return model_; }

  // TForm4::View
  void Form4Changed(What what) override;

 public slots:
  void reject() override;

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  void ScriptFromEditor();

  TForm4 model_;
  QWidget* panel1_ = nullptr;
  QPlainTextEdit* memo1_ = nullptr;
  QLineEdit* edit1_ = nullptr;
  QPushButton* button10_ = nullptr;
};

// Shows the batch window modally at its place beside the main window:
// 330 pixels right of the main window's left edge and 445 below its top.
void ShowBatchWindow(MainWindow& window, Form4Batch& batch);

}  // namespace qv::ui
