#include "ui/form7_head_chart.h"

#include <QBuffer>
#include <QHBoxLayout>
#include <QImageReader>
#include <QLabel>
#include <QPaintEvent>
#include <QPainter>
#include <QPushButton>
#include <QResizeEvent>
#include <QScrollArea>
#include <QScrollBar>
#include <QVBoxLayout>
#include <QWheelEvent>
#include <algorithm>

#include "files/file_io.h"
#include "ui/fonts.h"
#include "ui/naming.h"
#include "ui/tr.h"

namespace qv::ui {

namespace {
constexpr int kFontPixels = 12;
constexpr uint64_t kMaxPictureBytes = 64 * 1024 * 1024;  // a scanned chart is a few MB
constexpr double kZoomStep = 1.25;
constexpr double kMinScale = 0.05, kMaxScale = 8.0;
constexpr const char* kPictureFilter = N_("图片文件|*.png;*.jpg;*.jpeg;*.bmp|所有文件|*.*");
}  // namespace

std::vector<std::string> HeadChartFileNames() {
  std::vector<std::string> names;
  for (const char* base : {Form7HeadChart::kCaption, Form7HeadChart::kAsciiFileName})
    // Pictures copied from other systems often keep upper-case extensions.
    for (const char* ext : {".png", ".jpg", ".jpeg", ".bmp", ".PNG", ".JPG", ".JPEG", ".BMP"})
      names.push_back(std::string(base) + ext);
  return names;
}

std::string FindHeadChart(const OwnFiles& files) {
  // Folder by folder: any picture beside the program wins over the user's.
  for (const OwnFiles& folder : {OwnFiles(files.ProgramDir(), ""), OwnFiles("", files.UserDir())})
    for (const std::string& name : HeadChartFileNames())
      if (std::string path = folder.Find(name); !path.empty()) return path;
  return "";
}

Form7HeadChart::Form7HeadChart(const OwnFiles& files, Dialogs& dialogs, QWidget* parent)
    : QDialog(parent), files_(files), dialogs_(dialogs) {
  setWindowTitle(QTr(kCaption));
  NameWindow(this, "TForm7");
  setFont(CjkFont(kFontPixels, false));
  setWindowFlags((windowFlags() & ~Qt::WindowContextHelpButtonHint) | Qt::WindowMaximizeButtonHint);
  resize(820, 620);

  auto button = [this](const char* name, const QString& caption, const QKeySequence& keys, auto handler) {
    auto* b = new QPushButton(caption, this);
    Name(b, name, caption);
    b->setAutoDefault(false);
    if (!keys.isEmpty()) {
      b->setShortcut(keys);
      b->setToolTip(keys.toString(QKeySequence::NativeText));
    }
    connect(b, &QPushButton::clicked, this, handler);
    return b;
  };
  QPushButton* open = button("ButtonOpen", QTr("打开图片…"), QKeySequence::Open, [this] { OpenPicture(); });
  zoomIn_ = button("ButtonZoomIn", QTr("放大"), QKeySequence::ZoomIn, [this] { ZoomBy(kZoomStep); });
  zoomOut_ = button("ButtonZoomOut", QTr("缩小"), QKeySequence::ZoomOut, [this] { ZoomBy(1 / kZoomStep); });
  fitButton_ = button("ButtonFit", QTr("适合窗口"), QKeySequence(Qt::CTRL | Qt::Key_0), [this] { FitToWindow(); });
  actual_ = button("ButtonActualSize", QTr("原始大小"), QKeySequence(), [this] { ActualSize(); });

  hint_ = new QLabel(this);
  Name(hint_, "LabelHint", QString());
  hint_->setTextInteractionFlags(Qt::TextSelectableByMouse);

  picture_ = new ScaledPicture;
  Name(picture_, "Image1", QTr(kCaption));
  scroll_ = new QScrollArea(this);
  Name(scroll_, "ScrollBox1", QTr(kCaption));
  scroll_->setAlignment(Qt::AlignCenter);
  scroll_->setWidget(picture_);
  scroll_->viewport()->installEventFilter(this);

  auto* bar = new QHBoxLayout;
  for (QWidget* w : std::initializer_list<QWidget*>{open, zoomIn_, zoomOut_, fitButton_, actual_}) bar->addWidget(w);
  bar->addWidget(hint_, 1);
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(6, 6, 6, 6);
  layout->addLayout(bar);
  layout->addWidget(scroll_, 1);

  // The picture is looked for when the window is first shown: reading a
  // chart of several megabytes would only slow the program's start.
  ShowNoPicture({});
}

void ScaledPicture::SetImage(QImage image) {
  image_ = std::move(image);
  shrunk_ = QImage();
  SetScale(1.0);
}

void ScaledPicture::SetScale(double scale) {
  scale_ = scale;
  const QSize size = image_.isNull() ? QSize(0, 0)
                                     : QSize(std::max(1, qRound(image_.width() * scale)),
                                             std::max(1, qRound(image_.height() * scale)));
  shrunk_ = scale < 1.0 && !image_.isNull() ? image_.scaled(size, Qt::KeepAspectRatio, Qt::SmoothTransformation)
                                            : QImage();
  resize(size);
  update();
}

void ScaledPicture::paintEvent(QPaintEvent* event) {
  if (image_.isNull()) return;
  QPainter painter(this);
  const QRect exposed = event->rect();
  if (!shrunk_.isNull()) {
    painter.drawImage(exposed, shrunk_, exposed);
    return;
  }
  painter.setRenderHint(QPainter::SmoothPixmapTransform);
  const QRectF source(exposed.x() / scale_, exposed.y() / scale_, exposed.width() / scale_,
                      exposed.height() / scale_);
  painter.drawImage(QRectF(exposed), image_, source);
}

const QImage& Form7HeadChart::Picture() const { return picture_->Image(); }

void Form7HeadChart::ShowNoPicture(const QString& why) {
  path_.clear();
  picture_->SetImage(QImage());
  // An installed program has no folder of its own to offer.
  const std::string folders = files_.ProgramDir().empty()
                                  ? files_.UserDir()
                                  : TrFormat("{1} 或 {2}", files_.ProgramDir(), files_.UserDir());
  // Either name is looked for; the one offered is the one the technician can type.
  const char* name = CurrentLanguage() == Language::English ? kAsciiFileName : kCaption;
  const QString where =
      QTrFormat("未找到磁头序列号表图片：请把“{1}.png”（或 .jpg、.bmp）放在 {2}，或点“打开图片…”。", name, folders);
  hint_->setText(why.isEmpty() ? where : why);
  hint_->setAccessibleName(hint_->text());
  hint_->setVisible(true);
  for (QPushButton* b : {zoomIn_, zoomOut_, fitButton_, actual_}) b->setEnabled(false);
}

bool Form7HeadChart::Load(const QString& path) {
  // Read through the program's own reader: a pipe or a device chosen by
  // mistake must not hang the window, nor a huge file fill the memory.
  const FileBytes file = ReadFileBytes(path.toStdString(), kMaxPictureBytes);
  if (!file) {
    ShowNoPicture(QTrFormat("无法读取图片“{1}”：{2}", U8(path), file.trouble.reason));
    return false;
  }
  QByteArray bytes = QByteArray::fromRawData(file.bytes.data(), static_cast<qsizetype>(file.bytes.size()));
  QBuffer buffer(&bytes);
  QImageReader reader(&buffer);
  reader.setAutoTransform(true);
  QImage image = reader.read();
  if (image.isNull()) {
    ShowNoPicture(QTrFormat("无法读取图片“{1}”：{2}", U8(path), U8(reader.errorString())));
    return false;
  }
  picture_->SetImage(std::move(image));
  path_ = path;
  hint_->clear();
  hint_->setVisible(false);
  setToolTip(path);
  for (QPushButton* b : {zoomIn_, zoomOut_, fitButton_, actual_}) b->setEnabled(true);
  FitToWindow();
  return true;
}

void Form7HeadChart::OpenPicture() {
  if (const auto chosen = dialogs_.ChooseOpenFile(Tr(kPictureFilter), "")) Load(Q(*chosen));
}

double Form7HeadChart::FitScale() const {
  const QImage& image = Picture();
  if (image.isNull()) return 1.0;
  // The room without scroll bars: a zoomed picture may have brought them.
  const QSize room = scroll_->maximumViewportSize();
  const double scale = std::min(static_cast<double>(room.width()) / image.width(),
                                static_cast<double>(room.height()) / image.height());
  // A small chart is not blown up past its own size.
  return std::clamp(scale, kMinScale, 1.0);
}

void Form7HeadChart::ZoomBy(double factor) {
  if (Picture().isNull()) return;
  fit_ = false;
  scale_ = std::clamp(scale_ * factor, kMinScale, kMaxScale);
  picture_->SetScale(scale_);
}

void Form7HeadChart::FitToWindow() {
  fit_ = true;
  scale_ = FitScale();
  if (!Picture().isNull()) picture_->SetScale(scale_);
}

void Form7HeadChart::ActualSize() {
  if (Picture().isNull()) return;
  fit_ = false;
  scale_ = 1.0;
  picture_->SetScale(scale_);
}

void Form7HeadChart::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  // Looked for at the first showing, and again while there is none: a
  // picture put in place while the program runs is found the next time.
  if (Picture().isNull()) {
    const std::string found = FindHeadChart(files_);
    if (!found.empty()) Load(Q(found));
  } else if (fit_) {
    FitToWindow();
  }
}

void Form7HeadChart::resizeEvent(QResizeEvent* event) {
  QDialog::resizeEvent(event);
  if (fit_) FitToWindow();
}

bool Form7HeadChart::eventFilter(QObject* watched, QEvent* event) {
  if (watched == scroll_->viewport() && event->type() == QEvent::Wheel) {
    auto* wheel = static_cast<QWheelEvent*>(event);
    if (wheel->modifiers() & Qt::ControlModifier) {
      ZoomBy(wheel->angleDelta().y() > 0 ? kZoomStep : 1 / kZoomStep);
      return true;
    }
  }
  return QDialog::eventFilter(watched, event);
}

}  // namespace qv::ui
