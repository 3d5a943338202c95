#include "ui/form2_loading.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalBlocker>

#include "console/text.h"
#include "ui/fonts.h"
#include "ui/handler.h"
#include "ui/key_filter.h"
#include "ui/naming.h"
#include "ui/tr.h"

namespace qv::ui {

namespace {
constexpr int kClientWidth = 524;
constexpr int kClientHeight = 330;
constexpr int kFontPixels = 12;
// The "存盘" boxes make the drive write into its reserved area: said where they stand.
constexpr const char* kSaveHint = N_("加载后让驱动器把{1}模块写入保留区，替换那里原有的模块。");
constexpr int kRowHeight = 22;

// Columns of a module row: its box, file field, chooser and save box.
constexpr int kBoxX = 10, kFileX = 78, kFileWidth = 300, kChooserX = 382, kSaveX = 416, kSaveWidth = 104;

// The helpers take captions as source texts (marked with N_) and show them
// translated.
QLabel* MakeLabel(QWidget* parent, const char* text, int x, int y, int width) {
  auto* label = new QLabel(QTr(text), parent);
  label->setGeometry(x, y, width, kRowHeight);
  return label;
}

QCheckBox* MakeCheckBox(QWidget* parent, const char* name, const char* caption, int x, int y, int width) {
  auto* box = new QCheckBox(QTr(caption), parent);
  Name(box, name, box->text());
  box->setGeometry(x, y, width, kRowHeight);
  return box;
}

QLineEdit* MakeEdit(QWidget* parent, const char* name, const QString& accessible, int x, int y, int width) {
  auto* edit = new QLineEdit(parent);
  Name(edit, name, accessible);
  edit->setGeometry(x, y, width, kRowHeight);
  return edit;
}

QPushButton* MakeButton(QWidget* parent, const char* name, const char* caption, const QString& accessible,
                        const QRect& geometry) {
  auto* button = new QPushButton(QTr(caption), parent);
  Name(button, name, accessible);
  button->setGeometry(geometry);
  button->setAutoDefault(false);
  return button;
}

// A list that can also be typed into (the typed text is taken as it stands).
QComboBox* MakeList(QWidget* parent, const char* name, const QString& accessible, const QRect& geometry,
                    bool editable) {
  auto* list = new QComboBox(parent);
  Name(list, name, accessible);
  list->setGeometry(geometry);
  list->setEditable(editable);
  if (editable) list->setInsertPolicy(QComboBox::NoInsert);
  return list;
}

void SetItems(QComboBox* list, const std::vector<std::string>& items) {
  list->clear();
  for (const std::string& item : items) list->addItem(Q(item));
}

void ShowText(QComboBox* list, const std::string& text) {
  if (list->currentText() != Q(text)) list->setEditText(Q(text));
}

void ShowText(QLineEdit* edit, const std::string& text) {
  // A new text puts the caret at its end, where a chosen path shows its file name.
  if (edit->text() != Q(text)) edit->setText(Q(text));
}

}  // namespace

Form2Loading::Form2Loading(TFrmMain& main, const FamilyTable& families, QWidget* parent)
    : QDialog(parent), main_(main), model_(main, families) {
  setWindowTitle(QTr(TForm2::kCaption));
  NameWindow(this, "TForm2");
  setFont(CjkFont(kFontPixels, false));
  setFixedSize(kClientWidth, kClientHeight);
  setWindowFlags(windowFlags() & ~Qt::WindowContextHelpButtonHint);
  Build();
  Bind();
  model_.SetView(this);
  main_.AddView(this);
  Form2Changed();
  Changed(What::Rates);
}

Form2Loading::~Form2Loading() {
  main_.RemoveView(this);
  model_.SetView(nullptr);
}

void Form2Loading::Build() {
  panel1_ = new QWidget(this);
  Name(panel1_, "Panel1", QTr(TForm2::kCaption));
  panel1_->setGeometry(0, 0, kClientWidth, kClientHeight);

  const QString typeLabel = QTr("固件类型:");
  MakeLabel(panel1_, N_("固件类型:"), 10, 10, 70);
  comboBox7_ = MakeList(panel1_, "ComboBox7", typeLabel, QRect(kFileX, 10, kFileWidth, kRowHeight), true);
  button5_ = MakeButton(panel1_, "Button5", "A", QTr("自动识别"), QRect(kChooserX, 9, 28, 24));
  button5_->setToolTip(QTr("从硬盘读取固件类型，选择系列并填入该类型文件夹中的模块文件"));

  const QString folderLabel = QTr("固件所在位置:");
  MakeLabel(panel1_, N_("固件所在位置:"), 10, 40, 84);
  edit7_ = MakeEdit(panel1_, "Edit7", folderLabel, 96, 40, kChooserX - 100);
  // Set by the folder chooser and the family lookup; typing a folder here would do nothing.
  edit7_->setReadOnly(true);
  button7_ = MakeButton(panel1_, "Button7", "...", folderLabel, QRect(kChooserX, 39, 28, 24));
  button7_->setToolTip(QTr(TForm2::kFolderHint));

  auto row = [this](int y, const char* boxName, const char* caption, const char* editName, const char* chooserName,
                    QCheckBox*& box, QLineEdit*& edit, QPushButton*& chooser) {
    box = MakeCheckBox(panel1_, boxName, caption, kBoxX, y, 64);
    edit = MakeEdit(panel1_, editName, QTr(caption), kFileX, y, kFileWidth);
    chooser = MakeButton(panel1_, chooserName, "...", QTr(caption), QRect(kChooserX, y - 1, 28, 24));
    chooser->setToolTip(QTrFormat("选择{1}模块文件", caption));
  };
  row(76, "CheckBox1", "APP", "Edit1", "Button51", checkBox1_, edit1_, button51_);
  checkBox10_ = MakeCheckBox(panel1_, "CheckBox10", N_("存盘"), kSaveX, 76, kSaveWidth);
  checkBox10_->setToolTip(QTrFormat(kSaveHint, "APP"));
  const QString bufferLabel = QTr("缓冲区:");
  MakeLabel(panel1_, N_("缓冲区:"), kFileX, 104, 50);
  comboBox1_ = MakeList(panel1_, "ComboBox1", bufferLabel, QRect(kFileX + 52, 104, 60, kRowHeight), true);
  SetItems(comboBox1_, TForm2::kBufferItems);
  const QString blockLabel = QTr("块大小:");
  MakeLabel(panel1_, N_("块大小:"), 204, 104, 50);
  comboBox3_ = MakeList(panel1_, "ComboBox3", blockLabel, QRect(256, 104, 70, kRowHeight), true);
  SetItems(comboBox3_, TForm2::kAppBlockItems);

  row(136, "CheckBox2", "CERT", "Edit2", "Button1", checkBox2_, edit2_, button1_);
  checkBox9_ = MakeCheckBox(panel1_, "CheckBox9", N_("存盘"), kSaveX, 136, kSaveWidth);
  checkBox9_->setToolTip(QTrFormat(kSaveHint, "CERT"));
  MakeLabel(panel1_, N_("块大小:"), 204, 164, 50);
  comboBox4_ = MakeList(panel1_, "ComboBox4", blockLabel, QRect(256, 164, 70, kRowHeight), true);
  SetItems(comboBox4_, TForm2::kCertBlockItems);

  row(196, "CheckBox3", "TABLE", "Edit6", "Button2", checkBox3_, edit6_, button2_);
  checkBox8_ = MakeCheckBox(panel1_, "CheckBox8", N_("存盘"), kSaveX, 196, kSaveWidth);
  checkBox8_->setToolTip(QTrFormat(kSaveHint, "TABLE"));
  // The sector count comes from the table file; it is kept out of sight.
  QLabel* sectorsLabel = MakeLabel(panel1_, N_("扇区数:"), 204, 224, 50);
  edit3_ = MakeEdit(panel1_, "Edit3", QTr("扇区数:"), 256, 224, 70);
  sectorsLabel->hide();
  edit3_->hide();

  row(228, "CheckBox4", "ATA0", "Edit4", "Button3", checkBox4_, edit4_, button3_);
  checkBox5_ = MakeCheckBox(panel1_, "CheckBox5", N_("存盘"), kSaveX, 228, kSaveWidth);
  checkBox5_->setToolTip(QTr("加载后让驱动器把ATA0和ATA1模块写入保留区，替换那里原有的模块（两者共用这一项）。"));
  row(256, "CheckBox6", "ATA1", "Edit5", "Button4", checkBox6_, edit5_, button4_);

  const QString rateLabel = QTr("加载速率:");
  MakeLabel(panel1_, N_("加载速率:"), 10, 294, 70);
  comboBox2_ = MakeList(panel1_, "ComboBox2", rateLabel, QRect(kFileX, 294, 100, kRowHeight), false);
  button6_ = MakeButton(panel1_, "Button6", N_("加载"), QTr("加载"), QRect(kChooserX - 38, 291, 94, 28));
  button6_->setToolTip(QTr("把勾选的模块文件送进驱动器（APP在F级，其余在T级）；勾选了“存盘”的模块随后写入保留区。"));

  auto* hexKeys = new CharFilter(&HexFieldKey, this);
  for (QWidget* field : std::initializer_list<QWidget*>{comboBox1_, comboBox3_, comboBox4_, edit3_})
    hexKeys->Watch(field);
}

void Form2Loading::Run(void (TForm2::*handler)()) {
  RunHandler(main_.Dlg(), [this, handler] { (model_.*handler)(); });
  Form2Changed();
}

void Form2Loading::Tick(QCheckBox* box, bool TForm2::*field, void (TForm2::*click)()) {
  connect(box, &QCheckBox::clicked, this, [this, field, click](bool checked) {
    model_.*field = checked;
    if (click) Run(click);
  });
}

void Form2Loading::Bind() {
  Tick(checkBox1_, &TForm2::CheckBox1, &TForm2::CheckBox1Click);
  Tick(checkBox2_, &TForm2::CheckBox2, &TForm2::CheckBox2Click);
  Tick(checkBox3_, &TForm2::CheckBox3, &TForm2::CheckBox3Click);
  Tick(checkBox4_, &TForm2::CheckBox4, &TForm2::CheckBox4Click);
  Tick(checkBox6_, &TForm2::CheckBox6, &TForm2::CheckBox6Click);
  for (auto [box, field] : {std::pair{checkBox10_, &TForm2::CheckBox10}, std::pair{checkBox9_, &TForm2::CheckBox9},
                            std::pair{checkBox8_, &TForm2::CheckBox8}, std::pair{checkBox5_, &TForm2::CheckBox5}})
    Tick(box, field, nullptr);

  const std::pair<QLineEdit*, std::string TForm2::*> edits[] = {
      {edit1_, &TForm2::Edit1}, {edit2_, &TForm2::Edit2}, {edit6_, &TForm2::Edit6},
      {edit4_, &TForm2::Edit4}, {edit5_, &TForm2::Edit5}, {edit3_, &TForm2::Edit3}};
  for (const auto& [edit, field] : edits)
    connect(edit, &QLineEdit::textEdited, this, [this, field = field](const QString& text) { model_.*field = U8(text); });

  const std::tuple<QComboBox*, std::string TForm2::*, void (TForm2::*)()> lists[] = {
      {comboBox1_, &TForm2::ComboBox1, &TForm2::ComboBox1Change},
      {comboBox3_, &TForm2::ComboBox3, nullptr},
      {comboBox4_, &TForm2::ComboBox4, nullptr}};
  for (const auto& [list, field, change] : lists)
    connect(list, &QComboBox::editTextChanged, this, [this, field = field, change = change](const QString& text) {
      if (drawing_) return;
      model_.*field = U8(text);
      if (change) Run(change);
    });
  connect(comboBox7_, &QComboBox::editTextChanged, this, [this](const QString& text) {
    if (drawing_) return;
    // A typed name that is in the list chooses that family, as picking it does.
    model_.ComboBox7Text = U8(text);
    model_.ComboBox7.index = comboBox7_->findText(text, Qt::MatchFixedString | Qt::MatchCaseSensitive);
    Run(&TForm2::ComboBox7Change);
  });
  connect(comboBox2_, &QComboBox::activated, this, [this](int index) { model_.ComboBox2.index = index; });

  const std::pair<QPushButton*, void (TForm2::*)()> buttons[] = {
      {button5_, &TForm2::Button5Click},  {button7_, &TForm2::Button7Click}, {button51_, &TForm2::Button51Click},
      {button1_, &TForm2::Button1Click},  {button2_, &TForm2::Button2Click}, {button3_, &TForm2::Button3Click},
      {button4_, &TForm2::Button4Click},  {button6_, &TForm2::Button6Click}};
  for (const auto& [button, click] : buttons)
    connect(button, &QPushButton::clicked, this, [this, click = click] { Run(click); });
}

void Form2Loading::Form2Changed() {
  drawing_ = true;
  if (comboBox7_->count() != static_cast<int>(model_.ComboBox7.items.size())) SetItems(comboBox7_, model_.ComboBox7.items);
  if (comboBox7_->currentIndex() != model_.ComboBox7.index) comboBox7_->setCurrentIndex(model_.ComboBox7.index);
  ShowText(comboBox7_, model_.ComboBox7Text);
  ShowText(edit7_, model_.Edit7);
  ShowText(comboBox1_, model_.ComboBox1);
  ShowText(comboBox3_, model_.ComboBox3);
  ShowText(comboBox4_, model_.ComboBox4);
  ShowText(edit3_, model_.Edit3);

  // A module's fields are usable while its box is ticked.
  struct Row {
    QCheckBox* box;
    bool ticked;
    QLineEdit* edit;
    const std::string& file;
    std::vector<QWidget*> fields;
  };
  const Row rows[] = {
      {checkBox1_, model_.CheckBox1, edit1_, model_.Edit1, {edit1_, button51_, checkBox10_, comboBox1_, comboBox3_}},
      {checkBox2_, model_.CheckBox2, edit2_, model_.Edit2, {edit2_, button1_, checkBox9_, comboBox4_}},
      {checkBox3_, model_.CheckBox3, edit6_, model_.Edit6, {edit6_, button2_, checkBox8_}},
      {checkBox4_, model_.CheckBox4, edit4_, model_.Edit4, {edit4_, button3_, checkBox5_}},
      {checkBox6_, model_.CheckBox6, edit5_, model_.Edit5, {edit5_, button4_}},
  };
  for (const Row& row : rows) {
    row.box->setChecked(row.ticked);
    ShowText(row.edit, row.file);
    for (QWidget* field : row.fields) field->setEnabled(row.ticked);
  }
  checkBox10_->setChecked(model_.CheckBox10);
  checkBox9_->setChecked(model_.CheckBox9);
  checkBox8_->setChecked(model_.CheckBox8);
  checkBox5_->setChecked(model_.CheckBox5);
  panel1_->setEnabled(model_.Panel1Enabled);
  drawing_ = false;
}

void Form2Loading::Changed(What what) {
  if (what != What::Rates) return;
  const QSignalBlocker blocker(comboBox2_);
  SetItems(comboBox2_, model_.ComboBox2.items);
  comboBox2_->setCurrentIndex(model_.ComboBox2.index);
}

}  // namespace qv::ui
