// The receive thread's wait failing for anything but an interruption leaves
// nobody listening to the port: it is reported lost, never left looking open
// while deaf.
#include <fcntl.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <set>
#include <thread>

#include "console/text.h"
#include "tests/support/sim_fixture.h"

namespace qv {
namespace {

namespace fs = std::filesystem;

// The descriptors of this process that are epoll instances.
std::set<int> EpollDescriptors() {
  std::set<int> fds;
  for (const auto& entry : fs::directory_iterator("/proc/self/fd")) {
    std::error_code ec;
    if (fs::read_symlink(entry.path(), ec).string() == "anon_inode:[eventpoll]")
      fds.insert(std::stoi(entry.path().filename().string()));
  }
  return fds;
}

class ReceiveWait : public test::SimFixture {};

TEST_F(ReceiveWait, AWaitThatFailsReportsThePortLost) {
  const std::set<int> before = EpollDescriptors();
  OpenAt("9600");
  std::set<int> opened;
  for (int fd : EpollDescriptors())
    if (!before.count(fd)) opened.insert(fd);
  ASSERT_EQ(opened.size(), 1u);
  // The thread's epoll instance becomes a file that is none: the wait under
  // way goes on with the old one, the next fails with EINVAL.
  const int devNull = open("/dev/null", O_RDONLY | O_CLOEXEC);
  ASSERT_GE(devNull, 0);
  ASSERT_EQ(dup2(devNull, *opened.begin()), *opened.begin());
  close(devNull);
  main->SendString("\r");  // the drive's prompt ends the wait under way
  for (int i = 0; i < 300 && !main->LinkGone(); ++i) {
    main->ProcessEvents();
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  EXPECT_TRUE(main->LinkGone());
  EXPECT_FALSE(main->PortOpen());
  EXPECT_NE(PaneText().find("已断开"), std::string::npos) << PaneText();
}

}  // namespace
}  // namespace qv
