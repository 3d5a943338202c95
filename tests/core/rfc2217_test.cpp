// Ports served over the network by ser2net (rfc2217://): the Telnet framing
// on its own, then the console's operations through the real server against
// the same operations on the pseudo-terminal directly, and the faults.
#include <gtest/gtest.h>

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstring>
#include <thread>

#include "serial/rfc2217_port.h"
#include "serial/tcp_connect.h"
#include "serial/telnet_codec.h"
#include "tests/support/port_bar.h"
#include "tests/support/rfc2217_test_server.h"
#include "tests/support/ser2net_server.h"
#include "transfer/form3.h"
#include "transfer/transfer.h"
#include "transfer_sim_support.h"

namespace qv {
namespace {

using namespace telnet;

std::string Bytes(std::initializer_list<int> values) {
  std::string s;
  for (int v : values) s.push_back(static_cast<char>(v));
  return s;
}

// What the server sends, cut at every place (and byte by byte): the data and
// the commands come out the same whatever the cuts.
TEST(TelnetCodec, SequencesCutAnywhereDecodeAlike) {
  struct Case {
    const char* what;
    std::string wire;
    std::string data;
    std::vector<Event> events;
  };
  const std::vector<Case> cases = {
      {"data with a doubled IAC", Bytes({'a', 255, 255, 'b'}), Bytes({'a', 255, 'b'}), {}},
      {"negotiation between data", Bytes({'x', 255, 251, 3, 255, 253, 44, 'y'}), "xy",
       {{kWill, kSuppressGoAhead, {}}, {kDo, kComPort, {}}}},
      {"a rate confirmation with IAC in its value", Bytes({255, 250, 44, 101, 0, 0, 255, 255, 255, 255, 255, 240, 'z'}),
       "z", {{kSb, kComPort, Bytes({101, 0, 0, 255, 255})}}},
      {"a modem-state notice, NOP and GA carry no data", Bytes({255, 250, 44, 107, 0, 255, 240, 255, 241, 255, 249, 'q'}),
       "q", {{kSb, kComPort, Bytes({107, 0})}}},
      {"an unclosed subnegotiation ends at the next command",
       Bytes({255, 250, 44, 101, 1, 255, 251, 1, 'k'}), "k", {{kWill, kEcho, {}}}},
  };
  for (const Case& c : cases) {
    for (size_t cut = 0; cut <= c.wire.size(); ++cut) {
      Decoder decoder;
      std::string data;
      std::vector<Event> events;
      decoder.Feed(std::string_view(c.wire).substr(0, cut), data, events);
      decoder.Feed(std::string_view(c.wire).substr(cut), data, events);
      EXPECT_EQ(data, c.data) << c.what << ", cut at " << cut;
      EXPECT_EQ(events, c.events) << c.what << ", cut at " << cut;
    }
    Decoder bytewise;
    std::string data;
    std::vector<Event> events;
    for (char ch : c.wire) bytewise.Feed(std::string_view(&ch, 1), data, events);
    EXPECT_EQ(data, c.data) << c.what << ", byte by byte";
  }
  // A subnegotiation past the limit stops the decoder: nothing after it
  // becomes data or a command.
  Decoder decoder;
  std::string data;
  std::vector<Event> events;
  EXPECT_FALSE(decoder.Feed(Bytes({'a', 255, 250, 44}) + std::string(1000, 'n') + Bytes({255, 240, 'd'}), data, events));
  EXPECT_FALSE(decoder.Feed("e", data, events));
  EXPECT_EQ(data, "a");
  EXPECT_TRUE(events.empty());
}

TEST(TelnetCodec, OutgoingIacIsDoubled) {
  EXPECT_EQ(Escape(Bytes({1, 255, 2, 255, 255})), Bytes({1, 255, 255, 2, 255, 255, 255, 255}));
  // 921600 is 00 0E 10 00; a rate with FF in it doubles that byte too.
  EXPECT_EQ(ComPortCommand(comport::kSetBaudRate, RateValue(921600)), Bytes({255, 250, 44, 1, 0, 14, 16, 0, 255, 240}));
  EXPECT_EQ(ComPortCommand(comport::kSetBaudRate, RateValue(0xFF00)), Bytes({255, 250, 44, 1, 0, 0, 255, 255, 0, 255, 240}));
  EXPECT_EQ(RateOf(RateValue(625200)), 625200);
  EXPECT_EQ(RateOf("abc"), -1);
}

TEST(Rfc2217Names, FormOfTheAddress) {
  std::string host, service;
  EXPECT_TRUE(Rfc2217Port::SplitName("rfc2217://bench-3.lan:3001", host, service));
  EXPECT_EQ(host + " " + service, "bench-3.lan 3001");
  EXPECT_TRUE(Rfc2217Port::SplitName("rfc2217://[fe80::1]:4000", host, service));
  EXPECT_EQ(host, "fe80::1");
  // The scheme in any letter case; a plain bridge has its own.
  EXPECT_TRUE(Rfc2217Port::SplitName("RFC2217://Bench:3001", host, service));
  EXPECT_TRUE(Rfc2217Port::SplitName("Tcp://10.0.0.2:4001", host, service));
  EXPECT_EQ(host + " " + service, "10.0.0.2 4001");
  for (const char* bad : {"rfc2217://host", "rfc2217://:3001", "rfc2217://h:0", "rfc2217://h:70000", "rfc2217://h:3x",
                          "/dev/ttyUSB0", "udp://h:1", "tcp:/h:1"})
    EXPECT_FALSE(Rfc2217Port::SplitName(bad, host, service)) << bad;
}

// An address that never answers (a listener whose queue is full drops the
// connection request) is passed over: the next address is tried a quarter of
// a second later, while the first still waits, and wins.
TEST(TcpConnect, AnAddressThatNeverAnswersIsPassedOver) {
  const auto listener = [](int backlog, sockaddr_in& address) {
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    address = {};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof address;
    bind(fd, reinterpret_cast<sockaddr*>(&address), size);
    listen(fd, backlog);
    getsockname(fd, reinterpret_cast<sockaddr*>(&address), &size);
    return fd;
  };
  sockaddr_in deadAddress, liveAddress;
  const int dead = listener(0, deadAddress), live = listener(4, liveAddress);
  std::vector<int> queued;
  for (int i = 0; i < 3; ++i) {
    queued.push_back(socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
    connect(queued.back(), reinterpret_cast<sockaddr*>(&deadAddress), sizeof deadAddress);
  }
  addrinfo first{}, second{};
  for (auto [info, address] : {std::pair{&first, &deadAddress}, std::pair{&second, &liveAddress}}) {
    info->ai_family = AF_INET;
    info->ai_socktype = SOCK_STREAM;
    info->ai_addr = reinterpret_cast<sockaddr*>(address);
    info->ai_addrlen = sizeof *address;
  }
  const net::Connection c = net::ConnectFirst({&first, &second}, net::Clock::now() + std::chrono::seconds(4));
  ASSERT_GE(c.fd, 0) << std::strerror(c.err);
  sockaddr_in peer{};
  socklen_t size = sizeof peer;
  getpeername(c.fd, reinterpret_cast<sockaddr*>(&peer), &size);
  EXPECT_EQ(peer.sin_port, liveAddress.sin_port);
  for (int fd : queued) close(fd);
  for (int fd : {c.fd, dead, live}) close(fd);

  // The families in turn, beginning with the first address's.
  addrinfo v6a{}, v6b{}, v4{};
  v6a.ai_family = v6b.ai_family = AF_INET6;
  v4.ai_family = AF_INET;
  v6a.ai_next = &v6b;
  v6b.ai_next = &v4;
  EXPECT_EQ(net::AttemptOrder(&v6a), (std::vector<const addrinfo*>{&v6a, &v4, &v6b}));
}

// A server that begins Telnet but never settles the COM-PORT option is given
// up after the open's time limit, with a message that names it.
TEST(Rfc2217Open, NegotiationThatNeverEndsIsGivenUp) {
  const int listener = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t size = sizeof address;
  ASSERT_EQ(bind(listener, reinterpret_cast<sockaddr*>(&address), size), 0);
  ASSERT_EQ(listen(listener, 1), 0);
  ASSERT_EQ(getsockname(listener, reinterpret_cast<sockaddr*>(&address), &size), 0);
  std::thread server([listener] {
    const int client = accept(listener, nullptr, nullptr);
    const std::string offer = Negotiation(kWill, kSuppressGoAhead);
    send(client, offer.data(), offer.size(), MSG_NOSIGNAL);
    char sink[256];
    while (recv(client, sink, sizeof sink, 0) > 0) {
    }
    close(client);
  });
  const std::string name = "rfc2217://127.0.0.1:" + std::to_string(ntohs(address.sin_port));
  Rfc2217Port port;
  const auto start = std::chrono::steady_clock::now();
  EXPECT_FALSE(port.Open(name, 9600, std::chrono::milliseconds(300)));
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
  EXPECT_EQ(port.Error(), "无法打开 " + name + "：服务器在 300 毫秒内没有完成协商。");
  port.Close();  // the server's read ends
  server.join();
  close(listener);
}

// The console on the simulated drive, its port either the drive's
// pseudo-terminal or ser2net serving that pseudo-terminal.
class NetworkSim : public test::TransferSim {
 protected:
  void Serve(test::Ser2NetServer::Options options = {}) {
    server = std::make_unique<test::Ser2NetServer>(drive->SlavePath(), options);
    if (!server->Running()) GTEST_SKIP() << server->Why();
    test::SetPortBar(*main, server->Name());
  }
  void TearDown() override {
    TransferSim::TearDown();  // closes the port before the server goes
    server.reset();
  }
  void ChangeRate(const std::string& rate) {
    main->ComboBox2.SelectText(rate);
    main->ComboBox2Change();
    Settle();  // the prompt that the closing CR asks for
  }
  bool PaneHas(const std::string& text) const { return PaneText().find(text) != std::string::npos; }
  std::unique_ptr<test::Ser2NetServer> server;
};

class NetworkOperations : public NetworkSim, public ::testing::WithParamInterface<bool> {
 protected:
  int PauseScale() const override { return 10; }
};

// The same operations, the same bytes in the files and in the drive, both
// ways. The drive answers only at the rate the pseudo-terminal is set to, so
// a rate change that did not reach the server's side would leave the reads
// garbage.
TEST_P(NetworkOperations, SameBytesAsOnThePseudoTerminal) {
  if (GetParam()) Serve();
  if (IsSkipped()) return;
  OpenAt("9600");
  EXPECT_EQ(main->Link().IsRemote(), GetParam());

  ChangeRate("921600");
  EXPECT_EQ(drive->Rate(), 921600);
  EXPECT_TRUE(PaneHas("正在调整速率，请稍候........完成！"));
  // Short exchanges back to back: every answer is seen, whichever thread
  // took it off the socket.
  main->receiveMode = ReceiveMode::syscmd;
  for (int i = 0; i < 300; ++i) {
    main->SendString("/\r");
    ASSERT_TRUE(main->WaitHD(100)) << "exchange " << i;
    main->Memo3.clear();
  }
  main->receiveMode = ReceiveMode::usercmd;
  ReadBuffer(*main, "a", "3", Path("read.bin"));
  EXPECT_EQ(ReadFile("read.bin"), drive->BufferBytes(0xA * 512, 3 * 512));

  // Blocks full of 0xFF and 0xCC 0x33: IAC doubled on the way out.
  std::vector<uint8_t> data = Blocks(4, 512, 7);
  std::fill(data.begin() + 100, data.begin() + 700, 0xFF);
  WriteFile("write.bin", data);
  WriteBuffer(*main, "20", "4", Path("write.bin"));
  EXPECT_EQ(drive->BufferBytes(0x20 * 512, data.size()), data);
  EXPECT_EQ(LastLine(), "正在写入缓冲区......成功！");

  EXPECT_TRUE(ReadTrack(*main, "10", "0", "0", "5", "0", "2", Path("track.bin"), true));
  std::vector<uint8_t> sectors;
  for (int s = 0; s < 5; ++s) {
    const auto one = drive->SectorBytes(0x10, 0, s);
    sectors.insert(sectors.end(), one.begin(), one.end());
  }
  EXPECT_EQ(ReadFile("track.bin"), sectors);

  ChangeRate("115200");
  EXPECT_EQ(drive->Rate(), 115200);
  ReadBuffer(*main, "20", "4", Path("back.bin"));
  EXPECT_EQ(ReadFile("back.bin"), data);
}

INSTANTIATE_TEST_SUITE_P(Rfc2217, NetworkOperations, ::testing::Values(false, true),
                         [](const auto& info) { return info.param ? "ThroughSer2net" : "PseudoTerminal"; });

// Each fault ends with a message that names the host and what happened.
TEST_F(NetworkSim, FaultsAreClear) {
  const int freePort = test::FreeTcpPort();
  // No server on the port.
  {
    const auto start = std::chrono::steady_clock::now();
    test::SetPortBar(*main, "rfc2217://127.0.0.1:" + std::to_string(freePort));
    main->ComboBox2.SelectText("9600");
    main->btnSwitchClick();
    EXPECT_FALSE(main->PortOpen());
    EXPECT_TRUE(PaneHas("无法连接 rfc2217://127.0.0.1:" + std::to_string(freePort) + "：主机 127.0.0.1 拒绝了连接"))
        << PaneText();
    EXPECT_LT(std::chrono::steady_clock::now() - start, Rfc2217Port::kOpenLimit);
  }
  Serve();
  if (IsSkipped()) return;
  OpenAt("9600");
  // A second client while the console holds the port.
  {
    Rfc2217Port second;
    EXPECT_FALSE(second.Open(server->Name(), 9600));
    EXPECT_NE(second.Error().find(server->Name()), std::string::npos) << second.Error();
    // ("多半是该端口已有…" where the server's words were lost in its reset.)
    EXPECT_NE(second.Error().find("该端口已有另一个用户连接"), std::string::npos) << second.Error();
  }
  // The console's own connection is untouched by that.
  ReadBuffer(*main, "1", "1", Path("one.bin"));
  EXPECT_EQ(ReadFile("one.bin"), drive->BufferBytes(512, 512));

  // The server killed mid-read: the read ends at its next wait, the pane
  // says why, and the file it was to replace keeps its bytes.
  WriteFile("kept.bin", {1, 2, 3});
  hookPump.hook = [this] {
    if (server->Running() && drive->CommandsSeen() > 3) server->Kill();
  };
  const auto start = std::chrono::steady_clock::now();
  EXPECT_FALSE(ReadTrack(*main, "10", "0", "0", "40", "0", "2", Path("kept.bin"), true, false));
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
  EXPECT_FALSE(main->PortOpen());
  EXPECT_TRUE(PaneHas("与 " + server->Name() + " 的连接已断开（服务器关闭了连接），端口已关闭。")) << PaneText();
  EXPECT_EQ(ReadFile("kept.bin"), (std::vector<uint8_t>{1, 2, 3}));
}

// A plain TCP bridge (tcp://) passes the bytes but no rate: the console says
// so and refuses what would change the rate, so drive and port never part.
TEST_F(NetworkSim, PlainTcpPortRefusesRateChanges) {
  Serve({.rfc2217 = false});
  if (IsSkipped()) return;
  OpenAt("9600");
  EXPECT_TRUE(PaneHas(server->Name() + " 是普通 TCP 转发，没有速率控制")) << PaneText();
  ReadBuffer(*main, "2", "1", Path("plain.bin"));
  EXPECT_EQ(ReadFile("plain.bin"), drive->BufferBytes(2 * 512, 512));
  TakeReceived();
  ChangeRate("921600");
  EXPECT_TRUE(PaneHas("端口不能切换到 921600 波特：普通 TCP 转发没有速率控制，速率不能改变。驱动器没有被告知，仍在 9600 波特。"))
      << PaneText();
  EXPECT_TRUE(PaneHas("正在调整速率，请稍候........失败！"));
  EXPECT_EQ(drive->Rate(), 9600);
  EXPECT_EQ(TakeReceived().find("b0921"), std::string::npos);
  EXPECT_FALSE(main->SetPortBaud(921600));
  EXPECT_TRUE(main->SetPortBaud(9600));
  // A second user is refused in the server's words.
  Rfc2217Port second;
  EXPECT_FALSE(second.Open(server->Name(), 9600));
  EXPECT_NE(second.Error().find("它说“Port already in use”"), std::string::npos) << second.Error();
}

// A server that waits for the client to begin Telnet, and keeps 460800 as its
// fastest: the port opens with rate control and offers what it confirmed;
// 0xFF crosses intact both ways. Then what ser2net does not show: a notice of
// errors on its line, a rate it keeps after the drive was told another, and
// a subnegotiation that never ends.
class OwnServer : public NetworkSim {
 protected:
  int PauseScale() const override { return 10; }
};

TEST_F(OwnServer, WaitsForTheClientKeepsRatesAndReportsItsLine) {
  test::Rfc2217TestServer own(drive->SlavePath());
  own.keptAbove = 460800;
  test::SetPortBar(*main, own.Name());
  OpenAt("9600");
  ASSERT_TRUE(main->PortOpen());
  EXPECT_TRUE(PaneHas(own.Name() + " 的服务器不接受 625200、921600 波特")) << PaneText();
  EXPECT_EQ(main->ComboBox2.items, (std::vector<std::string>{"9600", "38400", "57600", "115200", "230400", "460800"}));

  ChangeRate("460800");
  EXPECT_EQ(drive->Rate(), 460800);
  std::vector<uint8_t> data = Blocks(2, 512, 3);
  std::fill(data.begin() + 100, data.begin() + 400, 0xFF);
  WriteFile("ff.bin", data);
  EXPECT_TRUE(WriteBuffer(*main, "20", "2", Path("ff.bin")));
  EXPECT_EQ(drive->BufferBytes(0x20 * 512, data.size()), data);
  EXPECT_TRUE(ReadBuffer(*main, "20", "2", Path("back.bin")));
  EXPECT_EQ(ReadFile("back.bin"), data);

  own.SendRaw(ComPortCommand(comport::kNotifyLinestate, std::string(1, comport::kOverrun | comport::kFramingError)));
  SettleUntil([&] { return PaneHas("溢出 1 次，奇偶校验错 0 次，帧错误 1 次，中断信号 0 次"); });
  EXPECT_TRUE(PaneHas("溢出 1 次，奇偶校验错 0 次，帧错误 1 次，中断信号 0 次")) << PaneText();

  // The server keeps 460800 from now on: the change fails as soon as it
  // answers, and nothing goes out after the drive's command.
  own.keptAbove = 57600;
  TakeReceived();
  ChangeRate("115200");
  EXPECT_TRUE(PaneHas("正在调整速率，请稍候........失败！"));
  EXPECT_TRUE(PaneHas("端口不能切换到 115200 波特：服务器回答它保持 460800 波特。驱动器已被告知 115200 波特："
                      "请给驱动器断电重启，或手动把端口设为 115200 波特。"))
      << PaneText();
  EXPECT_TRUE(TakeReceived().ends_with("0115\r"));
  EXPECT_EQ(main->ComboBox2.Text(), "460800");
  EXPECT_FALSE(main->AdMySpeed("9600"));
  EXPECT_EQ(TakeReceived(), "");

  own.SendRaw(Bytes({255, 250, 44}) + std::string(100, 'x'));
  SettleUntil([&] { return !main->PortOpen(); });
  EXPECT_TRUE(PaneHas("服务器发来的 Telnet 子协商超过 64 字节")) << PaneText();
}

// A transfer rate the server stops taking: the serial ROM window reads
// nothing and says why, never as though STOP had been pressed.
TEST_F(OwnServer, ARefusedTransferRateFailsTheOperationNotAsAStop) {
  test::Rfc2217TestServer own(drive->SlavePath());
  test::SetPortBar(*main, own.Name());
  OpenAt("9600");
  ASSERT_TRUE(main->PortOpen());
  own.keptAbove = 57600;
  TForm3 form(*main);
  form.ComboBox2.items = {"115200"};
  form.ComboBox2.index = 0;
  form.Edit1 = Path("rom.bin");
  form.Button2Click();
  EXPECT_TRUE(PaneHas("端口不能切换到 115200 波特：服务器回答它保持")) << PaneText();
  EXPECT_FALSE(PaneHas("用户中止")) << PaneText();
  EXPECT_FALSE(Exists("rom.bin"));
}

// A server that stops reading: sending never waits for it, STOP is taken
// meanwhile, and the connection given up ends the wait at once.
TEST_F(NetworkSim, ServerThatStopsReading) {
  test::Rfc2217TestServer own(drive->SlavePath());
  test::SetPortBar(*main, own.Name());
  OpenAt("9600");
  ASSERT_TRUE(main->PortOpen());
  main->Link().Remote()->SetWriteStall(std::chrono::milliseconds(300));
  own.StopReading();
  // More than the kernel's buffers take (4 MiB at most here), the rest
  // waiting in the port's own.
  const std::vector<uint8_t> block(60000, 0x55);
  for (int i = 0; i < 80; ++i) main->Sendbuffer(block.data(), static_cast<uint16_t>(block.size()));
  StopWhen([] { return true; });
  EXPECT_FALSE(main->WaitHD(1000));  // 10 s unless the loss ends it
  EXPECT_EQ(main->stopFlag, 1);
  EXPECT_FALSE(main->PortOpen());
  EXPECT_TRUE(PaneHas("与 " + own.Name() + " 的连接已断开（服务器长时间不接收数据），端口已关闭。")) << PaneText();
}

}  // namespace
}  // namespace qv
