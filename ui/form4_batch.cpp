#include "ui/form4_batch.h"

#include <QCloseEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTextBlock>
#include <QTextCursor>

#include "batch/script_file.h"
#include "ui/fonts.h"
#include "ui/main_window.h"
#include "ui/naming.h"
#include "ui/tr.h"

namespace qv::ui {

namespace {
constexpr int kClientWidth = 518;
constexpr int kClientHeight = 230;
constexpr int kFontPixels = 12;
}  // namespace

Form4Batch::Form4Batch(TFrmMain& main, QWidget* parent) : QDialog(parent), model_(main) {
  setWindowTitle(QTr(TForm4::kCaption));
  NameWindow(this, "TForm4");
  setFont(CjkFont(kFontPixels, false));
  setFixedSize(kClientWidth, kClientHeight);
  setWindowFlags(windowFlags() & ~Qt::WindowContextHelpButtonHint);

  panel1_ = new QWidget(this);
  Name(panel1_, "Panel1", QTr("批处理流程"));
  panel1_->setGeometry(0, 0, kClientWidth, kClientHeight);

  auto* label2 = new QLabel(QTr("显示当前批处理流程："), panel1_);
  Name(label2, "Label2", label2->text());
  label2->setGeometry(8, 4, 300, 20);
  memo1_ = new QPlainTextEdit(panel1_);
  Name(memo1_, "Memo1", label2->text());
  memo1_->setGeometry(8, 24, 400, 148);
  memo1_->setLineWrapMode(QPlainTextEdit::NoWrap);
  memo1_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  memo1_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  memo1_->setFont(CjkFixedFont(kFontPixels));
  label2->setBuddy(memo1_);

  auto* label1 = new QLabel(QTr("正在执行命令："), panel1_);
  Name(label1, "Label1", label1->text());
  label1->setGeometry(8, 176, 300, 20);
  edit1_ = new QLineEdit(panel1_);
  Name(edit1_, "Edit1", label1->text());
  edit1_->setGeometry(8, 196, 400, 24);
  edit1_->setReadOnly(true);
  label1->setBuddy(edit1_);

  auto button = [this](QWidget* parent, const char* name, const char* caption, int y, auto handler) {
    auto* b = new QPushButton(QTr(caption), parent);
    Name(b, name, b->text());
    b->setGeometry(418, y, 92, 28);
    b->setAutoDefault(false);
    connect(b, &QPushButton::clicked, this, handler);
    return b;
  };
  button(panel1_, "Button51", N_("读取流程"), 24, [this] { model_.Button51Click(); });
  button(panel1_, "Button1", N_("保存流程"), 58, [this] {
    ScriptFromEditor();
    model_.Button1Click();
  });
  button(panel1_, "Button11", N_("清空当前流程"), 92, [this] { model_.Button11Click(); });
  button(panel1_, "Button9", N_("加载流程"), 144, [this] {
    ScriptFromEditor();
    model_.Button9Click();
  });
  // Outside Panel1, so that it stays usable while the panel is disabled.
  button10_ = button(this, "Button10", N_("停止运行"), 194, [this] { model_.Button10Click(); });
  button10_->raise();

  model_.SetView(this);
  Form4Changed(What::State);
}

Form4Batch::~Form4Batch() { model_.SetView(nullptr); }

void Form4Batch::ScriptFromEditor() {
  model_.Memo1.clear();
  // Each block of the editor is one line; an empty editor has no lines.
  if (memo1_->document()->isEmpty()) return;
  for (QTextBlock block = memo1_->document()->begin(); block.isValid(); block = block.next())
    model_.Memo1.push_back(U8(block.text()));
}

void Form4Batch::Form4Changed(What what) {
  switch (what) {
    case What::Script: {
      QString text;
      for (size_t i = 0; i < model_.Memo1.size(); ++i) {
        if (i) text += QLatin1Char('\n');
        text += Q(model_.Memo1[i]);
      }
      memo1_->setPlainText(text);
      memo1_->moveCursor(QTextCursor::Start);
      memo1_->ensureCursorVisible();
      memo1_->setFocus();
      break;
    }
    case What::CurrentLine:
      edit1_->setText(Q(model_.Edit1));
      edit1_->setCursorPosition(0);
      break;
    case What::State:
      panel1_->setEnabled(model_.Panel1Enabled);
      button10_->setEnabled(model_.Button10Enabled);
      break;
  }
}

// While a script runs, only the stop button is taken; the window stays open.
void Form4Batch::reject() {
  if (!model_.Running()) QDialog::reject();
}

void Form4Batch::closeEvent(QCloseEvent* event) {
  if (model_.Running()) {
    event->ignore();
    return;
  }
  QDialog::closeEvent(event);
}

void ShowBatchWindow(MainWindow& window, Form4Batch& batch) {
  batch.move(window.frameGeometry().topLeft() + QPoint(330, 445));
  batch.exec();
}

}  // namespace qv::ui
