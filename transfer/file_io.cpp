#include "transfer/file_io.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "console/convert.h"
#include "fileutil/file_io.h"

namespace qv {

namespace {

[[noreturn]] void Fail(const std::string& what, const std::string& path, int err) {
  throw EFileError(what + " \"" + path + "\": " + std::strerror(err));
}

class Fd {
 public:
  explicit Fd(int fd) : fd_(fd) {}
  ~Fd() {
    if (fd_ >= 0) ::close(fd_);
  }
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;
  int get() const { return fd_; }
  // Closes now; a delayed write error shows up here on some file systems.
  int Close() {
    const int rc = ::close(fd_);
    fd_ = -1;
    return rc;
  }

 private:
  int fd_;
};

}  // namespace

std::vector<uint8_t> ReadWholeFile(const std::string& path, uint64_t maxBytes) {
  const FileBytes file = ReadFileBytes(path, maxBytes);
  if (!file) throw EFileError(CannotReadMessage(path, file.trouble));
  return {file.bytes.begin(), file.bytes.end()};
}

void WriteWholeFile(const std::string& path, const uint8_t* data, size_t size) {
  Fd fd(::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666));
  if (fd.get() < 0) Fail("Cannot create file", path, errno);
  // A file cut short (a full disk, a size limit) must not stay behind looking
  // like a complete image; devices and pipes are not ours to remove.
  struct stat st{};
  const bool regular = ::fstat(fd.get(), &st) == 0 && S_ISREG(st.st_mode);
  const auto failWrite = [&](int err) {
    if (fd.get() >= 0) fd.Close();
    if (regular) ::unlink(path.c_str());
    Fail("Cannot write file", path, err);
  };
  size_t done = 0;
  while (done < size) {
    const ssize_t n = ::write(fd.get(), data + done, size - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      failWrite(errno);
    }
    done += static_cast<size_t>(n);
  }
  if (fd.Close() != 0) failWrite(errno);
}

}  // namespace qv
