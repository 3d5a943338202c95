#include "serial/telnet_codec.h"

namespace qv::telnet {

bool Decoder::Feed(std::string_view bytes, std::string& data, std::vector<Event>& events) {
  for (const char c : bytes) {
    if (overlong_) return false;
    const auto b = static_cast<uint8_t>(c);
    switch (state_) {
      case State::Data:
        if (b == kIac) state_ = State::Iac;
        else data.push_back(c);
        break;
      case State::Iac:
        if (b == kIac) {
          data.push_back(c);
          state_ = State::Data;
        } else if (b >= kWill) {  // WILL, WONT, DO, DONT: the option follows
          verb_ = b;
          state_ = State::Verb;
        } else if (b == kSb) {
          sub_ = Event{kSb, 0, {}};
          subHasOption_ = false;
          state_ = State::Sub;
        } else {
          state_ = State::Data;  // NOP, GA, a stray SE and the like carry nothing for a serial line
        }
        break;
      case State::Verb:
        events.push_back(Event{verb_, b, {}});
        state_ = State::Data;
        break;
      case State::Sub:
        if (b == kIac) state_ = State::SubIac;
        else AddToSub(c);
        break;
      case State::SubIac:
        if (b == kIac) {  // a doubled IAC inside the subnegotiation
          AddToSub(c);
          state_ = State::Sub;
        } else if (b == kSe) {
          if (subHasOption_) events.push_back(sub_);
          state_ = State::Data;
        } else {
          // A peer that never closed its subnegotiation: drop it and read
          // this as the command the IAC began.
          state_ = State::Iac;
          Feed(std::string_view(&c, 1), data, events);
        }
        break;
    }
  }
  return !overlong_;
}

void Decoder::AddToSub(char c) {
  if (!subHasOption_) {
    sub_.option = static_cast<uint8_t>(c);
    subHasOption_ = true;
  } else if (sub_.payload.size() < kLongestPayload) {
    sub_.payload.push_back(c);
  } else {
    overlong_ = true;
  }
}

std::string Escape(std::string_view data) {
  std::string out;
  out.reserve(data.size() + data.size() / 64);
  for (const char c : data) {
    out.push_back(c);
    if (static_cast<uint8_t>(c) == kIac) out.push_back(c);
  }
  return out;
}

std::string Negotiation(uint8_t verb, uint8_t option) {
  return {static_cast<char>(kIac), static_cast<char>(verb), static_cast<char>(option)};
}

std::string ComPortCommand(uint8_t code, std::string_view value) {
  std::string out{static_cast<char>(kIac), static_cast<char>(kSb), static_cast<char>(kComPort),
                  static_cast<char>(code)};
  out += Escape(value);
  out += static_cast<char>(kIac);
  out += static_cast<char>(kSe);
  return out;
}

std::string RateValue(uint32_t rate) {
  return {static_cast<char>(rate >> 24), static_cast<char>(rate >> 16), static_cast<char>(rate >> 8),
          static_cast<char>(rate)};
}

int64_t RateOf(std::string_view value) {
  if (value.size() != 4) return -1;
  int64_t rate = 0;
  for (const char c : value) rate = rate << 8 | static_cast<uint8_t>(c);
  return rate;
}

}  // namespace qv::telnet
