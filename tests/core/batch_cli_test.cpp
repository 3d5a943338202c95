// The headless runner as a technician uses it: the built program started as
// a child process, its stdout, stderr and exit status; and the example scripts.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <functional>
#include <future>
#include <optional>
#include <string_view>

#include "batch/form4.h"
#include "console/language_setup.h"
#include "files/file_digest.h"
#include "files/file_io.h"
#include "lang/translate.h"
#include "tests/core/transfer_sim_support.h"
#include "tests/support/port_bar.h"
#include "tests/support/rfc2217_test_server.h"
#include "tests/support/ser2net_server.h"

#ifndef QV_BATCH_BINARY
#error "QV_BATCH_BINARY must name the built quorvane-batch"
#endif

namespace qv {
namespace {
namespace fs = std::filesystem;

struct Outcome {
  int status = -1;  // exit status, or 128 + signal
  std::string out, err;
};

// Starts `argv` in `cwd`; `watch` sees the output so far and may signal the
// child. A child that hangs is killed after a generous limit so that a fault
// shows as a failure, not a stuck test run. Safe to run from several threads
// at once: no child inherits another's pipes.
Outcome RunCommand(std::vector<std::string> argv, const fs::path& cwd,
                   const std::function<void(pid_t, const Outcome&)>& watch = {}) {
  std::vector<char*> cargv;
  for (auto& a : argv) cargv.push_back(a.data());
  cargv.push_back(nullptr);
  const std::string dir = cwd.string();

  int outPipe[2], errPipe[2];
  if (pipe2(outPipe, O_CLOEXEC) != 0 || pipe2(errPipe, O_CLOEXEC) != 0) return {};
  const pid_t pid = fork();
  if (pid == 0) {
    dup2(outPipe[1], 1);
    dup2(errPipe[1], 2);
    close(outPipe[0]);
    close(errPipe[0]);
    if (chdir(dir.c_str()) != 0) _exit(126);
    execvp(cargv[0], cargv.data());
    _exit(127);
  }
  close(outPipe[1]);
  close(errPipe[1]);
  Outcome o;
  const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(120);
  pollfd fds[2] = {{outPipe[0], POLLIN, 0}, {errPipe[0], POLLIN, 0}};
  int open = 2;
  while (open > 0) {
    if (std::chrono::steady_clock::now() > limit) kill(pid, SIGKILL);
    if (poll(fds, 2, 100) < 0) break;
    for (int k = 0; k < 2; ++k) {
      if (fds[k].fd < 0 || !(fds[k].revents & (POLLIN | POLLHUP))) continue;
      char buf[65536];
      const ssize_t n = read(fds[k].fd, buf, sizeof buf);
      if (n <= 0) {
        close(fds[k].fd);
        fds[k].fd = -1;
        --open;
      } else {
        (k == 0 ? o.out : o.err).append(buf, static_cast<size_t>(n));
      }
    }
    if (watch) watch(pid, o);
  }
  int status = 0;
  waitpid(pid, &status, 0);
  o.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  return o;
}

// Starts quorvane-batch, as RunCommand does. The output is in Chinese,
// whatever the locale and the settings of whoever runs the tests, unless
// `args` name a language.
Outcome RunCli(const std::vector<std::string>& args, const fs::path& cwd,
               const std::function<void(pid_t, const Outcome&)>& watch = {}) {
  std::vector<std::string> argv{QV_BATCH_BINARY};
  if (std::find(args.begin(), args.end(), "--lang") == args.end()) argv.insert(argv.end(), {"--lang", "zh"});
  argv.insert(argv.end(), args.begin(), args.end());
  return RunCommand(std::move(argv), cwd, watch);
}

class BatchCliTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char name[] = "/tmp/qv-cli-XXXXXX";
    ASSERT_NE(mkdtemp(name), nullptr);
    dir = name;
  }
  void TearDown() override {
    std::error_code ec;
    fs::remove_all(dir, ec);
  }
  std::string Script(const std::string& name, const std::string& text) {
    EXPECT_TRUE(WriteFileBytes((dir / name).string(), text));
    return name;
  }
  std::string Read(const std::string& name) const {
    const FileBytes file = ReadFileBytes((dir / name).string(), 1 << 20);
    return file ? file.bytes : "<missing>";
  }

  fs::path dir;
};

TEST_F(BatchCliTest, HelpAndBadUsage) {
  Outcome o = RunCli({"--help"}, dir);
  EXPECT_EQ(o.status, 0);
  EXPECT_NE(o.out.find("Usage: quorvane-batch --port NAME [--rate RATE] [--gap MS] [--trace FILE] [--yes] [--strict] SCRIPT.cmd"),
            std::string::npos);

  // A script without --port is refused before it is even looked at: it never
  // runs on the simulated drive unless told to.
  // A usage error is one line that says what and where to look, not the whole help.
  for (const auto& args :
       std::vector<std::vector<std::string>>{{}, {"--bogus", "a.cmd"}, {"a.cmd", "b.cmd"}, {"missing.cmd"}}) {
    o = RunCli(args, dir);
    EXPECT_EQ(o.status, 2);
    EXPECT_TRUE(o.err.starts_with("quorvane-batch: ")) << o.err;
    EXPECT_TRUE(o.err.ends_with(" (see quorvane-batch --help)\n")) << o.err;
    EXPECT_EQ(std::count(o.err.begin(), o.err.end(), '\n'), 1) << o.err;
  }
  EXPECT_NE(o.err.find("a script needs --port"), std::string::npos) << o.err;
  o = RunCli({"--port", "SIM", "missing.cmd"}, dir);
  EXPECT_EQ(o.status, 2);
  EXPECT_NE(o.err.find("打开文件missing.cmd失败：文件不存在！"), std::string::npos) << o.err;
  // A pipe named as the script is refused at once, not waited on.
  ASSERT_EQ(mkfifo((dir / "pipe.cmd").c_str(), 0600), 0);
  o = RunCli({"--port", "SIM", "pipe.cmd"}, dir);
  EXPECT_EQ(o.status, 2);
  EXPECT_NE(o.err.find("打开文件pipe.cmd失败：这是一个命名管道（FIFO），不是普通文件！"), std::string::npos) << o.err;

  o = RunCli({"--port", "SIM", Script("blank.cmd", " \r\n\t\r\n")}, dir);
  EXPECT_EQ(o.status, 2);
  EXPECT_NE(o.err.find("Quorvane: 请输入要执行的命令脚本！"), std::string::npos) << o.err;
}

