// The drive's own family report (the lines after Ctrl-A and Ctrl-L), the keys
// built from it and their search in the default family list.
#include <cstdlib>

#include "console/text.h"
#include "console/text_store.h"
#include "firmware/family/family_lookup.h"
#include "firmware/family/family_table.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const std::vector<std::string> names = [] {
    qv::FamilyTable table;
    table.Parse(qv::BuiltInFamilyTable());
    return table.Names();
  }();
  std::vector<std::string> lines;
  for (std::string_view line : qv::SplitLines(std::string_view(reinterpret_cast<const char*>(data), size)))
    lines.push_back(qv::Utf8FromGbk(line));
  const qv::FamilyReport report = qv::ParseFamilyReport(lines);
  report.TypeName();
  if (report.Keys().size() > 4) std::abort();
  qv::ListControl list{names, 3};
  const bool matched = qv::SelectFamily(list, report);
  // No match leaves the selection; a match selects a name holding one of the keys.
  bool holdsAKey = false;
  for (const std::string& key : report.Keys()) holdsAKey |= list.Text().find(key) != std::string::npos;
  if (matched ? !holdsAKey : list.index != 3) std::abort();
  return 0;
}
