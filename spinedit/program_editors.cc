#include "spinedit/program_editors.h"

namespace spinedit {

// A layout lists only what differs from the defaults, with the bounds, step
// and time form before the value type and the value after it.

void loadRxNewLayout(SpinValue& editor)
{
    editor.setIncrement(5);
    editor.setMaxValue(59);
    editor.setTimeEcho(TTimeEcho::vtHourMin);
}

void loadRXNewSizeLayout(SpinValue& editor)
{
    editor.setIncrement(5);
    editor.setMaxValue(1.0);
    editor.setTimeEcho(TTimeEcho::vtMinSec);
    editor.setValueType(TValueType::vtTime);
    editor.setValue(190.0 / 86'400.0);
}

SpinValue makeRxNew()
{
    SpinValue editor;
    loadRxNewLayout(editor);
    return editor;
}

SpinValue makeRXNewSize()
{
    SpinValue editor;
    loadRXNewSizeLayout(editor);
    return editor;
}

} // namespace spinedit