TEST_F(BatchCliTest, PortsThatCannotBeOpenedOrRatesNotOffered) {
  const std::string s = Script("s.cmd", "STR/x\r\n");
  // A port that is not there names those that are.
  Outcome o = RunCli({"--port", "/dev/qv-no-such-port", s}, dir);
  EXPECT_EQ(o.status, 2);
  EXPECT_NE(o.err.find("quorvane-batch: no port /dev/qv-no-such-port on this machine; the ports here:"), std::string::npos)
      << o.err;
  EXPECT_NE(o.err.find(" SIM (SIM: the built-in simulated drive)\n"), std::string::npos) << o.err;
  o = RunCli({"--port", "sim", s}, dir);
  EXPECT_EQ(o.status, 2);
  EXPECT_EQ(o.err, "quorvane-batch: no port sim; the simulated drive is SIM (in capitals)\n");
  // One that is there but is no port.
  o = RunCli({"--port", (dir / s).string(), s}, dir);
  EXPECT_EQ(o.status, 2);
  EXPECT_NE(o.err.find("选择的端口正在被使用或不存在！"), std::string::npos) << o.err;

  o = RunCli({"--port", "SIM", "--rate", "12345", s}, dir);
  EXPECT_EQ(o.status, 2);
  EXPECT_NE(o.err.find("12345"), std::string::npos);
}

TEST_F(BatchCliTest, OutputAndExitStatusOfARun) {
  Outcome o = RunCli({"--port", "SIM", Script("ok.cmd", "ECHO/开始\r\nLEVEL/2\nECHO/第二\rSTR/\r\n")}, dir);
  EXPECT_EQ(o.status, 0) << o.err;
  // SIM says it is simulated, in the pane and on stderr.
  EXPECT_EQ(o.out.substr(0, o.out.find("第二\n") + 7), "模拟驱动器（SIM），不是真实硬盘。\n开始\n第二\n");
  EXPECT_NE(o.out.find("2>"), std::string::npos) << o.out;  // the prompt after the closing CR
  const std::string simulated =
      "quorvane-batch: the port SIM is the built-in simulated drive: nothing is read from or written to a real drive\n";
  EXPECT_EQ(o.err, simulated);

  o = RunCli({"--port", "SIM", Script("bad.cmd", "ECHO/before\nDEC/zz\nECHO/after\n")}, dir);
  EXPECT_EQ(o.status, 1);
  // Said before the port opened, and again naming the line when it ends the run.
  EXPECT_EQ(o.err, "quorvane-batch: line 2 (DEC/zz): the byte 'zz' is not a decimal number; the run ends at this line\n" +
                       simulated + "Quorvane: line 2 (DEC/zz): the byte 'zz' is not a decimal number\n");
  EXPECT_NE(o.out.find("before\n"), std::string::npos);
  EXPECT_EQ(o.out.find("after"), std::string::npos);
}

// The simulated drive behind an emulated FT232-class adapter, the receive gap
// set by hand: the pane says so, and the level command is answered. The
// run's trace, decided again, shows the command and its prompt.
TEST_F(BatchCliTest, ReceiveGapAndTheSimulatedDriveBehindAnAdapter) {
  const std::string trace = (dir / "run.trace").string();
  Outcome o = RunCli({"--port", "SIM", "--gap", "2.5", "--sim-adapter", "ft232-1ms", "--trace", trace,
                      Script("s.cmd", "LEVEL/2\r\nSTR/\r\n")},
                     dir);
  EXPECT_EQ(o.status, 0) << o.err;
  EXPECT_NE(o.out.find("接收间隔：手动设为至少 2.5 ms（自动判断得出更长时用更长的）。\n"), std::string::npos) << o.out;
  EXPECT_NE(o.out.find("2>"), std::string::npos) << o.out;
  o = RunCli({"--replay-trace", trace}, dir);
  EXPECT_EQ(o.status, 0) << o.err;
  EXPECT_NE(o.out.find(" prompt=2>/1\n"), std::string::npos) << o.out;
  o = RunCli({"--replay-trace", Script("not.trace", "open 0 9600 usb/1 0 -\nrx 5 zz\n")}, dir);
  EXPECT_EQ(o.status, 2);
  EXPECT_NE(o.err.find("not a trace, line 2: rx 5 zz"), std::string::npos) << o.err;
}

TEST_F(BatchCliTest, AbsoluteDevicePathReachesTheDrive) {
  sim::SimDrive drive;
  ASSERT_TRUE(drive.Start());
  const Outcome o = RunCli({"--port", drive.SlavePath(), Script("s.cmd", "LEVEL/2x\r\nSTR/abc\r\nHEX/7E\r\n")}, dir);
  EXPECT_EQ(o.status, 0) << o.err;
  EXPECT_EQ(drive.Received(), "/2\rabc\r~\r");
}

// The vendor module as the simulated drive keeps it (NHPLUS2HD_S-1A of the
// default table: 6C 0 12).
std::string VendorModule(const sim::SimDrive& drive) {
  std::string vendor;
  for (int s = 0; s < 0x12; ++s) {
    const std::vector<uint8_t> sector = drive.SectorBytes(sim::SimDrive::kReservedFirst + 0x6C, 0, s);
    vendor.append(sector.begin(), sector.end());
  }
  return vendor;
}

// A port ser2net serves: a backup and a ROM read at 921600, drive and
// server's port moved there and back.
TEST_F(BatchCliTest, NetworkPortThroughSer2net) {
  sim::SimDrive drive;
  ASSERT_TRUE(drive.Start());
  test::Ser2NetServer server(drive.SlavePath());
  if (!server.Running()) GTEST_SKIP() << server.Why();
  Outcome o = RunCli({"--port", server.Name(), "--rate", "921600", "--backup", "bk", "--modules", "vendor"}, dir);
  EXPECT_EQ(o.status, 0) << o.err;
  EXPECT_NE(o.out.find("备份完成!\n"), std::string::npos) << o.out;
  const std::string vendor = VendorModule(drive);
  EXPECT_TRUE(Read("bk/Vendor.BIN") == vendor);
  o = RunCli({"--port", server.Name(), "--rate", "921600", "--rom-read", "rom.bin"}, dir);
  EXPECT_EQ(o.status, 0) << o.err;
  const std::vector<uint8_t> rom = drive.RomBytes();
  EXPECT_TRUE(Read("rom.bin") == std::string(rom.begin(), rom.end()));
  EXPECT_EQ(drive.Rate(), 9600);
}

