#include "ui/library_window.h"

#include <QAbstractTableModel>
#include <algorithm>
#include <QCheckBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableView>

#include "console/dialogs.h"
#include "ui/fonts.h"
#include "ui/handler.h"
#include "ui/naming.h"
#include "ui/tr.h"

namespace qv::ui {

namespace {
constexpr int kClientWidth = 900;
constexpr int kClientHeight = 620;
constexpr int kFontPixels = 12;
constexpr int kRowHeight = 20;

const QColor kUnique(255, 200, 200);   // as the comparison window marks a difference
const QColor kVariant(255, 236, 179);

const char* StandingName(Standing standing) {
  switch (standing) {
    case Standing::Identical: return N_("相同");
    case Standing::Variant: return N_("变体");
    case Standing::Unique: return N_("唯一");
    case Standing::Alone: return N_("无可比");
    case Standing::PerDrive: return N_("各盘专有");
  }
  return "";
}
}  // namespace

// The backups: number, time, family, the drive's words, serial number,
// verified, the folder it came from.
class BackupTableModel : public QAbstractTableModel {
 public:
  explicit BackupTableModel(const LibraryBrowser& form, QObject* parent) : QAbstractTableModel(parent), form_(form) {}
  int rowCount(const QModelIndex& parent = {}) const override {
    return parent.isValid() ? 0 : static_cast<int>(form_.ListView1.size());
  }
  int columnCount(const QModelIndex& parent = {}) const override { return parent.isValid() ? 0 : 7; }
  QVariant data(const QModelIndex& index, int role) const override {
    if (!index.isValid() || index.row() >= rowCount() || role != Qt::DisplayRole) return {};
    const LibraryBackup& b = form_.ListView1[static_cast<size_t>(index.row())];
    switch (index.column()) {
      case 0: return static_cast<qlonglong>(b.id);
      case 1: return Q(b.time);
      case 2: return Q(b.family);
      case 3: return Q(b.drive);
      case 4: return Q(b.serial);
      case 5: return b.verified ? QTr("是") : QTr("否");
      default: return Q(b.source);
    }
  }
  QVariant headerData(int section, Qt::Orientation orientation, int role) const override {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole) return {};
    static const char* const kHeaders[] = {N_("编号"), N_("时间"), N_("系列"), N_("驱动器报告"),
                                           N_("序列号"), N_("读两遍"), N_("来自文件夹")};
    return QTr(kHeaders[section]);
  }
  void Reset() {
    beginResetModel();
    endResetModel();
  }

 private:
  const LibraryBrowser& form_;
};

// The matrix: a row per drive (the one picked first), a column per module;
// each cell the letter of its copy, marked by how it stands in its column.
class MatrixModel : public QAbstractTableModel {
 public:
  explicit MatrixModel(const LibraryBrowser& form, QObject* parent) : QAbstractTableModel(parent), form_(form) {}
  int rowCount(const QModelIndex& parent = {}) const override {
    return parent.isValid() ? 0 : static_cast<int>(form_.matrix.rows.size());
  }
  int columnCount(const QModelIndex& parent = {}) const override {
    return parent.isValid() ? 0 : static_cast<int>(form_.matrix.modules.size());
  }
  QVariant data(const QModelIndex& index, int role) const override {
    if (!index.isValid() || index.row() >= rowCount() || index.column() >= columnCount()) return {};
    const ModuleMatrix::Cell& cell = form_.matrix.rows[static_cast<size_t>(index.row())][static_cast<size_t>(index.column())];
    if (!cell.present) return role == Qt::DisplayRole ? QVariant(QStringLiteral("—")) : QVariant();
    switch (role) {
      case Qt::DisplayRole: return Q(cell.variant);
      case Qt::TextAlignmentRole: return Qt::AlignCenter;
      case Qt::BackgroundRole:
        if (cell.standing == Standing::Unique) return kUnique;
        if (cell.standing == Standing::Variant) return kVariant;
        return {};
      case Qt::AccessibleDescriptionRole: return QTr(StandingName(cell.standing));
      case Qt::ToolTipRole: return ToolTip(index, cell);
      default: return {};
    }
  }
  QVariant headerData(int section, Qt::Orientation orientation, int role) const override {
    if (role != Qt::DisplayRole) return {};
    if (orientation == Qt::Horizontal) return Q(form_.matrix.modules[static_cast<size_t>(section)]);
    const LibraryBackup& b = form_.matrixDrives[static_cast<size_t>(section)];
    return b.serial.empty() ? QStringLiteral("#%1").arg(b.id) : Q(b.serial);
  }
  void Reset() {
    beginResetModel();
    endResetModel();
  }

