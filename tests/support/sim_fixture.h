#pragma once
// A console connected to its own simulated drive through the real serial code.
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>

#include "console/main.h"
#include "firmware/family/family_table.h"
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

  // The time scale: how many times shorter than the drive's own the
  // operations' pauses run. A fixture whose operations only pause for the
  // drive to answer (block transfers, ROM reads and writes) returns 10: a
  // tenth still leaves the simulated drive ample time. Operations that pace
  // retries against the line falling quiet (level switches, rate changes)
  // keep the drive's own pauses: at 9600 baud the line needs 2 ms of quiet,
  // as long as two shortened ticks.
  virtual int PauseScale() const { return 1; }
  // Puts PauseScale() into effect on `main`; set-up does, and a fixture that
  // makes a console of its own calls it again.
  void ApplyTimeScale();
  // For tests of a drive that falls silent: every wait `factor` times
  // shorter, so each silence costs a fraction of its full 15 s. Waits for
  // answers that do come end as they come, whatever the tick.
  void ShortenWaits(int factor = 10);

  NoToolkitPump pump;
  ScriptedDialogs dialogs;
  FamilyTable families;  // what the firmware windows take the module places from
  std::unique_ptr<sim::SimDrive> drive;
  std::unique_ptr<TFrmMain> main;
};

}  // namespace qv::test