// Failed steps do not end a script, a rate the port refuses does: nothing more
// is sent, not even the level test. The status is 1 and the last line names
// the failed steps. The server keeps 460800 as its fastest.
TEST_F(BatchCliTest, FailedStepsMakeTheStatusAndARefusedRateEndsTheRun) {
  sim::SimDrive drive;
  ASSERT_TRUE(drive.Start());
  test::Rfc2217TestServer server(drive.SlavePath());
  server.keptAbove = 460800;
  Script("a.bin", "a");
  Script("b.bin", "b");
  const Outcome o =
      RunCli({"--port", server.Name(), Script("s.cmd", "CMP_FILE/a.bin/b.bin\nSTR/one\nSPEED/921600\nSTR/two\n")}, dir);
  EXPECT_EQ(o.status, 1) << o.err;
  EXPECT_TRUE(o.out.ends_with("\n2 of 4 steps failed: line 1 CMP_FILE, line 3 SPEED (the run ended at line 3)\n")) << o.out;
  EXPECT_NE(o.out.find(server.Name() + " 的服务器不接受 625200、921600 波特"), std::string::npos) << o.out;
  EXPECT_NE(o.out.find("端口不能切换到 921600 波特：打开时服务器没有确认这个速率（它回答 460800）。驱动器没有被告知，仍在 9600 波特。"),
            std::string::npos)
      << o.out;
  EXPECT_EQ(drive.Received(), "one\r");
}

// Whether another program that locks ports, as serial terminals do, gets the port.
bool LockableByAnotherProgram(const std::string& device) {
  return std::system(("flock -n -E 42 " + device + " true 2>/dev/null").c_str()) == 0;
}

TEST_F(BatchCliTest, APortHeldIsRefusedToOthersAndFreeAgainAtOnce) {
  sim::SimDrive drive;
  ASSERT_TRUE(drive.Start());
  const std::string device = drive.SlavePath();
  const std::string script = Script("s.cmd", "STR/x\r\n");
  {
    NoToolkitPump pump;
    test::ScriptedDialogs dialogs;
    TFrmMain holder(pump, dialogs);
    ASSERT_TRUE(test::OpenWithButton(holder, device, "9600"));
    // A second Quorvane gets the busy message and says why; a locking terminal program is refused.
    const Outcome second = RunCli({"--port", device, script}, dir);
    EXPECT_EQ(second.status, 2);
    EXPECT_NE(second.err.find("选择的端口正在被使用或不存在！"), std::string::npos) << second.err;
    EXPECT_NE(second.out.find("端口正在被其他程序使用"), std::string::npos) << second.out;
    EXPECT_FALSE(LockableByAnotherProgram(device));
    holder.btnSwitchClick();  // closed by the technician
    EXPECT_TRUE(LockableByAnotherProgram(device));
  }
  EXPECT_EQ(RunCli({"--port", device, script}, dir).status, 0);

  // Killed while it holds the port: the port is free at once, for a user without privileges too.
  bool killed = false;
  const Outcome held = RunCli({"--port", device, Script("hold.cmd", "ECHO/holding\r\nECHO/on\r\nSLEEP/60000\r\n")}, dir,
                              [&](pid_t pid, const Outcome& so_far) {
                                if (!killed && so_far.out.find("holding\n") != std::string::npos) {
                                  EXPECT_FALSE(LockableByAnotherProgram(device));
                                  killed = true;
                                  kill(pid, SIGKILL);
                                }
                              });
  EXPECT_EQ(held.status, 128 + SIGKILL);
  EXPECT_TRUE(LockableByAnotherProgram(device));
  if (geteuid() == 0) {
    // Root ignores a port's exclusive flag; an unprivileged open tells whether one was left behind.
    chmod(device.c_str(), 0666);
    EXPECT_EQ(std::system(("setpriv --reuid=nobody --regid=nogroup --clear-groups sh -c 'exec 3<>" + device +
                           "' 2>/dev/null").c_str()),
              0);
  }
  EXPECT_EQ(RunCli({"--port", device, script}, dir).status, 0);
}

// The first Ctrl-C stops after the current statement; one sent twice at once
// (timeout signals the program and then its group) is still the first; only
// one a second or more later quits at once.
TEST_F(BatchCliTest, FirstInterruptStopsALaterOneEnds) {
  const std::string s = Script("s.cmd", "ECHO/a\nECHO/ready\nSLEEP/600\nECHO/b\n");
  for (const int copies : {1, 2}) {
    SCOPED_TRACE(copies);
    bool sent = false;
    const Outcome o = RunCli({"--port", "SIM", s}, dir, [&](pid_t pid, const Outcome& so_far) {
      if (!sent && so_far.out.find("a\n") != std::string::npos) {
        sent = true;
        for (int i = 0; i < copies; ++i) kill(pid, SIGINT);
      }
    });
    EXPECT_EQ(o.status, 130);
    EXPECT_NE(o.out.find("ready"), std::string::npos);
    EXPECT_EQ(o.out.find("b\n"), std::string::npos);
    EXPECT_NE(o.err.find("stopping"), std::string::npos);
    EXPECT_EQ(o.err.find("interrupted"), std::string::npos) << o.err;
  }

  // A sleep of an hour: the first Ctrl-C waits for it, a later one does not.
  // "a" is printed once the pane has the next line, 200 ms before the sleep.
  using Clock = std::chrono::steady_clock;
  std::optional<Clock::time_point> shown, first;
  bool second = false;
  const Outcome o = RunCli({"--port", "SIM", Script("long.cmd", "ECHO/a\nECHO/ready\nSLEEP/3600000\n")}, dir,
                           [&](pid_t pid, const Outcome& so_far) {
                             const auto now = Clock::now();
                             if (!shown && so_far.out.find("a\n") != std::string::npos) shown = now;
                             if (shown && !first && now - *shown > std::chrono::milliseconds(400)) {
                               first = now;
                               kill(pid, SIGINT);
                             } else if (first && !second && now - *first > std::chrono::milliseconds(1100)) {
                               second = true;
                               kill(pid, SIGINT);
                             }
                           });
  EXPECT_EQ(o.status, 130);
  EXPECT_TRUE(second);
  EXPECT_NE(o.err.find("interrupted"), std::string::npos) << o.err;
}

