#include "serial/open_failure.h"

#include <grp.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstring>

#include "lang/translate.h"

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
  switch (err) {
    case EBUSY:
      return TrFormat("无法打开 {1}：端口正在被其他程序使用。", devicePath);
    case ENOENT:
    case ENXIO:
    case ENODEV:
      return TrFormat("无法打开 {1}：设备不存在。", devicePath);
    case EACCES:
    case EPERM: {
      const std::string group = OwningGroup(devicePath);
      if (group.empty())
        return TrFormat("无法打开 {1}：没有权限。请把当前用户加入设备所属的组（例如 sudo usermod -aG dialout $USER），然后重新登录。",
                        devicePath);
      return TrFormat("无法打开 {1}：没有权限。请把当前用户加入设备所属的组“{2}”（例如 sudo usermod -aG {2} $USER），然后重新登录。",
                      devicePath, group);
    }
    case ENOTTY:
      return TrFormat("无法打开 {1}：这不是串口设备。", devicePath);
    case EINVAL:
      return TrFormat("无法打开 {1}：端口不支持该波特率。", devicePath);
    default:
      return TrFormat("无法打开 {1}：{2}", devicePath, std::strerror(err));
  }
}

}  // namespace qv
