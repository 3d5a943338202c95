#pragma once
// A console on its simulated drive for the transfer tests: an event pump that
// runs a hook on every pass (to press STOP or change the drive mid-operation),
// a scratch folder for the data files, and helpers to build and read them.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <vector>

#include "console/main.h"
#include "console/text.h"
#include "sim/sim_checksum.h"
#include "tests/support/sim_fixture.h"

namespace qv::test {

class HookPump : public EventPump {
 public:
  void ProcessPendingEvents() override {
    ++calls;
    if (hook) hook();
  }
  std::function<void()> hook;
  long calls = 0;
};

class TransferSim : public SimFixture {
 protected:
  void SetUp() override {
    SimFixture::SetUp();
    if (HasFatalFailure()) return;
    // The same console, but on a pump the test can hook into.
    const auto ports = main->ComboBox1;
    const auto rates = main->ComboBox2;
    const auto fast = main->ComboBox7;
    main = std::make_unique<TFrmMain>(hookPump, dialogs);
    main->receiveMode = ReceiveMode::usercmd;
    main->ComboBox1 = ports;
    main->ComboBox2 = rates;
    main->ComboBox7 = fast;
    ApplyTimeScale();
    char name[] = "/tmp/qv-transfer-XXXXXX";
    ASSERT_NE(mkdtemp(name), nullptr);
    dir = name;
  }
  void TearDown() override {
    hookPump.hook = nullptr;
    SimFixture::TearDown();
    std::error_code ec;
    std::filesystem::remove_all(dir, ec);
  }

  // Sets the stop flag once `when` holds, checked on every pass of the event loop.
  void StopWhen(std::function<bool()> when) {
    hookPump.hook = [this, when = std::move(when)] {
      if (!main->stopFlag && when()) main->stopFlag = 1;
    };
  }

  std::string Path(const std::string& name) const { return (dir / name).string(); }
  bool Exists(const std::string& name) const { return std::filesystem::exists(dir / name); }

  void WriteFile(const std::string& name, const std::vector<uint8_t>& data) const {
    std::ofstream out(dir / name, std::ios::binary);
    out.write(reinterpret_cast<const char*>(data.data()), static_cast<std::streamsize>(data.size()));
  }
  std::vector<uint8_t> ReadFile(const std::string& name) const {
    std::ifstream in(dir / name, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  }

  // Distinct bytes for every block, so a block out of place shows.
  static std::vector<uint8_t> Blocks(size_t count, size_t size = 512, unsigned salt = 0) {
    std::vector<uint8_t> data(count * size);
    for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<uint8_t>(i * 31 + (i / size) * 101 + salt);
    return data;
  }

  // The bytes of one frame as the drive must receive them (sums from the drive's own code).
  static std::string Frame(const std::vector<uint8_t>& data, size_t block, size_t size, int number) {
    const uint8_t* p = data.data() + block * size;
    const uint16_t sum = sim::BlockChecksum(p, size, static_cast<unsigned>(number));
    std::string f = "\xCC\x33";
    f += static_cast<char>(number);
    f.append(reinterpret_cast<const char*>(p), size);
    f += "\xCC\x33";
    f += static_cast<char>(sum >> 8);
    f += static_cast<char>(sum & 0xFF);
    return f;
  }
  static std::string Closing(const std::vector<uint8_t>& data, size_t bytes) {
    const uint32_t sum = sim::RunningSum(data.data(), bytes);
    return {static_cast<char>((sum >> 8) & 0xFF), static_cast<char>(sum & 0xFF)};
  }

  // Brings the drive to a fresh download after "d<pos>".
  void Arm(const std::string& position = "0") {
    main->receiveMode = ReceiveMode::usercmd;
    main->SendString("d" + position + "\r");
    ASSERT_TRUE(main->WaitHD(200));
    TakeReceived();
  }

  // The pane's last lines, newest last.
  std::string LastLine(size_t back = 0) const {
    const auto& lines = main->memo1.Lines();
    return lines.size() > back ? Utf8FromGbk(lines[lines.size() - 1 - back]) : "";
  }

  HookPump hookPump;
  std::filesystem::path dir;
};

}  // namespace qv::test
