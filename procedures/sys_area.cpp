#include "procedures/sys_area.h"

#include <string_view>

#include "console/convert.h"
#include "console/main.h"
#include "console/text.h"

namespace qv {

namespace {

// "0007F-00083" -> "7F". The range must have its dash: without one there is
// no start to read, and the conversion error says what was found.
std::string RangeStart(std::string_view range) {
  const size_t dash = range.find('-');
  const std::string start = Trim(dash == std::string_view::npos ? std::string_view{} : range.substr(0, dash));
  return IntToHex(static_cast<uint32_t>(HexToInt(start)));
}

}  // namespace

std::string ReservedStartFromPercentReply(const std::vector<std::string_view>& lines) {
  std::string result;
  // The range follows the first quoted name.
  for (std::string_view line : lines) {
    if (line.empty() || line.front() != ':') continue;
    std::string text = Trim(line);
    text = Trim(TextAfter(text, '"'));
    text = Trim(TextAfter(text, '"'));
    result = RangeStart(text);
  }
  return result;
}

std::string ReservedStartFromDirectory(const std::vector<std::string_view>& lines) {
  std::string result;
  for (std::string_view line : lines) {
    std::string_view rest;
    if (line.starts_with("Reserve:")) rest = line.substr(8);
    else if (line.starts_with("Sys=")) rest = line.substr(4);
    else continue;
    result = RangeStart(Trim(rest));
  }
  return result;
}

std::string GetSysB(TFrmMain& main) {
  ReceiveModeGuard guard(main);
  main.receiveMode = ReceiveMode::syscmd;
  main.Memo3.clear();
  main.SendString("%\r");
  main.WaitHD(100);
  std::string result = ReservedStartFromPercentReply(main.CaptureLines());
  if (Trim(result).empty() && main.isT()) {
    main.Memo3.clear();
    main.SendString("/2\r");
    main.WaitHD(100);
    if (main.LastPrompt == "2>") {
      main.SendString("x\r");
      main.WaitHD(1500);
      result = ReservedStartFromDirectory(main.CaptureLines());
    }
  }
  return result;
}

}  // namespace qv
