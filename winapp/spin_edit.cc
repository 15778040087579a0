#include "winapp/spin_edit.h"

#include "spinedit/spin_face.h"
#include "winapp/panel.h"

#include <commctrl.h>
#include <windowsx.h>

#include <algorithm>
#include <utility>

namespace winapp {
namespace {

using spinedit::TSpinButtonKind;

// Asks the editor to destroy what it retired; posted to its edit window.
constexpr UINT kDropRetired = WM_APP + 0x53;

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
    case spinedit::FaceColour::Frame:
        return GetSysColor(COLOR_3DDKSHADOW);
    case spinedit::FaceColour::Light:
        return GetSysColor(COLOR_BTNHIGHLIGHT);
    case spinedit::FaceColour::Dark:
        break;
    }
    return GetSysColor(COLOR_BTNSHADOW);
}

// A built-in mark as a picture: black on transparent.
template <std::size_t N>
Picture glyphPicture(const std::array<const char*, N>& rows)
{
    Picture glyph;
    glyph.width = lstrlenA(rows[0]);
    glyph.height = static_cast<int>(N);
    for (const char* row : rows)
        for (int x = 0; x < glyph.width; ++x)
            glyph.pixels.push_back(row[x] == '#' ? RGB(0, 0, 0) : kTransparent);
    return glyph;
}

bool canTakeFocus(HWND control)
{
    return control && (GetWindowLongW(control, GWL_STYLE) & WS_TABSTOP) && IsWindowEnabled(control) &&
           IsWindowVisible(control) && GetFocus() != control;
}

void destroyWindow(HWND window)
{
    if (window && IsWindow(window))
        DestroyWindow(window);
}

DWORD alignmentStyle(spinedit::TAlignment alignment, bool rightToLeft)
{
    switch (spinedit::visualAlignment(alignment, rightToLeft)) {
    case spinedit::TAlignment::taRightJustify:
        return ES_RIGHT;
    case spinedit::TAlignment::taCenter:
        return ES_CENTER;
    case spinedit::TAlignment::taLeftJustify:
        break;
    }
    return ES_LEFT;
}

RECT placeInParent(HWND window)
{
    RECT place;
    GetWindowRect(window, &place);
    MapWindowPoints(nullptr, GetParent(window), reinterpret_cast<POINT*>(&place), 2);
    return place;
}

} // namespace

TRxSpinButton::TRxSpinButton(HWND parent, const RECT& place, HWND focusControl)
    : m_focusControl(focusControl),
      m_upGlyph(glyphPicture(spinedit::kUpGlyph)),
      m_downGlyph(glyphPicture(spinedit::kDownGlyph))
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

TRxSpinButton::~TRxSpinButton()
{
    destroyWindow(m_window);
}

void TRxSpinButton::setUpGlyph(const Picture& glyph)
{
    m_upGlyph = glyph.empty() ? glyphPicture(spinedit::kUpGlyph) : glyph;
    InvalidateRect(m_window, nullptr, FALSE);
}

void TRxSpinButton::setDownGlyph(const Picture& glyph)
{
    m_downGlyph = glyph.empty() ? glyphPicture(spinedit::kDownGlyph) : glyph;
    InvalidateRect(m_window, nullptr, FALSE);
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
    const auto up = spinedit::upGlyphCorner(s.cx, s.cy, m_upGlyph.width, m_upGlyph.height, pressed);
    const auto down = spinedit::downGlyphCorner(s.cx, s.cy, m_downGlyph.width, m_downGlyph.height);
    drawPicture(dc, m_upGlyph, up.x, up.y, 0, m_upGlyph.width, m_upGlyph.height);
    drawPicture(dc, m_downGlyph, down.x, down.y, 0, m_downGlyph.width, m_downGlyph.height);
}

TRxUpDown::TRxUpDown(HWND parent, const RECT& place)
{
    static const bool registered = [] {
        INITCOMMONCONTROLSEX controls{sizeof controls, ICC_UPDOWN_CLASS};
        return InitCommonControlsEx(&controls);
    }();
    (void)registered;
    m_window = CreateWindowExW(0, UPDOWN_CLASSW, L"", WS_CHILD | WS_VISIBLE, place.left, place.top,
                               place.right - place.left, place.bottom - place.top, parent, nullptr, instance(),
                               nullptr);
    SendMessageW(m_window, UDM_SETRANGE32, static_cast<WPARAM>(-1), 1);
    SendMessageW(m_window, UDM_SETPOS32, 0, 0);
}

