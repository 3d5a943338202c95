// The loading window's fields: module, buffer, family, file and folder choice,
// the reset and the family lookup.
#include "firmware/loading/form2_loading.h"

#include <algorithm>
#include <filesystem>
#include <system_error>

#include "console/convert.h"
#include "console/long_operation.h"
#include "console/text.h"
#include "files/file_io.h"
#include "files/folder_check.h"
#include "firmware/family/family_lookup.h"
#include "firmware/family/family_table.h"
#include "lang/translate.h"
#include "transfer/transfer_common.h"

namespace qv {

const std::vector<std::string> TForm2::kBufferItems{"60", "80"};
const std::vector<std::string> TForm2::kAppBlockItems{"1024", "2048", "4096"};
const std::vector<std::string> TForm2::kCertBlockItems{"2048", "4096"};

namespace {

bool IsFolder(const std::string& path) {
  std::error_code ec;
  return std::filesystem::is_directory(path, ec);
}

// The folder holding a folder (given with its closing '/'), with its own
// closing '/'; empty for the root, which lies in none.
std::string ParentFolder(const std::string& folder) {
  const size_t last = folder.find_last_not_of('/');
  if (last == std::string::npos) return {};
  const size_t slash = folder.rfind('/', last);
  return slash == std::string::npos ? std::string() : folder.substr(0, slash + 1);
}

// The path of the module file of that name in the folder, empty when there is
// none. Backups copied from other systems may have changed the letter case
// ("app.bin"), so any case will do; the exact name wins.
std::string ModuleFileIn(const std::string& folder, std::string_view name) {
  const std::string exact = folder + std::string(name);
  if (FileExists(exact)) return exact;
  std::error_code ec;
  for (std::filesystem::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
    const std::string path = it->path().string();
    if (UpperCase(it->path().filename().string()) == UpperCase(name) && FileExists(path)) return path;
  }
  return {};
}

}  // namespace

int LoadTiming::Pause(int ticks) const {
  if (percent >= 100 || ticks <= 0) return ticks;
  return std::max(1, ticks * percent / 100);
}

int LoadTiming::Wait(int ticks) const {
  if (percent >= 100) return ticks;
  return std::max(std::min(ticks, kShortestWait), ticks * percent / 100);
}

TForm2::TForm2(TFrmMain& main, const FamilyTable& families) : main_(main), families_(families) {
  main_.AddRateFollower(&ComboBox2);
  ComboBox7.items = main_.ComboBox3.items;
  Init1();
}

TForm2::~TForm2() { main_.RemoveRateFollower(&ComboBox2); }

void TForm2::Changed() {
  if (view_) view_->Form2Changed();
}

// --- module choice ---

void TForm2::SetApp(bool ticked) {
  CheckBox1 = ticked;
  if (!ticked) CheckBox10 = false;
}

void TForm2::SetCert(bool ticked) {
  CheckBox2 = ticked;
  if (!ticked) CheckBox9 = false;
}

void TForm2::SetTable(bool ticked) {
  CheckBox3 = ticked;
  if (!ticked) CheckBox8 = false;
}

// ATA1 only goes in after ATA0: unticking ATA0 unticks ATA1, ticking ATA1 ticks ATA0.
void TForm2::SetAta0(bool ticked) {
  CheckBox4 = ticked;
  if (ticked) return;
  CheckBox5 = false;
  CheckBox6 = false;
}

void TForm2::SetAta1(bool ticked) {
  CheckBox6 = ticked;
  if (ticked) CheckBox4 = true;
}

void TForm2::CheckBox1Click() {
  SetApp(CheckBox1);
  Changed();
}

void TForm2::CheckBox2Click() {
  SetCert(CheckBox2);
  Changed();
}

void TForm2::CheckBox3Click() {
  SetTable(CheckBox3);
  Changed();
}

void TForm2::CheckBox4Click() {
  SetAta0(CheckBox4);
  Changed();
}

void TForm2::CheckBox6Click() {
  SetAta1(CheckBox6);
  Changed();
}

void TForm2::Init1() {
  ComboBox7Text.clear();
  ComboBox7.index = -1;
  SetApp(false);
  SetCert(false);
  SetTable(false);
  SetAta0(false);
  SetAta1(false);
  for (std::string* field : {&Edit1, &Edit2, &Edit6, &Edit4, &Edit5}) field->clear();
  Edit7 = main_.firmwareFolder;
  Changed();
}

// --- lists ---

void TForm2::ComboBox1Change() {
  // The larger buffer takes the smaller blocks.
  if (ComboBox1 == "80") {
    ComboBox3 = "1024";
    ComboBox4 = "2048";
  } else if (ComboBox1 == "60") {
    ComboBox3 = "2048";
    ComboBox4 = "4096";
  }
  Changed();
}

void TForm2::ComboBox7Change() {
  if (ComboBox7Text.empty()) return;
  // Typed text that names no family has no record: the buffer stays.
  const FamilyRecord* family = families_.AtListPosition(ComboBox7.index);
  if (!family) return;
  const std::vector<std::string> app = SplitLocation(family->APP, 4, false);
  if (app.size() < 4) return;
  ComboBox1 = app[3] == "80" ? "80" : "60";
  ComboBox1Change();
}

// --- file and folder choice ---

void TForm2::ChooseFile(std::string& field, uint64_t limit, bool table) {
  const auto chosen = main_.Dlg().ChooseOpenFile(Tr(kFilter), kDefaultExt);
  if (!chosen) return;
  TakeFile(field, *chosen, limit, table);
  Changed();
}

void TForm2::TakeFile(std::string& field, const std::string& path, uint64_t limit, bool table) {
  // Measured as the load will read it: a folder or a pipe is no module file.
  const FileCheck file = CheckInputFile(path, limit);
  if (file.trouble) {
    field.clear();
    Changed();
    main_.Dlg().ShowMessage(file.trouble.kind == FileTrouble::Kind::TooLarge ? TooLongMessage(limit)
                                                                              : CannotReadMessage(path, file.trouble));
    return;
  }
  field = path;
  if (table) Edit3 = IntToHex(static_cast<uint32_t>(file.size / kBlockBytes));
}

std::string TForm2::TooLongMessage(uint64_t limit) {
  return limit == kCodeLimit ? Tr("模块文件长度不能大于1MB！") : Tr("模块文件长度不能大于127KB！");
}

void TForm2::Button51Click() { ChooseFile(Edit1, kCodeLimit, false); }
void TForm2::Button1Click() { ChooseFile(Edit2, kCodeLimit, false); }
void TForm2::Button2Click() { ChooseFile(Edit6, kModuleLimit, true); }
void TForm2::Button3Click() { ChooseFile(Edit4, kModuleLimit, false); }
void TForm2::Button4Click() { ChooseFile(Edit5, kModuleLimit, false); }

void TForm2::AutoSetFile(std::string folder) {
  folder = WithSlash(folder);
  if (const std::string app = ModuleFileIn(folder, "APP.BIN"); !app.empty()) {
    SetApp(true);
    Edit1 = app;
  }
  if (const std::string cert = ModuleFileIn(folder, "CERT.BIN"); !cert.empty()) {
    SetCert(true);
    Edit2 = cert;
  }
  if (const std::string table = ModuleFileIn(folder, "Table.BIN"); !table.empty()) {
    SetTable(true);
    TakeFile(Edit6, table, kModuleLimit, true);
  }
  // The overlays are filled in for the technician to tick; saving them is preset.
  const std::string ata0 = ModuleFileIn(folder, "ATA0.BIN");
  const std::string ata1 = ModuleFileIn(folder, "ATA1.BIN");
  if (!ata0.empty() && !ata1.empty()) {
    SetAta0(false);
    Edit4 = ata0;
    SetAta1(false);
    Edit5 = ata1;
    CheckBox5 = true;
  } else if (const std::string ata = ModuleFileIn(folder, "ATA.BIN"); !ata.empty()) {
    SetAta0(false);
    Edit4 = ata;
    CheckBox5 = true;
  }
  Changed();
}

void TForm2::Button7Click() {
  const auto chosen = main_.Dlg().ChooseFolder(Tr(kFolderTitle));
  if (!chosen) return;
  const std::string folder = WithSlash(*chosen);
  Edit7 = folder;
  AutoSetFile(folder);
  // The next backup or load starts beside this firmware.
  if (const std::string parent = ParentFolder(folder); !parent.empty() && IsFolder(parent))
    main_.firmwareFolder = parent;
  Changed();
}

// --- family lookup ---

void TForm2::Button5Click() {
  LongOperation busy(main_, TrFormat("{1}：分析固件版本", Tr(kCaption)));
  if (!busy) return;
  main_.AddLine(Tr("正在份析，请稍候........"));
  Init1();
  const FamilyReport report = QueryFamilyReport(main_);
  // The folder the backup window gives this drive's backup.
  const std::string folder = Trim(main_.firmwareFolder) + report.FolderName();
  main_.Memo3.clear();
  if (IsFolder(folder)) {
    Edit7 = folder;
    AutoSetFile(folder);
  }
  // No family of the table matches: none stays selected, so the load is not
  // prepared with the buffer of whichever family was shown.
  const bool found = SelectFamily(ComboBox7, report);
  if (found) {
    ComboBox7Text = ComboBox7.Text();
    ComboBox7Change();
  } else {
    ComboBox7.index = -1;
    ComboBox7Text.clear();
  }
  main_.AppendToLastLine(found ? Tr("完成！") : Tr("失败！"));
  Changed();
}

}  // namespace qv
