// The module steps of the backup: each reads its family table location with
// the track read and builds the files the module loading expects.
#include <cstdint>
#include <cstdio>
#include <ctime>
#include <initializer_list>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "console/convert.h"
#include "console/main.h"
#include "console/text.h"
#include "files/file_io.h"
#include "fileutil/cut_join.h"
#include "firmware/backup/ata_split.h"
#include "firmware/backup/backup.h"
#include "firmware/backup/backup_folder.h"
#include "firmware/backup/verified_read.h"
#include "firmware/family/family_table.h"
#include "firmware/manifest/manifest.h"
#include "lang/translate.h"

namespace qv {

namespace {

namespace mf = module_file;

constexpr const char* kFieldEmpty = N_("数据信息有误，无法备份！");
constexpr const char* kFieldIncomplete = N_("数据信息不完整，无法备份！");
constexpr const char* kDone = N_("完成！");
constexpr const char* kFailed = N_("失败！");
constexpr int kPercentTicks = 100;
// The modules read back here (ATA.BIN to split it, Vendor.BIN for the model)
// are a few hundred sectors; 1 MiB is the largest module the loading takes.
constexpr uint64_t kMaxReadBackBytes = 1048576;

// A location as the track read takes it: SA offset, start sector, count.
struct Location {
  std::string sa, start, count;
};

// Removes the listed files of the folder when the step ends, however it ends.
class Scratch {
 public:
  Scratch(std::string folder, std::initializer_list<const char*> names) : folder_(std::move(folder)), names_(names) {}
  ~Scratch() {
    for (const char* name : names_) std::remove((folder_ + name).c_str());
  }
  Scratch(const Scratch&) = delete;
  Scratch& operator=(const Scratch&) = delete;

 private:
  std::string folder_;
  std::vector<const char*> names_;
};

class ModuleBackup {
 public:
  ModuleBackup(TFrmMain& main, const BackupPlan& plan) : main_(main), plan_(plan) {}

  bool Run() {
    const FamilyRecord& r = plan_.record;
    try {
      if (plan_.app && good_) App(r.APP);
      if (plan_.cert && good_) Cert(r.CERT0, r.CERT1);
      if (plan_.table && good_) Table(r.TABLE);
      if (plan_.ata && good_) Ata(r.ATA);
      if (plan_.vendor && good_) Vendor(r.VEN);
      WriteSnText();
    } catch (...) {
      // The files written whole so far are described all the same; the
      // error that escaped is what the technician is told about.
      WriteManifest(false);
      throw;
    }
    return WriteManifest(good_ && filesWritten_ && !skipped_) && good_ && filesWritten_;
  }

 private:
  std::string Path(const char* name) const { return plan_.folder + name; }

  // The module's progress line and its field's values (`count` of them, the
  // last one taking the rest of the field, except for APP whose buffer value
  // is left out). Nothing, after saying why, when the field is empty or
  // names fewer than three values.
  std::optional<std::vector<std::string>> Values(const std::string& field, const std::string& progress, size_t count,
                                                 bool app) {
    if (Trim(field).empty()) {
      skipped_ = true;
      // The report goes on the module's own line, not on the previous module's.
      if (app) {
        main_.AddLine(Tr(kFieldEmpty));
      } else {
        main_.AddLine(progress);
        main_.AppendToLastLine(Tr(kFieldEmpty));
      }
      return std::nullopt;
    }
    main_.AddLine(progress);
    main_.Delay(1);
    std::vector<std::string> values = SplitLocation(field, count, !app);
    if (values.size() < 3) {
      skipped_ = true;
      if (app) main_.AddLine(Tr(kFieldIncomplete));
      else main_.AppendToLastLine(Tr(kFieldIncomplete));
      return std::nullopt;
    }
    return values;
  }

  // A failed read fails the backup and skips the later modules. It writes
  // nothing: the module's file from an earlier backup stays as it was.
  bool Read(const Location& at, const char* head, const char* file) {
    const std::string cylinder = IntToHex(static_cast<uint32_t>(plan_.reservedStart) +
                                          static_cast<uint32_t>(HexToInt(Trim(at.sa))));
    good_ = ReadModuleSectors(main_, {cylinder, head, at.start, at.count}, plan_.buffer, Path(file), plan_.verify);
    if (good_) places_[file] = {cylinder, head, HexToInt(Trim(at.start)), HexToInt(Trim(at.count))};
    return good_;
  }

  // Ends the module's line with the outcome of building one of its files.
  void Built(bool written, const char* file = nullptr, std::string place = {}) {
    if (!written) filesWritten_ = false;
    else if (file) Whole(file, std::move(place));
    main_.AppendToLastLine(Tr(written ? kDone : kFailed));
  }