 private:
  QString ToolTip(const QModelIndex& index, const ModuleMatrix::Cell& cell) const {
    QString tip = Q(cell.sha256.substr(0, 16)) + QStringLiteral("…");
    // The picked drive's own modules say how they stand in words.
    if (index.row() == 0)
      for (const ModuleStanding& m : form_.standings)
        if (m.name == form_.matrix.modules[static_cast<size_t>(index.column())]) tip = Q(StandingText(m)) + "\n" + tip;
    return tip;
  }
  const LibraryBrowser& form_;
};

LibraryWindow::LibraryWindow(Dialogs& dialogs, const std::string& userDataFolder, QWidget* parent)
    : QDialog(parent), dialogs_(dialogs), model_(dialogs, userDataFolder) {
  setWindowTitle(QTr(LibraryBrowser::kCaption));
  NameWindow(this, "LibraryWindow");
  setFont(CjkFont(kFontPixels, false));
  setFixedSize(kClientWidth, kClientHeight);
  setWindowFlags(windowFlags() & ~Qt::WindowContextHelpButtonHint);
  Build();
  model_.onChanged = [this] { ShowModel(); };
  ShowModel();
}

LibraryWindow::~LibraryWindow() {
  model_.onChanged = nullptr;
  // Hidden while the model the tables read is still there: hiding them later,
  // from QDialog's destructor, would ask it for headers.
  hide();
  delete listView1_;
  delete listView2_;
}

void LibraryWindow::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  // What other programs added meanwhile shows each time the window does.
  RunHandler(dialogs_, [this] { model_.Refresh(); });
}

