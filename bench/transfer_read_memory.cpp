// Peak memory of a 16 MiB buffer read (0x8000 blocks). The output is held in
// memory once and written at the end; the peak resident size of the process
// must stay below three times the output. The simulated drive runs in a
// child process so that its own copy of the buffer memory doesn't count.
#include <benchmark/benchmark.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <string>

#include "console/main.h"
#include "sim/sim_drive.h"
#include "tests/support/port_bar.h"
#include "tests/support/scripted_dialogs.h"
#include "transfer/transfer.h"

namespace qv {
namespace {

std::string g_slavePath;

long StatusKb(const char* field) {
  std::ifstream status("/proc/self/status");
  std::string line;
  const std::string key = std::string(field) + ":";
  while (std::getline(status, line))
    if (line.rfind(key, 0) == 0) return std::stol(line.substr(key.size()));
  return -1;
}

void ReadBuffer16MiB(benchmark::State& state) {
  NoToolkitPump pump;
  test::ScriptedDialogs dialogs;
  TFrmMain main(pump, dialogs);
  if (!test::OpenWithButton(main, g_slavePath, "9600")) return state.SkipWithError("cannot open");
  main.AdMySpeed("921600");

  const std::string file = "/tmp/qv-bench-read-memory.bin";
  const long before = StatusKb("VmRSS");
  double seconds = 0;
  for (auto _ : state) {
    const auto start = std::chrono::steady_clock::now();
    ReadBuffer(main, "0", "8000", file);
    seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  }
  const long peak = StatusKb("VmHWM");
  std::ifstream written(file, std::ios::binary | std::ios::ate);
  const double outputKb = static_cast<double>(written.tellg()) / 1024;
  std::remove(file.c_str());
  if (outputKb != 16384) state.SkipWithError("the read did not bring 16 MiB");
  state.counters["output_MiB"] = outputKb / 1024;
  state.counters["rss_before_MiB"] = before / 1024.0;
  state.counters["peak_rss_MiB"] = peak / 1024.0;
  state.counters["peak_over_output"] = peak / outputKb;
  state.counters["seconds"] = seconds;
  main.FormClose();
}
BENCHMARK(ReadBuffer16MiB)->Iterations(1)->Unit(benchmark::kSecond);

}  // namespace
}  // namespace qv

int main(int argc, char** argv) {
  // The drive in a child: it shares nothing with the console but the line.
  int pipeFd[2];
  if (pipe(pipeFd) != 0) return 1;
  const pid_t child = fork();
  if (child == 0) {
    close(pipeFd[0]);
    qv::sim::SimDrive drive;
    if (!drive.Start()) _exit(1);
    const std::string path = drive.SlavePath() + "\n";
    if (write(pipeFd[1], path.data(), path.size()) != static_cast<ssize_t>(path.size())) _exit(1);
    pause();  // until the parent ends it
    _exit(0);
  }
  close(pipeFd[1]);
  char buf[256];
  const ssize_t n = read(pipeFd[0], buf, sizeof buf - 1);
  if (n <= 0) return 1;
  qv::g_slavePath.assign(buf, static_cast<size_t>(n - 1));

  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  kill(child, SIGTERM);
  waitpid(child, nullptr, 0);
  return 0;
}
