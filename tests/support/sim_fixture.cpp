#include "tests/support/sim_fixture.h"

#include <unistd.h>

#include <cstdlib>

#include "console/text.h"
#include "tests/support/port_bar.h"

namespace qv::test {

void SimFixture::SetUp() {
  drive = std::make_unique<sim::SimDrive>(Options());
  ASSERT_TRUE(drive->Start());
  main = std::make_unique<TFrmMain>(pump, dialogs);
  main->receiveMode = ReceiveMode::usercmd;
  ApplyTimeScale();
  SetPortBar(*main, drive->SlavePath());
}

void SimFixture::ApplyTimeScale() {
  main->pauseTick = TFrmMain::kTick / PauseScale();
  // QV_TEST_TRACE=DIR: each test process traces its line into DIR, to see
  // afterwards what a test that failed on a loaded machine was handed.
  if (const char* dir = std::getenv("QV_TEST_TRACE"))
    main->Link().StartTrace(std::string(dir) + "/" + std::to_string(getpid()) + ".trace");
}

void SimFixture::ShortenWaits(int factor) { main->waitTick = TFrmMain::kTick / factor; }

void SimFixture::TearDown() {
  if (main) main->FormClose();
  main.reset();
  drive.reset();
}

void SimFixture::OpenAt(const std::string& rate) {
  main->ComboBox2.SelectText(rate);
  main->btnSwitchClick();
  ASSERT_TRUE(main->PortOpen()) << (dialogs.shown.empty() ? "" : dialogs.shown.back().text);
}

std::string SimFixture::TakeReceived() {
  // The drive reads on its own thread; on a loaded machine the last bytes
  // sent may still be on their way, so wait until the record stops growing.
  std::string bytes = drive->Received();
  for (int i = 0; i < 50; ++i) {
    main->Delay(2);
    std::string again = drive->Received();
    if (again == bytes) break;
    bytes = std::move(again);
  }
  drive->ClearReceived();
  return bytes;
}

void SimFixture::Settle(int ticks) { main->Delay(ticks); }

void SimFixture::SettleUntil(const std::function<bool()>& done) {
  for (int i = 0; i < 300 && !done(); ++i) main->Delay(1);
}

std::string SimFixture::PaneText() const { return Utf8FromGbk(main->memo1.Text()); }

}  // namespace qv::test
