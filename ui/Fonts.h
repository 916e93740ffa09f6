// The windows' fonts. "ＭＳ Ｐゴシック" is asked for first; where it is not
// installed, the same request falls back to a Japanese gothic of the system.
#pragma once

#include <QFont>

namespace kdm::ui {

QFont msPGothic(double points);

} // namespace kdm::ui
