#include "ui/form1_create_file.h"

#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "ui/fonts.h"
#include "ui/key_filter.h"
#include "ui/naming.h"
#include "ui/tr.h"

namespace qv::ui {

namespace {
constexpr int kFontPixels = 12;
}  // namespace

Form1CreateFile::Form1CreateFile(Dialogs& dialogs, QWidget* parent) : QDialog(parent), model_(dialogs) {
  setWindowTitle(QTr(TForm1::kCaption));
  NameWindow(this, "TForm1");
  setFont(CjkFont(kFontPixels, false));
  setFixedSize(460, 268);

  auto label = [](QWidget* parent, const char* text, int x, int y, int w = 70) {
    auto* l = new QLabel(QTr(text), parent);
    l->setGeometry(x, y, w, 22);
    return l;
  };
  auto edit = [](QWidget* parent, const char* name, const QString& accessible, int x, int y, int w) {
    auto* e = new QLineEdit(parent);
    Name(e, name, accessible);
    e->setGeometry(x, y, w, 22);
    return e;
  };
  auto button = [this](QWidget* parent, const char* name, const char* caption, const QString& accessible, int x,
                       int y, int w, void (TForm1::*handler)()) {
    auto* b = new QPushButton(QTr(caption), parent);
    Name(b, name, accessible);
    b->setGeometry(x, y, w, 24);
    b->setAutoDefault(false);
    connect(b, &QPushButton::clicked, this, [this, handler] { Click(handler); });
    return b;
  };

  // One source: its file, chooser, range and reset, in a frame of its own.
  struct Source {
    const char* title;
    const char* fileLabel;
    const char* fileEdit;
    const char* chooser;
    const char* startEdit;
    const char* countEdit;
    const char* reset;
    void (TForm1::*choose)();
    void (TForm1::*clear)();
  };
  const Source sources[2] = {
      {N_("源文件1"), N_("源文件1:"), "Edit1", "Button51", "Edit5", "Edit3", "Button4", &TForm1::Button51Click,
       &TForm1::Button4Click},
      {N_("源文件2"), N_("源文件2:"), "Edit2", "Button1", "Edit4", "Edit7", "Button5", &TForm1::Button1Click,
       &TForm1::Button5Click},
  };
  QLineEdit** fileEdits[2] = {&edit1_, &edit2_};
  QLineEdit** startEdits[2] = {&edit5_, &edit4_};
  QLineEdit** countEdits[2] = {&edit3_, &edit7_};
  for (int i = 0; i < 2; ++i) {
    const Source& s = sources[i];
    auto* frame = new QGroupBox(QTr(s.title), this);
    frame->setGeometry(8, 6 + i * 100, 444, 94);
    label(frame, s.fileLabel, 10, 22);
    *fileEdits[i] = edit(frame, s.fileEdit, QTr(s.fileLabel), 80, 22, 310);
    button(frame, s.chooser, "...", QTr(s.fileLabel), 396, 21, 38, s.choose);
    label(frame, N_("截取范围"), 10, 56);
    label(frame, N_("开始扇区:"), 80, 56);
    *startEdits[i] = edit(frame, s.startEdit, QTr("开始扇区:"), 150, 56, 90);
    label(frame, N_("扇区数:"), 252, 56, 56);
    *countEdits[i] = edit(frame, s.countEdit, QTr("扇区数:"), 306, 56, 84);
    button(frame, s.reset, N_("重置"), QTr("重置"), 396, 55, 38, s.clear);
  }
  auto* rangeKeys = new CharFilter(&TForm1::RangeKeyAccepted, this);
  for (QLineEdit* e : {edit5_, edit3_, edit4_, edit7_}) {
    rangeKeys->Watch(e);
    e->setToolTip(QTr("十六进制扇区号"));
  }

  label(this, N_("目标文件:"), 18, 210);
  edit6_ = edit(this, "Edit6", QTr("目标文件:"), 88, 210, 318);
  button(this, "Button2", "...", QTr("目标文件:"), 412, 209, 38, &TForm1::Button2Click);
  button(this, "Button3", N_("生成文件"), QTr("生成文件"), 180, 240, 100, &TForm1::Button3Click)
      ->setToolTip(QTr("把两个截取范围接成目标文件；已有的同名文件被替换。"));
}

void Form1CreateFile::ToModel() {
  model_.Edit1 = U8(edit1_->text());
  model_.Edit5 = U8(edit5_->text());
  model_.Edit3 = U8(edit3_->text());
  model_.Edit2 = U8(edit2_->text());
  model_.Edit4 = U8(edit4_->text());
  model_.Edit7 = U8(edit7_->text());
  model_.Edit6 = U8(edit6_->text());
}

void Form1CreateFile::FromModel() {
  const std::pair<QLineEdit*, const std::string*> fields[] = {
      {edit1_, &model_.Edit1}, {edit5_, &model_.Edit5}, {edit3_, &model_.Edit3}, {edit2_, &model_.Edit2},
      {edit4_, &model_.Edit4}, {edit7_, &model_.Edit7}, {edit6_, &model_.Edit6},
  };
  for (const auto& [widget, text] : fields)
    if (widget->text() != Q(*text)) widget->setText(Q(*text));
}

void Form1CreateFile::Click(void (TForm1::*handler)()) {
  ToModel();
  (model_.*handler)();
  FromModel();
}

}  // namespace qv::ui
