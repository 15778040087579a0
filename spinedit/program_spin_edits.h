#pragma once

#include "spinedit/spin_edit.h"

#include <QSize>

namespace spinedit {

// The main window's two spin editors as its layout creates them: named after
// the layout, 73 x 21 pixels, with the hand pointer, disabled until a minute is
// selected, and with the value properties of program_editors.h. The window
// places them and connects RxNew's OnChange.

inline constexpr QSize kProgramEditorSize{73, 21};

TRxSpinEdit* createRxNew(QWidget* parent);
TRxSpinEdit* createRXNewSize(QWidget* parent);

} // namespace spinedit
