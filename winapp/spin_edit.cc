#include "winapp/spin_edit.h"

#include "spinedit/spin_face.h"
#include "winapp/panel.h"

#include <windowsx.h>

namespace winapp {
namespace {

// The thin border of the window system, counted four times in the minimum height.
int systemBorder()
{
    return GetSystemMetrics(SM_CYBORDER);
}

char userDecimalSeparator()
{
    wchar_t separator[4] = {};
    if (GetLocaleInfoW(LOCALE_USER_DEFAULT, LOCALE_SDECIMAL, separator, 4) > 0 && separator[0] < 0x80)
        return static_cast<char>(separator[0]);
    return '.';
}

COLORREF faceColour(spinedit::FaceColour colour)
{
    switch (colour) {
    case spinedit::FaceColour::Frame: return GetSysColor(COLOR_3DDKSHADOW);
    case spinedit::FaceColour::Light: return GetSysColor(COLOR_BTNHIGHLIGHT);
    case spinedit::FaceColour::Dark: break;
    }
    return GetSysColor(COLOR_BTNSHADOW);
}

template <std::size_t N>
void drawGlyph(HDC dc, const std::array<const char*, N>& rows, int x, int y)
{
    for (std::size_t row = 0; row < N; ++row)
        for (int column = 0; rows[row][column]; ++column)
            if (rows[row][column] == '#')
                SetPixelV(dc, x + column, y + static_cast<int>(row), RGB(0, 0, 0));
}

int glyphWidth(const char* row)
{
    return lstrlenA(row);
}

bool canTakeFocus(HWND control)
{
    return control && (GetWindowLongW(control, GWL_STYLE) & WS_TABSTOP) && IsWindowEnabled(control) &&
           IsWindowVisible(control) && GetFocus() != control;
}

} // namespace

TRxSpinButton::TRxSpinButton(HWND parent, const RECT& place, HWND focusControl) : m_focusControl(focusControl)
{
    static const WindowClass cls{L"GridshiftSpinButton", 0, nullptr};
    m_window = createWindow(cls, 0, L"", WS_CHILD | WS_VISIBLE, place, parent, nullptr,
                            [this](HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
                                return handle(window, message, wParam, lParam);
                            });
    m_press.OnTopClick = [this] {
        if (OnTopClick)
            OnTopClick();
    };
    m_press.OnBottomClick = [this] {
        if (OnBottomClick)
            OnBottomClick();
    };
    m_press.startRepeat = [this](int ms) { SetTimer(m_window, kRepeatTimer, static_cast<UINT>(ms), nullptr); };
    m_press.stopRepeat = [this] { KillTimer(m_window, kRepeatTimer); };
    m_press.repaint = [this] { InvalidateRect(m_window, nullptr, FALSE); };
    m_press.holdsMouse = [this] { return GetCapture() == m_window; };
}

SIZE TRxSpinButton::size() const
{
    RECT r;
    GetClientRect(m_window, &r);
    return {r.right - r.left, r.bottom - r.top};
}

LRESULT TRxSpinButton::handle(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_ERASEBKGND:
        return 1;
    case WM_PAINT: {
        PAINTSTRUCT ps;
        HDC dc = BeginPaint(window, &ps);
        paint(dc);
        EndPaint(window, &ps);
        return 0;
    }
    case WM_LBUTTONDOWN: {
        if (!IsWindowEnabled(window))
            return 0;
        if (canTakeFocus(m_focusControl))
            SetFocus(m_focusControl);
        SetCapture(window);
        const SIZE s = size();
        m_press.press(GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam), s.cx, s.cy);
        return 0;
    }
    case WM_MOUSEMOVE:
        if (m_press.dragging()) {
            const SIZE s = size();
            m_press.move(GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam), s.cx, s.cy);
        }
        return 0;
    case WM_LBUTTONUP:
        // Wherever the pointer is released, the press is over.
        if (m_press.dragging()) {
            m_press.release();
            if (GetCapture() == window)
                ReleaseCapture();
        }
        return 0;
    case WM_CAPTURECHANGED:
        // Another window took the mouse (a message box, say): the press is over.
        if (reinterpret_cast<HWND>(lParam) != window)
            m_press.cancel();
        return 0;
    case WM_TIMER:
        if (wParam == kRepeatTimer)
            m_press.repeatTick();
        return 0;
    case WM_ENABLE:
        if (!wParam)
            m_press.cancel();
        InvalidateRect(window, nullptr, FALSE);
        return 0;
    case WM_SHOWWINDOW:
        if (!wParam)
            m_press.cancel();
        break;
    case WM_SETCURSOR:
        // The editor's hand, over its button part too.
        SetCursor(LoadCursorW(nullptr, IDC_HAND));
        return TRUE;
    case WM_DESTROY:
        KillTimer(window, kRepeatTimer);
        break;
    default:
        break;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