// GNU timeout, as the manual recommends it, on a ROM read: its signal reaches
// the program twice (the program, then its group) and must stop it cleanly,
// every time. `runs` per signal, four at a time, each with its own simulated
// drive; the timeouts fall at different points of the level switch and the read.
void TimeoutStopsCleanly(const fs::path& dir, int runs) {
  struct Run {
    int signo;
    std::string after;
  };
  std::vector<Run> plan;
  for (int i = 0; i < runs; ++i)
    for (const int signo : {SIGINT, SIGTERM}) plan.push_back({signo, std::to_string(0.2 + 0.15 * (i % 8))});
  for (size_t from = 0; from < plan.size(); from += 4) {
    std::vector<std::future<Outcome>> outcomes;
    for (size_t k = from; k < std::min(from + 4, plan.size()); ++k) {
      const fs::path cwd = dir / std::to_string(k);
      fs::create_directories(cwd);
      std::vector<std::string> argv{"timeout", "--preserve-status"};
      if (plan[k].signo == SIGINT) argv.insert(argv.end(), {"-s", "INT"});
      argv.insert(argv.end(), {plan[k].after, QV_BATCH_BINARY, "--port", "SIM", "--rate", "921600", "--rom-read",
                               "rom.bin", "--by-instruction"});
      outcomes.push_back(std::async(std::launch::async, [argv, cwd] { return RunCommand(argv, cwd); }));
    }
    for (size_t k = from; k < from + outcomes.size(); ++k) {
      const Outcome o = outcomes[k - from].get();
      SCOPED_TRACE("run " + std::to_string(k) + ": signal " + std::to_string(plan[k].signo) + " after " + plan[k].after +
                   " s");
      EXPECT_EQ(o.status, 128 + plan[k].signo) << o.err;
      EXPECT_EQ(o.err.find("interrupted"), std::string::npos) << o.err;
      // Where the signal fell depends on the machine: during the operation,
      // which stops its own way; while the port opened, which ends the run
      // there; or (a loaded machine) before the program could catch it, which
      // ends it with nothing opened.
      const bool stopping = o.err.find("stopping the operation") != std::string::npos;
      const bool beforeOperation = o.err.find("stopped before the operation began") != std::string::npos;
      const bool beforeCatching = o.err.empty() && o.out.empty();
      EXPECT_TRUE(stopping || beforeOperation || beforeCatching) << o.err;
      // The operation's own stop: the read ends and the drive answers at 9600
      // again, or, stopped before the drive reached level F (or before the
      // switch began), nothing was read.
      const bool switchBegan = o.out.find("转换至F级") != std::string::npos;
      EXPECT_TRUE(stopping || !switchBegan) << o.out;
      if (switchBegan && o.out.find("转换至F级...........失败！") == std::string::npos) {
        EXPECT_NE(o.out.find("用户中止！"), std::string::npos) << o.out;
        EXPECT_TRUE(o.out.ends_with("F>\n")) << o.out;
      }
      EXPECT_FALSE(fs::exists(dir / std::to_string(k) / "rom.bin"));
    }
  }
}

TEST_F(BatchCliTest, TimeoutStopsAReadCleanly) { TimeoutStopsCleanly(dir, 2); }
// The same ten times per signal (about 10 s).
TEST_F(BatchCliTest, TimeoutStopsAReadCleanlyTenTimes) { TimeoutStopsCleanly(dir, 10); }

TEST_F(BatchCliTest, GarbageAndHugeLinesDoNotCrash) {
  std::string garbage;
  uint32_t x = 12345;
  for (int i = 0; i < 3000; ++i) {
    x = x * 1103515245u + 12345u;
    garbage += static_cast<char>(x >> 24);
  }
  Outcome o = RunCli({"--port", "SIM", Script("garbage.cmd", garbage)}, dir);
  EXPECT_TRUE(o.status == 0 || o.status == 1) << o.status << o.err;

  const std::string huge(1 << 20, 'A');
  o = RunCli({"--port", "SIM", Script("huge.cmd", "ECHO/" + huge + "\r\n" + huge + "/x\r\nR_BUF/0/1\r\n")}, dir);
  EXPECT_EQ(o.status, 1) << o.err;
  EXPECT_NE(o.out.find(huge + "\n"), std::string::npos);
  EXPECT_NE(o.err.find("line 3 (R_BUF/0/1): the file is missing"), std::string::npos) << o.err.substr(0, 300);
  EXPECT_LT(o.err.size(), 1000u);  // the huge line is named in part
}

// A script is read through before the port opens: each doubtful line on
// stderr with its number; the run goes on as the language says, or, with
// --strict, does not start and the drive hears nothing.
TEST_F(BatchCliTest, DoubtfulScriptLinesAreToldAndStrictRefusesThem) {
  sim::SimDrive drive;
  ASSERT_TRUE(drive.Start());
  const struct {
    const char* script;
    const char* told;
    int status;        // without --strict
    const char* sent;  // what reaches the drive without --strict, before the closing CR
  } cases[] = {
      {"ECHO/x\nLEVL/T\nLEVEL/2\n",
       "line 2 (LEVL/T): LEVL is not a keyword (LEVEL?); the line is shown and does nothing\n", 0, "/2\r"},
      {"BAUDRATE/11520\nSTR/y\n", "line 1 (BAUDRATE/11520): not a rate; 9600 is used (115200?)\n", 0, "y\r"},
      {"STR/a\nR_BUF/10/2\nSTR/b\n", "line 2 (R_BUF/10/2): the file is missing (R_BUF/start block/block count/file)\n",
       1, "a\r"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.script);
    const std::string script = Script("s.cmd", c.script);
    Outcome o = RunCli({"--port", drive.SlavePath(), "--strict", script}, dir);
    EXPECT_EQ(o.status, 2);
    EXPECT_EQ(o.err, std::string("quorvane-batch: ") + c.told +
                         "quorvane-batch: --strict: 1 doubtful line in s.cmd; nothing was run\n");
    EXPECT_EQ(drive.Received(), "");

    o = RunCli({"--port", drive.SlavePath(), script}, dir);
    EXPECT_EQ(o.status, c.status) << o.err;
    EXPECT_TRUE(o.err.starts_with(std::string("quorvane-batch: ") + c.told)) << o.err;
    EXPECT_EQ(drive.Received(), std::string(c.sent) + "\r");
    drive.ClearReceived();
  }
}