  // A file this backup wrote whole, for the manifest.
  void Whole(const char* file, std::string place) { whole_.push_back({file, std::move(place)}); }
  // "8F 0 0 6": where the read of `file` took its sectors; `skip` and
  // `count` (sectors, count 0: all) narrow it to a part of them.
  std::string PlaceOf(const char* file, int32_t skip = 0, int32_t count = 0) {
    const SectorRange& r = places_[file];
    return r.cylinder + " " + r.head + " " + IntToHex(static_cast<uint32_t>(r.start + skip)) + " " +
           IntToHex(static_cast<uint32_t>(count ? count : r.count));
  }

  void App(const std::string& field) {
    const auto v = Values(field, Tr("正在备份APP............."), 3, true);
    if (v && Read({(*v)[0], (*v)[1], (*v)[2]}, "0", mf::kApp)) {
      Whole(mf::kApp, PlaceOf(mf::kApp));
      main_.AppendToLastLine(Tr(kDone));
    }
  }

  void Cert(const std::string& cert0, const std::string& cert1) {
    const auto v = Values(cert0, Tr("正在备份Cert............"), 6, false);
    if (!v) return;
    // A second location of head 0 or head 1's location named only in part:
    // a CERT.BIN of the first piece alone would pass for the whole.
    const std::vector<std::string> head1 = SplitLocation(cert1, 3, true);
    if ((v->size() > 3 && v->size() < 6) || (v->size() == 3 && !head1.empty() && head1.size() < 3)) {
      skipped_ = true;
      main_.AppendToLastLine(Tr(kFieldIncomplete));
      return;
    }
    // Pieces left by an earlier backup must not end up in this one's CERT.BIN.
    Scratch pieces(plan_.folder, {mf::kCert0, mf::kCert1});
    std::remove(Path(mf::kCert0).c_str());
    std::remove(Path(mf::kCert1).c_str());
    if (!Read({(*v)[0], (*v)[1], (*v)[2]}, "0", mf::kCert0)) return;
    if (v->size() == 6) {
      // Head 0's data in two pieces.
      if (!Read({(*v)[3], (*v)[4], (*v)[5]}, "0", mf::kCert1)) return;
    } else if (!head1.empty() && !Read({head1[0], head1[1], head1[2]}, "1", mf::kCert1)) {
      return;
    }
    const bool twoPieces = places_.count(mf::kCert1) > 0;
    Built(CutAndJoin(Path(mf::kCert0), "0", "FFFF", Path(mf::kCert1), "0", "FFFF", Path(mf::kCert)), mf::kCert,
          PlaceOf(mf::kCert0) + (twoPieces ? " + " + PlaceOf(mf::kCert1) : ""));
  }

  void Table(const std::string& field) {
    const auto v = Values(field, Tr("正在备份Cert Table......"), 3, false);
    if (!v) return;
    Scratch read(plan_.folder, {mf::kTable0});
    if (!Read({(*v)[0], (*v)[1], (*v)[2]}, "0", mf::kTable0)) return;
    // The table's first sector goes to the end.
    const std::string table0 = Path(mf::kTable0);
    Built(CutAndJoin(table0, "1", (*v)[2], table0, "0", "1", Path(mf::kTable)), mf::kTable, PlaceOf(mf::kTable0));
  }

  void Ata(const std::string& field) {
    const auto v = Values(field, Tr("正在备份ATA............."), 3, false);
    if (!v || !Read({(*v)[0], (*v)[1], (*v)[2]}, "0", mf::kAta)) return;
    Whole(mf::kAta, PlaceOf(mf::kAta));
    // Overlays of an earlier backup would be taken for this module's.
    std::remove(Path(mf::kAta0).c_str());
    std::remove(Path(mf::kAta1).c_str());
    bool written = true;
    if (const FileBytes module = ReadFileBytes(Path(mf::kAta), kMaxReadBackBytes))
      if (const std::optional<AtaOverlays> overlays = SplitAta(module.bytes)) {
        written = WriteFileBytes(Path(mf::kAta0), overlays->first) && WriteFileBytes(Path(mf::kAta1), overlays->second);
        if (written) {
          Whole(mf::kAta0, PlaceOf(mf::kAta, 0, Sectors(overlays->first.size())));
          Whole(mf::kAta1, PlaceOf(mf::kAta, Sectors(overlays->secondAt), Sectors(overlays->second.size())));
        }
      }
    Built(written);
  }

  void Vendor(const std::string& field) {
    const auto v = Values(field, Tr("正在备份Vendor.........."), 3, false);
    if (!v || !Read({(*v)[0], (*v)[1], (*v)[2]}, "0", mf::kVendor)) return;
    vendorRead_ = true;
    Whole(mf::kVendor, PlaceOf(mf::kVendor));
    Built(CutAndJoin(Path(mf::kVendor), "4", "1", "", "", "", Path(mf::kId)), mf::kId, PlaceOf(mf::kVendor, 4, 1));
  }

