#include "ui/form3_serial_rom.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "ui/fonts.h"
#include "ui/handler.h"
#include "ui/naming.h"
#include "ui/tr.h"

namespace qv::ui {

namespace {
constexpr int kClientWidth = 410;
constexpr int kClientHeight = 150;
constexpr int kFontPixels = 12;
}  // namespace

Form3SerialRom::Form3SerialRom(TFrmMain& main, QWidget* parent) : QDialog(parent), main_(main), model_(main) {
  setWindowTitle(QTr(TForm3::kCaption));
  NameWindow(this, "TForm3");
  setFont(CjkFont(kFontPixels, false));
  setFixedSize(kClientWidth, kClientHeight);
  setWindowFlags(windowFlags() & ~Qt::WindowContextHelpButtonHint);

  panel1_ = new QWidget(this);
  Name(panel1_, "Panel1", QTr(TForm3::kCaption));
  panel1_->setGeometry(0, 0, kClientWidth, kClientHeight);

  auto button = [this](const char* name, const char* caption, const QString& accessible, const QRect& geometry,
                       void (TForm3::*handler)()) {
    auto* b = new QPushButton(QTr(caption), panel1_);
    Name(b, name, accessible);
    b->setGeometry(geometry);
    b->setAutoDefault(false);
    connect(b, &QPushButton::clicked, this, [this, handler] { Click(handler); });
    return b;
  };
  auto fileRow = [&](const char* labelName, const char* labelText, const char* editName, const char* chooser,
                     int y, void (TForm3::*choose)()) {
    QLabel* label = NamedLabel(panel1_, labelName, labelText, QRect(12, y, 44, 22));
    auto* edit = new QLineEdit(panel1_);
    Name(edit, editName, label->text());
    edit->setGeometry(58, y, 300, 22);
    edit->setReadOnly(true);
    label->setBuddy(edit);
    button(chooser, "...", label->text(), QRect(364, y - 1, 34, 24), choose);
    return edit;
  };
  edit1_ = fileRow("Label6", N_("读取:"), "Edit1", "Button51", 12, &TForm3::Button51Click);
  edit2_ = fileRow("Label1", N_("写入:"), "Edit2", "Button1", 44, &TForm3::Button1Click);

  QLabel* label5 = NamedLabel(panel1_, "Label5", N_("入口缓冲区:"), QRect(12, 78, 78, 22));
  comboBox3_ = new QComboBox(panel1_);
  Name(comboBox3_, "ComboBox3", label5->text());
  comboBox3_->setGeometry(92, 77, 80, 24);
  comboBox3_->setEditable(true);
  for (const std::string& item : TForm3::EntryBuffers()) comboBox3_->addItem(Q(item));
  comboBox3_->setEditText(Q(model_.ComboBox3));
  label5->setBuddy(comboBox3_);
  connect(comboBox3_, &QComboBox::editTextChanged, this, [this](const QString& text) { model_.ComboBox3 = U8(text); });

  QLabel* label2 = NamedLabel(panel1_, "Label2", N_("读写速率:"), QRect(196, 78, 66, 22));
  comboBox2_ = new QComboBox(panel1_);
  Name(comboBox2_, "ComboBox2", label2->text());
  comboBox2_->setGeometry(264, 77, 94, 24);
  label2->setBuddy(comboBox2_);
  connect(comboBox2_, &QComboBox::currentIndexChanged, this, [this](int index) {
    if (!updating_) model_.ComboBox2.index = index;
  });

  // What each button does to the drive's flash ROM and to the file, said where it is pressed.
  const struct {
    const char* name;
    const char* caption;
    const char* hint;
    void (TForm3::*handler)();
  } operations[] = {
      {"Button2", N_("缓冲区读取"), N_("经驱动器的缓冲区读出闪存ROM，存入“读取:”的文件（已有的同名文件被替换）。"),
       &TForm3::Button2Click},
      {"Button3", N_("指令方式读取"), N_("用指令逐字节读出闪存ROM（较慢），存入“读取:”的文件（已有的同名文件被替换）。"),
       &TForm3::Button3Click},
      {"Button6", N_("缓冲区写入"), N_("经入口缓冲区把“写入:”的文件写进驱动器的闪存ROM，替换其中原有的内容。"),
       &TForm3::Button6Click},
      {"Button4", N_("指令方式写入"), N_("用指令逐字节把“写入:”的文件写进驱动器的闪存ROM（较慢），替换其中原有的内容。"),
       &TForm3::Button4Click},
  };
  int x = 12;
  for (const auto& op : operations) {
    button(op.name, op.caption, QTr(op.caption), QRect(x, 114, 92, 26), op.handler)->setToolTip(QTr(op.hint));
    x += 98;
  }

  model_.onChanged = [this] { ShowModel(); };
  main_.AddView(this);
  ShowModel();
  ShowRates();
}

Form3SerialRom::~Form3SerialRom() { main_.RemoveView(this); }

void Form3SerialRom::Changed(What what) {
  if (what == What::Rates) ShowRates();
}

void Form3SerialRom::ShowRates() {
  updating_ = true;
  comboBox2_->clear();
  for (const std::string& item : model_.ComboBox2.items) comboBox2_->addItem(Q(item));
  comboBox2_->setCurrentIndex(model_.ComboBox2.index < comboBox2_->count() ? model_.ComboBox2.index : -1);
  updating_ = false;
}

void Form3SerialRom::ShowModel() {
  if (edit1_->text() != Q(model_.Edit1)) {
    edit1_->setText(Q(model_.Edit1));
    edit1_->setCursorPosition(static_cast<int>(edit1_->text().size()));
  }
  if (edit2_->text() != Q(model_.Edit2)) edit2_->setText(Q(model_.Edit2));
  panel1_->setEnabled(model_.Enabled);
}

void Form3SerialRom::Click(void (TForm3::*handler)()) {
  RunHandler(main_.Dlg(), [this, handler] { (model_.*handler)(); });
}

// While an operation runs the window stays; STOP on the main window ends it.
void Form3SerialRom::reject() {
  if (!model_.Running()) QDialog::reject();
}

void Form3SerialRom::closeEvent(QCloseEvent* event) {
  if (model_.Running()) {
    event->ignore();
    return;
  }
  QDialog::closeEvent(event);
}

}  // namespace qv::ui
