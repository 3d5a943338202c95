#pragma once
// The windows' side of lang/translate.h: the same catalogue, as QString.
//   QTr("关于软件")                     a caption;
//   QTrFormat("第 {1} 道", track)       a caption with placeholders.
// Static tables mark their texts with N_() and pass them through QTr() where
// a control is given its text.
#include <QString>

#include "lang/translate.h"

namespace qv::ui {

inline QString QTr(const char* source) { return QString::fromStdString(Tr(source)); }

template <typename... Args>
QString QTrFormat(const char* source, const Args&... args) {
  return QString::fromStdString(TrFormat(source, args...));
}

}  // namespace qv::ui
