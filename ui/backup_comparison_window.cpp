#include "ui/backup_comparison_window.h"

#include <QAbstractTableModel>
#include <QElapsedTimer>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableView>
#include <QTimer>

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
constexpr int kRowHeight = 18;
constexpr int kByteWidth = 24;
constexpr int kSliceMs = 15;  // verdicts worked out per pass of the event loop

const QColor kDifferent(255, 200, 200);
}  // namespace

// The file list: name and verdict ("…" while still to come).
class FileListModel : public QAbstractTableModel {
 public:
  explicit FileListModel(const BackupComparison& form, QObject* parent) : QAbstractTableModel(parent), form_(form) {}

  int rowCount(const QModelIndex& parent = {}) const override {
    return parent.isValid() ? 0 : static_cast<int>(form_.ListView1.size());
  }
  int columnCount(const QModelIndex& parent = {}) const override { return parent.isValid() ? 0 : 2; }
  QVariant data(const QModelIndex& index, int role) const override {
    if (!index.isValid() || index.row() >= rowCount()) return {};
    const BackupComparison::Row& row = form_.ListView1[static_cast<size_t>(index.row())];
    if (role == Qt::DisplayRole) {
      if (index.column() == 0) return Q(row.name);
      return row.comparison ? Q(VerdictText(*row.comparison)) : QStringLiteral("…");
    }
    if (role == Qt::BackgroundRole && row.comparison && row.comparison->Judged() && !row.comparison->Same())
      return kDifferent;
    return {};
  }
  QVariant headerData(int section, Qt::Orientation orientation, int role) const override {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole) return {};
    return section == 0 ? QTr("文件") : QTr("结果");
  }
  void Reset() {
    beginResetModel();
    endResetModel();
  }
  void RowsChanged(int first, int last) {
    if (first <= last) emit dataChanged(index(first, 0), index(last, 1));
  }

 private:
  const BackupComparison& form_;
};

// The picked file side by side: the offset, 16 bytes of the first folder's
// file, a gap, the same 16 bytes of the second's. Cells are asked for only
// while in sight.
class HexPairModel : public QAbstractTableModel {
 public:
  static constexpr int kGapColumn = 17;
  static constexpr int kColumns = 34;

  explicit HexPairModel(const BackupComparison& form, QObject* parent) : QAbstractTableModel(parent), form_(form) {}

  int rowCount(const QModelIndex& parent = {}) const override {
    if (parent.isValid()) return 0;
    const uint64_t longest = std::max(form_.bytes1.size(), form_.bytes2.size());
    return static_cast<int>((longest + BackupComparison::kRowBytes - 1) / BackupComparison::kRowBytes);
  }
  int columnCount(const QModelIndex& parent = {}) const override { return parent.isValid() ? 0 : kColumns; }

  QVariant data(const QModelIndex& index, int role) const override {
    if (!index.isValid()) return {};
    const uint64_t rowStart = static_cast<uint64_t>(index.row()) * BackupComparison::kRowBytes;
    const int column = index.column();
    if (column == 0) {
      if (role == Qt::DisplayRole) return QStringLiteral("%1").arg(rowStart, 6, 16, QLatin1Char('0')).toUpper();
      return {};
    }
    if (column == kGapColumn) return {};
    const bool first = column < kGapColumn;
    const uint64_t at = rowStart + static_cast<uint64_t>(first ? column - 1 : column - kGapColumn - 1);
    const std::string& mine = first ? form_.bytes1 : form_.bytes2;
    const std::string& other = first ? form_.bytes2 : form_.bytes1;
    if (at >= mine.size()) return {};
    const bool differs = at >= other.size() || mine[at] != other[at];
    switch (role) {
      case Qt::DisplayRole:
        return QStringLiteral("%1").arg(static_cast<uint8_t>(mine[at]), 2, 16, QLatin1Char('0')).toUpper();
      case Qt::BackgroundRole: return differs ? QVariant(kDifferent) : QVariant();
      case Qt::ForegroundRole: return differs ? QVariant(QColor(Qt::darkRed)) : QVariant();
      case Qt::TextAlignmentRole: return Qt::AlignCenter;
      case Qt::AccessibleDescriptionRole: return differs ? QTr("不同") : QVariant();
      default: return {};
    }
  }
  QVariant headerData(int section, Qt::Orientation orientation, int role) const override {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole) return {};
    if (section == 0) return QTr("偏移");
    if (section == kGapColumn) return {};
    const int byte = section < kGapColumn ? section - 1 : section - kGapColumn - 1;
    return QStringLiteral("%1").arg(byte, 2, 16, QLatin1Char('0')).toUpper();
  }
  void Reset() {
    beginResetModel();
    endResetModel();
  }

 private:
  const BackupComparison& form_;
};

