#pragma once
// Whether a folder takes a new file, asked before a long operation on a
// drive rather than after it: a backup or a ROM read that has nothing to put
// its files into has read the drive for nothing, or left it half done.
#include <string>

#include "files/file_io.h"

namespace qv {

// Makes a temporary file in `folder` and removes it again. With `create`,
// a missing folder is made first, with its parents. The trouble names the
// real reason in the technician's words: a file where a folder should be, a
// folder of the system's (/proc, /sys) that takes no files, no permission, a
// read-only or full medium.
FileTrouble FolderTakesNewFiles(const std::string& folder, bool create);

// The folder with a '/' at its end, as file names are joined to it; an empty
// text stays empty.
std::string WithSlash(std::string folder);

// "无法在文件夹“folder”中新建文件：reason！"
std::string FolderTroubleMessage(const std::string& folder, const FileTrouble& trouble);

}  // namespace qv
