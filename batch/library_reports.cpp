#include "batch/library_reports.h"

#include <charconv>

#include "console/text.h"
#include "lang/translate.h"
#include "library/library.h"
#include "library/library_settings.h"
#include "library/library_subject.h"
#include "library/module_standing.h"
#include "library/sqlite_db.h"

namespace qv {

namespace {

std::string Count(size_t n, const char* one, const char* many) { return std::to_string(n) + " " + (n == 1 ? one : many); }

std::string BackupLine(const LibraryBackup& b) {
  return std::to_string(b.id) + "\t" + b.time + "\t" + b.family + "\t" + b.drive + "\t" + b.serial + "\t" +
         (b.verified ? "verified" : "read once") + "\t" + b.source + "\n";
}

LibraryReport Add(FirmwareLibrary& library, const BatchOptions& o) {
  LibraryReport report;
  size_t added = 0, there = 0;
  for (const std::string& folder : o.folders) {
    const LibraryAdd outcome = library.Add(folder);
    switch (outcome.kind) {
      case LibraryAdd::Kind::Added:
        ++added;
        report.text += folder + "\t" + TrFormat("已加入固件库，编号{1}", outcome.id) + "\n";
        break;
      case LibraryAdd::Kind::AlreadyThere:
        ++there;
        report.text += folder + "\t" + TrFormat("库中已有，编号{1}", outcome.id) + "\n";
        break;
      case LibraryAdd::Kind::Refused:
      case LibraryAdd::Kind::Failed:
        report.status = kExitFailed;
        report.text += folder + "\t" + (outcome.kind == LibraryAdd::Kind::Refused ? Tr("拒绝加入") : Tr("加入失败")) + "\n";
        for (const std::string& reason : outcome.reasons) report.text += folder + "\t  " + reason + "\n";
        break;
    }
  }
  const size_t refused = o.folders.size() - added - there;
  report.text += Count(o.folders.size(), "folder", "folders") + ": " + std::to_string(added) + " added, " +
                 std::to_string(there) + " already there, " + std::to_string(refused) + " not added\n";
  return report;
}

LibraryReport List(FirmwareLibrary& library, const BatchOptions& o) {
  LibraryReport report;
  const std::vector<LibraryBackup> backups = library.List({UpperCase(o.family), o.serial, false});
  for (const LibraryBackup& b : backups) report.text += BackupLine(b);
  report.text += Count(backups.size(), "backup", "backups") + "\n";
  return report;
}

std::string SubjectLine(const LibraryBackup& b) {
  return "drive\t" + (b.serial.empty() ? std::string("-") : b.serial) + "\tfamily=" + b.family + " drive=" + b.drive +
         " time=" + b.time + (b.id ? " backup=" + std::to_string(b.id) : std::string(" (not in the library)")) + "\n";
}

LibraryReport Drive(FirmwareLibrary& library, const BatchOptions& o) {
  const LibrarySubject subject = FindSubject(library, o.path);
  if (!subject.problem.empty()) return {subject.problem + "\n", kExitFailed};
  const std::vector<LibraryEntry> peers = library.Peers(subject.entry.backup);
  LibraryReport report{SubjectLine(subject.entry.backup)};
  std::string suspects;
  const std::vector<ModuleStanding> standings = StandingsOf(subject.entry, peers);
  for (const ModuleStanding& m : standings) {
    report.text += m.name + "\t" + StandingText(m) + "\n";
    // With a single other drive either copy may be the odd one.
    if (m.standing == Standing::Unique && m.others > 1) suspects += " " + m.name;
  }
  report.text += Count(standings.size(), "module", "modules") + " against " +
                 Count(peers.size(), "other drive", "other drives") + " of this family and firmware" +
                 (suspects.empty() ? std::string(", none differs from all others") : ", to suspect:" + suspects) + "\n";
  return report;
}

LibraryReport Donors(FirmwareLibrary& library, const BatchOptions& o) {
  const LibrarySubject subject = FindSubject(library, o.path);
  if (!subject.problem.empty()) return {subject.problem + "\n", kExitFailed};
  const std::vector<LibraryEntry> peers = library.Peers(subject.entry.backup);
  const DonorChoice choice = FindDonors(subject.entry, peers, o.path2);
  LibraryReport report{SubjectLine(subject.entry.backup)};
  if (choice.donors.empty()) {
    report.text += TrFormat("同一系列和固件的其他硬盘都没有{1}", o.path2) + "\n";
    report.status = kExitFailed;
    return report;
  }
  for (const LibraryBackup& b : choice.donors) report.text += BackupLine(b);
  report.text += Count(choice.donors.size(), "donor", "donors") + " of " + choice.module + ": the copy " +
                 std::to_string(choice.commonCount) + " of " + Count(choice.holders, "other drive", "other drives") +
                 " hold" +
                 (choice.commonCopies > 1 ? " (" + std::to_string(choice.commonCopies) + " copies equally common; all listed)"
                                          : std::string()) +
                 (choice.driveHasCommon ? "; the drive's own copy is the same" : "; the drive's own copy differs") + "\n";
  return report;
}

// SERIAL|ID: a number is a backup's unless a drive has it as serial number
// ("#12" is always the backup).
std::optional<LibraryBackup> Named(FirmwareLibrary& library, const std::string& text, std::string& problem) {
  const bool hash = text.starts_with('#');
  const std::string digits = hash ? text.substr(1) : text;
  int64_t id = 0;
  const auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), id);
  const bool number = ec == std::errc() && end == digits.data() + digits.size() && !digits.empty();
  std::optional<LibraryBackup> bySerial = hash ? std::nullopt : library.NewestOf(text);
  std::optional<LibraryBackup> byId = number ? library.ById(id) : std::nullopt;
  if (bySerial && byId) {
    problem = TrFormat("“{1}”既是一块硬盘的序列号，也是一个备份的编号；备份请写#{1}", text);
    return std::nullopt;
  }
  if (!bySerial && !byId) problem = TrFormat("固件库中没有序列号或编号为“{1}”的备份", text);
  return bySerial ? bySerial : byId;
}

