#include "firmware/manifest/folder_compare.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <set>
#include <system_error>

#include "files/file_io.h"
#include "firmware/manifest/manifest.h"
#include "lang/translate.h"

namespace qv {

namespace {

using Verdict = FileComparison::Verdict;

std::string HexOffset(uint64_t offset) {
  char text[24];
  std::snprintf(text, sizeof text, "0x%llX", static_cast<unsigned long long>(offset));
  return text;
}

// "APP.BIN.read2": a verified read's scratch file of an earlier version.
bool IsReadScratch(const std::string& name) {
  const size_t at = name.rfind(".read");
  return at != std::string::npos && at + 5 < name.size() &&
         name.find_first_not_of("0123456789", at + 5) == std::string::npos;
}

bool Compared(const std::string& name) {
  return name != kManifestName && name != kOldManifestName && !IsWriterLeftover(name) && !IsReadScratch(name);
}

}  // namespace

FolderListing ListComparedFolder(const std::string& folder) {
  namespace fs = std::filesystem;
  FolderListing listing;
  std::error_code ec;
  fs::directory_iterator it(folder, ec);
  for (fs::directory_iterator end; !ec && it != end; it.increment(ec)) {
    const std::string name = it->path().filename().string();
    std::error_code typeError;
    if (fs::is_directory(it->path(), typeError)) listing.subfolders.push_back(name);
    else if (Compared(name) && FileExists(it->path().string())) listing.files.push_back(name);
  }
  if (ec) listing.problem = ec == std::errc::permission_denied ? Tr("没有读取权限") : TrFormat("系统错误：{1}", ec.message());
  std::sort(listing.files.begin(), listing.files.end());
  std::sort(listing.subfolders.begin(), listing.subfolders.end());
  return listing;
}

JudgedFiles::JudgedFiles(const std::string& folder1, const std::string& folder2) {
  for (const std::string& folder : {folder1, folder2}) {
    FolderManifest found = ReadFolderManifest(folder);
    if (found.read.manifest) manifests_.push_back(std::move(*found.read.manifest));
  }
}

bool JudgedFiles::Judged(const std::string& name) const {
  if (manifests_.empty()) return true;
  for (const Manifest& manifest : manifests_)
    if (manifest.Find(name)) return true;
  return false;
}

std::vector<std::string> NamesInEither(const std::string& folder1, const std::string& folder2) {
  std::set<std::string> names;
  for (const std::string& folder : {folder1, folder2})
    for (std::string& name : ListComparedFolder(folder).files) names.insert(std::move(name));
  return {names.begin(), names.end()};
}

FileComparison CompareBytes(std::string_view a, std::string_view b) {
  FileComparison c;
  c.size1 = a.size();
  c.size2 = b.size();
  const size_t common = std::min(a.size(), b.size());
  for (size_t i = 0; i < common; ++i) {
    if (a[i] == b[i]) continue;
    ++c.differingBytes;
    if (c.firstOffsets.size() < kNamedOffsets) c.firstOffsets.push_back(i);
  }
  const size_t longest = std::max(a.size(), b.size());
  c.differingBytes += longest - common;
  for (size_t i = common; i < longest && c.firstOffsets.size() < kNamedOffsets; ++i) c.firstOffsets.push_back(i);
  c.verdict = c.differingBytes ? Verdict::Differ : Verdict::Same;
  return c;
}

FileComparison CompareFileIn(const std::string& folder1, const std::string& folder2, const std::string& name,
                             const JudgedFiles& judged) {
  if (!judged.Judged(name)) {
    FileComparison c;
    c.verdict = Verdict::NotListed;
    return c;
  }
  const std::string path1 = folder1 + name, path2 = folder2 + name;
  const bool in1 = FileExists(path1), in2 = FileExists(path2);
  if (!in1 || !in2) {
    FileComparison c;
    c.verdict = in1 ? Verdict::OnlyInFirst : Verdict::OnlyInSecond;
    return c;
  }
  // Measured before either is read: a file of 1 GB is refused unread, as the loading refuses it.
  FileBytes bytes1 = ReadFileBytes(path1, kMaxComparedBytes);
  FileBytes bytes2 = bytes1 ? ReadFileBytes(path2, kMaxComparedBytes) : FileBytes{};
  if (!bytes1 || !bytes2) {
    FileComparison c;
    c.verdict = Verdict::NotCompared;
    c.reason = !bytes1 ? TrFormat("第一个文件夹中的{1}", bytes1.trouble.reason)
                       : TrFormat("第二个文件夹中的{1}", bytes2.trouble.reason);
    return c;
  }
  return CompareBytes(bytes1.bytes, bytes2.bytes);
}

std::string VerdictText(const FileComparison& c) {
  switch (c.verdict) {
    case Verdict::Same: return Tr("相同");
    case Verdict::OnlyInFirst: return Tr("仅在第一个文件夹中");
    case Verdict::OnlyInSecond: return Tr("仅在第二个文件夹中");
    case Verdict::NotCompared: return TrFormat("无法比较：{1}", c.reason);
    case Verdict::NotListed: return Tr("不在备份清单中，未比较");
    case Verdict::Differ: break;
  }
  std::string offsets;
  for (size_t i = 0; i < c.firstOffsets.size(); ++i)
    offsets = i ? TrFormat("{1}、{2}", offsets, HexOffset(c.firstOffsets[i])) : HexOffset(c.firstOffsets[i]);
  if (c.differingBytes > c.firstOffsets.size()) offsets = TrFormat("{1}……", offsets);
  if (c.size1 != c.size2)
    return TrPlural("不同：{1}字节不同（大小{2}和{3}字节），首处在{4}", "不同：{1}字节不同（大小{2}和{3}字节），首处在{4}",
                    c.differingBytes, c.size1, c.size2, offsets);
  return TrPlural("不同：{1}字节不同，首处在{2}", "不同：{1}字节不同，首处在{2}", c.differingBytes, offsets);
}

std::optional<uint64_t> NextDifference(std::string_view a, std::string_view b, uint64_t from) {
  const uint64_t common = std::min(a.size(), b.size());
  for (uint64_t i = from; i < common; ++i)
    if (a[i] != b[i]) return i;
  const uint64_t longest = std::max(a.size(), b.size());
  if (std::max(from, common) < longest) return std::max(from, common);
  return std::nullopt;
}

}  // namespace qv
