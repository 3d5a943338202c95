#pragma once
// One long operation at a time. The waits of a running operation handle every
// window's events, so without a guard a click on another window would start a
// second operation inside the first, and its commands would land in the
// middle of the first one's dialogue with the drive (in a loader waiting for
// its blocks, say). Each long operation takes the console at its start:
//
//   LongOperation busy(main, "备份固件");
//   if (!busy) return false;  // another one runs; a message box named it
//
// A call the running operation makes itself is part of it and is let
// through; only what starts from within its waits (a click) is refused, with
// a notice in the pane and the status line: a message box would run its own
// event loop inside the operation's wait and hold the operation until closed.
// STOP, the pane, the log and the menus take no part in this and stay usable.
#include <string>

namespace qv {

class TFrmMain;

class LongOperation {
 public:
  LongOperation(TFrmMain& main, std::string name);
  ~LongOperation();
  LongOperation(const LongOperation&) = delete;
  LongOperation& operator=(const LongOperation&) = delete;

  explicit operator bool() const { return granted_; }

 private:
  TFrmMain& main_;
  bool granted_ = false;
  bool first_ = false;  // this one took the console; it gives it back
};

}  // namespace qv
