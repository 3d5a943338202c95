#pragma once
// The head serial-number window TForm7 "磁头序列号表": a reference chart the
// technician keeps as a picture of their own. The program carries none; it
// shows the picture found beside the program or in the user's data folder
// (looked for when the window is shown, not at start-up), scaled to fit the
// window, with zoom and scroll, and otherwise says where to put one and
// offers to open a picture file.
#include <QDialog>
#include <QImage>
#include <QWidget>
#include <string>
#include <vector>

#include "console/dialogs.h"
#include "console/own_files.h"
#include "lang/translate.h"

class QLabel;
class QPushButton;
class QScrollArea;

namespace qv::ui {

// The names the picture is looked for under, in order.
std::vector<std::string> HeadChartFileNames();
// The first of them that exists (beside the program, then in the user's data
// folder); empty when there is none.
std::string FindHeadChart(const OwnFiles& files);

// The picture at a scale. Zoomed in, it is painted through the scale, only
// the part on screen: a chart of a few thousand pixels at 8x would take
// gigabytes as an image of its own. Zoomed out, a smoothly shrunk copy (never
// larger than the picture) is kept, for a shrunk chart stays legible.
class ScaledPicture : public QWidget {
 public:
  using QWidget::QWidget;
  void SetImage(QImage image);
  const QImage& Image() const { return image_; }
  void SetScale(double scale);

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  QImage image_;
  QImage shrunk_;  // the picture at the scale, when that is below 1
  double scale_ = 1.0;
};

class Form7HeadChart : public QDialog {
  Q_OBJECT
 public:
  static constexpr const char* kCaption = N_("磁头序列号表");
  // The picture's other name, for a keyboard without Chinese input.
  static constexpr const char* kAsciiFileName = "head-chart";

  Form7HeadChart(const OwnFiles& files, Dialogs& dialogs, QWidget* parent = nullptr);

  // The picture shown, empty when none.
  const QString& PicturePath() const { return path_; }
  const QImage& Picture() const;
  // How the picture is drawn: 1.0 is its own size.
  double Scale() const { return scale_; }
  bool FitsWindow() const { return fit_; }

  // Shows the picture in this file; false (and a line that says so) when it
  // is not a picture that can be read.
  bool Load(const QString& path);
  void ZoomBy(double factor);
  void FitToWindow();
  void ActualSize();

 protected:
  void showEvent(QShowEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void OpenPicture();
  void ShowNoPicture(const QString& why);
  double FitScale() const;

  const OwnFiles& files_;
  Dialogs& dialogs_;
  QString path_;
  double scale_ = 1.0;
  bool fit_ = true;
  QLabel* hint_ = nullptr;
  QScrollArea* scroll_ = nullptr;
  ScaledPicture* picture_ = nullptr;
  QPushButton* zoomIn_ = nullptr;
  QPushButton* zoomOut_ = nullptr;
  QPushButton* fitButton_ = nullptr;
  QPushButton* actual_ = nullptr;
};

}  // namespace qv::ui
