#include "console/long_operation.h"

#include "console/main.h"
#include "lang/translate.h"

namespace qv {

LongOperation::LongOperation(TFrmMain& main, std::string name) : main_(main) {
  if (main_.busyWith_.empty()) {
    main_.busyWith_ = std::move(name);
    main_.busyAtDepth_ = main_.eventDepth_;
    granted_ = first_ = true;
  } else if (main_.eventDepth_ == main_.busyAtDepth_) {
    // Not from inside a wait: the running operation calls this one itself.
    granted_ = true;
  } else {
    main_.Refuse(TrFormat("“{1}”正在进行，请等它结束（或按STOP中止）后再开始其它操作！", main_.busyWith_));
  }
}

LongOperation::~LongOperation() {
  if (!first_) return;
  main_.busyWith_.clear();
  if (main_.statusRefusal_) {
    main_.statusRefusal_ = false;
    main_.ShowStatus();
  }
}

void TFrmMain::Refuse(const std::string& text) {
  // Between the operation's progress line and its verdict, which still goes
  // on the progress line.
  AddNotice(text);
  edStatus = " " + text;
  statusRefusal_ = true;
  Notify(MainView::What::Status);
}

bool TFrmMain::RefusedWhileBusy(std::string_view control) {
  if (busyWith_.empty()) return false;
  Refuse(TrFormat("“{1}”正在进行，{2}暂不可用（按STOP可中止它）。", busyWith_, control));
  return true;
}

}  // namespace qv
