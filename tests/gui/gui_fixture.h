#pragma once
// A main window bound to a console whose dialogs answer by script, started up
// the way the program starts (the port list comes from an empty tty folder, so
// only the built-in "SIM" is listed), plus a simulated drive of the test's own.
#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTableView>
#include <filesystem>
#include <memory>
#include <string>

#include "console/main.h"
#include "firmware/family/family_table.h"
#include "sim/sim_drive.h"
#include "tests/support/scripted_dialogs.h"
#include "ui/main_window.h"
#include "ui/qt_event_pump.h"

namespace qv::test {

// The control of `window` named `name` (a failure when there is none).
template <typename T>
T* In(QWidget* window, const char* name) {
  T* widget = window->findChild<T*>(QString::fromLatin1(name));
  EXPECT_NE(widget, nullptr) << name;
  return widget;
}

// The texts of a list's items, in order.
inline QStringList Items(const QComboBox* box) {
  QStringList items;
  for (int i = 0; i < box->count(); ++i) items << box->itemText(i);
  return items;
}

class GuiFixture : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  template <typename T>
  T* Find(const char* name) const {
    T* widget = window->findChild<T*>(QString::fromLatin1(name));
    EXPECT_NE(widget, nullptr) << name;
    return widget;
  }
  // Opens the drive's pseudo-terminal through the path entry and the open button.
  void OpenDrive();
  // Handles events until `done` holds or about two seconds have passed.
  bool PumpUntil(const std::function<bool()>& done);
  // The bytes the drive received once `expected` bytes have arrived (or the wait gave up).
  std::string ReceivedAtLeast(size_t expected);
  void TypeKey(QWidget* target, int key, const QString& text, Qt::KeyboardModifiers mods = Qt::NoModifier);
  void TypeText(QWidget* target, const QString& text);

  virtual sim::SimOptions DriveOptions() const { return {}; }

  std::filesystem::path emptyTtyFolder;
  ui::QtEventPump pump;
  ScriptedDialogs dialogs;
  FamilyTable families;  // loaded at start-up, as the program loads it
  std::unique_ptr<sim::SimDrive> drive;
  std::unique_ptr<TFrmMain> main;
  std::unique_ptr<ui::MainWindow> window;
};

// What a table view shows in a cell (its text, or another role).
QString Cell(QTableView* view, int row, int column, int role = Qt::DisplayRole);

}  // namespace qv::test
