// What the backup asks the drive besides the modules: where track reads put
// their sectors, and the texts of SN.TXT.
#include <utility>

#include "console/convert.h"
#include "console/main.h"
#include "console/text.h"
#include "firmware/backup/backup.h"

namespace qv {

namespace {

constexpr int kPromptTicks = 1500;

// The text before the first `mark`; empty when there is none.
std::string_view Before(std::string_view text, char mark) {
  const size_t at = text.find(mark);
  return at == std::string_view::npos ? std::string_view{} : text.substr(0, at);
}

// "0400" -> "400". An empty value stays empty: nothing was named.
std::string Normalised(std::string_view value) {
  const std::string text = Trim(value);
  return text.empty() ? text : IntToHex(static_cast<uint32_t>(HexToInt(text)));
}

}  // namespace

BufferAddress BufferAddressFromQuestionReply(const std::vector<std::string_view>& lines) {
  BufferAddress found;
  for (std::string_view line : lines) {
    if (!line.starts_with("RD:")) continue;
    const std::string_view text = line.substr(3);
    found.base = Before(text, ':');
    found.chunk = Trim(TextAfter(text, ':'));
  }
  return BufferAddress{Normalised(found.base), Normalised(found.chunk)};
}

BufferAddress BufferAddressFromB0Reply(const std::vector<std::string_view>& lines) {
  for (std::string_view line : lines) {
    const size_t at = line.find("RD:");
    if (at == std::string_view::npos) continue;
    const std::string_view text = line.substr(at + 3);
    const std::string rest = Trim(TextAfter(text, ':'));
    return BufferAddress{Normalised(Before(text, ':')), Normalised(Before(rest, ':'))};
  }
  return {};
}

BufferAddress GetBuffAD(TFrmMain& main) {
  ReceiveModeGuard guard(main);
  main.receiveMode = ReceiveMode::syscmd;
  BufferAddress found;
  if (main.isT()) {
    main.Memo3.clear();
    main.SendString("/\r");
    main.WaitHD(kPromptTicks);
    main.SendString("?\r");
    main.WaitHD(kPromptTicks);
    found = BufferAddressFromQuestionReply(main.CaptureLines());
  } else {
    main.Memo3.clear();
    main.SendString("B0\r");
    main.WaitHD(kPromptTicks);
    found = BufferAddressFromB0Reply(main.CaptureLines());
  }
  main.Memo3.clear();
  return found;
}

std::string VendorModelText(std::string_view vendorData) {
  constexpr size_t kModelAt = 4 * 512 + 54, kModelBytes = 30;
  std::string text = vendorData.size() > kModelAt ? Trim(vendorData.substr(kModelAt, kModelBytes)) : std::string();
  // The drive keeps two characters a word, low byte first.
  for (size_t i = 0; i + 1 < text.size(); i += 2) std::swap(text[i], text[i + 1]);
  return text;
}

std::string SerialFromPercentReply(const std::vector<std::string_view>& lines) {
  for (std::string_view raw : lines) {
    const std::string line = Trim(raw);
    const size_t ax = line.find(" AX");
    if (ax == std::string::npos) continue;
    const std::string text = ax + 4 < line.size() ? Trim(std::string_view(line).substr(ax + 4)) : std::string();
    const size_t end = text.find("' ");
    return Trim(end == std::string::npos ? std::string_view(text) : std::string_view(text).substr(0, end));
  }
  return {};
}

}  // namespace qv