// Folders and files that cannot take what the operation makes: refused
// before the port opens, naming the path and the real reason.
TEST_F(BatchCliTest, BadTargetsAreRefusedBeforeTheDriveHearsAnything) {
  sim::SimDrive drive;
  ASSERT_TRUE(drive.Start());
  Script("plain", "x");
  const struct {
    std::vector<std::string> args;
    std::string says;
  } cases[] = {
      {{"--backup", "plain"}, "cannot back up into plain: 无法在文件夹“plain”中新建文件：这是一个文件，不是文件夹！"},
      {{"--backup", "plain/sub"}, "cannot back up into plain/sub: 无法在文件夹“plain/sub”中新建文件：路径中有一级是文件，不是文件夹！"},
      {{"--backup", "/proc"}, "cannot back up into /proc: 无法在文件夹“/proc”中新建文件：这是系统的虚拟文件夹（如/proc、/sys），不能存放文件！"},
      {{"--backup", "/proc/bk"}, "无法在文件夹“/proc/bk”中新建文件：这是系统的虚拟文件夹（如/proc、/sys），不能存放文件！"},
      {{"--rom-read", "/proc/rom.bin"}, "cannot save the ROM into /proc/rom.bin: 无法在文件夹“/proc”中新建文件：这是系统的虚拟文件夹（如/proc、/sys），不能存放文件！"},
      {{"--rom-read", "plain/rom.bin"}, "无法在文件夹“plain”中新建文件：这是一个文件，不是文件夹！"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.args.front() + " " + c.args.back());
    std::vector<std::string> args{"--port", drive.SlavePath()};
    args.insert(args.end(), c.args.begin(), c.args.end());
    const Outcome o = RunCli(args, dir);
    EXPECT_EQ(o.status, 2);
    EXPECT_NE(o.err.find(c.says), std::string::npos) << o.err;
    EXPECT_EQ(o.out, "");
    EXPECT_EQ(drive.Received(), "");
  }

  // A folder without write permission, for a user it applies to.
  fs::create_directories(dir / "locked");
  fs::permissions(dir, fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                           fs::perms::others_read | fs::perms::others_exec);
  fs::permissions(dir / "locked", fs::perms::owner_read | fs::perms::owner_exec | fs::perms::group_read |
                                      fs::perms::group_exec | fs::perms::others_read | fs::perms::others_exec);
  chmod(drive.SlavePath().c_str(), 0666);
  std::vector<std::string> argv;
  if (geteuid() == 0) argv = {"setpriv", "--reuid=nobody", "--regid=nogroup", "--clear-groups"};
  argv.insert(argv.end(), {QV_BATCH_BINARY, "--port", drive.SlavePath(), "--backup", "locked/bk"});
  const Outcome o = RunCommand(argv, dir);
  EXPECT_EQ(o.status, 2);
  EXPECT_NE(o.err.find("cannot back up into locked/bk: 无法在文件夹“locked/bk”中新建文件：没有写入权限！"), std::string::npos) << o.err;
  EXPECT_EQ(drive.Received(), "");
  fs::permissions(dir / "locked", fs::perms::owner_all);
}

// --- the operations ---

TEST_F(BatchCliTest, OperationsHelpListsAndBadUsage) {
  Outcome o = RunCli({"--help"}, dir);
  EXPECT_EQ(o.status, 0);
  for (const char* operation : {"--rom-read FILE", "--rom-write FILE", "--backup DIR", "--load DIR", "--list-ports",
                                "--list-families", "Examples:"})
    EXPECT_NE(o.out.find(operation), std::string::npos) << operation;
  o = RunCli({"--list-ports"}, dir);
  EXPECT_EQ(o.status, 0);
  EXPECT_NE(o.out.find("SIM\n"), std::string::npos) << o.out;
  o = RunCli({"--list-families"}, dir);
  EXPECT_EQ(o.status, 0);
  EXPECT_NE(o.out.find("Family table: "), std::string::npos) << o.out;
  EXPECT_NE(o.out.find("\nTONKA\tAPP=16 0 1A0 60\tCERT0=64 0 2C9\tCERT1=64 0 DF\tTABLE=66 DF 15\tATA=68 0 7A\tVEN=6C 0 12\n"),
            std::string::npos)
      << o.out;

  // Refused before the drive hears anything.
  fs::create_directories(dir / "empty");
  const struct {
    std::vector<std::string> args;
    const char* says;
  } cases[] = {
      {{"--rom-read", "r.bin", "--entry", "800"}, "(see quorvane-batch --help)"},
      {{"--rom-write", "missing.bin"}, "no ROM image missing.bin"},
      {{"--rom-write", "empty"}, "empty is not a file"},
      {{"--rom-read", "no/r.bin"}, "cannot save the ROM into no/r.bin: 无法在文件夹“no”中新建文件：文件夹不存在！"},
      {{"--rom-read", "empty"}, "empty is a folder"},
      {{"--load", "nowhere"}, "no firmware folder nowhere"},
      {{"--load", "empty", "--verify"}, "--verify does not go with --load"},
      {{"--compare", "empty"}, "--compare needs two folders"},
      {{"--compare", "empty", "nowhere"}, "no backup folder nowhere"},
      {{"--backup", "out", "--family", "NOSUCH"}, "no family NOSUCH in the table"},
      {{"--rom-read", "r.bin", "--rate", "12345"}, "the transfer rate 12345 is not offered on SIM"},
      {{"--port", "/dev/qv-no-such-port", "--rom-read", "r.bin"}, "no port /dev/qv-no-such-port"},
      {{"--lang", "fr", "--rom-read", "r.bin"}, "--lang takes zh or en, not fr"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.args.front() + " " + c.args[1]);
    std::vector<std::string> args = c.args;
    if (args.front() != "--port") args.insert(args.begin(), {"--port", "SIM"});
    o = RunCli(args, dir);
    EXPECT_EQ(o.status, 2);
    EXPECT_NE(o.err.find(c.says), std::string::npos) << o.err;
  }
  EXPECT_FALSE(fs::exists(dir / "out"));

  // Without --port no operation reaches a drive, the simulated one included.
  for (const char* operation : {"--rom-read", "--backup"}) {
    o = RunCli({operation, "out"}, dir);
    EXPECT_EQ(o.status, 2);
    EXPECT_NE(o.err.find(std::string(operation) + " needs --port"), std::string::npos) << o.err;
  }
  EXPECT_FALSE(fs::exists(dir / "out"));
}

