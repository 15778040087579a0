#pragma once

// The spin editor's behaviour apart from drawing: what keys, typed
// characters, the clipboard and leaving the field do to its value, and where
// its button part goes. Each front end's editor translates its events into
// these calls.

#include "spinedit/spin_value.h"

namespace spinedit {

enum class SpinKey { Up, Down, Other };

// What becomes of a typed character.
enum class TypedChar {
    Refused, // dropped, with the default beep
    Edit,    // the edit's own handling
    Enter,   // a dialog key for the window, consumed
    Escape,  // a dialog key for the window, then the edit's own handling
};

class SpinEditRules {
public:
    // `value` must outlive the rules.
    explicit SpinEditRules(SpinValue& value) : m_value(value) {}

    bool ArrowKeys() const { return m_arrowKeys; }
    void setArrowKeys(bool on) { m_arrowKeys = on; }
    // Off refuses every edit from the keyboard and the clipboard; the button
    // part and the arrow keys still step.
    bool EditorEnabled() const { return m_editorEnabled; }
    void setEditorEnabled(bool on) { m_editorEnabled = on; }
    bool AutoSelect() const { return m_autoSelect; }
    void setAutoSelect(bool on) { m_autoSelect = on; }

    // Up and Down step while ArrowKeys is on, whatever the modifiers; true
    // when the key was used so.
    bool keyDown(SpinKey key);

    // Signs and digits, and by value type the real's separator (once) and
    // exponent (once), hexadecimal letters, or a time's separators; control
    // characters always, except backspace while EditorEnabled is off, which
    // then takes nothing else.
    bool AcceptsChar(char32_t c) const;
    TypedChar typed(char32_t c) const;

    // Paste and cut change the text only in an editable editor; pasted text
    // is not filtered.
    bool clipboardEdits() const { return m_editorEnabled && !m_value.ReadOnly(); }

    // Entering the field selects all its text unless a press on the text
    // itself brought the focus.
    bool selectsAllOnEntry(bool pressOnText) const { return m_autoSelect && !pressOnText; }

    // Leaving the field: a value read outside the bounds is written back, so
    // the text shows the bound. Texts that read within the bounds, those that
    // do not convert included, stay as typed.
    void leave();

private:
    SpinValue& m_value;
    bool m_arrowKeys = true;
    bool m_editorEnabled = true;
    bool m_autoSelect = true;
};

// Where the parts go, in pixels of the editor's whole window.
struct SpinRect {
    int left = 0, top = 0, width = 0, height = 0;
    friend bool operator==(const SpinRect&, const SpinRect&) = default;
};

// The diagonal button of an editor `width` x `height`: with a 3-D frame a
// square of side height - 3 reaching one pixel into the frame's top and
// inside it on the other sides; without, a square of the full height. At the
// left end with right-to-left reading.
SpinRect diagonalButtonRect(int width, int height, bool framed, bool rightToLeft);

// The room kept beside the text for a button part `partWidth` wide, so the
// text never runs under it.
struct TextMargins {
    int left = 0, right = 0;
    friend bool operator==(const TextMargins&, const TextMargins&) = default;
};
TextMargins textMargins(int partWidth, bool rightToLeft);

// The standard arrows in a client area `clientWidth` x `clientHeight`, in its
// coordinates: `arrowWidth` wide and the full height, at the right end, the
// left with right-to-left reading.
SpinRect upDownRect(int clientWidth, int clientHeight, int arrowWidth, bool rightToLeft);

// Where the text keeps in the field.
enum class TAlignment { taLeftJustify = 0, taRightJustify = 1, taCenter = 2 };
// The side the text keeps to on screen: with right-to-left reading, left and
// right swap, so left-justified text still starts away from the button part.
TAlignment visualAlignment(TAlignment alignment, bool rightToLeft);

// The editor never gets lower than its font's height plus four system borders and one.
inline int minimumHeight(int fontHeight, int systemBorder)
{
    return fontHeight + 4 * systemBorder + 1;
}

// The standard arrows' width: the system's scroll arrow width, at most 15.
inline int standardButtonWidth(int scrollArrowWidth)
{
    return scrollArrowWidth < 15 ? scrollArrowWidth : 15;
}

} // namespace spinedit
