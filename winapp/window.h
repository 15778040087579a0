#pragma once

// What every window of the Windows front end shares: text in UTF-16, sizes
// in 96-dpi pixels, the form's fonts, and the one place where an error that
// escapes an event handler is caught and shown.

#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <functional>
#include <string>

namespace winapp {

// UTF-8 to UTF-16 and back; the program's texts are UTF-8 everywhere else.
std::wstring widen(const std::string& utf8);
std::string narrow(const std::wstring& utf16);

std::wstring windowText(HWND window);

// A length in pixels at 96 dots per inch, on this screen.
int scaled(int pixels);
RECT scaledRect(int left, int top, int width, int height);

// "MS Sans Serif" 8 points, as the layout was made for, and its bold face.
// Owned by the program; never deleted.
HFONT formFont();
HFONT boldFont();

// Where the program's windows live.
HINSTANCE instance();

// Sends every window procedure's work through one catch: an error that
// leaves a handler is shown in the exception box (or given to the reporter
// a test set) and the program goes on. An Abort leaves quietly.
class Abort {};
LRESULT guarded(const std::function<LRESULT()>& handler, LRESULT onError = 0);
void reportError(const std::string& message);

// The system's message box, modal over `owner`, above every window of the
// program (the stay-on-top progress window too) and taking the focus. In a
// Yes/No box Escape answers No. A carriage return alone breaks a line, as in
// the operations' texts. Returns the button pressed (IDOK, IDYES, IDNO).
int messageBox(HWND owner, const std::string& text, const std::wstring& title, UINT kind);
// An empty function restores the exception box.
void setErrorReporter(std::function<void(const std::string&)> reporter);

// The application's title: the program file's name without its folder, cut
// at its first full stop, every character after the first in lower case.
std::wstring applicationTitle();

// A window of a class registered by the program, whose messages go to `handler`.
// The class is registered on first use with the given style and background.
struct WindowClass {
    const wchar_t* name;
    UINT style = 0;
    HBRUSH background = nullptr;
    HICON icon = nullptr;
};
using MessageHandler = std::function<LRESULT(HWND, UINT, WPARAM, LPARAM)>;
// The handler is kept until the window is destroyed; it sees WM_NCCREATE
// and everything after, and answers nothing it leaves to DefWindowProc.
HWND createWindow(const WindowClass& cls, DWORD exStyle, const wchar_t* text, DWORD style, const RECT& place,
                  HWND parent, HMENU id, MessageHandler handler);

// A rich edit control (the system's riched20.dll, loaded on first use) for
// texts that may hold Cyrillic: Wine 8's plain edit control crashes laying
// out a Cyrillic run that begins with some lower-case letters, its rich edit
// does not.
HWND createTextField(DWORD exStyle, const std::wstring& text, DWORD style, const RECT& place, HWND parent, int id);

// Lets `handler` see a standard control's messages first; it calls
// DefSubclassProc for what it leaves to the control.
void subclass(HWND control, MessageHandler handler);
LRESULT defaultHandling(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// Keeps the user's mouse and keyboard input from a form and its controls
// while `busy` holds, as a modal window would, until the form goes. The form
// still paints, and its frame still moves it and closes it (so do Alt+F4 and
// Alt+Space); what the program itself sends its controls still arrives.
void refuseInputWhile(HWND form, std::function<bool()> busy);

// Ctrl with the key `vk` anywhere in `form` sends the form WM_SYSCOMMAND with
// `command`, as choosing that item of its system menu does; a field the user
// types into keeps the key for its own editing (Ctrl+Z undoes the typing).
void addCommandKey(HWND form, UINT vk, UINT command);

// Handles the keys the program's windows take before any control does: Tab
// and Shift+Tab move through a form's controls, a form's command keys choose
// their commands; drops the input a form refuses now. False when `msg` is
// someone else's.
bool preTranslate(MSG& msg);
// Handles every pending message, as the message loop would, at most `limit`
// of them; leaves WM_QUIT for the loop.
void pumpMessages(int limit = 10'000);
// The message loop; returns the exit code.
int runMessageLoop();

// Moves a top-level window to the middle of the screen: its whole frame, or
// with `inside` its client area (the frame then sits a title bar higher).
void centreOnScreen(HWND window, bool inside = false);

// The program's main window, which owns its other windows; null before
// there is one.
HWND mainWindow();
void setMainWindow(HWND window);

// Marks a top-level window as a form, whose controls Tab visits, until it goes.
void registerForm(HWND form);
void unregisterForm(HWND form);

// The default beep, or what a test put in its place.
void beep();
void setBeepHook(std::function<void()> hook);

} // namespace winapp
