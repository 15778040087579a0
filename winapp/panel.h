#pragma once

#include "winapp/window.h"

namespace winapp {

enum class Bevel {
    // One pixel, raised: the main window's help panel.
    Raised,
    // A single dark border, a raised outer and a lowered inner bevel: the
    // progress window's panel.
    Framed,
};

// A button-face panel with a bevel. Controls on it that ask their colours
// (labels, read-only edits) get the button face too.
HWND createPanel(HWND parent, const RECT& place, Bevel bevel, DWORD exStyle = 0);

// Draws an inclusive line, both ends lit.
void drawLine(HDC dc, COLORREF colour, int x1, int y1, int x2, int y2);

// What WM_CTLCOLORSTATIC answers on a button-face window.
LRESULT buttonFaceColours(HDC dc);

} // namespace winapp
