#pragma once

#include "winapp/pictures.h"
#include "winapp/window.h"

#include <string>

namespace winapp {

// The folder field: a one-line edit that takes any text, with a browse
// button inside its right end. The button, or Alt+Down, opens the "Select
// Directory" dialog; "OK" there replaces the text with the chosen folder.
// The button never takes the focus; the field has it again after the dialog.
class TDirectoryEdit {
public:
    static constexpr int kButtonWidth = 21;

    TDirectoryEdit(HWND parent, const RECT& place, int id);
    TDirectoryEdit(const TDirectoryEdit&) = delete;
    TDirectoryEdit& operator=(const TDirectoryEdit&) = delete;

    HWND handle() const { return m_window; }
    HWND button() const { return m_button; }
    std::wstring text() const { return windowText(m_window); }
    void setText(const std::wstring& text) { SetWindowTextW(m_window, text.c_str()); }

    // Shows the dialog modally; true when "OK" closed it.
    bool openDialog();

private:
    LRESULT handleEdit(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT handleButton(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    void placeButton();

    HWND m_window = nullptr;
    HWND m_button = nullptr;
    Picture m_picture;
    bool m_pressed = false;
    bool m_tracking = false;
    // Where the dialog starts for an empty text: the folder last chosen with
    // "OK" during this run.
    std::wstring m_lastChosen;
};

} // namespace winapp
