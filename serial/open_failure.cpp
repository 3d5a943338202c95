#include "serial/open_failure.h"

#include <grp.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstring>

namespace qv {

namespace {
std::string OwningGroup(const std::string& path) {
  struct stat st {};
  if (stat(path.c_str(), &st) != 0) return {};
  const group* gr = getgrgid(st.st_gid);
  return gr ? gr->gr_name : std::to_string(st.st_gid);
}
}  // namespace

std::string DescribeOpenFailure(const std::string& devicePath, int err) {
  const std::string head = "无法打开 " + devicePath + "：";
  switch (err) {
    case EBUSY:
      return head + "端口正在被其他程序使用。";
    case ENOENT:
    case ENXIO:
    case ENODEV:
      return head + "设备不存在。";
    case EACCES:
    case EPERM: {
      std::string group = OwningGroup(devicePath);
      return head + "没有权限。请把当前用户加入设备所属的组" +
             (group.empty() ? std::string() : "“" + group + "”") + "（例如 sudo usermod -aG " +
             (group.empty() ? std::string("dialout") : group) + " $USER），然后重新登录。";
    }
    case ENOTTY:
      return head + "这不是串口设备。";
    case EINVAL:
      return head + "端口不支持该波特率。";
    default:
      return head + std::strerror(err);
  }
}

}  // namespace qv
