#include "firmware/family/family_lookup.h"

#include "console/main.h"
#include "console/text.h"

namespace qv {

namespace {

constexpr int kReportTicks = 5;
constexpr int kLastPromptTicks = 100;

// The text before the first space, trimmed; empty when there is no space.
std::string BeforeFirstSpace(std::string_view text) {
  const size_t space = text.find(' ');
  return space == std::string_view::npos ? std::string() : Trim(text.substr(0, space));
}

}  // namespace

std::string FamilyReport::TypeName() const { return UpperCase(W1 + "_" + R + "_" + W2); }

std::string FamilyReport::FolderName() const { return FolderNameFor(Trim(TypeName())); }

std::string FolderNameFor(std::string_view typeName) {
  std::string name(typeName);
  for (char& c : name)
    if (c == '/' || static_cast<unsigned char>(c) < 0x20) c = '_';
  return name;
}

std::vector<std::string> FamilyReport::Keys() const {
  std::vector<std::string> keys;
  if (W1.empty()) return keys;
  if (!R.empty() && !W2.empty()) keys.push_back(W1 + "_" + R + "_" + W2);
  if (!W2.empty()) keys.push_back(W1 + "_" + W2);
  if (!R.empty()) keys.push_back(W1 + "_" + R);
  keys.push_back(W1);
  for (std::string& key : keys) key = UpperCase(key);
  return keys;
}

FamilyReport ParseFamilyReport(const std::vector<std::string>& lines) {
  FamilyReport report;
  for (const std::string& raw : lines) {
    std::string line = Trim(raw);
    const size_t disk = line.find("_Disk");
    if (disk != std::string::npos) {
      report.W1 = BeforeFirstSpace(line);
      // The revision is looked for in what follows "_Disk" on such a line.
      line = Trim(std::string_view(line).substr(disk + 5));
      report.W2 = BeforeFirstSpace(line);
    }
    if (line.find("Mask Rom Rev") != std::string::npos) {
      const size_t eq = line.find('=');
      report.R = eq == std::string::npos ? std::string() : Trim(std::string_view(line).substr(eq + 1));
    }
  }
  return report;
}

FamilyReport QueryFamilyReport(TFrmMain& main) {
  main.receiveMode = ReceiveMode::syscmd;
  main.Memo3.clear();
  main.SendString("\x01");  // Ctrl-A
  main.WaitHD(kReportTicks);
  main.SendString("\x0C");  // Ctrl-L
  main.WaitHD(kReportTicks);
  main.SendString("\r");
  main.WaitHD(kLastPromptTicks);
  std::vector<std::string> lines;
  for (std::string_view line : main.CaptureLines()) lines.push_back(Utf8FromGbk(line));
  return ParseFamilyReport(lines);
}

bool SelectFamily(ListControl& list, const FamilyReport& report) {
  for (const std::string& key : report.Keys())
    for (size_t i = 0; i < list.items.size(); ++i)
      if (list.items[i].find(key) != std::string::npos) {
        list.index = static_cast<int>(i);
        return true;
      }
  return false;
}

}  // namespace qv
