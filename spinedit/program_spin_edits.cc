#include "spinedit/program_spin_edits.h"

#include "spinedit/program_editors.h"

namespace spinedit {
namespace {

TRxSpinEdit* createProgramEditor(QWidget* parent, const char* name, void (*loadLayout)(SpinValue&))
{
    auto* editor = new TRxSpinEdit(parent);
    editor->setObjectName(QLatin1String(name));
    loadLayout(editor->model());
    editor->resize(kProgramEditorSize);
    editor->setCursor(Qt::PointingHandCursor);
    editor->setEnabled(false);
    return editor;
}

} // namespace

TRxSpinEdit* createRxNew(QWidget* parent)
{
    return createProgramEditor(parent, "RxNew", loadRxNewLayout);
}

TRxSpinEdit* createRXNewSize(QWidget* parent)
{
    return createProgramEditor(parent, "RXNewSize", loadRXNewSizeLayout);
}

} // namespace spinedit