// On a simulated drive of the test's own, which the files are compared with.
TEST_F(BatchCliTest, BackupRomReadAndLoadOnADrive) {
  sim::SimDrive drive;
  ASSERT_TRUE(drive.Start());
  const std::string port = drive.SlavePath();
  // The drive's family found by its report (NHPLUS2HD_S-1A of the table, its vendor module at 6C 0 12).
  Outcome o = RunCli({"--port", port, "--rate", "921600", "--backup", "bk", "--modules", "vendor"}, dir);
  EXPECT_EQ(o.status, 0) << o.err;
  EXPECT_NE(o.out.find("正在备份Vendor..........完成！\n备份完成!\n"), std::string::npos) << o.out;
  // Last, what was done in one line.
  EXPECT_TRUE(o.out.ends_with("\nbacked up NHPLUS2HD_S-1A, drive QV0000000001, into bk/: Vendor.BIN ID.BIN SN.TXT "
                              "(3 files) and MANIFEST.TXT\n"))
      << o.out;
  const std::string vendor = VendorModule(drive);
  EXPECT_TRUE(Read("bk/Vendor.BIN") == vendor);
  EXPECT_TRUE(Read("bk/ID.BIN") == vendor.substr(4 * 512, 512));
  EXPECT_EQ(Read("bk/SN.TXT"), "QUORVANE SIM DRIVE\r\nQV0000000001\r\n");
  EXPECT_FALSE(fs::exists(dir / "bk/APP.BIN"));

  // The folder against the manifest the backup wrote last, without a drive.
  o = RunCli({"--check", "bk"}, dir);
  EXPECT_EQ(o.status, 0) << o.err;
  EXPECT_TRUE(o.out.starts_with("[backup]\tfamily=NHPLUS2HD_S-1A drive=NHPLUS2HD_S-1A_3.AAC serial=QV0000000001 time="))
      << o.out;
  EXPECT_TRUE(o.out.ends_with(" complete=yes verified=no\nVendor.BIN\t一致\nID.BIN\t一致\nSN.TXT\t一致\n"
                              "3 files, all agree with MANIFEST.TXT\n"))
      << o.out;
  fs::copy(dir / "bk", dir / "copy");
  Script("bk/ID.BIN", std::string(512, 'x'));
  o = RunCli({"--check", "bk"}, dir);
  EXPECT_EQ(o.status, 1);
  EXPECT_NE(o.out.find("ID.BIN\tSHA-256不符"), std::string::npos) << o.out;
  EXPECT_TRUE(o.out.ends_with("\n3 files, 1 does not agree with MANIFEST.TXT\n")) << o.out;
  // The comparison lists the files in the check's order, the backup's own.
  o = RunCli({"--compare", "bk", "copy"}, dir);
  EXPECT_EQ(o.status, 1);
  EXPECT_TRUE(o.out.starts_with("Vendor.BIN\t相同\nID.BIN\t不同：")) << o.out;
  EXPECT_TRUE(o.out.ends_with("\nSN.TXT\t相同\n3 files, 1 differs\n")) << o.out;

  o = RunCli({"--port", port, "--rate", "921600", "--rom-read", "rom.bin"}, dir);
  EXPECT_EQ(o.status, 0) << o.err;
  const std::vector<uint8_t> rom = drive.RomBytes();
  EXPECT_TRUE(Read("rom.bin") == std::string(rom.begin(), rom.end()));
  EXPECT_NE(o.out.find("正在读取ROM.........成功！\n"), std::string::npos) << o.out;
  EXPECT_TRUE(o.out.ends_with("\nread the ROM into rom.bin: 65536 bytes, SHA-256 " +
                              Sha256Hex(std::string_view(reinterpret_cast<const char*>(rom.data()), rom.size())) + "\n"))
      << o.out;
  EXPECT_EQ(drive.Rate(), 9600);

  // A load the window refuses: the overlays asked for, none in the folder.
  o = RunCli({"--port", port, "--load", "bk", "--modules", "ata"}, dir);
  EXPECT_EQ(o.status, 1);
  EXPECT_NE(o.err.find("Quorvane: 请指定ATA0模块文件！"), std::string::npos) << o.err;
}

// Whether UTF-8 text holds a Chinese character or full-width punctuation: a
// text the English run left in Chinese.
bool HasChinese(std::string_view text) {
  for (size_t i = 0; i < text.size(); ++i) {
    const auto byte = static_cast<unsigned char>(text[i]);
    if ((byte & 0xF0) != 0xE0 || i + 2 >= text.size()) continue;
    const unsigned code = (byte & 0x0Fu) << 12 | (static_cast<unsigned char>(text[i + 1]) & 0x3Fu) << 6 |
                          (static_cast<unsigned char>(text[i + 2]) & 0x3Fu);
    if ((code >= 0x3000 && code <= 0x9FFF) || (code >= 0xFF00 && code <= 0xFFEF)) return true;
  }
  return false;
}

// A text as the English catalogue the runner uses gives it.
std::string InEnglish(const char* source) {
  UseLanguage(Language::English, CatalogueFolder(QV_BUILD_FOLDER));
  std::string text = Tr(source);
  UseLanguage(Language::Chinese, "");
  return text;
}

