// A MANIFEST.TXT of any bytes, read the way the check before loading reads
// it; a manifest read whole is written again and must read back the same.
#include <cstdlib>

#include "console/text.h"
#include "firmware/manifest/manifest.h"

namespace {

// Written back unchanged: valid UTF-8 without control characters.
bool Clean(const std::string& text) {
  if (!qv::IsValidUtf8(text)) return false;
  for (char c : text)
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) return false;
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const qv::ManifestRead read = qv::ParseManifest(std::string_view(reinterpret_cast<const char*>(data), size));
  if (read.manifest.has_value() == !read.problem.empty()) std::abort();
  if (!read.manifest) return 0;
  const qv::Manifest& m = *read.manifest;
  bool clean = true;
  for (const std::string* text : {&m.time, &m.program, &m.port, &m.rate, &m.family, &m.drive, &m.serial})
    clean = clean && Clean(*text);
  for (const qv::ManifestFile& f : m.files) {
    if (f.sha256.size() != 64 || !m.Find(f.name)) std::abort();
    clean = clean && Clean(f.name) && Clean(f.place);
  }
  if (!clean) return 0;
  const qv::ManifestRead again = qv::ParseManifest(qv::ManifestText(m));
  if (!again.manifest || again.manifest->files.size() != m.files.size() || again.manifest->family != m.family ||
      again.manifest->complete != m.complete || again.manifest->verified != m.verified)
    std::abort();
  for (size_t i = 0; i < m.files.size(); ++i) {
    const qv::ManifestFile& a = m.files[i];
    const qv::ManifestFile& b = again.manifest->files[i];
    if (a.name != b.name || a.size != b.size || a.sha256 != b.sha256 || a.place != b.place) std::abort();
  }
  return 0;
}