TRxUpDown::~TRxUpDown()
{
    destroyWindow(m_window);
}

bool TRxUpDown::scrolled(WPARAM wParam, LPARAM lParam)
{
    if (reinterpret_cast<HWND>(lParam) != m_window)
        return false;
    if (LOWORD(wParam) != SB_THUMBPOSITION || m_clicking)
        return true;
    // Back at 0 and free for the next click, also when the handler throws.
    struct Reset {
        TRxUpDown& upDown;
        ~Reset()
        {
            SendMessageW(upDown.m_window, UDM_SETPOS32, 0, 0);
            upDown.m_clicking = false;
        }
    } reset{*this};
    m_clicking = true;
    const auto position = static_cast<int>(SendMessageW(m_window, UDM_GETPOS32, 0, 0));
    if (position != 0 && OnClick)
        OnClick(position > 0 ? Button::Next : Button::Previous);
    return true;
}

TRxSpinEdit::TRxSpinEdit(HWND parent, const RECT& place, int id) : m_value(userDecimalSeparator())
{
    m_value.OnChange = [this] {
        if (OnChange)
            OnChange();
    };
    m_value.OnTopClick = [this] {
        if (OnTopClick)
            OnTopClick();
    };
    m_value.OnBottomClick = [this] {
        if (OnBottomClick)
            OnBottomClick();
    };
    m_value.onBeep = [] { beep(); };
    m_value.onTextWritten = [this] { showModelText(); };
    m_window = makeEditWindow(parent, place, id, WS_VISIBLE | WS_TABSTOP, WS_EX_CLIENTEDGE, formFont());
    RebuildButton();
    PlaceButton();
    SetTextArea();
}

TRxSpinEdit::~TRxSpinEdit()
{
    // Nothing is reported while the editor is torn down, and its windows'
    // last messages get only the edit's own handling.
    m_value.clearHooks();
    m_button.reset();
    m_upDown.reset();
    for (Retired& retired : m_retired) {
        retired.button.reset();
        retired.upDown.reset();
    }
    for (Retired& retired : m_retired)
        destroyWindow(retired.edit);
    destroyWindow(std::exchange(m_window, nullptr));
}

// Multi-line, so the text area can be set clear of the button part.
HWND TRxSpinEdit::makeEditWindow(HWND parent, const RECT& place, int id, DWORD keptStyle, DWORD exStyle, HFONT font)
{
    const DWORD style = WS_CHILD | keptStyle | WS_CLIPCHILDREN | ES_MULTILINE | ES_AUTOHSCROLL |
                        alignmentStyle(m_alignment, m_rightToLeft) | (m_value.ReadOnly() ? ES_READONLY : 0);
    exStyle = m_rightToLeft ? exStyle | WS_EX_RTLREADING : exStyle & ~static_cast<DWORD>(WS_EX_RTLREADING);
    HWND window = CreateWindowExW(exStyle, L"EDIT", widen(m_value.text()).c_str(), style, place.left, place.top,
                                  place.right - place.left, place.bottom - place.top, parent,
                                  reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), instance(), nullptr);
    SendMessageW(window, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
    subclass(window, [this](HWND w, UINT message, WPARAM wParam, LPARAM lParam) {
        return handle(w, message, wParam, lParam);
    });
    return window;
}