// Under --lang en the pane's lines, the questions and the verdicts are
// English, while the drive hears what it hears in Chinese and the files
// written are the same; the runner's own lines read as in either language.
TEST_F(BatchCliTest, BackupAndAFailedOpenInEnglish) {
  sim::SimDrive drive;
  ASSERT_TRUE(drive.Start());
  const auto backup = [&](const std::string& language, const std::string& folder) {
    return RunCli({"--lang", language, "--port", drive.SlavePath(), "--rate", "921600", "--backup", folder,
                   "--modules", "vendor"},
                  dir);
  };
  Outcome o = backup("zh", "zh");
  ASSERT_EQ(o.status, 0) << o.err;
  const std::string heard = drive.Received();
  drive.ClearReceived();
  o = backup("en", "en");
  ASSERT_EQ(o.status, 0) << o.err;
  EXPECT_EQ(drive.Received(), heard);
  for (const char* file : {"Vendor.BIN", "ID.BIN", "SN.TXT"})
    EXPECT_TRUE(Read(std::string("en/") + file) == Read(std::string("zh/") + file)) << file;
  EXPECT_NE(o.out.find("Getting the buffer address......done!\nGetting the reserved area address......done!\n"
                       "Backing up Vendor...........done!\nBackup complete!\n"),
            std::string::npos)
      << o.out;
  EXPECT_TRUE(o.out.ends_with("\nbacked up NHPLUS2HD_S-1A, drive QV0000000001, into en/: Vendor.BIN ID.BIN SN.TXT "
                              "(3 files) and MANIFEST.TXT\n"))
      << o.out;
  EXPECT_FALSE(HasChinese(o.out + o.err)) << o.out << o.err;

  // The manifest is stored, not shown: the same keys in either language.
  const std::string manifest = Read("en/MANIFEST.TXT");
  EXPECT_EQ(manifest.substr(manifest.find("\n[file ")), Read("zh/MANIFEST.TXT").substr(manifest.find("\n[file ")));
  o = RunCli({"--lang", "en", "--check", "en"}, dir);
  EXPECT_EQ(o.status, 0) << o.err;
  EXPECT_TRUE(o.out.ends_with("\nVendor.BIN\tagrees\nID.BIN\tagrees\nSN.TXT\tagrees\n3 files, all agree with MANIFEST.TXT\n"))
      << o.out;
  Script("zh/ID.BIN", std::string(512, 'x'));
  o = RunCli({"--lang", "en", "--compare", "en", "zh"}, dir);
  EXPECT_EQ(o.status, 1);
  EXPECT_EQ(o.out, "Vendor.BIN\tsame\nID.BIN\t512 bytes differ, the first at 0x0, 0x1, 0x2, 0x3, 0x4, 0x5, 0x6, 0x7...\n"
                   "SN.TXT\tsame\n3 files, 1 differs\n");

  // Another drive's backup in the folder: the question and the pane in English.
  std::string other = manifest;
  other.replace(other.find("serial=QV0000000001"), 19, "serial=QVOTHER");
  Script("en/MANIFEST.TXT", other);
  o = backup("en", "en");
  EXPECT_EQ(o.status, 1);
  EXPECT_NE(o.err.find("Note: The folder “en/” already holds a backup of another drive (serial number QVOTHER)."),
            std::string::npos)
      << o.err;
  EXPECT_NE(o.out.find("\nBackup cancelled.\n"), std::string::npos) << o.out;
  EXPECT_FALSE(HasChinese(o.out + o.err)) << o.out << o.err;

  // A port that cannot be opened: the window's refusal, in English where the
  // catalogue has it, and nothing left in Chinese once it does.
  o = RunCli({"--lang", "en", "--port", (dir / "en/SN.TXT").string(), "--backup", "x"}, dir);
  EXPECT_EQ(o.status, 2);
  const std::string refusal = InEnglish("选择的端口正在被使用或不存在！");
  EXPECT_EQ(o.err, "Quorvane: " + refusal + "\n");
  EXPECT_NE(o.out.find((dir / "en/SN.TXT").string()), std::string::npos) << o.out;
  if (refusal != "选择的端口正在被使用或不存在！") {
    EXPECT_FALSE(HasChinese(o.out + o.err)) << o.out << o.err;
  }
}

// A backup into a folder that already holds one: of the same drive, the
// files not read again stay in the manifest; of another drive, or with a
// family the drive does not report, only with --yes.
TEST_F(BatchCliTest, BackupIntoAFolderHoldingOne) {
  sim::SimDrive drive;
  ASSERT_TRUE(drive.Start());
  const std::vector<std::string> backup = {"--port", drive.SlavePath(), "--rate", "921600", "--backup", "bk"};
  const auto run = [&](std::vector<std::string> more) {
    std::vector<std::string> args = backup;
    args.insert(args.end(), more.begin(), more.end());
    return RunCli(args, dir);
  };
  Outcome o = run({"--modules", "table,vendor"});
  ASSERT_EQ(o.status, 0) << o.err;
  const std::string table = Read("bk/Table.BIN");
  // Of the same drive: only Vendor read again, Table.BIN still listed.
  o = run({"--modules", "vendor"});
  ASSERT_EQ(o.status, 0) << o.err;
  const std::string manifest = Read("bk/MANIFEST.TXT");
  EXPECT_NE(manifest.find("files=4\n"), std::string::npos) << manifest;
  EXPECT_NE(manifest.find("[file Table.BIN]\nsize=" + std::to_string(table.size())), std::string::npos) << manifest;
  EXPECT_NE(Read("bk/MANIFEST.OLD").find("[file Table.BIN]"), std::string::npos);
  o = RunCli({"--check", "bk"}, dir);
  EXPECT_EQ(o.status, 0) << o.out;
  EXPECT_NE(o.out.find("Table.BIN\t一致\n"), std::string::npos) << o.out;
  EXPECT_EQ(o.out.find("不在清单中"), std::string::npos) << o.out;

  // Another drive's backup: asked about, No without --yes.
  std::string other = manifest;
  other.replace(other.find("serial=QV0000000001"), 19, "serial=QVOTHER");
  Script("bk/MANIFEST.TXT", other);
  o = run({"--modules", "vendor"});
  EXPECT_EQ(o.status, 1);
  EXPECT_NE(o.err.find("另一块硬盘（序列号QVOTHER）的备份"), std::string::npos) << o.err;
  EXPECT_NE(o.out.find("备份已取消。\n"), std::string::npos) << o.out;
  EXPECT_EQ(Read("bk/MANIFEST.TXT"), other);
  o = run({"--modules", "vendor", "--yes"});
  EXPECT_EQ(o.status, 0) << o.err;
  EXPECT_EQ(Read("bk/MANIFEST.OLD"), other);
  // Another drive's files are not vouched for.
  EXPECT_NE(Read("bk/MANIFEST.TXT").find("files=3\n"), std::string::npos) << Read("bk/MANIFEST.TXT");

  // A family the drive does not report (its vendor module lies where this drive's does).
  o = run({"--modules", "vendor", "--family", "TONKA"});
  EXPECT_EQ(o.status, 1);
  EXPECT_NE(o.err.find("驱动器报告的固件类型是“NHPLUS2HD_S-1A_3.AAC”，与所选的固件类型“TONKA”不符"), std::string::npos)
      << o.err;
  o = run({"--modules", "vendor", "--family", "TONKA", "--yes"});
  EXPECT_EQ(o.status, 0) << o.err;
  EXPECT_NE(Read("bk/MANIFEST.TXT").find("family=TONKA\ndrive=NHPLUS2HD_S-1A_3.AAC\n"), std::string::npos);
}

