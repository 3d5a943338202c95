#include "console/own_files.h"

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>

#include "console/text.h"
#include "files/folder_check.h"

namespace qv {

namespace fs = std::filesystem;

namespace {

bool IsWritableFolder(const std::string& folder) {
  std::error_code ec;
  return fs::is_directory(folder, ec) && access(folder.c_str(), W_OK | X_OK) == 0;
}

bool IsSystemProgramFolder(const std::string& folder) {
  for (const char* system : {"/bin/", "/sbin/", "/usr/bin/", "/usr/sbin/", "/usr/local/bin/", "/usr/local/sbin/",
                             "/usr/games/"})
    if (folder == system) return true;
  return false;
}

std::string HomeFolder() {
  const char* home = std::getenv("HOME");
  if (home && *home) return home;
  const passwd* entry = getpwuid(getuid());
  return entry && entry->pw_dir ? entry->pw_dir : "";
}

}  // namespace

std::string ProgramFolder() {
  std::error_code ec;
  std::string folder = fs::read_symlink("/proc/self/exe", ec).parent_path().string();
  if (ec || folder.empty()) folder = fs::current_path(ec).string();
  return WithSlash(Trim(folder));
}

std::string UserDataFolder() {
  const char* dataHome = std::getenv("XDG_DATA_HOME");
  // A relative XDG_DATA_HOME is invalid and ignored, as the base-directory rules say.
  if (dataHome && dataHome[0] == '/') return WithSlash(dataHome) + "quorvane/";
  return WithSlash(HomeFolder()) + ".local/share/quorvane/";
}

OwnFiles::OwnFiles(std::string programFolder, std::string userFolder)
    : programFolder_(WithSlash(std::move(programFolder))), userFolder_(WithSlash(std::move(userFolder))) {
  if (IsSystemProgramFolder(programFolder_)) programFolder_.clear();
}

std::string OwnFiles::WritableFolder() const {
  if (IsWritableFolder(programFolder_)) return programFolder_;
  std::error_code ec;
  fs::create_directories(userFolder_, ec);
  return IsWritableFolder(userFolder_) ? userFolder_ : std::string();
}

std::string OwnFiles::Find(std::string_view name) const {
  for (const std::string* folder : {&programFolder_, &userFolder_}) {
    if (folder->empty()) continue;
    const std::string path = *folder + std::string(name);
    std::error_code ec;
    if (fs::is_regular_file(path, ec)) return path;
  }
  return "";
}

}  // namespace qv
