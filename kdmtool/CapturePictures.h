// The pictures of the capture window's buttons, drawn in code: 64 x 32
// pixels each, shown above the caption.
#pragma once

#include <QPixmap>

namespace kdmtool {

inline constexpr int ButtonPictureWidth = 64;
inline constexpr int ButtonPictureHeight = 32;

QPixmap cameraPicture();     // capture
QPixmap blackCrossPicture(); // stop
QPixmap floppyDiskPicture(); // BMP save: a red arrow pointing at a floppy disk
QPixmap doorPicture();       // exit: a red arrow pointing into a door

} // namespace kdmtool
