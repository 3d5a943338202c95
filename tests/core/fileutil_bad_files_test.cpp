// Files that are no use, wherever a file is read: an empty one, a folder, one
// without permission, a named pipe, a link to nothing or to itself, a sparse
// file of 5 GiB. The shared reader names the trouble without waiting or
// reading the file; every reader of the program shows it and sends nothing.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <functional>

#include "batch/form4.h"
#include "console/convert.h"
#include "files/file_io.h"
#include "fileutil/form1.h"
#include "firmware/family/family_table.h"
#include "firmware/loading/form2_loading.h"
#include "tests/core/transfer_sim_support.h"
#include "tests/support/temp_dir.h"
#include "transfer/file_io.h"
#include "transfer/form3.h"
#include "transfer/transfer.h"

namespace qv {
namespace {

namespace fs = std::filesystem;
using Kind = FileTrouble::Kind;

enum class Bad { Empty, Folder, Unreadable, Pipe, DanglingLink, LoopingLink, Sparse };

constexpr uint64_t kSparseBytes = 5ull << 30;  // past 4 GiB, and costs no disk

// Puts a bad file of that kind at `path`.
void MakeBad(Bad bad, const std::string& path) {
  fs::create_directories(fs::path(path).parent_path());
  switch (bad) {
    case Bad::Empty: ASSERT_TRUE(WriteFileBytes(path, "")); break;
    case Bad::Folder: fs::create_directory(path); break;
    case Bad::Unreadable:
      ASSERT_TRUE(WriteFileBytes(path, std::string(4096, 'x')));
      fs::permissions(path, fs::perms::none);
      break;
    case Bad::Pipe: ASSERT_EQ(mkfifo(path.c_str(), 0600), 0); break;
    case Bad::DanglingLink: fs::create_symlink(path + ".gone", path); break;
    case Bad::LoopingLink: fs::create_symlink(path, path); break;
    case Bad::Sparse:
      ASSERT_TRUE(WriteFileBytes(path, ""));
      fs::resize_file(path, kSparseBytes);
      break;
  }
}

// Root reads every file whatever its permissions.
bool PermissionsHold() { return geteuid() != 0; }

TEST(SharedReader, NamesEveryKindOfBadFileWithoutReadingIt) {
  test::TempDir dir;
  constexpr uint64_t kLimit = 1 << 20;
  struct Case {
    Bad bad;
    Kind kind;
    std::string reason;
  };
  const Case cases[] = {
      {Bad::Empty, Kind::None, ""},
      {Bad::Folder, Kind::NotAFile, "这是一个文件夹，不是文件"},
      {Bad::Unreadable, Kind::Unreadable, "没有读取权限"},
      {Bad::Pipe, Kind::NotAFile, "这是一个命名管道（FIFO），不是普通文件"},
      {Bad::DanglingLink, Kind::Missing, "符号链接指向的文件不存在"},
      {Bad::LoopingLink, Kind::Unreadable, "符号链接形成了循环，找不到文件"},
      {Bad::Sparse, Kind::TooLarge, "文件太大（5368709120字节），最多只能读取1048576字节"},
  };
  int n = 0;
  for (const Case& c : cases) {
    const std::string path = dir / ("bad" + std::to_string(n++));
    SCOPED_TRACE(c.reason.empty() ? "empty" : c.reason);
    if (c.bad == Bad::Unreadable && !PermissionsHold()) continue;
    MakeBad(c.bad, path);
    const FileBytes read = ReadFileBytes(path, kLimit);
    EXPECT_EQ(read.trouble.kind, c.kind);
    EXPECT_EQ(read.trouble.reason, c.reason);
    EXPECT_EQ(read.bytes, "");
    // The checks before an operation agree with the read.
    const FileCheck check = CheckInputFile(path, kLimit);
    EXPECT_EQ(check.trouble.kind, c.kind);
    EXPECT_EQ(check.trouble.reason, c.reason);
    EXPECT_EQ(FileExists(path), c.kind == Kind::None || c.kind == Kind::TooLarge);
    // The transfers raise it with the path.
    if (c.kind != Kind::None) {
      try {
        ReadWholeFile(path, kLimit);
        ADD_FAILURE() << "no error raised";
      } catch (const EFileError& e) {
        EXPECT_EQ(e.what(), "无法读取文件“" + path + "”：" + c.reason + "！");
      }
    }
  }

  // Not bad: a link is followed to its file; a file of exactly the limit is read.
  ASSERT_TRUE(WriteFileBytes(dir / "limit.bin", std::string(kLimit, '\x5A')));
  fs::create_symlink(dir / "limit.bin", dir / "link.bin");
  EXPECT_EQ(ReadFileBytes(dir / "link.bin", kLimit).bytes, std::string(kLimit, '\x5A'));
  EXPECT_EQ(ReadFileBytes(dir / "limit.bin", kLimit - 1).trouble.kind, Kind::TooLarge);
  EXPECT_EQ(ReadFileBytes(dir / "none.bin", kLimit).trouble.reason, "文件不存在");
  EXPECT_EQ(ReadFileBytes("/dev/null", kLimit).trouble.reason, "这是一个设备，不是普通文件");
  EXPECT_EQ(ReadFileBytes("/dev/zero", kLimit).trouble.kind, Kind::NotAFile);

  // The sparse file's far sectors are read alone, as cut-and-join reads them.
  MakeBad(Bad::Sparse, dir / "sparse.bin");
  InputFile sparse(dir / "sparse.bin");
  ASSERT_TRUE(sparse.IsOpen());
  EXPECT_EQ(sparse.Size(), kSparseBytes);
  std::string tail(1024, 'x');
  EXPECT_EQ(sparse.ReadAt(kSparseBytes - 512, tail.data(), tail.size()), 512);
  EXPECT_EQ(tail.substr(0, 512), std::string(512, '\0'));
}

// Output files too: a named pipe at the output's name would block the writer
// for good, a folder or a device is no file to replace.
TEST(SharedWriter, RefusesWhatIsNoFileWithoutWaiting) {
  test::TempDir dir;
  const struct {
    std::string path;
    std::string reason;
  } cases[] = {
      {dir / "pipe", "这是一个命名管道（FIFO），不是普通文件"},
      {dir / "folder", "这是一个文件夹，不是文件"},
      {"/dev/null", "这是一个设备，不是普通文件"},
      {dir / "missing/out.bin", "所在的文件夹不存在"},
  };
  MakeBad(Bad::Pipe, dir / "pipe");
  MakeBad(Bad::Folder, dir / "folder");
  for (const auto& c : cases) {
    EXPECT_EQ(WriteFile(c.path, "data").reason, c.reason) << c.path;
    try {
      WriteWholeFile(c.path, std::vector<uint8_t>{1, 2});
      ADD_FAILURE() << "no error raised for " << c.path;
    } catch (const EFileError& e) {
      EXPECT_EQ(e.what(), "无法写入文件“" + c.path + "”：" + c.reason + "！");
    }
  }
  EXPECT_FALSE(WriteFile(dir / "out.bin", "data"));
  EXPECT_EQ(ReadFileBytes(dir / "out.bin", 16).bytes, "data");
}

// The files in a folder, by name.
std::vector<std::string> FolderContents(const std::string& folder) {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(folder)) names.push_back(entry.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

// A write that fails halfway -- here at the file-size limit, as at a full
// disk -- leaves the file it was to replace as it was and nothing of its own.
// Run in a child: the limit must not reach the test's own files.
TEST(SharedWriter, AFailedWriteLeavesTheOldFileWhole) {
  test::TempDir dir;
  const std::string old(4096, 'o');
  ASSERT_TRUE(WriteFileBytes(dir / "rom.bin", old));
  const pid_t child = fork();
  if (child == 0) {
    signal(SIGXFSZ, SIG_IGN);
    const rlimit limit{1024, 1024};
    setrlimit(RLIMIT_FSIZE, &limit);
    const bool refused = WriteFile(dir / "rom.bin", std::string(8192, 'n')).kind == Kind::TooLarge &&
                         !CreateFileBytes(dir / "new.bin", std::string(8192, 'n'));
    _exit(refused ? 0 : 1);
  }
  int status = -1;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
  EXPECT_EQ(ReadFileBytes(dir / "rom.bin", 1 << 20).bytes, old);
  EXPECT_EQ(FolderContents(dir.Path()), std::vector<std::string>{"rom.bin"});

  // A whole write replaces the file a link leads to, keeps the link and the
  // file's permissions, and leaves nothing else behind.
  fs::permissions(dir / "rom.bin", fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
  fs::create_symlink("rom.bin", dir / "link.bin");
  EXPECT_FALSE(WriteFile(dir / "link.bin", "new"));
  EXPECT_TRUE(fs::is_symlink(dir / "link.bin"));
  EXPECT_EQ(ReadFileBytes(dir / "rom.bin", 16).bytes, "new");
  EXPECT_EQ(fs::status(dir / "rom.bin").permissions() & fs::perms::all,
            fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
  if (PermissionsHold()) {
    // A file kept read-only is not replaced behind its back.
    fs::permissions(dir / "rom.bin", fs::perms::owner_read);
    EXPECT_EQ(WriteFile(dir / "rom.bin", "newer").reason, "没有写入权限");
    fs::permissions(dir / "rom.bin", fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
  }
  EXPECT_FALSE(CreateFileBytes(dir / "rom.bin", "again"));
  EXPECT_TRUE(CreateFileBytes(dir / "table.reg", "table"));
  EXPECT_EQ(ReadFileBytes(dir / "rom.bin", 16).bytes, "new");
  EXPECT_EQ(FolderContents(dir.Path()), (std::vector<std::string>{"link.bin", "rom.bin", "table.reg"}));
}

// What a write finds beside or at its name: temporary files a killed
// program left (removed when the same file is next written; a running
// writer's are not), a name so long its temporary name is cut (never inside
// a character), links that go round in a circle (refused, left as they are).
TEST(SharedWriter, LeftoversLongNamesAndCircles) {
  test::TempDir dir;
  // No process has this number (above the kernel's largest).
  const std::string dead = ".APP.BIN.quorvane-99999999-0000abcd";
  const std::string running = ".APP.BIN.quorvane-" + std::to_string(getpid()) + "-0000abcd";
  const std::string other = ".CERT.BIN.quorvane-99999999-0000abcd";
  for (const std::string& name : {dead, running, other}) ASSERT_TRUE(WriteFileBytes(dir / name, "half"));
  std::string longName;
  while (longName.size() < 210) longName += "固件";  // three bytes a character: 200 falls inside one
  longName += ".BIN";
  // Its temporary name keeps 66 whole characters (198 bytes), not 200 bytes.
  const std::string cut = "." + longName.substr(0, 198) + ".quorvane-99999999-0000abcd";
  ASSERT_TRUE(WriteFileBytes(dir / cut, "half"));
  fs::create_symlink("loop-b", dir / "loop-a");
  fs::create_symlink("loop-a", dir / "loop-b");
  const struct {
    const char* name;
    std::string path;
    std::string reason;  // empty: written
    std::vector<std::string> folderAfter;
  } cases[] = {
      {"leftovers of a killed writer", dir / "APP.BIN", "",
       {running, other, cut, "APP.BIN", "loop-a", "loop-b"}},
      {"a long name", dir / longName, "", {running, other, "APP.BIN", longName, "loop-a", "loop-b"}},
      {"a circle of links", dir / "loop-a", "符号链接形成了循环，找不到文件",
       {running, other, "APP.BIN", longName, "loop-a", "loop-b"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(WriteFile(c.path, "data").reason, c.reason);
    std::vector<std::string> after = c.folderAfter;
    std::sort(after.begin(), after.end());
    EXPECT_EQ(FolderContents(dir.Path()), after);
  }
  EXPECT_TRUE(fs::is_symlink(dir / "loop-a"));
  EXPECT_TRUE(IsWriterLeftover(dead));
  EXPECT_FALSE(IsWriterLeftover("APP.BIN"));
}

// Every reader against the bad files that matter to it, on a drive that must
// hear nothing of them.
class BadFileCallers : public test::TransferSim {
 protected:
  void SetUp() override {
    TransferSim::SetUp();
    if (HasFatalFailure()) return;
    OpenAt();
    Settle();
    TakeReceived();
  }
  std::string LastShown() const { return dialogs.shown.empty() ? "(no message)" : dialogs.shown.back().text; }
  // Runs a script through the batch window; its error or message box is what
  // shows. CREAT_FILE splits its fields at every '/', so its sources are
  // named relative to `folder`, the working folder meanwhile.
  std::string RunScript(const std::string& line, const std::string& folder = "") {
    const fs::path here = fs::current_path();
    if (!folder.empty()) fs::current_path(folder);
    TForm4 form(*main);
    form.Memo1 = {line};
    form.Button9Click();
    fs::current_path(here);
    // The message names the script's line first; the rest is the reader's own.
    const std::string shown = LastShown();
    const size_t named = shown.find("): ");
    return shown.starts_with("line 1 (") && named != std::string::npos ? shown.substr(named + 3) : shown;
  }

  test::TempDir scratch;
};

TEST_F(BadFileCallers, EachReaderShowsWhyAndSendsNothing) {
  using Run = std::function<std::string(const std::string& file, const std::string& out)>;
  const Run scriptWindow = [this](const std::string& file, const std::string&) {
    TForm4 form(*main);
    form.Memo1 = {"STR/kept"};
    EXPECT_FALSE(form.LoadFile(file));
    EXPECT_EQ(form.Memo1, std::vector<std::string>{"STR/kept"});
    return LastShown();
  };
  const Run familyTable = [this](const std::string&, const std::string&) {
    LoadFamilyTable(*main, families);
    EXPECT_EQ(main->ComboBox3.items.size(), 23u);  // the built-in table instead
    return LastLine();
  };
  const Run moduleChooser = [this](const std::string& file, const std::string&) {
    TForm2 form(*main, families);
    dialogs.paths = {file};
    form.Button3Click();
    EXPECT_EQ(form.Edit4, "");
    return LastShown();
  };
  const Run moduleLoad = [this](const std::string& file, const std::string&) {
    TForm2 form(*main, families);
    form.CheckBox4 = true;
    form.Edit4 = file;
    form.Button6Click();
    return LastShown();
  };
  const Run romChooser = [this](const std::string& file, const std::string&) {
    TForm3 form(*main);
    dialogs.paths = {file};
    form.Button1Click();
    EXPECT_EQ(form.Edit2, "");
    return LastShown();
  };
  const Run romFastWrite = [this](const std::string& file, const std::string&) {
    try {
      WriteBios(*main, "400", file);
    } catch (const EFileError& e) {
      return std::string(e.what());
    }
    return LastShown();
  };
  const Run romInstructionWrite = [this](const std::string& file, const std::string&) {
    WriteBios1(*main, file);
    return LastLine();
  };
  const Run sendFile = [this](const std::string& file, const std::string&) {
    return RunScript("SEND_FILE/512/" + file);
  };
  const Run writeBuffer = [this](const std::string& file, const std::string&) {
    return RunScript("W_BUF/0/10/" + file);
  };
  const Run writeSectors = [this](const std::string& file, const std::string&) {
    // A seventh field keeps the path's leading '/' in the file name.
    return RunScript("W_SECTORS/1/0/0/2/0/4/x/" + file);
  };
  const Run createFile = [this](const std::string& file, const std::string& out) {
    const std::string shown = RunScript("CREAT_FILE/bad.bin/0/1////out.bin", fs::path(file).parent_path());
    EXPECT_FALSE(fs::exists(out));
    return shown;
  };
  const Run fileWindow = [this](const std::string& file, const std::string& out) {
    TForm1 form(dialogs);
    form.Edit1 = file;
    form.Edit5 = "0";
    form.Edit3 = "1";
    form.Edit6 = out;
    form.Button3Click();
    EXPECT_FALSE(fs::exists(out));
    return LastShown();
  };

  const std::string pipe = "这是一个命名管道（FIFO），不是普通文件";
  const std::string huge = "文件太大（5368709120字节），最多只能读取";
  struct Case {
    const char* reader;
    Run run;
    Bad bad;
    std::string message;  // {file} stands for the bad file's path
    std::string sent;     // all the drive may hear: a batch run's closing CR
    const char* name = "bad.bin";
  };
  const Case cases[] = {
      {"script window", scriptWindow, Bad::Pipe, "打开文件{file}失败：" + pipe + "！", ""},
      {"script window", scriptWindow, Bad::Empty, "脚本文件{file}是空文件，没有可载入的命令！", ""},
      {"script window", scriptWindow, Bad::Unreadable, "打开文件{file}失败：没有读取权限！", ""},
      {"script window", scriptWindow, Bad::Sparse, "打开文件{file}失败：" + huge + "4194304字节！", ""},
      {"family table", familyTable, Bad::Folder,
       "无法读取驱动器系列表文件 {file}（这是一个文件夹，不是文件），本次使用程序内置的系列表。", "", "Varnel授权.reg"},
      {"family table", familyTable, Bad::Pipe, "无法读取驱动器系列表文件 {file}（" + pipe + "），本次使用程序内置的系列表。",
       "", "Varnel授权.reg"},
      {"family table", familyTable, Bad::DanglingLink,
       "无法读取驱动器系列表文件 {file}（符号链接指向的文件不存在），本次使用程序内置的系列表。", "", "Varnel授权.reg"},
      {"family table", familyTable, Bad::Empty, "无法读取驱动器系列表文件 {file}（文件是空的），本次使用程序内置的系列表。",
       "", "Varnel授权.reg"},
      {"family table", familyTable, Bad::Sparse,
       "无法读取驱动器系列表文件 {file}（" + huge + "4194304字节），本次使用程序内置的系列表。", "", "Varnel授权.reg"},
      {"module chooser", moduleChooser, Bad::Pipe, "无法读取文件“{file}”：" + pipe + "！", ""},
      {"module chooser", moduleChooser, Bad::Sparse, "模块文件长度不能大于127KB！", ""},
      {"module load", moduleLoad, Bad::Folder, "指定的ATA0模块文件不存在！", ""},
      {"module load", moduleLoad, Bad::DanglingLink, "指定的ATA0模块文件不存在！", ""},
      {"module load", moduleLoad, Bad::Empty, "指定的ATA0模块文件是空文件！", ""},
      {"module load", moduleLoad, Bad::LoopingLink, "无法读取文件“{file}”：符号链接形成了循环，找不到文件！", ""},
      {"module load", moduleLoad, Bad::Sparse, "模块文件长度不能大于127KB！", ""},
      {"ROM chooser", romChooser, Bad::DanglingLink, "无法打开ROM文件“{file}”：符号链接指向的文件不存在！", ""},
      {"ROM chooser", romChooser, Bad::Sparse, "ROM模块文件太长（5368709120字节），不能超过524288字节！", ""},
      {"ROM fast write", romFastWrite, Bad::Pipe, "无法读取文件“{file}”：" + pipe + "！", ""},
      {"ROM fast write", romFastWrite, Bad::Empty, "ROM文件是空文件，没有可写入的数据！", ""},
      {"ROM fast write", romFastWrite, Bad::Sparse, "无法读取文件“{file}”：" + huge + "524288字节！", ""},
      {"ROM instruction write", romInstructionWrite, Bad::Folder, "读入ROM文件出错，文个无法打开！", ""},
      {"ROM instruction write", romInstructionWrite, Bad::Empty, "读入ROM文件出错，文件太小！", ""},
      {"ROM instruction write", romInstructionWrite, Bad::Sparse, "读入ROM文件出错，" + huge + "524288字节！", ""},
      {"SEND_FILE", sendFile, Bad::Pipe, "无法读取文件“{file}”：" + pipe + "！", "\r"},
      {"SEND_FILE", sendFile, Bad::Unreadable, "无法读取文件“{file}”：没有读取权限！", "\r"},
      {"SEND_FILE", sendFile, Bad::Empty, "要发送的数据长度为0！", "\r"},
      {"SEND_FILE", sendFile, Bad::Sparse, "无法读取文件“{file}”：" + huge + "16711425字节！", "\r"},
      {"W_BUF", writeBuffer, Bad::Folder, "无法读取文件“{file}”：这是一个文件夹，不是文件！", "\r"},
      {"W_BUF", writeBuffer, Bad::Empty, "要发送的数据长度为0！", "\r"},
      {"W_SECTORS", writeSectors, Bad::DanglingLink, "无法读取文件“{file}”：符号链接指向的文件不存在！", "\r"},
      {"W_SECTORS", writeSectors, Bad::Sparse, "无法读取文件“{file}”：" + huge + "16711425字节！", "\r"},
      // Only the prompt requests of the write: no download, nothing written.
      {"W_SECTORS", writeSectors, Bad::Empty, "要发送的数据长度为0！", "/\r/\r\r"},
      {"CREAT_FILE", createFile, Bad::Pipe, "生成文件out.bin失败：无法读取文件“bad.bin”：" + pipe + "！", "\r"},
      // Once skipped like a missing source, with the output built without it.
      {"CREAT_FILE", createFile, Bad::Folder, "生成文件out.bin失败：无法读取文件“bad.bin”：这是一个文件夹，不是文件！",
       "\r"},
      {"CREAT_FILE", createFile, Bad::LoopingLink,
       "生成文件out.bin失败：无法读取文件“bad.bin”：符号链接形成了循环，找不到文件！", "\r"},
      {"file window", fileWindow, Bad::Pipe, "源文件1不存在！", ""},
      {"file window", fileWindow, Bad::LoopingLink, "打开文件{file}失败！", ""},
  };

  int n = 0;
  for (const Case& c : cases) {
    if (c.bad == Bad::Unreadable && !PermissionsHold()) continue;
    const std::string folder = scratch / ("case" + std::to_string(n++) + "/");
    const std::string file = folder + c.name;
    const std::string out = folder + "out.bin";
    MakeBad(c.bad, file);
    main->ownFiles = OwnFiles(folder, folder + "user/");
    std::string expected = c.message;
    if (const size_t at = expected.find("{file}"); at != std::string::npos) expected.replace(at, 6, file);
    SCOPED_TRACE(std::string(c.reader) + ": " + expected);
    dialogs.shown.clear();

    EXPECT_EQ(c.run(file, out), expected);
    Settle();
    EXPECT_EQ(TakeReceived(), c.sent);
    EXPECT_EQ(drive->DownloadsCompleted(), 0);
  }

  // Cut-and-join reads only its ranges: sectors far into the sparse file come
  // out without the rest of it ever being read.
  const std::string sparse = scratch / "sparse.bin";
  MakeBad(Bad::Sparse, sparse);
  dialogs.shown.clear();
  EXPECT_EQ(RunScript("CREAT_FILE/sparse.bin/100000/2////far.bin", scratch.Path()), "(no message)");
  EXPECT_EQ(ReadFileBytes(scratch / "far.bin", 1 << 20).bytes, std::string(1024, '\0'));
}

}  // namespace
}  // namespace qv
