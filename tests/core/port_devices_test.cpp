// The port list follows adapters plugged in and pulled out, against a fake
// device folder: the selection stays on its device, devices added by path and
// SIM stay, nothing is probed behind the technician's back, and an open port
// is left alone until it closes.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "console/main.h"
#include "serial/port_list.h"
#include "tests/support/quiet_startup.h"
#include "tests/support/scripted_dialogs.h"
#include "tests/support/temp_dir.h"

namespace qv {
namespace {

namespace fs = std::filesystem;
using Names = std::vector<std::string>;

// Counts how often the port list was redrawn.
struct PortsView : MainView {
  int redraws = 0;
  void Changed(What what) override { redraws += what == What::Ports; }
};

// A tty as the kernel lists it: a serial device has a `device` link; a
// legacy ttyS entry without a UART behind it has type 0.
void Plug(const std::string& tty, const std::string& name) {
  fs::create_directories(tty + name + "/device");
  if (name.rfind("ttyS", 0) == 0) std::ofstream(tty + name + "/type") << "0\n";
}

struct Case {
  const char* name;
  Names before;          // devices present at start-up
  std::string selected;  // chosen by the technician afterwards ("" : left at the first)
  Names after;           // devices present at the next look
  bool openSim;          // SIM is open at that look, then closed
  Names items;           // the list after the look (after the close when SIM was open)
  std::string selection;
  int redraws;
};

TEST(PortDevicesTest, ListFollowsTheAdaptersAndKeepsTheChoice) {
  const Case cases[] = {
      {"added", {}, "", {"ttyUSB90"}, false, {"ttyUSB90", "SIM"}, "SIM", 1},
      {"removed", {"ttyACM90", "ttyUSB90"}, "ttyUSB90", {"ttyUSB90"}, false, {"ttyUSB90", "SIM"}, "ttyUSB90", 1},
      {"selected removed", {"ttyUSB90", "ttyUSB91"}, "ttyUSB91", {"ttyUSB90"}, false, {"ttyUSB90", "SIM"}, "", 1},
      // A ttyS entry without a UART is no port.
      {"unchanged", {"ttyUSB90"}, "/dev/qv-added", {"ttyUSB90", "ttyS90"}, false,
       {"ttyUSB90", "SIM", "/dev/qv-added"}, "/dev/qv-added", 0},
      {"while open", {}, "SIM", {"ttyUSB90"}, true, {"ttyUSB90", "SIM"}, "SIM", 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    test::TempDir dir;
    const std::string tty = dir / "tty/";
    fs::create_directories(tty);
    for (const std::string& name : c.before) Plug(tty, name);
    NoToolkitPump pump;
    test::ScriptedDialogs dialogs;
    TFrmMain main(pump, dialogs);
    StartupOptions options = test::QuietStartup(dir.Path());
    options.sysClassTty = tty;
    main.FormCreate(options);
    if (IsDevicePath(c.selected)) main.ComboBox1.items.push_back(c.selected);  // 端口 → 其他设备…
    if (!c.selected.empty()) main.ComboBox1.SelectText(c.selected);
    const Names rates = main.ComboBox2.items;

    fs::remove_all(tty);
    fs::create_directories(tty);
    for (const std::string& name : c.after) Plug(tty, name);
    PortsView view;
    main.AddView(&view);
    if (c.openSim) {
      main.btnSwitchClick();
      ASSERT_TRUE(main.SimulatedDriveOpen());
      const Names shown = main.ComboBox1.items;
      main.FollowPortDevices();
      EXPECT_EQ(main.ComboBox1.items, shown);
      EXPECT_EQ(main.memo1.LineCount(), 1u);  // the one line saying the drive is simulated
      main.btnSwitchClick();
    }
    main.FollowPortDevices();
    main.FollowPortDevices();  // a second look with nothing new changes nothing
    main.RemoveView(&view);

    EXPECT_EQ(main.ComboBox1.items, c.items);
    EXPECT_EQ(main.ComboBox1.Text(), c.selection);
    EXPECT_EQ(view.redraws, c.redraws);
    EXPECT_EQ(main.ComboBox2.items, rates);  // no probe ran
    EXPECT_TRUE(dialogs.shown.empty());
    main.FormClose();
  }
}

}  // namespace
}  // namespace qv
