#pragma once
// The 32 x 32 signs of the port bar: a plug in its socket (port open) and a
// grey plug pulled out (port closed).
#include <QPixmap>

namespace qv::ui {

QPixmap PortSign(bool connected);

}  // namespace qv::ui
