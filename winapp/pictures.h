#pragma once

#include "winapp/window.h"

#include <cstdint>
#include <vector>

namespace winapp {

// The colour the program's bitmaps use for their transparent pixels.
inline constexpr COLORREF kTransparent = RGB(255, 0, 255);

// A bitmap resource as colours, top row first.
struct Picture {
    int width = 0;
    int height = 0;
    std::vector<COLORREF> pixels;
    bool empty() const { return pixels.empty(); }
    COLORREF at(int x, int y) const { return pixels[static_cast<std::size_t>(y * width + x)]; }
};

// Resource names, as the program's .rc gives them.
inline constexpr const wchar_t* kMoveTick = L"MOVETICK"; // two 16 x 16 pictures side by side
inline constexpr const wchar_t* kOpenFolder = L"OPENFOLDER";
inline constexpr const wchar_t* kClosedFolder = L"CLOSEDFOLDER";
inline constexpr const wchar_t* kMainIcon = L"MAINICON";

// Empty when the program has no such resource.
Picture loadPicture(const wchar_t* resource);

// Draws a `width` x `height` part of `picture` from column `fromX`, leaving
// its transparent pixels alone.
void drawPicture(HDC dc, const Picture& picture, int x, int y, int fromX, int width, int height);

HICON applicationIcon();

} // namespace winapp
