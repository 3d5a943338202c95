#include "files/file_io.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <cstdlib>
#include <random>
#include <signal.h>

#include "lang/translate.h"

namespace qv {

namespace {

using Kind = FileTrouble::Kind;

FileTrouble NotRegular(mode_t mode) {
  if (S_ISDIR(mode)) return {Kind::NotAFile, Tr("这是一个文件夹，不是文件")};
  if (S_ISFIFO(mode)) return {Kind::NotAFile, Tr("这是一个命名管道（FIFO），不是普通文件")};
  if (S_ISCHR(mode) || S_ISBLK(mode)) return {Kind::NotAFile, Tr("这是一个设备，不是普通文件")};
  if (S_ISSOCK(mode)) return {Kind::NotAFile, Tr("这是一个套接字，不是普通文件")};
  return {Kind::NotAFile, Tr("这不是普通文件")};
}

FileTrouble FromErrno(const std::string& path, int err) {
  struct stat st{};
  switch (err) {
    case ENOENT:
      // A link whose file is gone says so, or the technician looks for a
      // file that is plainly there.
      if (::lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode))
        return {Kind::Missing, Tr("符号链接指向的文件不存在")};
      return {Kind::Missing, Tr("文件不存在")};
    case ENOTDIR: return {Kind::Missing, Tr("路径中有一级不是文件夹")};
    case ELOOP: return {Kind::Unreadable, Tr("符号链接形成了循环，找不到文件")};
    case EACCES:
    case EPERM: return {Kind::Unreadable, Tr("没有读取权限")};
    case ENAMETOOLONG: return {Kind::Unreadable, Tr("路径太长")};
    default: return {Kind::Unreadable, TrFormat("系统错误：{1}", std::strerror(err))};
  }
}

FileTrouble TooLarge(uint64_t size, uint64_t maxBytes) {
  return {Kind::TooLarge,
          TrFormat("文件太大（{1}字节），最多只能读取{2}字节", size, maxBytes)};
}

}  // namespace

std::string CannotReadMessage(const std::string& path, const FileTrouble& trouble) {
  return TrFormat("无法读取文件“{1}”：{2}！", path, trouble.reason);
}

InputFile::InputFile(const std::string& path) {
  // Looked at before opening: opening a device is not harmless (a serial
  // port raises its modem lines).
  struct stat st{};
  if (::stat(path.c_str(), &st) != 0) {
    trouble_ = FromErrno(path, errno);
    return;
  }
  if (!S_ISREG(st.st_mode)) {
    trouble_ = NotRegular(st.st_mode);
    return;
  }
  // Without waiting, for a pipe that took the file's place in the meantime;
  // the descriptor itself decides.
  fd_ = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  if (fd_ < 0) {
    trouble_ = FromErrno(path, errno);
    return;
  }
  const int flags = ::fcntl(fd_, F_GETFL);
  if (::fstat(fd_, &st) != 0 || flags < 0 || ::fcntl(fd_, F_SETFL, flags & ~O_NONBLOCK) != 0) {
    trouble_ = FromErrno(path, errno);
  } else if (!S_ISREG(st.st_mode)) {
    trouble_ = NotRegular(st.st_mode);
  }
  if (trouble_) {
    ::close(fd_);
    fd_ = -1;
    return;
  }
  size_ = static_cast<uint64_t>(st.st_size);
}

InputFile::~InputFile() {
  if (fd_ >= 0) ::close(fd_);
}

int64_t InputFile::ReadAt(uint64_t offset, char* into, size_t size) {
  if (fd_ < 0) return -1;
  size_t done = 0;
  while (done < size) {
    const ssize_t n = ::pread(fd_, into + done, size - done, static_cast<off_t>(offset + done));
    if (n < 0) {
      if (errno == EINTR) continue;
      trouble_ = {Kind::Unreadable, TrFormat("读取出错：{1}", std::strerror(errno))};
      return -1;
    }
    if (n == 0) break;
    done += static_cast<size_t>(n);
  }
  return static_cast<int64_t>(done);
}

FileCheck CheckInputFile(const std::string& path, uint64_t maxBytes) {
  const InputFile file(path);
  if (!file.IsOpen()) return {0, file.Trouble()};
  if (file.Size() > maxBytes) return {file.Size(), TooLarge(file.Size(), maxBytes)};
  return {file.Size(), {}};
}

FileBytes ReadFileBytes(const std::string& path, uint64_t maxBytes) {
  FileBytes out;
  InputFile file(path);
  if (!file.IsOpen()) {
    out.trouble = file.Trouble();
    return out;
  }
  if (file.Size() > maxBytes) {
    out.trouble = TooLarge(file.Size(), maxBytes);
    return out;
  }
  out.bytes.resize(static_cast<size_t>(file.Size()));
  const int64_t n = file.ReadAt(0, out.bytes.data(), out.bytes.size());
  if (n < 0) {
    out.trouble = file.Trouble();
    out.bytes.clear();
    return out;
  }
  out.bytes.resize(static_cast<size_t>(n));
  // A file may hold more than its size said: it grew meanwhile, or it is one
  // of the system's that report no size. Read on, but never past the limit.
  char chunk[65536];
  for (;;) {
    const int64_t more = file.ReadAt(out.bytes.size(), chunk, sizeof chunk);
    if (more == 0) break;
    if (more < 0 || out.bytes.size() + static_cast<uint64_t>(more) > maxBytes) {
      out.trouble = more < 0 ? file.Trouble() : TooLarge(out.bytes.size() + static_cast<uint64_t>(more), maxBytes);
      out.bytes.clear();
      return out;
    }
    out.bytes.append(chunk, static_cast<size_t>(more));
  }
  return out;
}

