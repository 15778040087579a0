#pragma once

// Pictures of what the screen shows, saved as PNG files for a person to look
// at, and what the tests need to drive the program's windows with messages.

#include "winapp/window.h"

#include <cstdint>
#include <functional>
#include <ostream>
#include <string>
#include <vector>

// Rectangles compared and printed by tests; RECT lives in the global namespace.
inline bool operator==(const RECT& a, const RECT& b)
{
    return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
}
inline void PrintTo(const RECT& r, std::ostream* os)
{
    *os << r.left << "," << r.top << " " << r.right - r.left << "x" << r.bottom - r.top;
}

namespace wintest {

// RGB pixels, top row first.
struct Image {
    int width = 0;
    int height = 0;
    std::vector<std::uint32_t> pixels; // 0x00RRGGBB
    std::uint32_t at(int x, int y) const { return pixels[static_cast<std::size_t>(y * width + x)]; }
};

// What the screen shows inside `rect` (screen coordinates). Empty without a screen.
Image captureScreen(const RECT& rect);
// A window's inside as the screen shows it; the frame is the window
// manager's, which the virtual screen may not have.
Image captureWindow(HWND window);
// The same with the frame, as the system draws it.
Image captureFrame(HWND window);

// Saves a picture of a dialog or box under the screenshot folder.
void saveBox(HWND box, const std::string& name);

// PNG: 8-bit RGB, no filtering, the data in stored deflate blocks.
std::vector<std::uint8_t> encodePng(const Image& image);
bool savePng(const Image& image, const std::string& path);

std::uint32_t crc32(const std::uint8_t* data, std::size_t size, std::uint32_t crc = 0);
std::uint32_t adler32(const std::uint8_t* data, std::size_t size);

// Whether windows can be made here: under Wine, only with an X display.
bool haveScreen();

// Handles pending messages until `done` holds or `ms` have passed.
template <class Done>
bool waitFor(Done done, int ms = 2000)
{
    const DWORD start = GetTickCount();
    while (!done()) {
        if (GetTickCount() - start > static_cast<DWORD>(ms))
            return false;
        winapp::pumpMessages();
        Sleep(5);
    }
    return true;
}

// Runs `action` on the next window of the class `cls` ("#32768" for a menu)
// and the title `title` (any when null) that this thread shows, from inside
// its modal loop; when none comes within five seconds the loop is ended, so a
// test that fails to answer fails instead of hanging.
class ModalDriver {
public:
    ModalDriver(const wchar_t* title, std::function<void(HWND)> action, const wchar_t* cls = L"#32770")
        : m_title(title), m_cls(cls), m_action(std::move(action))
    {
        s_current = this;
    }
    ~ModalDriver()
    {
        KillTimer(nullptr, m_timer);
        s_current = nullptr;
    }
    bool seen = false;

private:
    static void CALLBACK tick(HWND, UINT, UINT_PTR, DWORD)
    {
        ModalDriver* self = s_current;
        if (!self || self->seen)
            return;
        const HWND box = FindWindowW(self->m_cls, self->m_title);
        if (box && IsWindowVisible(box)) {
            self->seen = true;
            self->m_action(box);
        } else if (GetTickCount() - self->m_start > 5000) {
            PostQuitMessage(1);
        }
    }

    static inline ModalDriver* s_current = nullptr;
    const wchar_t* m_title;
    const wchar_t* m_cls;
    std::function<void(HWND)> m_action;
    DWORD m_start = GetTickCount();
    UINT_PTR m_timer = SetTimer(nullptr, 0, 20, &ModalDriver::tick);
};

// Input as the system delivers it, sent straight to a window.
void click(HWND window, int x, int y);
void press(HWND window, int x, int y);
void release(HWND window, int x, int y);
void key(HWND window, UINT vk);
void type(HWND window, const std::wstring& text);
// A key through the program's own handling first (Tab, a form's Ctrl keys),
// as the message loop has it.
void loopKey(HWND window, UINT vk, bool shift = false, bool ctrl = false);

// Where a window lies in its parent's client area.
RECT placeInParent(HWND window);

} // namespace wintest
