#pragma once
// The drive a question is about, named as the technician names it: by its
// serial number (its newest backup in the library) or by a backup folder,
// which need not be in the library (the drive just backed up on the bench).
#include <string>

#include "library/library.h"

namespace qv {

struct LibrarySubject {
  LibraryEntry entry;
  std::string problem;  // why there is none
};

LibrarySubject FindSubject(FirmwareLibrary& library, const std::string& serialOrFolder);

}  // namespace qv