BackupComparisonWindow::BackupComparisonWindow(Dialogs& dialogs, QWidget* parent)
    : QDialog(parent), dialogs_(dialogs), model_(dialogs) {
  setWindowTitle(QTr(BackupComparison::kCaption));
  NameWindow(this, "BackupComparisonWindow");
  setFont(CjkFont(kFontPixels, false));
  setFixedSize(kClientWidth, kClientHeight);
  setWindowFlags(windowFlags() & ~Qt::WindowContextHelpButtonHint);
  Build();
  model_.onChanged = [this] { ShowModel(); };
  ShowModel();
}

BackupComparisonWindow::~BackupComparisonWindow() { model_.onChanged = nullptr; }

void BackupComparisonWindow::Build() {
  auto folderRow = [this](int y, const char* labelName, const char* label, const char* editName, const char* buttonName,
                          const char* hint, void (BackupComparison::*click)(), std::string BackupComparison::*field) {
    NamedLabel(this, labelName, label, QRect(10, y, 90, 22));
    auto* edit = new QLineEdit(this);
    Name(edit, editName, QTr(label));
    edit->setGeometry(100, y, 340, 22);
    connect(edit, &QLineEdit::textEdited, this, [this, field](const QString& text) { model_.*field = U8(text); });
    auto* button = new QPushButton(QStringLiteral("..."), this);
    Name(button, buttonName, QTr(hint));
    button->setToolTip(QTr(hint));
    button->setGeometry(444, y - 1, 30, 24);
    button->setAutoDefault(false);
    connect(button, &QPushButton::clicked, this, [this, click] { Run(click); });
    return edit;
  };
  edit1_ = folderRow(10, "Label1", N_("第一个文件夹:"), "Edit1", "Button1", BackupComparison::kFolderTitle1,
                     &BackupComparison::Button1Click, &BackupComparison::Edit1);
  edit2_ = folderRow(40, "Label2", N_("第二个文件夹:"), "Edit2", "Button2", BackupComparison::kFolderTitle2,
                     &BackupComparison::Button2Click, &BackupComparison::Edit2);
  auto* compare = new QPushButton(QTr("比较"), this);
  Name(compare, "Button3", compare->text());
  compare->setGeometry(484, 22, 80, 28);
  compare->setAutoDefault(false);
  connect(compare, &QPushButton::clicked, this, [this] {
    RunHandler(dialogs_, [this] { model_.Button3Click(); });
  });

  files_ = new FileListModel(model_, this);
  listView1_ = new QTableView(this);
  Name(listView1_, "ListView1", QTr("文件列表"));
  listView1_->setGeometry(10, 72, 880, 170);
  listView1_->setModel(files_);
  listView1_->setSelectionBehavior(QAbstractItemView::SelectRows);
  listView1_->setSelectionMode(QAbstractItemView::SingleSelection);
  listView1_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  listView1_->verticalHeader()->hide();
  listView1_->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
  listView1_->verticalHeader()->setDefaultSectionSize(kRowHeight + 2);
  listView1_->horizontalHeader()->resizeSection(0, 180);
  listView1_->horizontalHeader()->setStretchLastSection(true);
  connect(listView1_->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
          [this](const QModelIndex& current) {
            if (showing_ || !current.isValid()) return;
            RunHandler(dialogs_, [this, row = current.row()] { model_.Pick(row); });
          });

  label3_ = NamedLabel(this, "Label3", "", QRect(10, 248, 770, 22));
  button4_ = new QPushButton(QTr("下一处不同"), this);
  Name(button4_, "Button4", button4_->text());
  button4_->setGeometry(790, 246, 100, 26);
  button4_->setAutoDefault(false);
  connect(button4_, &QPushButton::clicked, this, [this] {
    RunHandler(dialogs_, [this] { model_.Button4Click(); });
  });

  bytes_ = new HexPairModel(model_, this);
  drawGrid1_ = new QTableView(this);
  Name(drawGrid1_, "DrawGrid1", QTr("并排的十六进制内容"));
  drawGrid1_->setGeometry(10, 276, 880, kClientHeight - 286);
  drawGrid1_->setFont(CjkFixedFont(kFontPixels));
  drawGrid1_->setModel(bytes_);
  // No selection colour over the rows: it would hide the marked bytes.
  drawGrid1_->setSelectionMode(QAbstractItemView::NoSelection);
  drawGrid1_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  drawGrid1_->setShowGrid(false);
  drawGrid1_->setWordWrap(false);
  // Fixed sizes: the view never measures the rows it does not show.
  drawGrid1_->verticalHeader()->hide();
  drawGrid1_->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
  drawGrid1_->verticalHeader()->setDefaultSectionSize(kRowHeight);
  drawGrid1_->horizontalHeader()->setSectionResizeMode(QHeaderView::Fixed);
  drawGrid1_->horizontalHeader()->setMinimumSectionSize(8);
  drawGrid1_->horizontalHeader()->setDefaultSectionSize(kByteWidth);
  drawGrid1_->horizontalHeader()->resizeSection(0, 64);
  drawGrid1_->horizontalHeader()->resizeSection(HexPairModel::kGapColumn, 16);
  connect(drawGrid1_->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
          [this](const QModelIndex& current) {
            if (!showing_ && current.isValid())
              model_.position = static_cast<uint64_t>(current.row()) * BackupComparison::kRowBytes;
          });

  comparing_ = new QTimer(this);
  comparing_->setInterval(0);
  connect(comparing_, &QTimer::timeout, this, [this] { CompareSlice(); });
}

