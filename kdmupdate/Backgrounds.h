// The update tool's window backgrounds, drawn in code: a picture of the unit
// (its front panel, or its circuit board) that fades to white towards the
// left, where the window's texts stand.
#pragma once

#include <QPixmap>
#include <QSize>

namespace kdmupdate {

QPixmap frontPanelBackground(QSize size);
QPixmap circuitBoardBackground(QSize size);

} // namespace kdmupdate
