#pragma once
// A console connected to its own simulated drive through the real serial code.
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>

#include "console/main.h"
#include "firmware/family_table.h"
#include "sim/sim_drive.h"
#include "tests/support/scripted_dialogs.h"

namespace qv::test {

class SimFixture : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // Opens the sim's port with the open button at `rate` (ComboBox2 holds all eight rates).
  void OpenAt(const std::string& rate = "9600");
  // The bytes the drive received since the last call (once they have stopped
  // coming), and forgets them.
  std::string TakeReceived();
  // Runs the event loop for a while so that pending output reaches the console.
  void Settle(int ticks = 5);
  // Runs the event loop until `done` holds, for at most three seconds: a
  // loaded machine can take far longer than the line needs.
  void SettleUntil(const std::function<bool()>& done);
  // The pane's text with CR LF between lines (GBK converted to UTF-8).
  std::string PaneText() const;

  virtual sim::SimOptions Options() const { return {}; }

  NoToolkitPump pump;
  ScriptedDialogs dialogs;
  FamilyTable families;  // what the firmware windows take the module places from
  std::unique_ptr<sim::SimDrive> drive;
  std::unique_ptr<TFrmMain> main;
};

}  // namespace qv::test
