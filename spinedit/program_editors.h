#pragma once

#include "spinedit/spin_value.h"

namespace spinedit {

// The main window's two editors as its layout sets them up. Properties are
// applied in the layout's order, so each write sees the same state as when
// the window is loaded: RXNewSize turns its initial "0" into 00:00 when it
// becomes a time editor, then takes its value of 190 s (03:10).

// The new minute: whole numbers 0..59, step 5; shows "0".
void loadRxNewLayout(SpinValue& editor);
// The new block size: a time in minutes and seconds, step 5 s, up to a day.
void loadRXNewSizeLayout(SpinValue& editor);

SpinValue makeRxNew();
SpinValue makeRXNewSize();

} // namespace spinedit
