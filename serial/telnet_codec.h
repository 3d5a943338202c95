#pragma once
// The Telnet framing a network serial port (RFC 2217, as ser2net serves it)
// wraps around the line's bytes: option negotiation, the COM-PORT-OPTION
// subnegotiations that carry rate, framing, modem lines and purges, and the
// doubling of 0xFF (IAC) in the data, which every binary block contains.
// Pure byte work, no socket: the client in rfc2217_port.h drives it.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace qv::telnet {

inline constexpr uint8_t kIac = 255, kDont = 254, kDo = 253, kWont = 252, kWill = 251, kSb = 250, kSe = 240;
inline constexpr uint8_t kBinary = 0, kEcho = 1, kSuppressGoAhead = 3, kComPort = 44;

// COM-PORT-OPTION commands as the client sends them; the server answers each
// with the same code plus kServerOffset.
namespace comport {
inline constexpr uint8_t kSetBaudRate = 1, kSetDataSize = 2, kSetParity = 3, kSetStopSize = 4, kSetControl = 5,
                         kPurgeData = 12;
inline constexpr uint8_t kServerOffset = 100;
inline constexpr uint8_t kParityNone = 1, kStopOne = 1;
inline constexpr uint8_t kNoFlowControl = 1, kDtrOn = 8, kDtrOff = 9, kRtsOn = 11, kRtsOff = 12;
inline constexpr uint8_t kPurgeBoth = 3;
}  // namespace comport

// A command the peer sent: an option verb (kWill, kWont, kDo, kDont) with its
// option, or a subnegotiation (kSb) with its option and payload.
struct Event {
  uint8_t verb = 0;
  uint8_t option = 0;
  std::string payload;  // kSb only: the bytes between the option and IAC SE, IAC IAC undone
  bool operator==(const Event&) const = default;
};

// Splits what the peer sends into line data and commands. A sequence may be
// cut anywhere between two reads; the decoder carries its state across.
class Decoder {
 public:
  // A subnegotiation longer than this is cut (the COM-PORT answers are at
  // most five bytes); the rest of it is dropped, never taken as data.
  static constexpr size_t kLongestPayload = 64;

  // Appends the data bytes among `bytes` to `data` and the commands to `events`.
  void Feed(std::string_view bytes, std::string& data, std::vector<Event>& events);

 private:
  enum class State { Data, Iac, Verb, Sub, SubIac };
  State state_ = State::Data;
  uint8_t verb_ = 0;
  Event sub_;
  bool subHasOption_ = false;
};

// Line data as it goes to the peer: every IAC doubled.
std::string Escape(std::string_view data);
// IAC verb option.
std::string Negotiation(uint8_t verb, uint8_t option);
// IAC SB COM-PORT-OPTION code value IAC SE, IAC in the value doubled.
std::string ComPortCommand(uint8_t code, std::string_view value);
// The four bytes of a rate, most significant first.
std::string RateValue(uint32_t rate);
// The rate a SET-BAUDRATE answer carries; -1 when it is not four bytes long.
int64_t RateOf(std::string_view value);

}  // namespace qv::telnet
