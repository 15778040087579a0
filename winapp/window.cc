#include "winapp/window.h"

#include "app/form/messages.h"

#include <commctrl.h>
#include <richedit.h>

#include <exception>
#include <map>
#include <set>
#include <string>

namespace winapp {
namespace {

std::function<void(const std::string&)>& errorReporter()
{
    static std::function<void(const std::string&)> reporter;
    return reporter;
}

std::function<void()>& beepHook()
{
    static std::function<void()> hook;
    return hook;
}

std::set<HWND>& forms()
{
    static std::set<HWND> all;
    return all;
}

std::map<HWND, std::function<bool()>>& inputRefusers()
{
    static std::map<HWND, std::function<bool()>> all;
    return all;
}

// Per form: a key pressed with Ctrl, and the system command it stands for.
std::map<HWND, std::map<UINT, UINT>>& commandKeys()
{
    static std::map<HWND, std::map<UINT, UINT>> all;
    return all;
}

// Input the user gives a form that refuses it now.
bool refused(const MSG& msg)
{
    const UINT m = msg.message;
    const bool keys = m >= WM_KEYFIRST && m <= WM_KEYLAST;
    const bool mouse = m >= WM_MOUSEFIRST && m <= WM_MOUSELAST;
    const bool frameMouse = m >= WM_NCMOUSEMOVE && m <= WM_NCXBUTTONDBLCLK;
    if (!msg.hwnd || !(keys || mouse || frameMouse))
        return false;
    const auto refuser = inputRefusers().find(GetAncestor(msg.hwnd, GA_ROOT));
    if (refuser == inputRefusers().end() || !refuser->second())
        return false;
    // The form's own frame moves and closes it; the controls' frames are
    // their scroll bars.
    if (frameMouse)
        return msg.hwnd != refuser->first;
    if (m == WM_SYSKEYDOWN || m == WM_SYSKEYUP || m == WM_SYSCHAR)
        return msg.wParam != VK_F4 && msg.wParam != VK_SPACE && msg.wParam != VK_MENU;
    return true;
}

int screenDpi()
{
    static const int dpi = [] {
        HDC screen = GetDC(nullptr);
        const int value = screen ? GetDeviceCaps(screen, LOGPIXELSY) : 96;
        if (screen)
            ReleaseDC(nullptr, screen);
        return value > 0 ? value : 96;
    }();
    return dpi;
}

HFONT makeFormFont(int weight)
{
    LOGFONTW font{};
    font.lfHeight = -MulDiv(8, screenDpi(), 72);
    font.lfWeight = weight;
    font.lfCharSet = DEFAULT_CHARSET;
    font.lfPitchAndFamily = VARIABLE_PITCH | FF_SWISS;
    lstrcpynW(font.lfFaceName, L"MS Sans Serif", LF_FACESIZE);
    return CreateFontIndirectW(&font);
}

LRESULT CALLBACK classProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    auto* handler = reinterpret_cast<MessageHandler*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (message == WM_NCCREATE) {
        handler = static_cast<MessageHandler*>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams);
        SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(handler));
    }
    if (!handler)
        return DefWindowProcW(window, message, wParam, lParam);
    const LRESULT result = guarded([&] { return (*handler)(window, message, wParam, lParam); },
                                   message == WM_NCCREATE ? TRUE : 0);
    if (message == WM_NCDESTROY) {
        SetWindowLongPtrW(window, GWLP_USERDATA, 0);
        delete handler;
    }
    return result;
}

LRESULT CALLBACK subclassProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR id, DWORD_PTR data)
{
    auto* handler = reinterpret_cast<MessageHandler*>(data);
    if (message == WM_NCDESTROY) {
        RemoveWindowSubclass(window, subclassProc, id);
        delete handler;
        return DefSubclassProc(window, message, wParam, lParam);
    }
    return guarded([&] { return (*handler)(window, message, wParam, lParam); });
}

