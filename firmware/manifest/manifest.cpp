#include "firmware/manifest/manifest.h"

#include <charconv>
#include <set>

#include "console/text.h"
#include "files/file_digest.h"
#include "lang/translate.h"

#ifndef QV_PROGRAM_VERSION
#error "QV_PROGRAM_VERSION must give the program's version"
#endif

namespace qv {

namespace {

constexpr std::string_view kProgramName = "Quorvane";
constexpr std::string_view kFileSection = "[file ";

// One line a value: the drive's words may hold control bytes or GBK, which
// would break the line or the UTF-8 of the file.
std::string OneLine(std::string_view value) {
  std::string text = IsValidUtf8(value) ? std::string(value) : Utf8FromGbk(value);
  for (char& c : text)
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = '?';
  return text;
}

const char* YesNo(bool value) { return value ? "yes" : "no"; }

bool IsSha256(std::string_view text) {
  if (text.size() != 64) return false;
  for (char c : text)
    if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'))) return false;
  return true;
}

std::optional<uint64_t> Count(std::string_view text) {
  uint64_t value = 0;
  if (text.empty() || text.size() > 19 || text.find_first_not_of("0123456789") != std::string_view::npos)
    return std::nullopt;
  std::from_chars(text.data(), text.data() + text.size(), value);
  return value;
}

std::optional<bool> YesOrNo(std::string_view text) {
  if (text == "yes") return true;
  if (text == "no") return false;
  return std::nullopt;
}

// Reads the lines in order; the first problem ends the reading.
class ManifestParser {
 public:
  ManifestRead Parse(std::string_view text) {
    // The writer ends every line; a last line without its end was cut off.
    if (text.empty()) return Bad(Tr("文件是空的"));
    if (text.back() != '\n') return Bad(Tr("最后一行不完整，清单被截断了"));
    size_t from = 0;
    while (from < text.size() && problem_.empty()) {
      const size_t end = text.find('\n', from);
      std::string_view line = text.substr(from, end - from);
      from = end + 1;
      ++number_;
      if (line.ends_with('\r')) line.remove_suffix(1);  // copied through a system that ends lines in CR LF
      if (!line.empty()) Line(line);
    }
    if (problem_.empty()) Finish();
    if (!problem_.empty()) return {std::nullopt, problem_};
    return {std::move(manifest_), {}};
  }

 private:
  ManifestRead Bad(const std::string& why) { return {std::nullopt, why}; }
  void Fail(const std::string& why) {
    if (problem_.empty()) problem_ = TrFormat("第{1}行：{2}", number_, why);
  }
  void NotOurs() { problem_ = Tr("这不是Quorvane的备份清单"); }

  void Line(std::string_view line) {
    if (!sawBackup_ && line != "[backup]") return NotOurs();
    if (line.starts_with('[')) return Section(line);
    const size_t eq = line.find('=');
    if (eq == std::string_view::npos) return Fail(Tr("不是“键=值”的形式"));
    const std::string key(line.substr(0, eq));
    const std::string_view value = line.substr(eq + 1);
    if (!seenKeys_.insert(key).second) return Fail(TrFormat("“{1}”出现了两次", key));
    if (inBackup_) BackupKey(key, value);
    else FileKey(key, value);
  }

  void Section(std::string_view line) {
    if (!line.ends_with(']')) return Fail(Tr("段名没有结束的“]”"));
    CheckLastFile();
    if (!problem_.empty()) return;
    seenKeys_.clear();
    inBackup_ = inFile_ = false;
    if (line == "[backup]") {
      if (sawBackup_) return Fail(Tr("[backup]出现了两次"));
      sawBackup_ = inBackup_ = true;
      return;
    }
    if (!line.starts_with(kFileSection)) return Fail(TrFormat("不认识的段{1}", line));
    const std::string name(line.substr(kFileSection.size(), line.size() - kFileSection.size() - 1));
    if (Trim(name).empty()) return Fail(Tr("[file]没有文件名"));
    for (const ManifestFile& f : manifest_.files)
      if (f.name == name) return Fail(TrFormat("文件{1}出现了两次", name));
    inFile_ = true;
    manifest_.files.push_back({name, 0, {}, {}});
    fileLine_ = number_;
  }

  void BackupKey(const std::string& key, std::string_view value) {
    Manifest& m = manifest_;
    std::string* texts[] = {&m.time, &m.program, &m.port, &m.rate, &m.family, &m.drive, &m.serial};
    const char* names[] = {"time", "program", "port", "rate", "family", "drive", "serial"};
    for (size_t i = 0; i < std::size(names); ++i)
      if (key == names[i]) *texts[i] = value;
    if (key == "complete" || key == "verified") {
      const std::optional<bool> flag = YesOrNo(value);
      if (!flag) return Fail(TrFormat("{1}应为yes或no", key));
      (key == "complete" ? m.complete : m.verified) = *flag;
    } else if (key == "files") {
      fileCount_ = Count(value);
      if (!fileCount_) return Fail(Tr("files应为文件个数"));
    }
    // Keys of a later version are left for it.
  }