void TRxSpinEdit::remakeWindow()
{
    const HWND old = m_window;
    const HWND parent = GetParent(old);
    const int id = GetDlgCtrlID(old);
    const bool focused = GetFocus() == old;
    DWORD start = 0, end = 0;
    SendMessageW(old, EM_GETSEL, reinterpret_cast<WPARAM>(&start), reinterpret_cast<LPARAM>(&end));
    const auto style = static_cast<DWORD>(GetWindowLongW(old, GWL_STYLE));
    const auto exStyle = static_cast<DWORD>(GetWindowLongW(old, GWL_EXSTYLE));
    const auto font = reinterpret_cast<HFONT>(SendMessageW(old, WM_GETFONT, 0, 0));
    // The old window no longer answers to the id; the new one takes its
    // place in the tab order.
    SetWindowLongPtrW(old, GWLP_ID, 0);
    const DWORD kept = style & (WS_VISIBLE | WS_DISABLED | WS_TABSTOP | WS_GROUP);
    m_window = makeEditWindow(parent, placeInParent(old), id, kept, exStyle, font);
    SetWindowPos(m_window, old, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    Retired retired = retireButtonPart();
    retired.edit = old;
    RebuildButton();
    PlaceButton();
    SetTextArea();
    // Focused before the old one hides, which would hand the focus to the parent.
    if (focused)
        SetFocus(m_window);
    SendMessageW(m_window, EM_SETSEL, start, static_cast<LPARAM>(end));
    retire(std::move(retired));
}

bool TRxSpinEdit::Retired::busy() const
{
    return (button && button->press().clicking()) || (upDown && upDown->clicking());
}

TRxSpinEdit::Retired TRxSpinEdit::retireButtonPart()
{
    Retired retired;
    retired.button = std::move(m_button);
    retired.upDown = std::move(m_upDown);
    return retired;
}

void TRxSpinEdit::retire(Retired retired)
{
    for (HWND window : {retired.edit, retired.button ? retired.button->handle() : nullptr,
                        retired.upDown ? retired.upDown->handle() : nullptr})
        if (window)
            ShowWindow(window, SW_HIDE);
    m_retired.push_back(std::move(retired));
    PostMessageW(m_window, kDropRetired, 0, 0);
}

void TRxSpinEdit::dropRetired()
{
    // A part still in its click may be a child of a retired edit window, so
    // nothing goes until none is.
    if (std::any_of(m_retired.begin(), m_retired.end(), [](const Retired& r) { return r.busy(); }))
        return;
    std::vector<Retired> done = std::move(m_retired);
    m_retired.clear();
    // Parts first: they may be an old edit window's children.
    for (Retired& retired : done) {
        retired.button.reset();
        retired.upDown.reset();
    }
    for (Retired& retired : done)
        destroyWindow(retired.edit);
}

void TRxSpinEdit::setButtonKind(TSpinButtonKind kind)
{
    const TSpinButtonKind before = EffectiveButtonKind();
    m_buttonKind = kind;
    if (EffectiveButtonKind() == before)
        return;
    RebuildButton();
    PlaceButton();
    SetTextArea();
}

void TRxSpinEdit::setAlignment(spinedit::TAlignment alignment)
{
    if (alignment == m_alignment)
        return;
    m_alignment = alignment;
    remakeWindow();
}

void TRxSpinEdit::setRightToLeft(bool on)
{
    if (on == m_rightToLeft)
        return;
    m_rightToLeft = on;
    remakeWindow();
}

void TRxSpinEdit::setReadOnly(bool on)
{
    m_value.setReadOnly(on);
    SendMessageW(m_window, EM_SETREADONLY, on, 0);
}

bool TRxSpinEdit::Frame() const
{
    return GetWindowLongW(m_window, GWL_EXSTYLE) & WS_EX_CLIENTEDGE;
}

void TRxSpinEdit::setFrame(bool on)
{
    auto exStyle = static_cast<DWORD>(GetWindowLongW(m_window, GWL_EXSTYLE));
    exStyle = on ? exStyle | WS_EX_CLIENTEDGE : exStyle & ~static_cast<DWORD>(WS_EX_CLIENTEDGE);
    SetWindowLongW(m_window, GWL_EXSTYLE, static_cast<LONG>(exStyle));
    SetWindowPos(m_window, nullptr, 0, 0, 0, 0,
                 SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_FRAMECHANGED);
    PlaceButton();
    SetTextArea();
}

int TRxSpinEdit::StandardButtonWidth() const
{
    return spinedit::standardButtonWidth(GetSystemMetrics(SM_CXVSCROLL));
}

int TRxSpinEdit::ButtonPartWidth() const
{
    const HWND part = m_upDown ? m_upDown->handle() : m_button ? m_button->handle() : nullptr;
    if (!part)
        return StandardButtonWidth();
    RECT r;
    GetWindowRect(part, &r);
    return r.right - r.left;
}

int TRxSpinEdit::MinimumHeight() const
{
    HDC dc = GetDC(m_window);
    HGDIOBJ old = SelectObject(dc, reinterpret_cast<HFONT>(SendMessageW(m_window, WM_GETFONT, 0, 0)));
    TEXTMETRICW metrics{};
    GetTextMetricsW(dc, &metrics);
    SelectObject(dc, old);
    ReleaseDC(m_window, dc);
    return spinedit::minimumHeight(metrics.tmHeight, systemBorder());
}

void TRxSpinEdit::RebuildButton()
{
    if (m_button || m_upDown)
        retire(retireButtonPart());
    if (EffectiveButtonKind() == TSpinButtonKind::bkStandard) {
        m_upDown = std::make_unique<TRxUpDown>(m_window, RECT{0, 0, StandardButtonWidth(), 0});
        m_upDown->OnClick = [this](TRxUpDown::Button button) { upDownClicked(button); };
        EnableWindow(m_upDown->handle(), IsWindowEnabled(m_window));
        return;
    }
    m_button = std::make_unique<TRxSpinButton>(m_window, RECT{}, m_window);
    m_button->OnTopClick = [this] { StepUp(); };
    m_button->OnBottomClick = [this] { StepDown(); };
    EnableWindow(m_button->handle(), IsWindowEnabled(m_window));
}

void TRxSpinEdit::PlaceButton()
{
    RECT client;
    GetClientRect(m_window, &client);
    if (m_upDown) {
        const spinedit::SpinRect arrows = spinedit::upDownRect(client.right, client.bottom, StandardButtonWidth(),
                                                               m_rightToLeft);
        SetWindowPos(m_upDown->handle(), nullptr, arrows.left, arrows.top, arrows.width, arrows.height,
                     SWP_NOZORDER | SWP_NOACTIVATE);
        return;
    }
    if (!m_button)
        return;
    RECT window;
    GetWindowRect(m_window, &window);
    const spinedit::SpinRect square =
        spinedit::diagonalButtonRect(window.right - window.left, window.bottom - window.top, Frame(), m_rightToLeft);
    // The square is in the editor's window; the button lives in its client area.
    POINT origin{0, 0};
    ClientToScreen(m_window, &origin);
    const int dx = origin.x - window.left;
    const int dy = origin.y - window.top;
    SetWindowPos(m_button->handle(), nullptr, square.left - dx, square.top - dy, square.width, square.height,
                 SWP_NOZORDER | SWP_NOACTIVATE);
}

void TRxSpinEdit::SetTextArea()
{
    RECT client;
    GetClientRect(m_window, &client);
    const spinedit::TextMargins margins = spinedit::textMargins(ButtonPartWidth(), m_rightToLeft);
    RECT area{margins.left, 0, client.right - margins.right, client.bottom + 1};
    SendMessageW(m_window, EM_SETRECTNP, 0, reinterpret_cast<LPARAM>(&area));
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

void TRxSpinEdit::upDownClicked(TRxUpDown::Button button)
{
    if (canTakeFocus(m_window))
        SetFocus(m_window);
    if (button == TRxUpDown::Button::Next)
        StepUp();
    else
        StepDown();
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
        SendMessageW(root, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED),
                     reinterpret_cast<LPARAM>(GetDlgItem(root, IDCANCEL)));
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
    // A window made anew, or one being torn down, is left to the edit alone.
    if (window != m_window)
        return defaultHandling(window, message, wParam, lParam);
    switch (message) {
    case kDropRetired:
        dropRetired();
        return 0;
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
    case WM_VSCROLL:
        // The standard arrows report to the edit, which would scroll its text.
        if (m_upDown && m_upDown->scrolled(wParam, lParam))
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
        if (m_button)
            EnableWindow(m_button->handle(), static_cast<BOOL>(wParam));
        if (m_upDown) {
            EnableWindow(m_upDown->handle(), static_cast<BOOL>(wParam));
            PlaceButton();
        }
        break;
    case WM_SIZE: {
        const LRESULT result = defaultHandling(window, message, wParam, lParam);
        RECT r;
        GetWindowRect(window, &r);
        const int height = r.bottom - r.top;
        if (height < MinimumHeight()) {
            SetWindowPos(window, nullptr, 0, 0, r.right - r.left, MinimumHeight(),
                         SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
            return result;
        }
        PlaceButton();
        SetTextArea();
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
