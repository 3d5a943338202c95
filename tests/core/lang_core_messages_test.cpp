// The core's own messages (ports, network ports, files, folders) in English:
// whole sentences from the catalogue with every value in its place, and in
// Chinese the source texts unchanged.
#include <gtest/gtest.h>

#include <cerrno>
#include <functional>
#include <string>

#include "console/language_setup.h"
#include "files/file_io.h"
#include "files/folder_check.h"
#include "lang/translate.h"
#include "serial/open_failure.h"
#include "serial/port_identity.h"
#include "serial/rfc2217_port.h"
#include "tests/support/temp_dir.h"

namespace qv {
namespace {

class CoreMessages : public ::testing::Test {
 protected:
  void TearDown() override { UseLanguage(Language::Chinese, ""); }
  test::TempDir dir;
};

TEST_F(CoreMessages, WholeSentencesInEitherLanguage) {
  PortIdentity uart;
  uart.transport = PortIdentity::Transport::Uart;
  uart.fifoTrigger = 14;
  PortIdentity usb;
  usb.transport = PortIdentity::Transport::Usb;
  usb.serial = "A50285BI";
  const std::string missing = dir / "none.bin";
  const std::string file = dir / "a.bin";
  ASSERT_FALSE(WriteFile(file, "x"));
  struct Case {
    const char* name;
    std::function<std::string()> text;
    std::string chinese;
    std::string english;
  } cases[] = {
      {"port in use", [] { return DescribeOpenFailure("/dev/ttyUSB9", EBUSY); },
       "无法打开 /dev/ttyUSB9：端口正在被其他程序使用。", "Cannot open /dev/ttyUSB9: another program is using the port."},
      // The group is named twice; the translation keeps both.
      {"no permission", [] { return DescribeOpenFailure("/dev/null", EACCES); },
       "无法打开 /dev/null：没有权限。请把当前用户加入设备所属的组“root”（例如 sudo usermod -aG root $USER），然后重新登录。",
       "Cannot open /dev/null: no permission. Add your user to the device's group “root” (e.g. sudo usermod -aG root "
       "$USER), then log in again."},
      {"native port", [&] { return DescribePort(uart); }, "串口（FIFO 触发 14 字节）", "Serial port (FIFO trigger 14 bytes)"},
      {"USB adapter", [&] { return DescribePort(usb); }, "USB 串口 · 序列号 A50285BI",
       "USB serial port · serial number A50285BI"},
      {"network port name",
       [] {
         Rfc2217Port port;
         port.Open("rfc2217://nohost", 9600);
         return port.Error();
       },
       "rfc2217://nohost 不是有效的网络串口地址，应为 rfc2217://主机:端口 或 tcp://主机:端口（例如 "
       "rfc2217://192.168.1.20:3001）。",
       "rfc2217://nohost is not a valid network port address; write rfc2217://HOST:PORT or tcp://HOST:PORT (e.g. "
       "rfc2217://192.168.1.20:3001)."},
      {"missing file", [&] { return CannotReadMessage(missing, InputFile(missing).Trouble()); },
       "无法读取文件“" + missing + "”：文件不存在！", "Cannot read the file “" + missing + "”: the file does not exist!"},
      {"file for a folder", [&] { return FolderTroubleMessage(file, FolderTakesNewFiles(file, false)); },
       "无法在文件夹“" + file + "”中新建文件：这是一个文件，不是文件夹！",
       "Cannot create files in the folder “" + file + "”: this is a file, not a folder!"},
  };
  for (const Case& c : cases) {
    UseLanguage(Language::Chinese, "");
    EXPECT_EQ(c.text(), c.chinese) << c.name;
    UseLanguage(Language::English, CatalogueFolder(QV_BUILD_FOLDER));
    EXPECT_EQ(c.text(), c.english) << c.name;
  }
}

}  // namespace
}  // namespace qv
