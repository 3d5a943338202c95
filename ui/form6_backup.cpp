#include "ui/form6_backup.h"

#include <QCheckBox>
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
constexpr int kClientWidth = 420;
constexpr int kClientHeight = 176;
constexpr int kFontPixels = 12;

void Fill(QComboBox* box, const ListControl& list) {
  bool same = box->count() == static_cast<int>(list.items.size());
  for (int i = 0; same && i < box->count(); ++i) same = box->itemText(i) == Q(list.items[i]);
  if (!same) {
    box->clear();
    for (const std::string& item : list.items) box->addItem(Q(item));
  }
  box->setCurrentIndex(list.index < box->count() ? list.index : -1);
}
}  // namespace

Form6Backup::Form6Backup(TFrmMain& main, const FamilyTable& families, QWidget* parent)
    : QDialog(parent), main_(main), model_(main, families) {
  setWindowTitle(QTr(TForm6::kCaption));
  NameWindow(this, "TForm6");
  setFont(CjkFont(kFontPixels, false));
  setFixedSize(kClientWidth, kClientHeight);
  setWindowFlags(windowFlags() & ~Qt::WindowContextHelpButtonHint);

  panel1_ = new QWidget(this);
  Name(panel1_, "Panel1", QTr(TForm6::kCaption));
  panel1_->setGeometry(0, 0, kClientWidth, kClientHeight);

  auto label = [this](const char* name, const char* text, int x, int y, int w) {
    auto* l = new QLabel(QTr(text), panel1_);
    Name(l, name, l->text());
    l->setGeometry(x, y, w, 22);
    return l;
  };
  auto button = [this](const char* name, const char* caption, const char* hint, const QString& accessible,
                       const QRect& geometry, void (TForm6::*handler)()) {
    auto* b = new QPushButton(QTr(caption), panel1_);
    Name(b, name, accessible);
    b->setGeometry(geometry);
    b->setAutoDefault(false);
    if (hint) b->setToolTip(QTr(hint));
    connect(b, &QPushButton::clicked, this, [this, handler] { Click(handler); });
    return b;
  };

  QLabel* typeLabel = label("Label1", N_("固件类型:"), 14, 12, 70);
  comboBox7_ = new QComboBox(panel1_);
  Name(comboBox7_, "ComboBox7", typeLabel->text());
  comboBox7_->setGeometry(84, 12, 250, 22);
  typeLabel->setBuddy(comboBox7_);
  button("Button2", "A", N_("分析固件版本"), QTr("分析固件版本"), QRect(340, 11, 30, 24), &TForm6::Button2Click);

  QLabel* folderLabel = label("Label2", N_("保存位置："), 14, 44, 70);
  edit1_ = new QLineEdit(panel1_);
  Name(edit1_, "Edit1", folderLabel->text());
  edit1_->setGeometry(84, 44, 286, 22);
  folderLabel->setBuddy(edit1_);
  button("Button51", "...", N_("选择固件保存位置"), QTr("选择固件保存位置"), QRect(376, 43, 30, 24),
         &TForm6::Button51Click);

  QLabel* rateLabel = label("Label3", N_("备份速率:"), 14, 76, 70);
  comboBox2_ = new QComboBox(panel1_);
  Name(comboBox2_, "ComboBox2", rateLabel->text());
  comboBox2_->setGeometry(84, 76, 110, 22);
  rateLabel->setBuddy(comboBox2_);

  const char* boxes[5][2] = {{"CheckBox1", "App Code"},
                             {"CheckBox2", "Cert"},
                             {"CheckBox3", "Cert Table"},
                             {"CheckBox4", "ATA Ovl"},
                             {"CheckBox5", "Vendor"}};
  const int boxX[5] = {14, 100, 164, 256, 338};
  const int boxWidth[5] = {84, 62, 90, 80, 72};
  bool TForm6::*ticks[5] = {&TForm6::CheckBox1, &TForm6::CheckBox2, &TForm6::CheckBox3, &TForm6::CheckBox4,
                            &TForm6::CheckBox5};
  for (int i = 0; i < 5; ++i) {
    auto* box = new QCheckBox(QString::fromUtf8(boxes[i][1]), panel1_);
    Name(box, boxes[i][0], box->text());
    box->setGeometry(boxX[i], 108, boxWidth[i], 22);
    connect(box, &QCheckBox::toggled, this, [this, tick = ticks[i]](bool on) {
      if (!showing_) model_.*tick = on;
    });
    checkBoxes_[i] = box;
  }

  // Beside the rate, the row's free end: the other controls keep their places.
  checkBox6_ = new QCheckBox(QTr("读两遍核对"), panel1_);
  Name(checkBox6_, "CheckBox6", checkBox6_->text());
  checkBox6_->setGeometry(214, 76, 120, 22);
  checkBox6_->setToolTip(QTr("每个模块读两遍并比较；不一致时读第三遍，按扇区取多数"));
  connect(checkBox6_, &QCheckBox::toggled, this, [this](bool on) {
    if (!showing_) model_.CheckBox6 = on;
  });

  button("Button7", N_("开始备份"), N_("从驱动器读出勾选的模块，存入保存位置的文件夹；其中同名的模块文件被替换，驱动器上的内容不变。"),
         QTr("开始备份"), QRect(300, 140, 106, 28), &TForm6::Button7Click);

  // What the last backup found; kept for the record, not shown.
  const char* hiddenNames[3] = {"Edit2", "Edit3", "Edit4"};
  const char* hiddenRoles[3] = {N_("保留区起始"), N_("缓冲区地址"), N_("缓冲区块数")};
  for (int i = 0; i < 3; ++i) {
    hidden_[i] = new QLineEdit(panel1_);
    Name(hidden_[i], hiddenNames[i], QTr(hiddenRoles[i]));
    hidden_[i]->setReadOnly(true);
    hidden_[i]->hide();
  }

  connect(comboBox7_, &QComboBox::currentIndexChanged, this, [this](int index) {
    if (!showing_) model_.ComboBox7.index = index;
  });
  connect(comboBox2_, &QComboBox::currentIndexChanged, this, [this](int index) {
    if (!showing_) model_.ComboBox2.index = index;
  });
  connect(edit1_, &QLineEdit::textChanged, this, [this](const QString& text) {
    if (!showing_) model_.Edit1 = U8(text);
  });

  model_.onChanged = [this] { ShowModel(); };
  main_.AddView(this);
  ShowModel();
}

Form6Backup::~Form6Backup() { main_.RemoveView(this); }

void Form6Backup::Changed(What what) {
  if (what == What::Rates) ShowModel();
}

void Form6Backup::ShowModel() {
  showing_ = true;
  Fill(comboBox7_, model_.ComboBox7);
  Fill(comboBox2_, model_.ComboBox2);
  if (edit1_->text() != Q(model_.Edit1)) edit1_->setText(Q(model_.Edit1));
  const bool ticks[5] = {model_.CheckBox1, model_.CheckBox2, model_.CheckBox3, model_.CheckBox4, model_.CheckBox5};
  for (int i = 0; i < 5; ++i) checkBoxes_[i]->setChecked(ticks[i]);
  checkBox6_->setChecked(model_.CheckBox6);
  const std::string* found[3] = {&model_.Edit2, &model_.Edit3, &model_.Edit4};
  for (int i = 0; i < 3; ++i) hidden_[i]->setText(Q(*found[i]));
  panel1_->setEnabled(model_.Panel1Enabled);
  showing_ = false;
}

void Form6Backup::Click(void (TForm6::*handler)()) {
  RunHandler(main_.Dlg(), [this, handler] { (model_.*handler)(); });
  ShowModel();
}

}  // namespace qv::ui