HHOOK g_boxHook = nullptr;

// The box's own dialog procedure ignores Escape when it has no Cancel button;
// in a Yes/No box Escape answers No.
LRESULT CALLBACK escapeAnswersNo(HWND box, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR id, DWORD_PTR)
{
    if (message == WM_COMMAND && LOWORD(wParam) == IDCANCEL && GetDlgItem(box, IDNO)) {
        EndDialog(box, IDNO);
        return 0;
    }
    if (message == WM_NCDESTROY)
        RemoveWindowSubclass(box, escapeAnswersNo, id);
    return DefSubclassProc(box, message, wParam, lParam);
}

// Catches the box as it comes up: it goes above the topmost windows (the
// system's own MB_TOPMOST is not honoured everywhere) and gets Escape.
LRESULT CALLBACK watchForTheBox(int code, WPARAM wParam, LPARAM lParam)
{
    if (code == HCBT_ACTIVATE) {
        HWND box = reinterpret_cast<HWND>(wParam);
        wchar_t name[16] = {};
        GetClassNameW(box, name, 16);
        if (lstrcmpW(name, L"#32770") == 0) {
            SetWindowPos(box, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
            SetWindowSubclass(box, escapeAnswersNo, 1, 0);
            UnhookWindowsHookEx(g_boxHook);
            g_boxHook = nullptr;
        }
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

bool isEdit(HWND window)
{
    wchar_t name[32] = {};
    GetClassNameW(window, name, 32);
    return lstrcmpiW(name, L"Edit") == 0 || lstrcmpiW(name, L"RichEdit20W") == 0;
}

bool isSingleLineEdit(HWND window)
{
    return isEdit(window) && !(GetWindowLongW(window, GWL_STYLE) & ES_MULTILINE);
}

// A form's command key: Ctrl and the key, no Alt or Shift, outside a field the
// user types into.
bool choseCommand(const MSG& msg)
{
    if (msg.message != WM_KEYDOWN || !msg.hwnd || GetKeyState(VK_CONTROL) >= 0 || GetKeyState(VK_MENU) < 0 ||
        GetKeyState(VK_SHIFT) < 0)
        return false;
    HWND form = GetAncestor(msg.hwnd, GA_ROOT);
    const auto keys = commandKeys().find(form);
    if (keys == commandKeys().end())
        return false;
    const auto command = keys->second.find(static_cast<UINT>(msg.wParam));
    if (command == keys->second.end())
        return false;
    if (isEdit(msg.hwnd) && IsWindowEnabled(msg.hwnd) && !(GetWindowLongW(msg.hwnd, GWL_STYLE) & ES_READONLY))
        return false;
    SendMessageW(form, WM_SYSCOMMAND, command->second, 0);
    return true;
}

} // namespace

std::wstring widen(const std::string& utf8)
{
    if (utf8.empty())
        return {};
    const int n = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
    std::wstring out(static_cast<std::size_t>(n), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), out.data(), n);
    return out;
}

std::string narrow(const std::wstring& utf16)
{
    if (utf16.empty())
        return {};
    const int n = WideCharToMultiByte(CP_UTF8, 0, utf16.data(), static_cast<int>(utf16.size()), nullptr, 0, nullptr,
                                      nullptr);
    std::string out(static_cast<std::size_t>(n), '\0');
    WideCharToMultiByte(CP_UTF8, 0, utf16.data(), static_cast<int>(utf16.size()), out.data(), n, nullptr, nullptr);
    return out;
}

std::wstring windowText(HWND window)
{
    const int length = GetWindowTextLengthW(window);
    std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
    const int copied = GetWindowTextW(window, text.data(), length + 1);
    text.resize(static_cast<std::size_t>(copied > 0 ? copied : 0));
    return text;
}

int scaled(int pixels)
{
    return MulDiv(pixels, screenDpi(), 96);
}

RECT scaledRect(int left, int top, int width, int height)
{
    return {scaled(left), scaled(top), scaled(left) + scaled(width), scaled(top) + scaled(height)};
}

HFONT formFont()
{
    static const HFONT font = makeFormFont(FW_NORMAL);
    return font;
}

HFONT boldFont()
{
    static const HFONT font = makeFormFont(FW_BOLD);
    return font;
}

HINSTANCE instance()
{
    return GetModuleHandleW(nullptr);
}

LRESULT guarded(const std::function<LRESULT()>& handler, LRESULT onError)
{
    try {
        return handler();
    } catch (const Abort&) {
    } catch (const std::exception& e) {
        reportError(e.what());
    } catch (...) {
        reportError(app::kUnknownError);
    }
    return onError;
}

void reportError(const std::string& message)
{
    if (errorReporter()) {
        errorReporter()(message);
        return;
    }
    messageBox(mainWindow(), app::exceptionBoxText(message), applicationTitle(), MB_OK | MB_ICONSTOP);
}

int messageBox(HWND owner, const std::string& text, const std::wstring& title, UINT kind)
{
    std::wstring lines;
    const std::wstring wide = widen(text);
    for (std::size_t i = 0; i < wide.size(); ++i) {
        lines += wide[i];
        if (wide[i] == L'\r' && (i + 1 == wide.size() || wide[i + 1] != L'\n'))
            lines += L'\n';
    }
    if (!g_boxHook)
        g_boxHook = SetWindowsHookExW(WH_CBT, watchForTheBox, nullptr, GetCurrentThreadId());
    const int answer = MessageBoxW(owner, lines.c_str(), title.c_str(), kind | MB_TOPMOST | MB_SETFOREGROUND);
    if (g_boxHook) {
        UnhookWindowsHookEx(g_boxHook);
        g_boxHook = nullptr;
    }
    return answer;
}

void setErrorReporter(std::function<void(const std::string&)> reporter)
{
    errorReporter() = std::move(reporter);
}

std::wstring applicationTitle()
{
    wchar_t path[MAX_PATH] = {};
    const DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring name(path, length);
    const std::size_t slash = name.find_last_of(L"\\/");
    if (slash != std::wstring::npos)
        name.erase(0, slash + 1);
    const std::size_t dot = name.find(L'.');
    if (dot != std::wstring::npos)
        name.resize(dot);
    if (name.size() > 1)
        CharLowerBuffW(name.data() + 1, static_cast<DWORD>(name.size() - 1));
    return name;
}

HWND createWindow(const WindowClass& cls, DWORD exStyle, const wchar_t* text, DWORD style, const RECT& place,
                  HWND parent, HMENU id, MessageHandler handler)
{
    static std::set<std::wstring> registered;
    if (registered.insert(cls.name).second) {
        WNDCLASSEXW wc{};
        wc.cbSize = sizeof wc;
        wc.style = cls.style;
        wc.lpfnWndProc = classProc;
        wc.hInstance = instance();
        wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
        wc.hbrBackground = cls.background;
        wc.hIcon = cls.icon;
        wc.lpszClassName = cls.name;
        RegisterClassExW(&wc);
    }
    // Freed with the window, in classProc.
    auto* kept = new MessageHandler(std::move(handler));
    return CreateWindowExW(exStyle, cls.name, text, style, place.left, place.top, place.right - place.left,
                           place.bottom - place.top, parent, id, instance(), kept);
}

HWND createTextField(DWORD exStyle, const std::wstring& text, DWORD style, const RECT& place, HWND parent, int id)
{
    static const HMODULE library = LoadLibraryW(L"riched20.dll");
    (void)library;
    HWND field = CreateWindowExW(exStyle, L"RichEdit20W", L"", WS_CHILD | WS_VISIBLE | style, place.left, place.top,
                                 place.right - place.left, place.bottom - place.top, parent,
                                 reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), instance(), nullptr);
    // Plain text only, as in an edit control; set while the field is empty.
    SendMessageW(field, EM_SETTEXTMODE, TM_PLAINTEXT, 0);
    SendMessageW(field, WM_SETFONT, reinterpret_cast<WPARAM>(formFont()), FALSE);
    SetWindowTextW(field, text.c_str());
    return field;
}

