#pragma once

#include "spinedit/spin_control.h"
#include "spinedit/spin_press.h"
#include "spinedit/spin_value.h"
#include "winapp/window.h"

#include <functional>
#include <memory>
#include <string>

namespace winapp {

// The diagonal spin button: one square split by the diagonal from its
// lower-left to its upper-right corner, stepping up from the upper half and
// down from the lower; held, it repeats (spinedit::SpinButtonPress) on a
// timer while it keeps the mouse captured. A disabled button ignores
// presses and looks the same.
class TRxSpinButton {
public:
    // `focusControl` is focused by a press, when it can take the focus.
    TRxSpinButton(HWND parent, const RECT& place, HWND focusControl);
    TRxSpinButton(const TRxSpinButton&) = delete;
    TRxSpinButton& operator=(const TRxSpinButton&) = delete;

    HWND handle() const { return m_window; }
    spinedit::SpinButtonPress& press() { return m_press; }

    std::function<void()> OnTopClick;
    std::function<void()> OnBottomClick;

    static constexpr UINT_PTR kRepeatTimer = 1;

private:
    LRESULT handle(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    void paint(HDC dc) const;
    SIZE size() const;

    HWND m_window = nullptr;
    HWND m_focusControl;
    spinedit::SpinButtonPress m_press;
};

// A one-line edit with the diagonal spin button inside its right end, over a
// spinedit::SpinValue. The edit's text and the value's text are kept the
// same both ways; OnChange follows every text change except the writes
// inside a step, and a step raises it once afterwards if the text changed.
//
// Typed characters go through spinedit::SpinEditRules: a refused one sounds
// the beep. Up and Down step; Enter and Escape go to the dialog the editor
// is on (the default and cancel buttons), and Enter never reaches the edit.
// Paste, cut and deleting happen only in an editable editor. Leaving the
// field rewrites a value that reads outside the bounds.
//
// The window it is on passes it the edit's EN_CHANGE.
class TRxSpinEdit {
public:
    TRxSpinEdit(HWND parent, const RECT& place, int id);
    TRxSpinEdit(const TRxSpinEdit&) = delete;
    TRxSpinEdit& operator=(const TRxSpinEdit&) = delete;

    HWND handle() const { return m_window; }
    TRxSpinButton& button() { return *m_button; }

    spinedit::SpinValue& model() { return m_value; }
    spinedit::SpinEditRules& rules() { return m_rules; }
    double Value() const { return m_value.Value(); }
    void setValue(double x) { m_value.setValue(x); }
    std::wstring text() const { return windowText(m_window); }

    void StepUp() { m_value.StepUp(); }
    void StepDown() { m_value.StepDown(); }

    std::function<void()> OnChange;

    // The edit's text changed (EN_CHANGE).
    void textChanged();

private:
    LRESULT handle(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    void showModelText();
    void placeButton();
    void setTextArea();
    int minimumHeight() const;
    void passDialogKey(WPARAM key);

    HWND m_window = nullptr;
    spinedit::SpinValue m_value;
    spinedit::SpinEditRules m_rules{m_value};
    std::unique_ptr<TRxSpinButton> m_button;
    bool m_writing = false;
};

} // namespace winapp
