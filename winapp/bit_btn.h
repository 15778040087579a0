#pragma once

#include "winapp/pictures.h"
#include "winapp/window.h"

#include <string>

namespace winapp {

// A push button with a picture above its caption, the two centred together
// 4 pixels apart. Its bitmap holds two pictures side by side: the first
// shows while the button is enabled, the second while it is disabled.
//
// The window it is on passes it WM_DRAWITEM.
class TBitBtn {
public:
    TBitBtn(HWND parent, const RECT& place, int id, const std::wstring& caption, const wchar_t* glyphs);
    TBitBtn(const TBitBtn&) = delete;
    TBitBtn& operator=(const TBitBtn&) = delete;

    HWND handle() const { return m_window; }
    void drawItem(const DRAWITEMSTRUCT& item) const;

private:
    HWND m_window = nullptr;
    Picture m_glyphs;
};

} // namespace winapp