void subclass(HWND control, MessageHandler handler)
{
    static UINT_PTR next = 1;
    SetWindowSubclass(control, subclassProc, next++,
                      reinterpret_cast<DWORD_PTR>(new MessageHandler(std::move(handler))));
}

LRESULT defaultHandling(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    return DefSubclassProc(window, message, wParam, lParam);
}

void centreOnScreen(HWND window, bool inside)
{
    RECT frame, client;
    GetWindowRect(window, &frame);
    GetClientRect(window, &client);
    MapWindowPoints(window, nullptr, reinterpret_cast<POINT*>(&client), 2);
    const RECT& centred = inside ? client : frame;
    const int left = (GetSystemMetrics(SM_CXSCREEN) - (centred.right - centred.left)) / 2;
    const int top = (GetSystemMetrics(SM_CYSCREEN) - (centred.bottom - centred.top)) / 2;
    SetWindowPos(window, nullptr, left - (centred.left - frame.left), top - (centred.top - frame.top), 0, 0,
                 SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

namespace {
HWND g_mainWindow = nullptr;
} // namespace

HWND mainWindow()
{
    return g_mainWindow && IsWindow(g_mainWindow) ? g_mainWindow : nullptr;
}

void setMainWindow(HWND window)
{
    g_mainWindow = window;
}

void registerForm(HWND form)
{
    forms().insert(form);
}

void unregisterForm(HWND form)
{
    forms().erase(form);
    inputRefusers().erase(form);
    commandKeys().erase(form);
}

void refuseInputWhile(HWND form, std::function<bool()> busy)
{
    inputRefusers()[form] = std::move(busy);
}

void addCommandKey(HWND form, UINT vk, UINT command)
{
    commandKeys()[form][vk] = command;
}

bool preTranslate(MSG& msg)
{
    if (refused(msg) || choseCommand(msg))
        return true;
    if (msg.message != WM_KEYDOWN || msg.wParam != VK_TAB || GetKeyState(VK_CONTROL) < 0 || GetKeyState(VK_MENU) < 0)
        return false;
    HWND form = GetAncestor(msg.hwnd, GA_ROOT);
    if (!forms().count(form) || !IsWindow(form))
        return false;
    HWND focus = GetFocus();
    if (focus && GetAncestor(focus, GA_ROOT) != form)
        focus = nullptr;
    // A form's controls that take the focus, in their tab order (the order
    // they were made in); disabled ones are passed over.
    HWND next = GetNextDlgTabItem(form, focus, GetKeyState(VK_SHIFT) < 0);
    if (next) {
        SetFocus(next);
        // Entering a one-line field from the keyboard selects its text.
        if (isSingleLineEdit(next))
            SendMessageW(next, EM_SETSEL, 0, -1);
    }
    return true;
}

void pumpMessages(int limit)
{
    MSG msg;
    for (int i = 0; i < limit && PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE); ++i) {
        if (msg.message == WM_QUIT) {
            // The loop that runs the program ends it, once the handler returns.
            PostQuitMessage(static_cast<int>(msg.wParam));
            return;
        }
        if (!preTranslate(msg)) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
    }
}

int runMessageLoop()
{
    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
        if (!preTranslate(msg)) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
    }
    return static_cast<int>(msg.wParam);
}

void beep()
{
    if (beepHook())
        beepHook()();
    else
        MessageBeep(MB_OK);
}

void setBeepHook(std::function<void()> hook)
{
    beepHook() = std::move(hook);
}

} // namespace winapp
