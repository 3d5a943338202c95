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

#include "batch/form4.h"
#include "files/file_io.h"
#include "tests/core/transfer_sim_support.h"
#include "tests/support/port_bar.h"

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

// Starts quorvane-batch in `cwd`; `watch` sees the output so far and may
// signal the child. A child that hangs is killed after a generous limit so
// that a fault shows as a failure, not a stuck test run. The output is in
// Chinese, whatever the locale and the settings of whoever runs the tests,
// unless `args` name a language.
Outcome RunCli(const std::vector<std::string>& args, const fs::path& cwd,
               const std::function<void(pid_t, const Outcome&)>& watch = {}) {
  std::vector<std::string> argv{QV_BATCH_BINARY};
  if (std::find(args.begin(), args.end(), "--lang") == args.end()) argv.insert(argv.end(), {"--lang", "zh"});
  argv.insert(argv.end(), args.begin(), args.end());
  std::vector<char*> cargv;
  for (auto& a : argv) cargv.push_back(a.data());
  cargv.push_back(nullptr);
  const std::string dir = cwd.string();

  int outPipe[2], errPipe[2];
  if (pipe(outPipe) != 0 || pipe(errPipe) != 0) return {};
  const pid_t pid = fork();
  if (pid == 0) {
    dup2(outPipe[1], 1);
    dup2(errPipe[1], 2);
    close(outPipe[0]);
    close(errPipe[0]);
    if (chdir(dir.c_str()) != 0) _exit(126);
    execv(cargv[0], cargv.data());
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
  EXPECT_NE(o.out.find("Usage: quorvane-batch --port NAME [--rate RATE] [--gap MS] [--yes] SCRIPT.cmd"),
            std::string::npos);

  // A script without --port is refused before it is even looked at: it never
  // runs on the simulated drive unless told to.
  for (const auto& args :
       std::vector<std::vector<std::string>>{{}, {"--bogus", "a.cmd"}, {"a.cmd", "b.cmd"}, {"missing.cmd"}}) {
    o = RunCli(args, dir);
    EXPECT_EQ(o.status, 2);
    EXPECT_NE(o.err.find("Usage:"), std::string::npos);
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
  Outcome o = RunCli({"--port", "/dev/qv-no-such-port", s}, dir);
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
  EXPECT_EQ(o.err, simulated + "Quorvane: 'zz' is not a valid integer value\n");
  EXPECT_NE(o.out.find("before\n"), std::string::npos);
  EXPECT_EQ(o.out.find("after"), std::string::npos);
}

// The simulated drive behind an emulated FT232-class adapter, the receive gap
// set by hand: the pane says so, and the level command is answered.
TEST_F(BatchCliTest, ReceiveGapAndTheSimulatedDriveBehindAnAdapter) {
  const Outcome o =
      RunCli({"--port", "SIM", "--gap", "2.5", "--sim-adapter", "ft232-1ms", Script("s.cmd", "LEVEL/2\r\nSTR/\r\n")}, dir);
  EXPECT_EQ(o.status, 0) << o.err;
  EXPECT_NE(o.out.find("接收间隔：手动设为 2.5 ms（不自动判断）。\n"), std::string::npos) << o.out;
  EXPECT_NE(o.out.find("2>"), std::string::npos) << o.out;
}

TEST_F(BatchCliTest, AbsoluteDevicePathReachesTheDrive) {
  sim::SimDrive drive;
  ASSERT_TRUE(drive.Start());
  const Outcome o = RunCli({"--port", drive.SlavePath(), Script("s.cmd", "LEVEL/2x\r\nSTR/abc\r\nHEX/7E\r\n")}, dir);
  EXPECT_EQ(o.status, 0) << o.err;
  EXPECT_EQ(drive.Received(), "/2\rabc\r~\r");
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

TEST_F(BatchCliTest, FirstInterruptStopsSecondEnds) {
  const std::string s = Script("s.cmd", "ECHO/a\nECHO/ready\nSLEEP/600\nECHO/b\n");
  bool sent = false;
  Outcome o = RunCli({"--port", "SIM", s}, dir, [&](pid_t pid, const Outcome& so_far) {
    if (!sent && so_far.out.find("a\n") != std::string::npos) {
      sent = true;
      kill(pid, SIGINT);
    }
  });
  EXPECT_EQ(o.status, 130);
  EXPECT_NE(o.out.find("ready"), std::string::npos);
  EXPECT_EQ(o.out.find("b\n"), std::string::npos);
  EXPECT_NE(o.err.find("stopping"), std::string::npos);

  // A sleep of an hour: the first Ctrl-C waits for it, the second does not.
  int sentCount = 0;
  o = RunCli({"--port", "SIM", Script("long.cmd", "ECHO/a\nECHO/ready\nSLEEP/3600000\n")}, dir,
             [&](pid_t pid, const Outcome& so_far) {
    if (sentCount == 0 && so_far.out.find("a\n") != std::string::npos) {
      ++sentCount;
      kill(pid, SIGINT);
    } else if (sentCount == 1 && so_far.err.find("stopping") != std::string::npos) {
      ++sentCount;
      kill(pid, SIGINT);
    }
  });
  EXPECT_EQ(o.status, 130);
  EXPECT_NE(o.err.find("interrupted"), std::string::npos);
}

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
  EXPECT_NE(o.err.find("'' is not a valid integer value"), std::string::npos) << o.err;
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
      {{"--rom-read", "r.bin", "--entry", "800"}, "Usage:"},
      {{"--rom-write", "missing.bin"}, "no ROM image missing.bin"},
      {{"--rom-write", "empty"}, "empty is not a file"},
      {{"--rom-read", "no/r.bin"}, "no folder no to save the ROM into"},
      {{"--rom-read", "empty"}, "empty is a folder"},
      {{"--load", "nowhere"}, "no firmware folder nowhere"},
      {{"--load", "empty", "--verify"}, "--verify does not go with --load"},
      {{"--compare", "empty"}, "--compare needs two folders"},
      {{"--compare", "empty", "nowhere"}, "no backup folder nowhere"},
      {{"--backup", "out", "--family", "NOSUCH"}, "no family NOSUCH in the table"},
      {{"--rom-read", "r.bin", "--rate", "12345"}, "the transfer rate 12345 is not offered on SIM"},
      {{"--port", "/dev/qv-no-such-port", "--rom-read", "r.bin"}, "选择的端口正在被使用或不存在！"},
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
  std::string vendor;
  for (int s = 0; s < 0x12; ++s) {
    const std::vector<uint8_t> sector = drive.SectorBytes(sim::SimDrive::kReservedFirst + 0x6C, 0, s);
    vendor.append(sector.begin(), sector.end());
  }
  EXPECT_TRUE(Read("bk/Vendor.BIN") == vendor);
  EXPECT_TRUE(Read("bk/ID.BIN") == vendor.substr(4 * 512, 512));
  EXPECT_EQ(Read("bk/SN.TXT"), "QUORVANE SIM DRIVE\r\nQV0000000001\r\n");
  EXPECT_FALSE(fs::exists(dir / "bk/APP.BIN"));

  // The folder against the manifest the backup wrote last, without a drive.
  o = RunCli({"--check", "bk"}, dir);
  EXPECT_EQ(o.status, 0) << o.err;
  EXPECT_EQ(o.out, "Vendor.BIN\t一致\nID.BIN\t一致\nSN.TXT\t一致\n");
  fs::copy(dir / "bk", dir / "copy");
  Script("bk/ID.BIN", std::string(512, 'x'));
  o = RunCli({"--check", "bk"}, dir);
  EXPECT_EQ(o.status, 1);
  EXPECT_NE(o.out.find("ID.BIN\tSHA-256不符"), std::string::npos) << o.out;
  o = RunCli({"--compare", "bk", "copy"}, dir);
  EXPECT_EQ(o.status, 1);
  EXPECT_NE(o.out.find("ID.BIN\t不同："), std::string::npos) << o.out;
  EXPECT_NE(o.out.find("Vendor.BIN\t相同\n"), std::string::npos) << o.out;

  o = RunCli({"--port", port, "--rate", "921600", "--rom-read", "rom.bin"}, dir);
  EXPECT_EQ(o.status, 0) << o.err;
  const std::vector<uint8_t> rom = drive.RomBytes();
  EXPECT_TRUE(Read("rom.bin") == std::string(rom.begin(), rom.end()));
  EXPECT_NE(o.out.find("正在读取ROM.........成功！\n"), std::string::npos) << o.out;
  EXPECT_EQ(drive.Rate(), 9600);

  // A load the window refuses: the overlays asked for, none in the folder.
  o = RunCli({"--port", port, "--load", "bk", "--modules", "ata"}, dir);
  EXPECT_EQ(o.status, 1);
  EXPECT_NE(o.err.find("Quorvane: 请指定ATA0模块文件！"), std::string::npos) << o.err;
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
  std::string pattern;
  for (int i = 0; i < 1024; ++i) pattern += static_cast<char>(i * 37 + i / 512);
  ASSERT_TRUE(WriteFileBytes((dir / "pattern.bin").string(), pattern));
  const Outcome o = RunCli({"--port", "SIM", Example("buffer_round_trip.cmd")}, dir);
  EXPECT_EQ(o.status, 0) << o.err;
  EXPECT_EQ(Read("copy.bin"), pattern);
  EXPECT_NE(o.out.find("正在写入缓冲区......成功！\n"), std::string::npos) << o.out;
  EXPECT_NE(o.out.find("正在读取缓冲区......成功！\n"), std::string::npos) << o.out;
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
  EXPECT_NE(PaneText().find("级别与速率\r\n转换至F级...........成功！\r\n完成"), std::string::npos) << PaneText();
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
}

}  // namespace
}  // namespace qv
