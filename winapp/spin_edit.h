#pragma once

#include "spinedit/spin_control.h"
#include "spinedit/spin_press.h"
#include "spinedit/spin_value.h"
#include "winapp/pictures.h"
#include "winapp/window.h"

#include <functional>
#include <memory>
#include <string>
#include <vector>

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
    ~TRxSpinButton();
    TRxSpinButton(const TRxSpinButton&) = delete;
    TRxSpinButton& operator=(const TRxSpinButton&) = delete;

    HWND handle() const { return m_window; }
    spinedit::SpinButtonPress& press() { return m_press; }

    // The marks on the two halves, drawn without their kTransparent pixels.
    // An empty picture restores the built-in mark.
    const Picture& UpGlyph() const { return m_upGlyph; }
    void setUpGlyph(const Picture& glyph);
    const Picture& DownGlyph() const { return m_downGlyph; }
    void setDownGlyph(const Picture& glyph);

    std::function<void()> OnTopClick;
    std::function<void()> OnBottomClick;

    static constexpr UINT_PTR kRepeatTimer = 1;

private:
    LRESULT handle(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    void paint(HDC dc) const;
    SIZE size() const;

    HWND m_window = nullptr;
    HWND m_focusControl;
    Picture m_upGlyph;
    Picture m_downGlyph;
    spinedit::SpinButtonPress m_press;
};

// The standard arrows: the system's up-down control, kept at position 0 in
// the range -1 to 1, so that each press of an arrow and each of its own
// repeats moves it off 0 once. Its parent passes it the WM_VSCROLL the
// control sends.
class TRxUpDown {
public:
    enum class Button { Next, Previous };

    TRxUpDown(HWND parent, const RECT& place);
    ~TRxUpDown();
    TRxUpDown(const TRxUpDown&) = delete;
    TRxUpDown& operator=(const TRxUpDown&) = delete;

    HWND handle() const { return m_window; }
    // Next is the up arrow. A click raised while a handler of the previous
    // one still runs (a message loop inside it) is dropped.
    std::function<void(Button)> OnClick;
    bool clicking() const { return m_clicking; }

    // A WM_VSCROLL that reached the parent; false when it is not this control's.
    bool scrolled(WPARAM wParam, LPARAM lParam);

private:
    HWND m_window = nullptr;
    bool m_clicking = false;
};

// A one-line edit with a button part inside its right end (its left end with
// right-to-left reading) over a spinedit::SpinValue: the diagonal
// TRxSpinButton, or the standard TRxUpDown. The edit's text and the value's
// text are kept the same both ways; OnChange follows every text change
// except the writes inside a step, and a step raises it once afterwards if
// the text changed.
//
// Typed characters go through spinedit::SpinEditRules: a refused one sounds
// the beep. Up and Down step; Enter and Escape go to the dialog the editor
// is on (the default and cancel buttons), and Enter never reaches the edit.
// Paste, cut and deleting happen only in an editable editor. Leaving the
// field rewrites a value that reads outside the bounds.
//
// The window it is on passes it the edit's EN_CHANGE, found by the id.
class TRxSpinEdit {
public:
    TRxSpinEdit(HWND parent, const RECT& place, int id);
    // Destroys the edit window, raising nothing.
    ~TRxSpinEdit();
    TRxSpinEdit(const TRxSpinEdit&) = delete;
    TRxSpinEdit& operator=(const TRxSpinEdit&) = delete;

    // Changes when the alignment or the reading order makes the window anew.
    HWND handle() const { return m_window; }
    // The button part: one of the two, the other null.
    TRxSpinButton* button() { return m_button.get(); }
    TRxUpDown* upDown() { return m_upDown.get(); }

    spinedit::SpinValue& model() { return m_value; }
    spinedit::SpinEditRules& rules() { return m_rules; }
    double Value() const { return m_value.Value(); }
    void setValue(double x) { m_value.setValue(x); }
    std::wstring text() const { return windowText(m_window); }

    void StepUp() { m_value.StepUp(); }
    void StepDown() { m_value.StepDown(); }

    std::function<void()> OnChange;
    // After each step up or down, whether or not the text changed.
    std::function<void()> OnTopClick;
    std::function<void()> OnBottomClick;

    spinedit::TSpinButtonKind ButtonKind() const { return m_buttonKind; }
    // Builds the other button part when the effective kind changes. A
    // handler of the part's own click may change it: the part it replaces is
    // hidden at once and destroyed later.
    void setButtonKind(spinedit::TSpinButtonKind kind);
    // Every Windows with the new-style controls has the standard arrows, so
    // this is ButtonKind.
    spinedit::TSpinButtonKind EffectiveButtonKind() const { return m_buttonKind; }

    // The system reads the edit's alignment and reading order only when it
    // makes the window, so changing either makes the window anew: same
    // place, id, text, selection, font, frame, state and focus, the same
    // place in the tab order. Left and right alignment swap with
    // right-to-left reading.
    spinedit::TAlignment Alignment() const { return m_alignment; }
    void setAlignment(spinedit::TAlignment alignment);
    bool RightToLeft() const { return m_rightToLeft; }
    void setRightToLeft(bool on);

    // Read-only beeps on every step, and the edit takes no typing.
    bool ReadOnly() const { return m_value.ReadOnly(); }
    void setReadOnly(bool on);
    // The sunken edge, on by default; the diagonal button sits inside it.
    bool Frame() const;
    void setFrame(bool on);

    // The system's scroll arrow width, at most 15.
    int StandardButtonWidth() const;
    int ButtonPartWidth() const;
    // Its font's height plus four system borders and one.
    int MinimumHeight() const;

    // The edit's text changed (EN_CHANGE).
    void textChanged();

private:
    // What a new button part or edit window replaced: hidden at once and
    // destroyed once the messages pending then are handled, unless its own
    // click is still running (a message loop inside a handler); then it
    // waits for a later drop.
    struct Retired {
        HWND edit = nullptr;
        std::unique_ptr<TRxSpinButton> button;
        std::unique_ptr<TRxUpDown> upDown;
        bool busy() const;
    };

    HWND makeEditWindow(HWND parent, const RECT& place, int id, DWORD keptStyle, DWORD exStyle, HFONT font);
    void remakeWindow();
    Retired retireButtonPart();
    void retire(Retired retired);
    void dropRetired();

    void RebuildButton();
    void PlaceButton();
    void SetTextArea();

    LRESULT handle(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    void showModelText();
    void upDownClicked(TRxUpDown::Button button);
    void passDialogKey(WPARAM key);

    HWND m_window = nullptr;
    spinedit::SpinValue m_value;
    spinedit::SpinEditRules m_rules{m_value};
    spinedit::TSpinButtonKind m_buttonKind = spinedit::TSpinButtonKind::bkDiagonal;
    spinedit::TAlignment m_alignment = spinedit::TAlignment::taLeftJustify;
    bool m_rightToLeft = false;
    std::unique_ptr<TRxSpinButton> m_button;
    std::unique_ptr<TRxUpDown> m_upDown;
    std::vector<Retired> m_retired;
    bool m_writing = false;
};

} // namespace winapp
