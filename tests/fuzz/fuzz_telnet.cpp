// What a network serial port's server sends: Telnet negotiation, COM-PORT
// answers and doubled IAC, cut anywhere between reads. The first byte picks
// the cuts; whatever the cuts, the decoded data and commands are the same.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "serial/telnet_codec.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const size_t step = data[0] % 17 + 1;
  const std::string_view wire(reinterpret_cast<const char*>(data + 1), size - 1);
  qv::telnet::Decoder whole, pieces;
  std::string wholeData, piecesData;
  std::vector<qv::telnet::Event> wholeEvents, piecesEvents;
  whole.Feed(wire, wholeData, wholeEvents);
  for (size_t at = 0; at < wire.size(); at += step) pieces.Feed(wire.substr(at, step), piecesData, piecesEvents);
  if (wholeData != piecesData || wholeEvents != piecesEvents) abort();
  for (const auto& event : wholeEvents)
    if (event.payload.size() > qv::telnet::Decoder::kLongestPayload) abort();
  // Line data escaped and decoded again comes back as it was.
  qv::telnet::Decoder again;
  std::string back;
  std::vector<qv::telnet::Event> none;
  again.Feed(qv::telnet::Escape(wire), back, none);
  if (back != wire || !none.empty()) abort();
  return 0;
}
