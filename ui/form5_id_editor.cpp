#include "ui/form5_id_editor.h"

#include <QCheckBox>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "console/main.h"
#include "ui/fonts.h"
#include "ui/handler.h"
#include "ui/naming.h"
#include "ui/tr.h"

namespace qv::ui {

namespace {
constexpr int kClientWidth = 334;
constexpr int kClientHeight = 139;
constexpr int kFontPixels = 12;

QCheckBox* MakeCheckBox(QWidget* parent, const char* name, const QString& caption, const QRect& geometry) {
  auto* box = new QCheckBox(caption, parent);
  Name(box, name, box->text());
  box->setGeometry(geometry);
  return box;
}
}  // namespace

Form5IdEditor::Form5IdEditor(TFrmMain& main, QWidget* parent) : QDialog(parent), main_(main), model_(main) {
  setWindowTitle(QTr(kCaption));
  NameWindow(this, "TForm5");
  setFont(CjkFont(kFontPixels, false));
  setFixedSize(kClientWidth, kClientHeight);
  setWindowFlags(windowFlags() & ~Qt::WindowContextHelpButtonHint);

  panel1_ = new QWidget(this);
  Name(panel1_, "Panel1", windowTitle());
  panel1_->setGeometry(0, 0, kClientWidth, kClientHeight);

  QLabel* label2 = NamedLabel(panel1_, "Label2", QTr("型号："), QRect(14, 14, 48, 22));
  edit1_ = new QLineEdit(panel1_);
  Name(edit1_, "Edit1", label2->text());
  edit1_->setGeometry(62, 14, 160, 22);
  edit1_->setMaxLength(TForm5::kModelMaxLength);
  label2->setBuddy(edit1_);

  QLabel* label1 = NamedLabel(panel1_, "Label1", QTr("容量："), QRect(14, 44, 48, 22));
  edit2_ = new QLineEdit(panel1_);
  Name(edit2_, "Edit2", label1->text());
  edit2_->setGeometry(62, 44, 104, 22);
  edit2_->setMaxLength(TForm5::kCapacityMaxLength);
  // An input method would commit its text past the key filter (full-width
  // digits, letters); the capacity box takes plain key presses only.
  edit2_->setAttribute(Qt::WA_InputMethodEnabled, false);
  edit2_->setToolTip(QTr("10～2048 为 GB；19000000～4000000000 为扇区数"));
  label1->setBuddy(edit2_);
  NamedLabel(panel1_, "Label3", "GB/LBA", QRect(172, 44, 60, 22));

  // Each box adds to what "写入信息" writes into the drive's identity record.
  checkBox4_ = MakeCheckBox(panel1_, "CheckBox4", QTr("初始化ID"), QRect(240, 14, 90, 22));
  checkBox4_->setToolTip(QTr("先把驱动器的整个身份记录重新初始化（ASCIFE），再写入其余勾选的项。"));
  checkBox1_ = MakeCheckBox(panel1_, "CheckBox1", QTr("写入型号"), QRect(14, 76, 84, 22));
  checkBox1_->setToolTip(QTr("把型号写进驱动器的身份记录（第1B到2E字），替换原有的型号。"));
  checkBox2_ = MakeCheckBox(panel1_, "CheckBox2", QTr("写入容量"), QRect(100, 76, 84, 22));
  checkBox2_->setToolTip(QTr("把容量写进驱动器的身份记录（第3C、64、81、83字起各两字），替换原有的容量。"));
  checkBox3_ = MakeCheckBox(panel1_, "CheckBox3", QTr("写入1、3、6键标准值"), QRect(186, 76, 146, 22));
  checkBox3_->setToolTip(QTr("把身份记录的第1、3、6字写成标准值（3FFF、0010、003F）。"));

  auto* button7 = new QPushButton(QTr("写入信息"), panel1_);
  button7->setToolTip(QTr("驱动器须在T级：把勾选的项写进驱动器的身份记录，替换其中原有的内容。"));
  Name(button7, "Button7", button7->text());
  button7->setGeometry(232, 106, 92, 26);
  button7->setAutoDefault(false);

  edit1_->installEventFilter(this);
  edit2_->installEventFilter(this);
  connect(edit1_, &QLineEdit::textEdited, this, [this](const QString& text) {
    // Typed (and pasted) letters a to z go in as capitals.
    const std::string typed = U8(text);
    std::string upper;
    for (char c : typed) upper += TForm5::Edit1KeyPress(c);
    if (upper != typed) {
      const int cursor = edit1_->cursorPosition();
      edit1_->setText(Q(upper));
      edit1_->setCursorPosition(cursor);
    }
    model_.Edit1 = upper;
  });
  connect(edit2_, &QLineEdit::textChanged, this, [this](const QString& text) { model_.Edit2 = U8(text); });
  connect(checkBox1_, &QCheckBox::toggled, this, [this](bool on) { model_.CheckBox1 = on; });
  connect(checkBox2_, &QCheckBox::toggled, this, [this](bool on) { model_.CheckBox2 = on; });
  connect(checkBox3_, &QCheckBox::toggled, this, [this](bool on) { model_.CheckBox3 = on; });
  connect(checkBox4_, &QCheckBox::toggled, this, [this](bool on) { model_.CheckBox4 = on; });
  connect(button7, &QPushButton::clicked, this, [this] { Write(); });

  model_.onChanged = [this] { ShowModel(); };
  model_.onFocus = [this](const std::string& control) {
    QLineEdit* edit = control == "Edit1" ? edit1_ : edit2_;
    edit->setFocus();
    edit->selectAll();
  };
  ShowModel();
}

void Form5IdEditor::ShowModel() {
  if (edit1_->text() != Q(model_.Edit1)) edit1_->setText(Q(model_.Edit1));
  if (edit2_->text() != Q(model_.Edit2)) edit2_->setText(Q(model_.Edit2));
  checkBox1_->setChecked(model_.CheckBox1);
  checkBox2_->setChecked(model_.CheckBox2);
  checkBox3_->setChecked(model_.CheckBox3);
  checkBox4_->setChecked(model_.CheckBox4);
  panel1_->setEnabled(model_.Panel1Enabled);
}

void Form5IdEditor::Write() { RunHandler(main_.Dlg(), [this] { model_.Button7Click(); }); }

void Form5IdEditor::showEvent(QShowEvent* event) {
  model_.FormShow();
  ShowModel();
  QDialog::showEvent(event);
}

bool Form5IdEditor::eventFilter(QObject* watched, QEvent* event) {
  if (watched == edit2_ && event->type() == QEvent::KeyPress) {
    auto* key = static_cast<QKeyEvent*>(event);
    if (key->modifiers() & Qt::ControlModifier) {
      // Copy and paste only; a pasted text is checked when it is written.
      return key->key() != Qt::Key_C && key->key() != Qt::Key_V;
    }
    const QString text = key->text();
    // Keys without a character (arrows, Delete, Home, Tab, Escape) keep their usual meaning.
    if (text.isEmpty() || key->key() == Qt::Key_Tab || key->key() == Qt::Key_Backtab ||
        key->key() == Qt::Key_Escape || key->key() == Qt::Key_Delete)
      return false;
    const char16_t c = text.at(0).unicode();
    return c >= 0x80 || TForm5::Edit2KeyPress(static_cast<char>(c)) == 0;
  }
  if (watched == edit2_ && event->type() == QEvent::InputMethod) {
    // Committed text obeys the same filter as typed keys.
    for (const QChar c : static_cast<QInputMethodEvent*>(event)->commitString())
      if (c.unicode() >= 0x80 || TForm5::Edit2KeyPress(static_cast<char>(c.unicode())) == 0) return true;
    return false;
  }
  return QDialog::eventFilter(watched, event);
}

}  // namespace qv::ui
