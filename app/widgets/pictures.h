#pragma once

#include <QIcon>
#include <QPixmap>

namespace app {

// The program's icon, 32 x 32 in the 16-colour palette.
QIcon applicationIcon();

// BtnMove's two 16 x 16 pictures: the green tick, and the same tick
// embossed in grey for while the button is disabled.
QPixmap moveTick();
QPixmap moveTickDisabled();
// Both as one icon; a button shows its disabled picture by itself.
QIcon moveButtonIcon();

} // namespace app
