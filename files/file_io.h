#pragma once
// Reading and writing files with every failure reported.
//
// Every file the program reads is opened through InputFile: files come from
// anywhere, and a named pipe would block the opening thread for good, a
// folder or a device would be read as garbage, and a sparse file of several
// GiB would be read into memory whole. So opening never waits, anything but a
// regular file is refused with the reason, and each reader says how much it
// can use: a larger file is refused before a byte of it is read.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace qv {

// What keeps a file from being read, with the reason in the technician's
// words ("这是一个文件夹，不是文件"). Callers that have a message of their own
// for a missing file tell Missing apart; the rest show the reason.
struct FileTrouble {
  enum class Kind { None, Missing, NotAFile, Unreadable, TooLarge };
  Kind kind = Kind::None;
  std::string reason;
  explicit operator bool() const { return kind != Kind::None; }
};

// "无法读取文件“path”：reason！"
std::string CannotReadMessage(const std::string& path, const FileTrouble& trouble);

// A regular file open for reading; a link is followed to its file. Anything
// else (a folder, a named pipe, a device, a socket, a missing file, a link
// that leads nowhere or in a circle) is not opened and Trouble() says why.
class InputFile {
 public:
  explicit InputFile(const std::string& path);
  ~InputFile();
  InputFile(const InputFile&) = delete;
  InputFile& operator=(const InputFile&) = delete;

  bool IsOpen() const { return fd_ >= 0; }
  const FileTrouble& Trouble() const { return trouble_; }
  uint64_t Size() const { return size_; }  // as it was when opened

  // Reads up to `size` bytes from `offset` into `into`: fewer only at the
  // file's end. -1 on a read error, which Trouble() then describes.
  int64_t ReadAt(uint64_t offset, char* into, size_t size);

 private:
  int fd_ = -1;
  uint64_t size_ = 0;
  FileTrouble trouble_;
};

// The size of a file a reader would accept, or why it would not (a file over
// maxBytes is TooLarge). Reads nothing: for the checks before an operation.
struct FileCheck {
  uint64_t size = 0;
  FileTrouble trouble;
};
FileCheck CheckInputFile(const std::string& path, uint64_t maxBytes);

// A regular file read whole and closed at once; one over maxBytes is refused
// unread (also one that grows past it while it is read). An empty file is
// read as no bytes: the callers that cannot use one say so themselves.
struct FileBytes {
  std::string bytes;
  FileTrouble trouble;
  explicit operator bool() const { return !trouble; }
};
FileBytes ReadFileBytes(const std::string& path, uint64_t maxBytes);

// True for an existing regular file (a link to one counts): folders, pipes
// and devices are not files here, as no reader takes them.
bool FileExists(const std::string& path);

// Why a file could not be made or written, from the system's error number.
FileTrouble CannotWrite(int err);

// "无法写入文件“path”：reason！"
std::string CannotWriteMessage(const std::string& path, const FileTrouble& trouble);

// Creates or replaces a regular file with `bytes`. The bytes go to a new
// file in the same folder, are flushed to the medium and only then take the
// name, so a file of that name is replaced by a whole new one or, on any
// failure (a full disk, a size limit, a stick pulled out), left exactly as it
// was; nothing of the failed write is left behind. A link is followed: its
// file is replaced, the link stays. Anything else at that name -- a folder, a
// named pipe, a device -- is refused unopened: a pipe would block the writer
// for good. So is a link that leads round in a circle. Temporary files a
// killed program left beside the file (".APP.BIN.quorvane-<pid>-<tag>") are
// removed as it is written.
FileTrouble WriteFile(const std::string& path, std::string_view bytes);
// A name the writer gives its temporary files (hidden, ".quorvane-" in it):
// not a file of the technician's, whatever it holds.
bool IsWriterLeftover(std::string_view name);
inline bool WriteFileBytes(const std::string& path, std::string_view bytes) { return !WriteFile(path, bytes); }
// A file that grows at its end (a session log): created when missing, never
// truncated. Besides a regular file it may be a character device, such as a
// terminal that shows the log as it grows; a folder, a named pipe, a socket or
// a disk is refused unopened. Writes never wait for a device that is not
// ready to take more: that is a failure like a full disk.
class AppendFile {
 public:
  explicit AppendFile(const std::string& path);
  ~AppendFile();
  AppendFile(const AppendFile&) = delete;
  AppendFile& operator=(const AppendFile&) = delete;

  bool IsOpen() const { return fd_ >= 0; }
  const FileTrouble& Trouble() const { return trouble_; }
  // Writes all of `bytes` at the end; false on a failure, which Trouble() then describes.
  bool Append(std::string_view bytes);
  // Closes the file; a failure that shows up only now counts like any other.
  bool Close();

 private:
  int fd_ = -1;
  FileTrouble trouble_;
};

// Creates the file with `bytes` only when nothing of that name exists yet,
// written whole and flushed as WriteFile writes; nothing is left of a failed
// one. False when the name existed or the write failed.
bool CreateFileBytes(const std::string& path, std::string_view bytes);

}  // namespace qv
