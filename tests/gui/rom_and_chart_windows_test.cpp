// The serial ROM window and the head serial-number window, and the "窗口"
// menu that opens the secondary windows.
#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QImage>
#include <QLabel>
#include <QMenu>
#include <QScrollArea>
#include <QScrollBar>
#include <QTimer>
#include <filesystem>
#include <fstream>

#include "console/text.h"
#include "tests/gui/gui_fixture.h"
#include "tests/support/quiet_startup.h"
#include "ui/app_windows.h"
#include "ui/form3_serial_rom.h"
#include "ui/form7_head_chart.h"

namespace qv::test {
namespace {

namespace fs = std::filesystem;

fs::path ScratchFolder(const std::string& what) {
  const fs::path dir = fs::temp_directory_path() /
                       ("qv-gui-" + what + "-" + std::to_string(getpid()) + "-" +
                        ::testing::UnitTest::GetInstance()->current_test_info()->name());
  fs::remove_all(dir);
  fs::create_directories(dir);
  return dir;
}

TEST_F(GuiFixture, SerialRomWindowControlsFollowTheMainWindowsRates) {
  ui::Form3SerialRom form(*main);
  EXPECT_EQ(form.windowTitle(), QStringLiteral("串行ROM读写"));
  EXPECT_EQ(form.objectName(), QStringLiteral("TForm3"));
  EXPECT_EQ(form.minimumSize(), form.maximumSize());  // a fixed-size dialog
  const std::pair<const char*, const char*> captions[] = {
      {"Label6", "读取:"},       {"Label1", "写入:"},         {"Label5", "入口缓冲区:"},
      {"Label2", "读写速率:"},   {"Button51", "..."},         {"Button1", "..."},
      {"Button2", "缓冲区读取"}, {"Button3", "指令方式读取"}, {"Button6", "缓冲区写入"},
      {"Button4", "指令方式写入"},
  };
  for (const auto& [name, caption] : captions) {
    QWidget* w = In<QWidget>(&form, name);
    const QString text = qobject_cast<QLabel*>(w) ? qobject_cast<QLabel*>(w)->text()
                                                   : qobject_cast<QPushButton*>(w)->text();
    EXPECT_EQ(text, QString::fromUtf8(caption)) << name;
  }
  auto* edit1 = In<QLineEdit>(&form, "Edit1");
  EXPECT_TRUE(edit1->isReadOnly() && edit1->text().isEmpty());
  EXPECT_TRUE(In<QLineEdit>(&form, "Edit2")->isReadOnly());
  auto* entry = In<QComboBox>(&form, "ComboBox3");
  EXPECT_TRUE(entry->isEditable());
  EXPECT_EQ(Items(entry), (QStringList{"400", "800"}));
  EXPECT_EQ(entry->currentText(), QStringLiteral("400"));
  entry->setEditText(QStringLiteral("800"));
  EXPECT_EQ(form.Model().ComboBox3, "800");

  // The rate list: a copy of the main window's, the last rate chosen, and
  // copied again when choosing a port probes the rates anew.
  auto* rates = In<QComboBox>(&form, "ComboBox2");
  EXPECT_FALSE(rates->isEditable());
  QStringList mainRates;
  for (const std::string& rate : main->ComboBox2.items) mainRates << QString::fromStdString(rate);
  EXPECT_EQ(Items(rates), mainRates);
  EXPECT_EQ(rates->currentText(), mainRates.back());
  rates->setCurrentIndex(1);
  EXPECT_EQ(form.Model().ComboBox2.Text(), "38400");
  OpenDrive();
  EXPECT_EQ(rates->count(), 8);
  EXPECT_EQ(rates->currentText(), QStringLiteral("921600"));

  // The save chooser fills Edit1, the caret at its end.
  dialogs.paths = {"/tmp/rom image.bin"};
  In<QPushButton>(&form, "Button51")->click();
  EXPECT_EQ(edit1->text(), QStringLiteral("/tmp/rom image.bin"));
  EXPECT_EQ(edit1->cursorPosition(), edit1->text().size());
  EXPECT_EQ(dialogs.choosers.back().fileName, "ROM.BIN");
}

TEST_F(GuiFixture, SerialRomWindowIsDisabledWhileItRunsAndStopReachesIt) {
  OpenDrive();
  ui::Form3SerialRom form(*main);
  form.show();
  const fs::path dir = ScratchFolder("rom");
  dialogs.paths = {(dir / "rom.bin").string()};
  In<QPushButton>(&form, "Button51")->click();
  In<QComboBox>(&form, "ComboBox2")->setCurrentIndex(0);  // stay at 9600

  QWidget* panel = In<QWidget>(&form, "Panel1");
  auto* stop = window->findChild<QPushButton*>(QStringLiteral("Button16"));
  ASSERT_NE(stop, nullptr);
  bool panelEnabled = true, stopEnabled = false, stayedOpen = false;
  QTimer poll;
  QObject::connect(&poll, &QTimer::timeout, [&] {
    if (drive->Received().find("e2,10,0\r") == std::string::npos) return;
    poll.stop();
    panelEnabled = panel->isEnabled();
    stopEnabled = stop->isEnabled() && !QApplication::activeModalWidget();
    form.close();  // not while it runs
    stayedOpen = form.isVisible();
    stop->click();
  });
  poll.start(5);
  In<QPushButton>(&form, "Button3")->click();  // the instruction read
  EXPECT_FALSE(panelEnabled);
  EXPECT_TRUE(stopEnabled);
  EXPECT_TRUE(stayedOpen);
  EXPECT_TRUE(panel->isEnabled());
  EXPECT_FALSE(fs::exists(dir / "rom.bin"));
  EXPECT_NE(main->memo1.Text().find(Gbk("正在读取ROM.........用户中止！")), std::string::npos);
  EXPECT_EQ(main->stopFlag, 0);
  EXPECT_EQ(drive->Rate(), 9600);
  fs::remove_all(dir);
}

TEST(AppWindows, WindowMenuListsTheSecondaryWindowsInOrder) {
  const fs::path empty = ScratchFolder("menu");
  auto app = ui::CreateWindows(QuietStartup(empty.string()));
  auto* menu = app->mainWindow->findChild<QMenu*>(QStringLiteral("MenuWindow"));
  ASSERT_NE(menu, nullptr);
  EXPECT_EQ(menu->title(), QStringLiteral("窗口"));
  // Every entry is a secondary window's caption, in the window list's order;
  // the batch window is not among them: "Loading process" opens it.
  const QStringList windowList = {"创建文件", "F级引导", "串行ROM读写", "HDD ID 编辑", "备份固件", "磁头序列号表",
                                  "比较备份", "固件库"};
  qsizetype last = -1;
  QStringList entries;
  for (QAction* action : menu->actions()) {
    entries << action->text();
    const qsizetype at = windowList.indexOf(action->text());
    EXPECT_GT(at, last) << action->text().toStdString();
    last = at;
  }
  for (const char* caption : {"创建文件", "串行ROM读写", "HDD ID 编辑", "磁头序列号表"})
    EXPECT_TRUE(entries.contains(QString::fromUtf8(caption))) << caption;

  // Both new windows open without blocking the main window.
  for (const char* entry : {"MenuWindow_TForm3", "MenuWindow_TForm7"}) {
    auto* action = app->mainWindow->findChild<QAction*>(QString::fromLatin1(entry));
    ASSERT_NE(action, nullptr) << entry;
    action->trigger();
  }
  EXPECT_TRUE(app->form3->isVisible());
  EXPECT_EQ(app->form3->windowModality(), Qt::NonModal);
  EXPECT_TRUE(app->form7->isVisible());
  EXPECT_EQ(app->form7->windowModality(), Qt::NonModal);
  EXPECT_EQ(app->form3->Model().ComboBox2.items, app->main->ComboBox2.items);
  app.reset();
  fs::remove_all(empty);
}

TEST(HeadChartWindow, FindsTheTechniciansPictureOrSaysWhereToPutIt) {
  const fs::path dir = ScratchFolder("chart");
  const OwnFiles files((dir / "program").string(), (dir / "user").string());
  fs::create_directories(dir / "program");
  fs::create_directories(dir / "user");
  ScriptedDialogs dialogs;

  // None: one line naming the file and both folders; zoom has nothing to do.
  {
    ui::Form7HeadChart form(files, dialogs);
    EXPECT_EQ(form.windowTitle(), QStringLiteral("磁头序列号表"));
    EXPECT_EQ(form.objectName(), QStringLiteral("TForm7"));
    EXPECT_TRUE(form.PicturePath().isEmpty());
    const QString hint = In<QLabel>(&form, "LabelHint")->text();
    EXPECT_TRUE(hint.contains(QStringLiteral("磁头序列号表.png")));
    EXPECT_TRUE(hint.contains(QString::fromStdString(files.ProgramDir())));
    EXPECT_TRUE(hint.contains(QString::fromStdString(files.UserDir())));
    EXPECT_FALSE(hint.contains(QLatin1Char('\n')));
    EXPECT_FALSE(In<QPushButton>(&form, "ButtonZoomIn")->isEnabled());

    // A file that is no picture says so; a picture opened by hand is shown.
    std::ofstream(dir / "not-a-picture.png") << "text";
    QImage image(1600, 1200, QImage::Format_RGB32);
    image.fill(Qt::white);
    ASSERT_TRUE(image.save(QString::fromStdString((dir / "chart.png").string())));
    dialogs.paths = {(dir / "not-a-picture.png").string(), (dir / "chart.png").string()};
    In<QPushButton>(&form, "ButtonOpen")->click();
    EXPECT_TRUE(form.PicturePath().isEmpty());
    EXPECT_TRUE(In<QLabel>(&form, "LabelHint")->text().startsWith(QStringLiteral("无法读取图片")));
    In<QPushButton>(&form, "ButtonOpen")->click();
    EXPECT_EQ(form.PicturePath(), QString::fromStdString((dir / "chart.png").string()));
    EXPECT_FALSE(In<QLabel>(&form, "LabelHint")->isVisible());

    // Scaled to fit, then zoomed and scrolled.
    form.resize(500, 400);
    form.show();
    QApplication::processEvents();
    auto* scroll = In<QScrollArea>(&form, "ScrollBox1");
    const QSize shown = In<QWidget>(&form, "Image1")->size();
    EXPECT_TRUE(form.FitsWindow());
    EXPECT_LT(form.Scale(), 1.0);
    EXPECT_LE(shown.width(), scroll->viewport()->width());
    EXPECT_LE(shown.height(), scroll->viewport()->height());
    const double fit = form.Scale();
    In<QPushButton>(&form, "ButtonZoomIn")->click();
    EXPECT_FALSE(form.FitsWindow());
    EXPECT_DOUBLE_EQ(form.Scale(), fit * 1.25);
    In<QPushButton>(&form, "ButtonActualSize")->click();
    EXPECT_DOUBLE_EQ(form.Scale(), 1.0);
    QApplication::processEvents();
    EXPECT_GT(scroll->horizontalScrollBar()->maximum(), 0);
    In<QPushButton>(&form, "ButtonFit")->click();
    EXPECT_DOUBLE_EQ(form.Scale(), fit);
  }

  // Put in the user's data folder, then beside the program: the program's wins.
  QImage small(40, 30, QImage::Format_RGB32);
  small.fill(Qt::black);
  ASSERT_TRUE(small.save(QString::fromStdString((dir / "user" / "磁头序列号表.jpg").string())));
  EXPECT_EQ(ui::FindHeadChart(files), (dir / "user" / "磁头序列号表.jpg").string());
  ASSERT_TRUE(small.save(QString::fromStdString((dir / "program" / "磁头序列号表.bmp").string())));
  ui::Form7HeadChart form(files, dialogs);
  EXPECT_TRUE(form.PicturePath().isEmpty());  // looked for when first shown, not at start-up
  form.show();
  QApplication::processEvents();
  EXPECT_EQ(form.PicturePath(), QString::fromStdString((dir / "program" / "磁头序列号表.bmp").string()));
  EXPECT_DOUBLE_EQ(form.Scale(), 1.0);  // a small chart is not blown up
  fs::remove_all(dir);
}

// Zoomed in far, a large chart is painted through the scale, the part on
// screen only: the quarter of the picture scrolled to is what shows.
TEST(HeadChartWindow, ZoomedFarInShowsThePartScrolledTo) {
  const fs::path dir = ScratchFolder("chart-zoom");
  fs::create_directories(dir);
  QImage chart(2000, 1500, QImage::Format_RGB32);
  const QColor quarters[2][2] = {{Qt::red, Qt::green}, {Qt::blue, Qt::yellow}};  // [top/bottom][left/right]
  for (int row = 0; row < 2; ++row)
    for (int col = 0; col < 2; ++col)
      for (int y = row * 750; y < (row + 1) * 750; ++y)
        for (int x = col * 1000; x < (col + 1) * 1000; ++x) chart.setPixelColor(x, y, quarters[row][col]);
  const std::string path = (dir / "chart.png").string();
  ASSERT_TRUE(chart.save(QString::fromStdString(path)));
  const OwnFiles files((dir / "program").string(), (dir / "user").string());
  ScriptedDialogs dialogs;
  ui::Form7HeadChart form(files, dialogs);
  form.resize(500, 400);
  form.show();
  QApplication::processEvents();
  ASSERT_TRUE(form.Load(QString::fromStdString(path)));
  form.ActualSize();
  form.ZoomBy(8.0);
  EXPECT_DOUBLE_EQ(form.Scale(), 8.0);
  EXPECT_EQ(In<QWidget>(&form, "Image1")->size(), QSize(16000, 12000));
  auto* scroll = In<QScrollArea>(&form, "ScrollBox1");
  for (int row = 0; row < 2; ++row) {
    for (int col = 0; col < 2; ++col) {
      scroll->horizontalScrollBar()->setValue(col ? scroll->horizontalScrollBar()->maximum() : 0);
      scroll->verticalScrollBar()->setValue(row ? scroll->verticalScrollBar()->maximum() : 0);
      QApplication::processEvents();
      const QImage shown = scroll->viewport()->grab().toImage();
      EXPECT_EQ(shown.pixelColor(shown.width() / 2, shown.height() / 2), quarters[row][col]) << row << col;
    }
  }
  fs::remove_all(dir);
}

}  // namespace
}  // namespace qv::test
