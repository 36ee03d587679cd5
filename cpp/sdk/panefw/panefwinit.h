#pragma once

// One-time set-up of the framework: font substitutions so that the families layouts ask for
// ("宋体", "微软雅黑", ...) render with an installed CJK font. Safe to call more than once; the
// layout loader calls it.

#include <QFont>

namespace panefw {

void initialize();
// 12 px CJK sans, used by widgets that were given no font.
QFont defaultFont();

} // namespace panefw
