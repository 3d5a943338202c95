#pragma once
// Where the program keeps files of its own: the drive-family table, the
// default folders for backups and firmware, the head serial-number picture.
//
// The program may be installed in a folder the user cannot write. New files
// therefore go beside the program only when that folder is writable, and into
// the user's data folder otherwise; existing files are looked for beside the
// program first, so a table an administrator put there wins. A program
// installed among the system's programs (/usr/bin ...) keeps its files in the
// user's data folder only, even when run by root, who could write there.
#include <string>
#include <string_view>

namespace qv {

// The folder of the running program, ending in '/'.
std::string ProgramFolder();
// $XDG_DATA_HOME/quorvane/, or ~/.local/share/quorvane/ when XDG_DATA_HOME is
// unset, empty or not absolute. Ends in '/'.
std::string UserDataFolder();

class OwnFiles {
 public:
  OwnFiles() = default;
  // Both folders end in '/'. A system folder of programs as `programFolder`
  // leaves ProgramDir() empty.
  OwnFiles(std::string programFolder, std::string userFolder);

  const std::string& ProgramDir() const { return programFolder_; }
  const std::string& UserDir() const { return userFolder_; }

  // Where the program writes a file of its own: beside the program when that
  // folder can be written, else the user's data folder, created with its
  // parents. Empty when neither can be written.
  std::string WritableFolder() const;
  // The path of an existing file of that name, beside the program first, then
  // in the user's data folder; empty when neither holds one.
  std::string Find(std::string_view name) const;

 private:
  std::string programFolder_;
  std::string userFolder_;
};

}  // namespace qv