LibraryReport Export(FirmwareLibrary& library, const BatchOptions& o) {
  std::string problem;
  const std::optional<LibraryBackup> backup = Named(library, o.path, problem);
  if (!backup) return {problem + "\n", kExitFailed};
  const LibraryExport outcome = library.Export(backup->id, o.path2);
  LibraryReport report{BackupLine(*backup)};
  for (const std::string& p : outcome.problems) report.text += p + "\n";
  if (!outcome.done) {
    report.text += "nothing exported\n";
    report.status = kExitFailed;
    return report;
  }
  report.text += "exported backup " + std::to_string(backup->id) + " into " + o.path2 + "\n";
  return report;
}

LibraryReport Rebuild(const std::string& folder) {
  const LibraryRebuild outcome = FirmwareLibrary::Rebuild(folder);
  LibraryReport report;
  for (const std::string& p : outcome.problems) report.text += p + "\n";
  if (!outcome.done) return {report.text + "not rebuilt\n", kExitFailed};
  report.text += "rebuilt: " + Count(outcome.backups, "backup", "backups") + ", " +
                 Count(outcome.files, "stored file", "stored files") + " checked, " +
                 Count(outcome.problems.size(), "problem", "problems") + "\n";
  if (!outcome.problems.empty()) report.status = kExitFailed;
  return report;
}

}  // namespace

LibraryReport RunLibraryOperation(const BatchOptions& o, const std::string& userDataFolder) {
  const std::string folder = o.library.empty() ? ReadLibrarySettings(userDataFolder).folder : o.library;
  if (o.mode == BatchMode::LibraryRebuild) return Rebuild(folder);
  const bool writes = o.mode == BatchMode::LibraryAdd;
  FirmwareLibrary::Opened opened =
      FirmwareLibrary::Open(folder, writes ? FirmwareLibrary::Access::Write : FirmwareLibrary::Access::Read);
  if (!opened.library) return {opened.problem + "\n", kExitUsage};
  try {
    switch (o.mode) {
      case BatchMode::LibraryAdd: return Add(*opened.library, o);
      case BatchMode::LibraryList: return List(*opened.library, o);
      case BatchMode::LibraryDrive: return Drive(*opened.library, o);
      case BatchMode::LibraryDonors: return Donors(*opened.library, o);
      case BatchMode::LibraryExport: return Export(*opened.library, o);
      default: break;
    }
  } catch (const SqliteError& e) {
    return {DatabaseProblem(folder, e) + "\n", kExitFailed};
  }
  return {};
}

}  // namespace qv
