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
                         kSetLinestateMask = 10, kPurgeData = 12;
inline constexpr uint8_t kServerOffset = 100;
// The server's own notice of a line-state change (no request answered).
inline constexpr uint8_t kNotifyLinestate = 106;
// Line-state bits: what went wrong on the server's line.
inline constexpr uint8_t kOverrun = 0x02, kParityError = 0x04, kFramingError = 0x08, kBreak = 0x10;
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
  // A subnegotiation longer than this is no answer of a COM-PORT server
  // (those are at most five bytes): the decoder stops there.
  static constexpr size_t kLongestPayload = 64;

  // Appends the data bytes among `bytes` to `data` and the commands to
  // `events`. False once a subnegotiation ran past kLongestPayload: what
  // follows cannot be told apart from it, so nothing more is decoded.
  bool Feed(std::string_view bytes, std::string& data, std::vector<Event>& events);

 private:
  enum class State { Data, Iac, Verb, Sub, SubIac };
  void AddToSub(char c);
  State state_ = State::Data;
  uint8_t verb_ = 0;
  Event sub_;
  bool subHasOption_ = false;
  bool overlong_ = false;
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
