#pragma once
// The windows were laid out for the Song typeface of Chinese desktops; here an
// installed CJK serif face takes its place (fonts-noto-cjk gives "Noto Serif
// CJK SC"), and any CJK face when that is missing.
#include <QFont>

namespace qv::ui {

// A CJK serif face, `pixels` high.
QFont CjkFont(int pixels, bool bold);
// The Song face draws Latin letters and digits at a fixed pitch, which keeps
// hex dumps in columns; the terminal pane uses a fixed-pitch CJK face for that.
QFont CjkFixedFont(int pixels);

}  // namespace qv::ui
