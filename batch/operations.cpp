#include "batch/operations.h"

#include <exception>

#include "console/main.h"
#include "console/text.h"
#include "files/file_digest.h"
#include "firmware/backup/form6_backup.h"
#include "firmware/family/family_table.h"
#include "firmware/manifest/manifest.h"
#include "lang/translate.h"
#include "library/library_settings.h"
#include "transfer/form3.h"

namespace qv {

namespace {

constexpr const char* kNoFamilyFound =
    "no family was found for the drive: it must answer at level T and name a family of the table; "
    "name one with --family (see --list-families)";

// The runner's remark stays English; the pane line it quotes is in the run's language.
constexpr const char* kTableSkipped = "the TABLE module was not loaded: the drive had no certification code running";
constexpr const char* kTableSkippedLine = N_("请先加载CERT模块！");

void UseRate(ListControl& rates, const std::string& rate) {
  if (!rate.empty()) rates.SelectText(rate);
}

// The serial ROM window: the file in its read or write box, then one of its
// four buttons.
OperationResult RomOperation(TFrmMain& main, const BatchOptions& o) {
  using Operation = TForm3::Operation;
  TForm3 form(main);
  UseRate(form.ComboBox2, o.rate);
  Operation operation;
  if (o.mode == BatchMode::RomRead) {
    form.Edit1 = Trim(o.path);  // as the save chooser takes a name
    operation = o.byInstruction ? Operation::ReadByInstruction : Operation::ReadByBuffer;
  } else {
    form.Edit2 = o.path;
    form.ComboBox3 = o.entry;
    operation = o.byInstruction ? Operation::WriteByInstruction : Operation::WriteByBuffer;
  }
  const bool done = form.Run(operation);
  if (!done || o.mode != BatchMode::RomRead) return {done, {}};
  const FileDigest digest = DigestFile(form.Edit1);
  if (!digest) return {done, {}, "read the ROM into " + form.Edit1};
  return {done, {}, "read the ROM into " + form.Edit1 + ": " + std::to_string(digest.size) + " bytes, SHA-256 " +
                        digest.sha256};
}

// "backed up TONKA, drive QV0000000001, into bk/: APP.BIN CERT.BIN ... (9 files)
// and MANIFEST.TXT", from the manifest the backup wrote last; the files
// counted as --check counts them, the manifest apart.
std::string BackupSummary(const std::string& folder) {
  const FolderManifest written = ReadFolderManifest(folder);
  if (!written.read.manifest) return "backed up into " + folder;
  const Manifest& m = *written.read.manifest;
  std::string files;
  for (const ManifestFile& file : m.files) files += " " + file.name;
  const size_t n = m.files.size();
  return "backed up " + m.family + ", drive " + (m.serial.empty() ? std::string("without a serial number") : m.serial) +
         ", into " + folder + ":" + files + " (" + std::to_string(n) + (n == 1 ? " file" : " files") + ") and " +
         kManifestName;
}

// The backup window: the modules, the save folder, the family (chosen, or
// found by its "A" button), then "开始备份".
OperationResult BackupOperation(TFrmMain& main, const FamilyTable& families, const BatchOptions& o) {
  TForm6 form(main, families);
  form.onBackupDone = AutoAddHook(main, o.library);
  UseRate(form.ComboBox2, o.rate);
  if (o.modulesGiven) {
    form.CheckBox1 = o.modules.app;
    form.CheckBox2 = o.modules.cert;
    form.CheckBox3 = o.modules.table;
    form.CheckBox4 = o.modules.ata;
    form.CheckBox5 = o.modules.vendor;
  }
  form.CheckBox6 = o.verify;
  form.Edit1 = o.path;
  if (o.family.empty() || o.family == "auto") {
    // No family until the drive's report names one: the window's first
    // entry would otherwise be backed up from places of another family.
    form.ComboBox7.index = -1;
    form.Button2Click();
    // The button ends by asking for a prompt; it must reach the pane before
    // the backup's first progress line, as it does while a technician moves
    // from one button to the next.
    main.WaitHD(100);
    if (form.ComboBox7.index < 0) return {false, kNoFamilyFound};
    // The lookup points the save folder at one named after the drive; the
    // command line named its own.
    form.Edit1 = o.path;
  } else {
    form.ComboBox7.index = FamilyPosition(families, o.family);
  }
  if (!form.StartBackup()) return {};
  return {true, {}, BackupSummary(form.Edit1)};
}

// The loading window: the family (chosen, or found by its "A" button), the
// folder's files as its folder button fills them in, the modules and their
// "存盘" boxes, then "加载".
OperationResult LoadOperation(TFrmMain& main, const FamilyTable& families, const BatchOptions& o,
                              LoadTiming timing) {
  TForm2 form(main, families);
  form.timing = timing;
  UseRate(form.ComboBox2, o.rate);
  if (o.family == "auto") {
    form.Button5Click();
    if (form.ComboBox7.index < 0) return {false, kNoFamilyFound};
  } else if (!o.family.empty()) {
    form.ComboBox7.index = FamilyPosition(families, o.family);
    form.ComboBox7Text = form.ComboBox7.Text();
    form.ComboBox7Change();
  }
  // Only the named folder's files: the lookup may have filled in those of a
  // folder named after the drive. The reset keeps the buffer the family set.
  const int family = form.ComboBox7.index;
  const std::string familyText = form.ComboBox7Text;
  form.Init1();
  form.ComboBox7.index = family;
  form.ComboBox7Text = familyText;
  form.Edit7 = o.path.ends_with('/') ? o.path : o.path + "/";
  form.AutoSetFile(o.path);

  if (o.modulesGiven) {
    form.CheckBox1 = o.modules.app;
    form.CheckBox1Click();
    form.CheckBox2 = o.modules.cert;
    form.CheckBox2Click();
    form.CheckBox3 = o.modules.table;
    form.CheckBox3Click();
    form.CheckBox4 = o.modules.ata;
    form.CheckBox4Click();
    // The second overlay goes with the first when the folder holds both.
    form.CheckBox6 = o.modules.ata && !Trim(form.Edit5).empty();
    form.CheckBox6Click();
  }
  // Writing to the reserved area only when asked for, the overlays included
  // (the folder's files preset their box).
  form.CheckBox10 = o.save && form.CheckBox1;
  form.CheckBox9 = o.save && form.CheckBox2;
  form.CheckBox8 = o.save && form.CheckBox3;
  form.CheckBox5 = o.save && form.CheckBox4;
  const bool loaded = form.Load();
  // The window goes on past a table the drive did not take; a run that
  // left it out has not done what was asked.
  if (loaded && form.TableSkipped()) return {false, std::string(kTableSkipped) + " (" + Tr(kTableSkippedLine) + ")"};
  return {loaded, {}};
}

}  // namespace

OperationResult RunOperation(TFrmMain& main, const FamilyTable& families, const BatchOptions& options,
                             LoadTiming loadTiming) {
  try {
    switch (options.mode) {
      case BatchMode::RomRead:
      case BatchMode::RomWrite: return RomOperation(main, options);
      case BatchMode::Backup: return BackupOperation(main, families, options);
      case BatchMode::Load: return LoadOperation(main, families, options, loadTiming);
      default: return {false, "not an operation on the drive"};
    }
  } catch (const std::exception& e) {
    main.Dlg().ShowMessage(e.what());
  } catch (...) {
    main.Dlg().ShowMessage(Tr("操作因未知错误而中止。"));
  }
  return {};
}

int FamilyPosition(const FamilyTable& table, const std::string& name) {
  const std::string wanted = UpperCase(Trim(name));
  const std::vector<std::string> names = table.Names();
  for (size_t i = 0; i < names.size(); ++i)
    if (names[i] == wanted) return static_cast<int>(i);
  return -1;
}

std::string FamilyListing(const FamilyTable& table, const std::string& source) {
  std::string text = "Family table: " + (source.empty() ? std::string("the default table in memory") : source) +
                     " (" + std::to_string(table.Count()) + " families)\n";
  for (const FamilyRecord& r : table.Records()) {
    text += r.name;
    const std::pair<const char*, const std::string&> fields[] = {{"APP", r.APP},     {"CERT0", r.CERT0},
                                                                 {"CERT1", r.CERT1}, {"TABLE", r.TABLE},
                                                                 {"ATA", r.ATA},     {"VEN", r.VEN}};
    for (const auto& [key, value] : fields)
      if (!value.empty()) text += std::string("\t") + key + "=" + value;
    text += '\n';
  }
  return text;
}

}  // namespace qv
