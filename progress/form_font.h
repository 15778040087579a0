#pragma once

#include <QFont>

namespace progress {

// The font of the program's windows: "MS Sans Serif" 8 points (11 pixels
// high) where the system has it, else the sans font nearest to it in width,
// at that height.
QFont formFont();

} // namespace progress