// Ctrl-C and the signals a shell sends (timeout, a closed terminal) all stop
// the operation its own way; the status names the signal.
TEST_F(BatchCliTest, FirstSignalStopsAnOperationAndTheDriveReturnsTo9600) {
  sim::SimDrive drive;
  ASSERT_TRUE(drive.Start());
  for (const int signo : {SIGINT, SIGTERM, SIGHUP}) {
    SCOPED_TRACE(signo);
    bool sent = false;
    // 65536 single-byte reads: far longer than the test takes to interrupt them.
    const Outcome o = RunCli({"--port", drive.SlavePath(), "--rate", "115200", "--rom-read", "rom.bin", "--by-instruction"},
                             dir, [&](pid_t pid, const Outcome& so_far) {
                               if (!sent && so_far.out.find("请耐心等待") != std::string::npos) {
                                 sent = true;
                                 kill(pid, signo);
                               }
                             });
    EXPECT_EQ(o.status, 128 + signo);
    EXPECT_NE(o.err.find("stopping the operation"), std::string::npos) << o.err;
    // What a second one would leave behind.
    EXPECT_NE(o.err.find("leaves the drive at the transfer rate, a ROM write half done"), std::string::npos) << o.err;
    EXPECT_NE(o.out.find("正在读取ROM.........用户中止！\n"), std::string::npos) << o.out;
    EXPECT_FALSE(fs::exists(dir / "rom.bin"));
    EXPECT_EQ(drive.Rate(), 9600);
  }
}

// --- the example scripts ---

std::string Example(const std::string& name) { return std::string(QV_EXAMPLES_DIR) + "/" + name; }

TEST_F(BatchCliTest, ExampleBufferRoundTrip) {
  // The example makes the file it writes, and says whether it came back.
  const Outcome o = RunCli({"--port", "SIM", Example("buffer_round_trip.cmd")}, dir);
  EXPECT_EQ(o.status, 0) << o.err;
  EXPECT_EQ(o.err.find("line "), std::string::npos) << o.err;
  EXPECT_EQ(Read("pattern.bin").size(), 1024u);
  EXPECT_EQ(Read("copy.bin"), Read("pattern.bin"));
  EXPECT_NE(o.out.find("正在写入缓冲区......成功！\n"), std::string::npos) << o.out;
  EXPECT_NE(o.out.find("正在读取缓冲区......成功！\n"), std::string::npos) << o.out;
  EXPECT_NE(o.out.find("pattern.bin 与 copy.bin：相同\n"), std::string::npos) << o.out;
}

TEST_F(BatchCliTest, ExampleBuildFile) {
  const Outcome o = RunCli({"--port", "SIM", Example("build_file.cmd")}, dir);
  EXPECT_EQ(o.status, 0) << o.err;
  EXPECT_NE(o.out.find("正在读取数据.........完成！\n"), std::string::npos) << o.out;
  const std::string rotated = Read("rotated.bin");
  ASSERT_EQ(rotated.size(), 4u * 512);
  const std::string part = rotated.substr(1536) + rotated.substr(0, 1536);  // the sectors as read
  EXPECT_EQ(Read("sector2.bin"), part.substr(1024, 512));
  EXPECT_EQ(Read("part.bin"), part.substr(0, 1024));
}

// The other two examples run in this process, where the drive can be inspected.
class ExampleOnSim : public test::TransferSim {
 protected:
  TForm4::RunResult RunExample(const std::string& name) {
    TForm4 form(*main);
    EXPECT_TRUE(form.LoadFile(Example(name)));
    OpenAt("9600");
    const auto here = fs::current_path();
    fs::current_path(dir);
    const auto result = form.Button9Click();
    fs::current_path(here);
    return result;
  }
};

TEST_F(ExampleOnSim, LevelsAndRates) {
  EXPECT_EQ(RunExample("levels_and_rates.cmd").end, TForm4::RunResult::End::Finished);
  Settle(10);
  EXPECT_EQ(drive->Rate(), 9600);
  EXPECT_EQ(main->ComboBox2.Text(), "9600");
  const std::string received = TakeReceived();
  for (const char* part : {"s0,0,22\r", "B0115\r", "x\r", "B0096\r", "b0384\r", "b0096\r", "\x1A\r"})
    EXPECT_NE(received.find(part), std::string::npos) << part;
  EXPECT_NE(PaneText().find("Levels and rates (级别与速率)\r\n转换至F级...........成功！\r\nDone (完成)"), std::string::npos)
      << PaneText();
}

TEST_F(ExampleOnSim, TrackReadWrite) {
  EXPECT_EQ(RunExample("track_read_write.cmd").end, TForm4::RunResult::End::Finished);
  const std::vector<uint8_t> track = ReadFile("track.bin");
  ASSERT_EQ(track.size(), 16u * 512);
  EXPECT_EQ(ReadFile("check.bin"), track);
  for (int s = 0; s < 16; ++s) {
    const auto sector = drive->SectorBytes(0x11, 0, s);
    EXPECT_TRUE(std::equal(sector.begin(), sector.end(), track.begin() + s * 512)) << s;
  }
  EXPECT_EQ(drive->SectorBytes(0x10, 0, 3), drive->SectorBytes(0x11, 0, 3));
  EXPECT_EQ(PaneText().find("失败"), std::string::npos) << PaneText();
  EXPECT_TRUE(PaneText().ends_with("track.bin 与 check.bin：相同\r\n")) << PaneText();
}

}  // namespace
}  // namespace qv
