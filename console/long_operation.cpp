#include "console/long_operation.h"

#include "console/main.h"

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
    main_.Dlg().ShowMessage("“" + main_.busyWith_ + "”正在进行，请等它结束（或按STOP中止）后再开始其它操作！");
  }
}

LongOperation::~LongOperation() {
  if (first_) main_.busyWith_.clear();
}

}  // namespace qv