void TRxSpinButton::paint(HDC dc) const
{
    const SIZE s = size();
    const RECT all{0, 0, s.cx, s.cy};
    FillRect(dc, &all, GetSysColorBrush(COLOR_BTNFACE));
    const spinedit::TSpinPress pressed = m_press.pressedHalf();
    for (const spinedit::FaceLine& line : spinedit::faceLines(s.cx, s.cy, pressed))
        drawLine(dc, faceColour(line.colour), line.x1, line.y1, line.x2, line.y2);
    const auto up = spinedit::upGlyphCorner(s.cx, s.cy, glyphWidth(spinedit::kUpGlyph[0]),
                                            static_cast<int>(spinedit::kUpGlyph.size()), pressed);
    const auto down = spinedit::downGlyphCorner(s.cx, s.cy, glyphWidth(spinedit::kDownGlyph[0]),
                                                static_cast<int>(spinedit::kDownGlyph.size()));
    drawGlyph(dc, spinedit::kUpGlyph, up.x, up.y);
    drawGlyph(dc, spinedit::kDownGlyph, down.x, down.y);
}

TRxSpinEdit::TRxSpinEdit(HWND parent, const RECT& place, int id) : m_value(userDecimalSeparator())
{
    // Multi-line, so the text area can be set clear of the button part.
    m_window = CreateWindowExW(WS_EX_CLIENTEDGE, L"EDIT", widen(m_value.text()).c_str(),
                               WS_CHILD | WS_VISIBLE | WS_TABSTOP | WS_CLIPCHILDREN | ES_MULTILINE | ES_AUTOHSCROLL |
                                   ES_LEFT,
                               place.left, place.top, place.right - place.left, place.bottom - place.top, parent,
                               reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), instance(), nullptr);
    SendMessageW(m_window, WM_SETFONT, reinterpret_cast<WPARAM>(formFont()), FALSE);
    m_value.OnChange = [this] {
        if (OnChange)
            OnChange();
    };
    m_value.onBeep = [] { beep(); };
    m_value.onTextWritten = [this] { showModelText(); };
    m_button = std::make_unique<TRxSpinButton>(m_window, RECT{}, m_window);
    m_button->OnTopClick = [this] { StepUp(); };
    m_button->OnBottomClick = [this] { StepDown(); };
    subclass(m_window, [this](HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
        return handle(window, message, wParam, lParam);
    });
    placeButton();
    setTextArea();
}

void TRxSpinEdit::textChanged()
{
    if (!m_writing && SendMessageW(m_window, EM_GETMODIFY, 0, 0)) {
        // Typed or pasted, so OnChange sees Modified.
        SendMessageW(m_window, EM_SETMODIFY, FALSE, 0);
        m_value.setModified(true);
    }
    m_value.setText(narrow(text()));
}

void TRxSpinEdit::showModelText()
{
    const std::wstring shown = widen(m_value.text());
    if (shown == text())
        return;
    // Stepping a fully selected value keeps it selected, so typing replaces it.
    DWORD start = 0, end = 0;
    SendMessageW(m_window, EM_GETSEL, reinterpret_cast<WPARAM>(&start), reinterpret_cast<LPARAM>(&end));
    const bool allSelected = start == 0 && end > 0 && end == static_cast<DWORD>(text().size());
    m_writing = true;
    SetWindowTextW(m_window, shown.c_str());
    m_writing = false;
    if (allSelected)
        SendMessageW(m_window, EM_SETSEL, 0, -1);
}

void TRxSpinEdit::placeButton()
{
    RECT window;
    GetWindowRect(m_window, &window);
    const int w = window.right - window.left;
    const int h = window.bottom - window.top;
    const bool framed = GetWindowLongW(m_window, GWL_EXSTYLE) & WS_EX_CLIENTEDGE;
    const spinedit::SpinRect square = spinedit::diagonalButtonRect(w, h, framed, false);
    // The square is in the editor's window; the button lives in its client area.
    POINT origin{0, 0};
    ClientToScreen(m_window, &origin);
    const int dx = origin.x - window.left;
    const int dy = origin.y - window.top;
    SetWindowPos(m_button->handle(), nullptr, square.left - dx, square.top - dy, square.width, square.height,
                 SWP_NOZORDER | SWP_NOACTIVATE);
}

