#include "files/folder_check.h"

#include <fcntl.h>
#include <linux/magic.h>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>

#include "lang/translate.h"

namespace qv {

namespace {

namespace fs = std::filesystem;
using Kind = FileTrouble::Kind;

// The kernel's own folders answer "no such file" to anything created in
// them, which would send the technician looking for a folder that is there.
bool OnSystemFileSystem(fs::path path) {
  std::error_code ec;
  while (!path.empty() && !fs::exists(path, ec)) path = path.parent_path();
  struct statfs st {};
  if (::statfs(path.empty() ? "." : path.c_str(), &st) != 0) return false;
  switch (st.f_type) {
    case PROC_SUPER_MAGIC:
    case SYSFS_MAGIC:
    case DEBUGFS_MAGIC:
    case CGROUP_SUPER_MAGIC:
    case CGROUP2_SUPER_MAGIC: return true;
    default: return false;
  }
}

FileTrouble Trouble(const std::string& folder, int err) {
  if (OnSystemFileSystem(folder)) return {Kind::Unreadable, Tr("这是系统的虚拟文件夹（如/proc、/sys），不能存放文件")};
  switch (err) {
    case ENOENT: return {Kind::Missing, Tr("文件夹不存在")};
    case ENOTDIR:
    case EEXIST: return {Kind::NotAFile, Tr("路径中有一级是文件，不是文件夹")};
    case ENAMETOOLONG: return {Kind::Unreadable, Tr("路径太长")};
    default: return CannotWrite(err);  // permission, a read-only or full medium
  }
}

}  // namespace

FileTrouble FolderTakesNewFiles(const std::string& folder, bool create) {
  const std::string path = folder.empty() ? "." : folder;
  struct stat st {};
  if (::stat(path.c_str(), &st) == 0) {
    if (S_ISREG(st.st_mode)) return {Kind::NotAFile, Tr("这是一个文件，不是文件夹")};
    if (!S_ISDIR(st.st_mode)) return {Kind::NotAFile, Tr("这不是文件夹")};
  } else if (errno != ENOENT || !create) {
    return Trouble(path, errno);
  } else {
    std::error_code ec;
    fs::create_directories(path, ec);
    if (ec) return Trouble(path, ec.value());
  }
  std::string probe = path + (path.ends_with('/') ? "" : "/") + ".quorvane-probe-XXXXXX";
  const int fd = ::mkostemp(probe.data(), O_CLOEXEC);
  if (fd < 0) return Trouble(path, errno);
  ::close(fd);
  ::unlink(probe.c_str());
  return {};
}

std::string FolderTroubleMessage(const std::string& folder, const FileTrouble& trouble) {
  return TrFormat("无法在文件夹“{1}”中新建文件：{2}！", folder, trouble.reason);
}

std::string WithSlash(std::string folder) {
  if (!folder.empty() && !folder.ends_with('/')) folder += '/';
  return folder;
}

}  // namespace qv