  void FileKey(const std::string& key, std::string_view value) {
    ManifestFile& file = manifest_.files.back();
    if (key == "size") {
      const std::optional<uint64_t> size = Count(value);
      if (!size) return Fail(Tr("size应为字节数"));
      file.size = *size;
    } else if (key == "sha256") {
      if (!IsSha256(value)) return Fail(Tr("sha256应为64位小写十六进制数"));
      file.sha256 = value;
    } else if (key == "place") {
      file.place = value;
    }
  }

  // The file section just read has what a check needs.
  void CheckLastFile() {
    if (inFile_ && (!seenKeys_.contains("size") || !seenKeys_.contains("sha256")))
      problem_ = TrFormat("第{1}行起的[file {2}]缺少size或sha256", fileLine_, manifest_.files.back().name);
  }

  void Finish() {
    if (!sawBackup_) return NotOurs();
    if (!manifest_.program.starts_with(std::string(kProgramName) + " ")) return NotOurs();
    CheckLastFile();
    if (!problem_.empty()) return;
    if (!fileCount_) {
      problem_ = Tr("[backup]缺少files（文件个数）");
    } else if (*fileCount_ != manifest_.files.size()) {
      problem_ = TrPlural("应有{1}个文件，只写了{2}个，清单被截断了", "应有{1}个文件，只写了{2}个，清单被截断了", *fileCount_,
                          manifest_.files.size());
    }
  }

  Manifest manifest_;
  std::string problem_;
  int number_ = 0;
  int fileLine_ = 0;
  bool sawBackup_ = false, inBackup_ = false, inFile_ = false;
  std::set<std::string> seenKeys_;
  std::optional<uint64_t> fileCount_;
};

}  // namespace

const ManifestFile* Manifest::Find(std::string_view name) const {
  for (const ManifestFile& f : files)
    if (f.name == name) return &f;
  for (const ManifestFile& f : files)
    if (UpperCase(f.name) == UpperCase(name)) return &f;
  return nullptr;
}

std::string ManifestText(const Manifest& m) {
  std::string text = "[backup]\n";
  const std::pair<const char*, std::string> fields[] = {
      {"time", m.time},     {"program", m.program}, {"port", m.port},
      {"rate", m.rate},     {"family", m.family},   {"drive", m.drive},
      {"serial", m.serial}, {"complete", YesNo(m.complete)}, {"verified", YesNo(m.verified)},
      {"files", std::to_string(m.files.size())}};
  for (const auto& [key, value] : fields) text += std::string(key) + "=" + OneLine(value) + "\n";
  for (const ManifestFile& f : m.files) {
    text += "\n[file " + OneLine(f.name) + "]\nsize=" + std::to_string(f.size) + "\nsha256=" + f.sha256 + "\n";
    if (!f.place.empty()) text += "place=" + OneLine(f.place) + "\n";
  }
  return text;
}

ManifestRead ParseManifest(std::string_view text) { return ManifestParser().Parse(text); }

FolderManifest ReadFolderManifest(const std::string& folder) {
  const std::string path = folder + (folder.ends_with('/') ? "" : "/") + kManifestName;
  const FileBytes file = ReadFileBytes(path, kMaxManifestBytes);
  if (file.trouble.kind == FileTrouble::Kind::Missing) return {};
  if (file.trouble) return {true, {std::nullopt, file.trouble.reason}};
  return {true, ParseManifest(file.bytes)};
}

FileTrouble WriteBackupManifest(const std::string& folder, Manifest header, const std::vector<WholeFile>& files,
                                const std::vector<ManifestFile>& kept) {
  header.files.clear();
  for (const WholeFile& f : files) {
    const FileDigest digest = DigestFile(folder + f.name);
    if (!digest) {
      header.complete = false;
      continue;
    }
    header.files.push_back({f.name, digest.size, digest.sha256, f.place});
  }
  header.files.insert(header.files.end(), kept.begin(), kept.end());
  return WriteFile(folder + kManifestName, ManifestText(header));
}

std::string LocalTimeWithOffset(std::time_t when) {
  std::tm local{};
  localtime_r(&when, &local);
  char text[40];
  if (std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S%z", &local) == 0) return {};
  // "+0800" -> "+08:00"
  std::string stamp = text;
  if (stamp.size() >= 5) stamp.insert(stamp.size() - 2, ":");
  return stamp;
}

std::string ProgramNameAndVersion() { return std::string(kProgramName) + " " + QV_PROGRAM_VERSION; }

}  // namespace qv