void TRxSpinEdit::setTextArea()
{
    RECT client;
    GetClientRect(m_window, &client);
    RECT button;
    GetWindowRect(m_button->handle(), &button);
    const spinedit::TextMargins margins = spinedit::textMargins(button.right - button.left, false);
    RECT area{margins.left, 0, client.right - margins.right, client.bottom + 1};
    SendMessageW(m_window, EM_SETRECTNP, 0, reinterpret_cast<LPARAM>(&area));
}

int TRxSpinEdit::minimumHeight() const
{
    HDC dc = GetDC(m_window);
    HGDIOBJ old = SelectObject(dc, formFont());
    TEXTMETRICW metrics{};
    GetTextMetricsW(dc, &metrics);
    SelectObject(dc, old);
    ReleaseDC(m_window, dc);
    return spinedit::minimumHeight(metrics.tmHeight, systemBorder());
}

// A dialog's default button takes Enter and its cancel button Escape; a
// window that is no dialog has neither.
void TRxSpinEdit::passDialogKey(WPARAM key)
{
    HWND root = GetAncestor(m_window, GA_ROOT);
    wchar_t name[16] = {};
    GetClassNameW(root, name, 16);
    if (lstrcmpW(name, L"#32770") != 0)
        return;
    if (key == VK_ESCAPE) {
        SendMessageW(root, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(root, IDCANCEL)));
        return;
    }
    const LRESULT id = SendMessageW(root, DM_GETDEFID, 0, 0);
    if (HIWORD(id) == DC_HASDEFID) {
        HWND button = GetDlgItem(root, LOWORD(id));
        if (button && IsWindowEnabled(button))
            SendMessageW(root, WM_COMMAND, MAKEWPARAM(LOWORD(id), BN_CLICKED), reinterpret_cast<LPARAM>(button));
    }
}

LRESULT TRxSpinEdit::handle(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_KEYDOWN: {
        // Modifiers are not looked at: Shift+Up steps as well.
        const spinedit::SpinKey key = wParam == VK_UP     ? spinedit::SpinKey::Up
                                      : wParam == VK_DOWN ? spinedit::SpinKey::Down
                                                          : spinedit::SpinKey::Other;
        if (m_rules.keyDown(key))
            return 0;
        if (wParam == VK_DELETE && !m_rules.clipboardEdits())
            return 0;
        break;
    }
    case WM_CHAR:
        switch (m_rules.typed(static_cast<char32_t>(wParam))) {
        case spinedit::TypedChar::Refused:
            beep();
            return 0;
        case spinedit::TypedChar::Enter:
            passDialogKey(VK_RETURN);
            return 0;
        case spinedit::TypedChar::Escape:
            passDialogKey(VK_ESCAPE);
            break;
        case spinedit::TypedChar::Edit:
            break;
        }
        break;
    case WM_SETTEXT: {
        // A multi-line edit sends no EN_CHANGE for a text set from outside.
        const LRESULT result = defaultHandling(window, message, wParam, lParam);
        if (!m_writing)
            textChanged();
        return result;
    }
    case WM_PASTE:
    case WM_CUT:
    case WM_CLEAR:
    case WM_UNDO:
    case EM_UNDO:
        if (!m_rules.clipboardEdits())
            return 0;
        break;
    case WM_SETFOCUS: {
        const LRESULT result = defaultHandling(window, message, wParam, lParam);
        POINT cursor{};
        GetCursorPos(&cursor);
        const bool pressOnText = GetKeyState(VK_LBUTTON) < 0 && WindowFromPoint(cursor) == window;
        if (m_rules.selectsAllOnEntry(pressOnText))
            SendMessageW(window, EM_SETSEL, 0, -1);
        return result;
    }
    case WM_KILLFOCUS: {
        const LRESULT result = defaultHandling(window, message, wParam, lParam);
        m_rules.leave();
        return result;
    }
    case WM_ENABLE:
        EnableWindow(m_button->handle(), static_cast<BOOL>(wParam));
        break;
    case WM_SIZE: {
        const LRESULT result = defaultHandling(window, message, wParam, lParam);
        RECT r;
        GetWindowRect(window, &r);
        const int height = r.bottom - r.top;
        if (height < minimumHeight()) {
            SetWindowPos(window, nullptr, 0, 0, r.right - r.left, minimumHeight(),
                         SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
            return result;
        }
        placeButton();
        setTextArea();
        return result;
    }
    case WM_SETCURSOR:
        if (LOWORD(lParam) == HTCLIENT) {
            SetCursor(LoadCursorW(nullptr, IDC_HAND));
            return TRUE;
        }
        break;
    default:
        break;
    }
    return defaultHandling(window, message, wParam, lParam);
}

} // namespace winapp
