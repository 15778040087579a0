#pragma once

#include <QFont>

namespace app {

// The program's windows' font: "MS Sans Serif" 8 points (11 pixels high)
// where the system has it, else the font matcher's closest sans at that height.
QFont formFont();

} // namespace app