void LibraryWindow::Build() {
  auto button = [this](const char* name, const QString& caption, const QRect& at, void (LibraryBrowser::*click)()) {
    auto* b = new QPushButton(caption, this);
    Name(b, name, b->text());
    b->setGeometry(at);
    b->setAutoDefault(false);
    connect(b, &QPushButton::clicked, this, [this, click] { RunHandler(dialogs_, [this, click] { (model_.*click)(); }); });
    return b;
  };
  NamedLabel(this, "Label1", N_("固件库:"), QRect(10, 10, 80, 22));
  edit1_ = new QLineEdit(this);
  Name(edit1_, "Edit1", QTr("固件库:"));
  edit1_->setReadOnly(true);
  edit1_->setGeometry(90, 10, 430, 22);
  auto* choose = button("Button1", QStringLiteral("..."), QRect(524, 9, 30, 24), &LibraryBrowser::Button1Click);
  choose->setToolTip(QTr(LibraryBrowser::kFolderTitle));
  checkBox1_ = new QCheckBox(QTr("完成的备份自动加入固件库"), this);
  Name(checkBox1_, "CheckBox1", checkBox1_->text());
  checkBox1_->setGeometry(570, 10, 320, 22);
  connect(checkBox1_, &QCheckBox::toggled, this, [this](bool on) {
    if (showing_) return;
    model_.CheckBox1 = on;
    RunHandler(dialogs_, [this] { model_.CheckBox1Click(); });
  });

  auto filter = [this](int x, const char* labelName, const char* label, const char* editName,
                       std::string LibraryBrowser::*field) {
    NamedLabel(this, labelName, label, QRect(x, 42, 60, 22));
    auto* edit = new QLineEdit(this);
    Name(edit, editName, QTr(label));
    edit->setGeometry(x + 60, 42, 170, 22);
    connect(edit, &QLineEdit::textEdited, this, [this, field](const QString& text) {
      model_.*field = U8(text);
      RunHandler(dialogs_, [this] { model_.Refresh(); });
    });
  };
  filter(10, "Label2", N_("系列:"), "Edit2", &LibraryBrowser::Edit2);
  filter(250, "Label3", N_("序列号:"), "Edit3", &LibraryBrowser::Edit3);
  button("Button2", QTr("加入…"), QRect(600, 41, 90, 24), &LibraryBrowser::Button2Click);
  button("Button5", QTr("重建"), QRect(700, 41, 90, 24), &LibraryBrowser::Button5Click);

  backups_ = new BackupTableModel(model_, this);
  listView1_ = new QTableView(this);
  Name(listView1_, "ListView1", QTr("备份列表"));
  listView1_->setGeometry(10, 74, 880, 220);
  listView1_->setModel(backups_);
  listView1_->setSelectionBehavior(QAbstractItemView::SelectRows);
  listView1_->setSelectionMode(QAbstractItemView::ExtendedSelection);
  listView1_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  listView1_->verticalHeader()->hide();
  listView1_->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
  listView1_->verticalHeader()->setDefaultSectionSize(kRowHeight);
  for (const auto& [column, width] : {std::pair{0, 50}, {1, 170}, {2, 140}, {3, 180}, {4, 120}, {5, 60}})
    listView1_->horizontalHeader()->resizeSection(column, width);
  listView1_->horizontalHeader()->setStretchLastSection(true);
  connect(listView1_->selectionModel(), &QItemSelectionModel::selectionChanged, this, [this] {
    if (showing_) return;
    std::vector<int> rows;
    for (const QModelIndex& index : listView1_->selectionModel()->selectedRows()) rows.push_back(index.row());
    std::sort(rows.begin(), rows.end());
    RunHandler(dialogs_, [this, rows] { model_.Select(rows); });
  });

  label4_ = NamedLabel(this, "Label4", "", QRect(10, 300, 560, 22));
  button("Button3", QTr("导出…"), QRect(590, 299, 90, 24), &LibraryBrowser::Button3Click);
  button("Button4", QTr("比较所选的两个"), QRect(690, 299, 200, 24), &LibraryBrowser::Button4Click);
  label5_ = NamedLabel(this, "Label5", "", QRect(10, 328, 880, 22));

  cells_ = new MatrixModel(model_, this);
  listView2_ = new QTableView(this);
  Name(listView2_, "ListView2", QTr("模块矩阵"));
  listView2_->setGeometry(10, 354, 880, kClientHeight - 394);
  listView2_->setModel(cells_);
  listView2_->setSelectionMode(QAbstractItemView::NoSelection);
  listView2_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  listView2_->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
  listView2_->verticalHeader()->setDefaultSectionSize(kRowHeight);
  listView2_->horizontalHeader()->setDefaultSectionSize(84);
  NamedLabel(this, "Label6", N_("A、B……：模块的各个版本，A为最多硬盘所有的；红色：与其他硬盘的都不同；黄色：几个版本之一。"),
             QRect(10, kClientHeight - 34, 880, 22));
}

void LibraryWindow::ShowModel() {
  showing_ = true;
  if (edit1_->text() != Q(model_.Edit1)) edit1_->setText(Q(model_.Edit1));
  checkBox1_->setChecked(model_.CheckBox1);
  // A new list clears the selection; a new pick keeps the table as it is.
  if (backups_->rowCount() != static_cast<int>(model_.ListView1.size()) || model_.selected.empty()) {
    backups_->Reset();
    for (int row : model_.selected)
      listView1_->selectionModel()->select(backups_->index(row, 0),
                                           QItemSelectionModel::Select | QItemSelectionModel::Rows);
  }
  label4_->setText(QTrFormat("共{1}个备份", model_.ListView1.size()));
  if (model_.matrixDrives.empty()) {
    label5_->clear();
  } else {
    const LibraryBackup& drive = model_.matrixDrives.front();
    label5_->setText(QTrFormat("{1}（{2}）与同一系列和固件的其他{3}块硬盘", drive.serial.empty() ? "#" + std::to_string(drive.id) : drive.serial,
                               drive.drive, model_.matrixDrives.size() - 1));
  }
  cells_->Reset();
  showing_ = false;
}

}  // namespace qv::ui