void BackupComparisonWindow::Run(void (BackupComparison::*handler)()) {
  RunHandler(dialogs_, [this, handler] { (model_.*handler)(); });
}

void BackupComparisonWindow::CompareSlice() {
  const int first = static_cast<int>(model_.ListView1.size() - model_.Pending());
  QElapsedTimer slice;
  slice.start();
  while (slice.elapsed() < kSliceMs && model_.CompareNext()) {
  }
  const int last = static_cast<int>(model_.ListView1.size() - model_.Pending()) - 1;
  files_->RowsChanged(first, last);
  if (model_.Pending() == 0) comparing_->stop();
}

void BackupComparisonWindow::ShowModel() {
  showing_ = true;
  if (edit1_->text() != Q(model_.Edit1)) edit1_->setText(Q(model_.Edit1));
  if (edit2_->text() != Q(model_.Edit2)) edit2_->setText(Q(model_.Edit2));
  // A new list (after "比较") starts its verdicts; a picked file redraws the bytes.
  const bool newList = model_.picked < 0;
  if (newList) {
    files_->Reset();
    if (model_.Pending() > 0) comparing_->start();
  } else {
    files_->RowsChanged(model_.picked, model_.picked);
  }
  bytes_->Reset();
  button4_->setEnabled(model_.picked >= 0);
  if (model_.picked >= 0) {
    const BackupComparison::Row& row = model_.ListView1[static_cast<size_t>(model_.picked)];
    label3_->setText(QTrFormat("{1}：{2}", row.name, row.comparison ? VerdictText(*row.comparison) : std::string()));
  } else {
    label3_->clear();
  }
  ShowPosition();
  showing_ = false;
}

void BackupComparisonWindow::ShowPosition() {
  if (bytes_->rowCount() == 0) return;
  const QModelIndex at = bytes_->index(static_cast<int>(model_.position / BackupComparison::kRowBytes), 0);
  drawGrid1_->setCurrentIndex(at);
  drawGrid1_->scrollTo(at, QAbstractItemView::PositionAtTop);
}

}  // namespace qv::ui