bool FileExists(const std::string& path) {
  struct stat st{};
  return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

FileTrouble CannotWrite(int err) {
  switch (err) {
    case ENOENT:
    case ENOTDIR: return {Kind::Missing, Tr("所在的文件夹不存在")};
    case EACCES:
    case EPERM: return {Kind::Unreadable, Tr("没有写入权限")};
    case ENOSPC:
    case EDQUOT: return {Kind::Unreadable, Tr("磁盘空间不足")};
    case EROFS: return {Kind::Unreadable, Tr("文件系统是只读的")};
    case EFBIG: return {Kind::TooLarge, Tr("文件超过了系统允许的大小")};
    default: return {Kind::Unreadable, TrFormat("系统错误：{1}", std::strerror(err))};
  }
}

namespace {

// The file a name leads to. A link is followed to its file, which is
// replaced while the link stays, as writing through the link always did.
// Empty for links that lead on and on (a circle): there is no file to
// replace, and replacing the link would break the circle the owner made.
std::string LinkTarget(const std::string& path) {
  namespace fs = std::filesystem;
  fs::path target(path);
  for (int hops = 0; hops < 40; ++hops) {
    std::error_code ec;
    if (!fs::is_symlink(fs::symlink_status(target, ec))) return target.string();
    fs::path next = fs::read_symlink(target, ec);
    if (ec) return target.string();
    target = next.is_absolute() ? next : target.parent_path() / next;
  }
  return {};
}

constexpr std::string_view kTemporaryTag = ".quorvane-";

// The longest start of `name` of at most `bytes` bytes that does not end
// inside a UTF-8 character.
std::string_view WholeCharacters(std::string_view name, size_t bytes) {
  if (name.size() <= bytes) return name;
  size_t end = bytes;
  while (end > 0 && (static_cast<unsigned char>(name[end]) & 0xC0) == 0x80) --end;
  return name.substr(0, end);
}

std::string FolderOf(const std::string& path) {
  const size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

// A name for a file that does not exist yet, beside `path`: hidden, and
// telling where it came from should a killed program leave it behind.
std::string TemporaryName(const std::string& path) {
  static std::atomic<unsigned> counter{0};
  static const unsigned seed = std::random_device{}();
  const size_t slash = path.rfind('/');
  const std::string folder = slash == std::string::npos ? "" : path.substr(0, slash + 1);
  // Kept well inside the longest name a folder takes, and still a name
  // every file manager shows.
  const std::string base(WholeCharacters(std::string_view(path).substr(folder.size()), 200));
  char tag[32];
  std::snprintf(tag, sizeof tag, "%.*s%d-%08x", static_cast<int>(kTemporaryTag.size()), kTemporaryTag.data(),
                static_cast<int>(::getpid()), seed + counter++);
  return folder + "." + base + tag;
}

// Removes what a killed program left of its writes of `path`: temporary
// files of its name whose process no longer runs. A writer still running
// (another instance of the program) keeps its own.
void RemoveLeftovers(const std::string& path) {
  namespace fs = std::filesystem;
  const std::string prefix = "." + std::string(WholeCharacters(fs::path(path).filename().string(), 200)) +
                             std::string(kTemporaryTag);
  std::error_code ec;
  for (fs::directory_iterator it(FolderOf(path), ec), end; !ec && it != end; it.increment(ec)) {
    const std::string name = it->path().filename().string();
    if (!name.starts_with(prefix)) continue;
    const int pid = std::atoi(name.c_str() + prefix.size());
    if (pid > 0 && ::kill(pid, 0) != 0 && errno == ESRCH) ::unlink(it->path().c_str());
  }
}

// Writes `bytes` into a new file beside `path` and flushes it to the medium.
// The new file takes the permissions of `like` when given (the file it is to
// replace), else the usual ones for a new file. Its name is left in
// `temporary`; on failure nothing of it is left.
FileTrouble WriteTemporary(const std::string& path, std::string_view bytes, const struct stat* like,
                           std::string& temporary) {
  int fd = -1;
  for (int attempt = 0; fd < 0 && attempt < 100; ++attempt) {
    temporary = TemporaryName(path);
    fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_NOCTTY | O_CLOEXEC, 0666);
    if (fd < 0 && errno != EEXIST) return CannotWrite(errno);
  }
  if (fd < 0) return CannotWrite(EEXIST);
  FileTrouble trouble;
  if (like) ::fchmod(fd, like->st_mode & 0777);  // best effort: a file of someone else's keeps ours
  for (size_t done = 0; !trouble && done < bytes.size();) {
    const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) trouble = CannotWrite(errno);
    else done += static_cast<size_t>(n);
  }
  // On the medium before it takes the target's name: a stick pulled out
  // afterwards leaves the old file or the new one, never a cut-short one.
  if (!trouble && ::fsync(fd) != 0) trouble = CannotWrite(errno);
  if (::close(fd) != 0 && !trouble) trouble = CannotWrite(errno);
  if (trouble) ::unlink(temporary.c_str());
  return trouble;
}

// Makes a name just given in the folder last on the medium too.
FileTrouble SyncFolder(const std::string& path) {
  const int fd = ::open(FolderOf(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return {};
  FileTrouble trouble;
  // Some file systems cannot sync a folder at all (EINVAL); their names are
  // as safe as they get.
  if (::fsync(fd) != 0 && errno != EINVAL && errno != EROFS) trouble = CannotWrite(errno);
  ::close(fd);
  return trouble;
}

}  // namespace

bool IsWriterLeftover(std::string_view name) {
  return name.starts_with('.') && name.find(kTemporaryTag) != std::string_view::npos;
}

std::string CannotWriteMessage(const std::string& path, const FileTrouble& trouble) {
  return TrFormat("无法写入文件“{1}”：{2}！", path, trouble.reason);
}

FileTrouble WriteFile(const std::string& path, std::string_view bytes) {
  // A file of the same name is replaced only by a whole new one: written
  // beside it, flushed, then renamed over it. Until then it stays as it was,
  // whatever fails (a full disk, a size limit, a pulled stick).
  const std::string target = LinkTarget(path);
  if (target.empty()) return FromErrno(path, ELOOP);
  struct stat st{};
  const bool exists = ::stat(target.c_str(), &st) == 0;
  if (!exists && errno == ELOOP) return FromErrno(target, ELOOP);
  if (exists && !S_ISREG(st.st_mode)) return NotRegular(st.st_mode);
  // A file kept read-only stays protected, as when it was written in place.
  if (exists && ::access(target.c_str(), W_OK) != 0) return CannotWrite(errno);
  RemoveLeftovers(target);
  std::string temporary;
  if (FileTrouble trouble = WriteTemporary(target, bytes, exists ? &st : nullptr, temporary)) return trouble;
  if (::rename(temporary.c_str(), target.c_str()) != 0) {
    const int err = errno;
    ::unlink(temporary.c_str());
    // A folder or a pipe that took the name meanwhile.
    if (::stat(target.c_str(), &st) == 0 && !S_ISREG(st.st_mode)) return NotRegular(st.st_mode);
    return CannotWrite(err);
  }
  return SyncFolder(target);
}

AppendFile::AppendFile(const std::string& path) {
  const auto refused = [](mode_t mode) { return !S_ISREG(mode) && !S_ISCHR(mode); };
  struct stat st{};
  if (::stat(path.c_str(), &st) == 0 && refused(st.st_mode)) {
    trouble_ = NotRegular(st.st_mode);
    return;
  }
  // Without waiting, for a pipe that took the file's place in the meantime.
  fd_ = ::open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_NONBLOCK | O_NOCTTY | O_CLOEXEC, 0666);
  if (fd_ < 0) {
    trouble_ = CannotWrite(errno);
    return;
  }
  if (::fstat(fd_, &st) != 0) trouble_ = CannotWrite(errno);
  else if (refused(st.st_mode)) trouble_ = NotRegular(st.st_mode);
  if (trouble_) {
    ::close(fd_);
    fd_ = -1;
  }
}

AppendFile::~AppendFile() { Close(); }

bool AppendFile::Append(std::string_view bytes) {
  if (fd_ < 0) return false;
  for (size_t done = 0; done < bytes.size();) {
    const ssize_t n = ::write(fd_, bytes.data() + done, bytes.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      trouble_ = CannotWrite(errno);
      return false;
    }
    done += static_cast<size_t>(n);
  }
  return true;
}

bool AppendFile::Close() {
  if (fd_ < 0) return !trouble_;
  const bool ok = ::close(fd_) == 0;
  if (!ok && !trouble_) trouble_ = CannotWrite(errno);
  fd_ = -1;
  return ok && !trouble_;
}

bool CreateFileBytes(const std::string& path, std::string_view bytes) {
  struct stat st{};
  if (::lstat(path.c_str(), &st) == 0) return false;
  std::string temporary;
  if (WriteTemporary(path, bytes, nullptr, temporary)) return false;
  // Given its name only when nothing has that name yet, not even a file made
  // meanwhile; a file system without that kind of rename takes a hard link.
  bool named = ::renameat2(AT_FDCWD, temporary.c_str(), AT_FDCWD, path.c_str(), RENAME_NOREPLACE) == 0;
  if (!named && (errno == EINVAL || errno == ENOSYS)) named = ::link(temporary.c_str(), path.c_str()) == 0;
  ::unlink(temporary.c_str());
  return named && !SyncFolder(path);
}

}  // namespace qv
