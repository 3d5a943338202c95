// The terminal pane as the technician sees it: drive output arriving through
// the real link and drawn by the window, with a million lines already in it.
#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

#include <filesystem>
#include <thread>

#include "tests/support/port_bar.h"
#include "tests/support/quiet_startup.h"
#include "ui/app_windows.h"
#include "ui/main_window.h"
#include "ui/terminal_pane.h"

namespace qv {
namespace {

void ReceiveIntoWindowPane(benchmark::State& state) {
  int master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
  grantpt(master);
  unlockpt(master);
  const std::string slave = ptsname(master);
  termios t{};
  tcgetattr(master, &t);
  cfmakeraw(&t);
  tcsetattr(master, TCSANOW, &t);
  std::string text;
  const std::string line = "0000A0 00 11 22 33 44 55 66 77 88 99 AA BB CC DD EE FF 00 11 22 33 44 55 66 77\r\n";
  while (text.size() < (1u << 20)) text += line;

  const std::string folder = std::filesystem::temp_directory_path() / "qv-bench-gui-pane";
  std::filesystem::create_directories(folder);
  auto windows = ui::CreateWindows(test::QuietStartup(folder));
  windows->mainWindow->show();
  TFrmMain& main = *windows->main;
  for (int i = 0; i < 1'000'000; ++i) main.memo1.AddLine("earlier output " + std::to_string(i));
  windows->mainWindow->Pane()->Flush();
  test::OpenWithButton(main, slave, "921600");
  main.receiveMode = ReceiveMode::usercmd;

  for (auto _ : state) {
    const int32_t before = main.RxCount;
    std::thread writer([&] {
      size_t done = 0;
      while (done < text.size()) {
        ssize_t n = write(master, text.data() + done, text.size() - done);
        if (n <= 0) break;
        done += static_cast<size_t>(n);
      }
    });
    while (main.RxCount - before < static_cast<int32_t>(text.size())) main.Delay(1);
    writer.join();
    windows->mainWindow->Pane()->Flush();
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text.size()));
  main.FormClose();
  close(master);
}
BENCHMARK(ReceiveIntoWindowPane)->UseRealTime()->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace
}  // namespace qv
