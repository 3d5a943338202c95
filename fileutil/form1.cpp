#include "fileutil/form1.h"

#include <cstdint>
#include <exception>
#include <limits>

#include "console/text.h"
#include "files/file_io.h"
#include "fileutil/cut_join.h"
#include "lang/translate.h"

namespace qv {

namespace {
bool Given(const std::string& text) { return !Trim(text).empty(); }
// Only the ranges are read, so a source may be of any size.
constexpr uint64_t kAnySize = std::numeric_limits<uint64_t>::max();
}  // namespace

bool TForm1::RangeKeyAccepted(char32_t key) { return HexFieldKey(key); }

void TForm1::ChooseSource(std::string& path, std::string& start, std::string& count) {
  const auto chosen = dialogs_.ChooseOpenFile(Tr(kFilter), "");
  if (!chosen) return;
  path = *chosen;
  start = std::string(1, '0');  // (a plain literal trips a false GCC 12 -Wrestrict warning)
  // A file no build would take counts no sectors; the build says why.
  count = SectorCountText(CheckInputFile(path, kAnySize).size);
}

void TForm1::Button51Click() { ChooseSource(Edit1, Edit5, Edit3); }

void TForm1::Button1Click() { ChooseSource(Edit2, Edit4, Edit7); }

void TForm1::Button2Click() {
  if (const auto chosen = dialogs_.ChooseSaveFile(Tr(kFilter), "")) Edit6 = *chosen;
}

void TForm1::Button4Click() {
  Edit1.clear();
  Edit5.clear();
  Edit3.clear();
}

void TForm1::Button5Click() {
  Edit2.clear();
  Edit4.clear();
  Edit7.clear();
}

bool TForm1::CheckSource(int number, const std::string& path, const std::string& start,
                         const std::string& count) {
  // Checked as the routine will open it: a folder or a pipe is no source file.
  const FileCheck file = CheckInputFile(path, kAnySize);
  if (file.trouble.kind == FileTrouble::Kind::Missing || file.trouble.kind == FileTrouble::Kind::NotAFile) {
    dialogs_.ShowMessage(TrFormat("源文件{1}不存在！", number));
    return false;
  }
  if (file.trouble) {
    dialogs_.ShowMessage(TrFormat("打开文件{1}失败！", path));
    return false;
  }
  const uint64_t size = file.size;
  // 64-bit arithmetic: a large count must give the range message, not wrap
  // around into an apparently small range.
  const int64_t end = (static_cast<int64_t>(SectorNumber(start)) + SectorNumber(count)) * kSectorSize;
  if (static_cast<int64_t>(size) < end) {
    dialogs_.ShowMessage(TrFormat("源文件{1}的截取范围超出源文件{1}长度！", number));
    return false;
  }
  return true;
}

void TForm1::Button3Click() {
  try {
    // A source field holding anything at all is a source: one of blanks only
    // must be reported as missing, not skipped under a success message.
    if (!Edit1.empty() && (!Given(Edit5) || !Given(Edit3))) {
      dialogs_.ShowMessage(Tr("请设置源文件1的截取范围！"));
      return;
    }
    if (!Edit2.empty() && (!Given(Edit4) || !Given(Edit7))) {
      dialogs_.ShowMessage(Tr("请设置源文件2的截取范围！"));
      return;
    }
    if (!Given(Edit6)) {
      dialogs_.ShowMessage(Tr("请设置目标文件！"));
      return;
    }
    if (!Edit1.empty() && !CheckSource(1, Edit1, Edit5, Edit3)) return;
    if (!Edit2.empty() && !CheckSource(2, Edit2, Edit4, Edit7)) return;
    const bool ok = CutAndJoin(Edit1, Edit5, Edit3, Edit2, Edit4, Edit7, Edit6);
    dialogs_.ShowMessage(ok ? Tr("生成文件完成！") : Tr("生成文件失败！"));
  } catch (const std::exception& e) {
    // A range that is not a number or too large: its message, nothing built.
    dialogs_.ShowMessage(e.what());
  }
}

}  // namespace qv
