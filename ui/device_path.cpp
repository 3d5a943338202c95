#include "ui/device_path.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstring>

#include "console/text.h"
#include "lang/translate.h"
#include "serial/rfc2217_port.h"

namespace qv::ui {

DevicePathCheck CheckDevicePath(const std::string& entered) {
  DevicePathCheck check;
  const std::string trimmed = Trim(entered);
  if (trimmed.empty()) {
    check.message = Tr("请输入设备路径，例如 /dev/ttyUSB0。");
    return check;
  }
  if (Rfc2217Port::IsNetworkPort(trimmed)) {
    std::string host, service;
    check.ok = Rfc2217Port::SplitName(trimmed, host, service);
    if (check.ok) check.path = trimmed;
    else
      check.message =
          Tr("网络串口的地址应为 rfc2217://主机:端口（普通 TCP 转发为 tcp://主机:端口），例如 rfc2217://192.168.1.20:3001。");
    return check;
  }
  check.path = trimmed.front() == '/' ? trimmed : "/dev/" + trimmed;
  struct stat info {};
  if (stat(check.path.c_str(), &info) != 0) {
    const int err = errno;
    if (err == ENOENT || err == ENOTDIR)
      check.message = TrFormat("设备 {1} 不存在。", check.path);
    else
      check.message = TrFormat("无法访问设备 {1}：{2}", check.path, std::strerror(err));
    return check;
  }
  if (!S_ISCHR(info.st_mode)) {
    check.message = TrFormat("{1} 不是字符设备，不能作为串口打开。", check.path);
    return check;
  }
  check.ok = true;
  return check;
}

}  // namespace qv::ui