  // The model line of SN.TXT, from the ID sector (the vendor module's sector
  // 4): of this backup's Vendor.BIN, or of the module's first sectors read
  // alone when the vendor module was not chosen, so that SN.TXT reads the
  // same whichever modules a backup of the drive took. A Vendor.BIN an
  // earlier backup left in the folder may be another drive's: never used.
  std::optional<std::string> ModelText() {
    if (vendorRead_) {
      const FileBytes vendor = ReadFileBytes(Path(mf::kVendor), kMaxReadBackBytes);
      return vendor ? std::optional(VendorModelText(vendor.bytes)) : std::nullopt;
    }
    const std::vector<std::string> v = SplitLocation(plan_.record.VEN, 3, true);
    if (plan_.vendor || !good_ || v.size() < 3) return std::nullopt;
    constexpr const char* kIdScratch = "Vendor.BIN.id";
    Scratch read(plan_.folder, {kIdScratch});
    try {
      const std::string cylinder = IntToHex(static_cast<uint32_t>(plan_.reservedStart) +
                                            static_cast<uint32_t>(HexToInt(Trim(v[0]))));
      if (!ReadModuleSectors(main_, {cylinder, "0", Trim(v[1]), "5"}, plan_.buffer, Path(kIdScratch), plan_.verify))
        return std::nullopt;
    } catch (const EConvertError&) {
      return std::nullopt;  // a place the module steps would refuse: no model, as without the module
    }
    const FileBytes sectors = ReadFileBytes(Path(kIdScratch), kMaxReadBackBytes);
    return sectors ? std::optional(VendorModelText(sectors.bytes)) : std::nullopt;
  }

  void WriteSnText() {
    std::string text;
    if (const std::optional<std::string> model = ModelText()) text += *model + "\r\n";
    main_.receiveMode = ReceiveMode::syscmd;
    main_.Memo3.clear();
    main_.SendString("%");
    // Answered at the keystroke; at a low rate the answer takes longer than
    // the five ticks a fast line needs, and a cut answer would cut the serial.
    main_.WaitHD(kPercentTicks);
    serial_ = SerialFromPercentReply(main_.CaptureLines());
    text += serial_ + "\r\n";
    if (const FileTrouble trouble = WriteFile(Path(mf::kSn), text)) throw EFileError(CannotWriteMessage(Path(mf::kSn), trouble));
    Whole(mf::kSn, {});
  }

  // Last, so that it never names a file that is not there; false after a
  // line saying why it could not be written.
  bool WriteManifest(bool complete) {
    Manifest header;
    header.time = LocalTimeWithOffset(std::time(nullptr));
    header.program = ProgramNameAndVersion();
    header.port = main_.ComboBox1.Text();
    header.rate = plan_.rate;
    header.family = plan_.record.name;
    header.drive = plan_.driveWords;
    // SN.TXT's, or the one of the start when the backup ended before it.
    header.serial = serial_.empty() ? plan_.serial : serial_;
    header.complete = complete;
    header.verified = plan_.verify;
    const std::string path = Path(kManifestName);
    std::vector<ManifestFile> kept;
    if (plan_.earlier) {
      std::vector<std::string> written;
      for (const WholeFile& f : whole_) written.push_back(f.name);
      kept = EntriesStillGood(plan_.folder, *plan_.earlier, written);
    }
    const FileTrouble trouble = WriteBackupManifest(plan_.folder, std::move(header), whole_, kept);
    if (!trouble) return true;
    main_.AddLine(CannotWriteMessage(path, trouble));
    // An earlier backup's manifest would now describe files this one replaced or removed.
    std::remove(path.c_str());
    return false;
  }

  static int32_t Sectors(size_t bytes) { return static_cast<int32_t>((bytes + 511) / 512); }

  // Where a read took its sectors (cylinder and head as sent).
  struct SectorRange {
    std::string cylinder, head;
    int32_t start = 0, count = 0;
  };

  TFrmMain& main_;
  const BackupPlan& plan_;
  bool good_ = true;          // no track read failed
  bool filesWritten_ = true;  // every file built from the reads was written
  bool skipped_ = false;      // a ticked module left out for its table field
  bool vendorRead_ = false;   // this backup read Vendor.BIN
  std::map<std::string, SectorRange> places_;  // by the file read into
  std::vector<WholeFile> whole_;
  std::string serial_;
};

}  // namespace

bool BackupModules(TFrmMain& main, const BackupPlan& plan) { return ModuleBackup(main, plan).Run(); }

}  // namespace qv
