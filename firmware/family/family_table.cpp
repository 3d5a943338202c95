#include "firmware/family/family_table.h"

#include <array>
#include <filesystem>
#include <system_error>

#include "console/main.h"
#include "console/text.h"
#include "files/file_io.h"
#include "lang/translate.h"

namespace qv {

namespace {

using Field = std::string FamilyRecord::*;
constexpr std::array<std::pair<std::string_view, Field>, 6> kKeys{{
    {"APP", &FamilyRecord::APP},
    {"CERT0", &FamilyRecord::CERT0},
    {"CERT1", &FamilyRecord::CERT1},
    {"TABLE", &FamilyRecord::TABLE},
    {"ATA", &FamilyRecord::ATA},
    {"VEN", &FamilyRecord::VEN},
}};

// A body line "KEY = value" with one of the six keys sets that field; a
// later line with the same key wins, other lines mean nothing.
void SetField(FamilyRecord& record, std::string_view line) {
  const size_t eq = line.find('=');
  if (eq == std::string_view::npos) return;
  const std::string key = Trim(line.substr(0, eq));
  for (const auto& [name, field] : kKeys)
    if (key == name) record.*field = Trim(line.substr(eq + 1));
}

// True when anything at all has that name, a link to nothing included.
bool NameTaken(const std::string& path) {
  std::error_code ec;
  return std::filesystem::exists(std::filesystem::symlink_status(path, ec));
}

}  // namespace

void FamilyTable::Parse(std::string_view gbkText) {
  records_.clear();
  dropped_ = 0;
  const std::string text = Utf8FromGbk(gbkText);
  bool inDroppedSection = false;
  size_t start = 0;
  while (start <= text.size()) {
    size_t end = text.find_first_of("\r\n", start);
    if (end == std::string::npos) end = text.size();
    const std::string line = UpperCase(Trim(std::string_view(text).substr(start, end - start)));
    start = end + 1;
    if (line.empty()) continue;
    if (line[0] == '[') {
      // The closing bracket is not looked for, only the last character dropped.
      inDroppedSection = records_.size() == kCapacity;
      if (inDroppedSection) {
        ++dropped_;
        continue;
      }
      records_.push_back(FamilyRecord{line.substr(1, line.size() >= 2 ? line.size() - 2 : 0), {}, {}, {}, {}, {}, {}});
    } else if (!records_.empty() && !inDroppedSection) {
      SetField(records_.back(), line);
    }
  }
}

std::vector<std::string> FamilyTable::Names() const {
  std::vector<std::string> names;
  for (const FamilyRecord& record : records_) names.push_back(record.name);
  return names;
}

const FamilyRecord* FamilyTable::AtListPosition(int position) const {
  if (position < 0 || static_cast<size_t>(position) >= records_.size()) return nullptr;
  return &records_[static_cast<size_t>(position)];
}

std::string LoadFamilyTable(TFrmMain& main, FamilyTable& table) {
  const std::string name = FamilyTable::kFileName;
  std::string path = main.ownFiles.Find(name);
  if (path.empty()) {
    const std::string folder = main.ownFiles.WritableFolder();
    // Created only when absent: a table a technician edited is never replaced.
    if (!folder.empty() && CreateFileBytes(folder + name, BuiltInFamilyTable())) path = folder + name;
    // Something else of that name (a folder, a pipe, a broken link) is in
    // the way; reading it below says what.
    else if (!folder.empty() && NameTaken(folder + name)) path = folder + name;
  }
  std::string text;
  if (path.empty()) {
    const OwnFiles& own = main.ownFiles;
    if (own.ProgramDir().empty())
      main.AddLine(TrFormat("无法在用户数据目录 {1} 中创建驱动器系列表文件 {2}，本次使用程序内置的系列表。",
                            own.UserDir(), name));
    else
      main.AddLine(TrFormat("无法在程序目录 {1} 或用户数据目录 {2} 中创建驱动器系列表文件 {3}，本次使用程序内置的系列表。",
                            own.ProgramDir(), own.UserDir(), name));
  } else if (FileBytes file = ReadFileBytes(path, FamilyTable::kMaxFileBytes); !file || file.bytes.empty()) {
    main.AddLine(TrFormat("无法读取驱动器系列表文件 {1}（{2}），本次使用程序内置的系列表。", path,
                          file ? Tr("文件是空的") : file.trouble.reason));
  } else {
    text = std::move(file.bytes);
  }
  if (text.empty()) {
    path.clear();
    text = BuiltInFamilyTable();
  }
  table.Parse(text);
  if (table.Dropped() > 0)
    main.AddLine(TrPlural("驱动器系列表最多载入 {2} 个系列，其后的 {1} 个系列未载入。",
                          "驱动器系列表最多载入 {2} 个系列，其后的 {1} 个系列未载入。", table.Dropped(),
                          FamilyTable::kCapacity));
  ShowFamilies(main, table);
  return path;
}

void ShowFamilies(TFrmMain& main, const FamilyTable& table) {
  main.ComboBox3.items = table.Names();
  main.ComboBox3.index = main.ComboBox3.items.empty() ? -1 : 0;
  main.Notify(MainView::What::Families);
}

std::vector<std::string> SplitLocation(std::string_view field, size_t count, bool restInLast) {
  std::vector<std::string> values;
  std::string rest = Trim(field);
  while (!rest.empty() && values.size() < count) {
    const size_t space = rest.find(' ');
    if (space == std::string::npos || (restInLast && values.size() + 1 == count)) {
      values.push_back(rest);
      break;
    }
    values.push_back(Trim(std::string_view(rest).substr(0, space)));
    rest = Trim(std::string_view(rest).substr(space));
  }
  return values;
}

}  // namespace qv
