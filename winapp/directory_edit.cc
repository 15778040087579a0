#include "winapp/directory_edit.h"

#include "winapp/select_directory.h"

#include <windowsx.h>

namespace winapp {

TDirectoryEdit::TDirectoryEdit(HWND parent, const RECT& place, int id) : m_picture(loadPicture(kOpenFolder))
{
    m_window = createTextField(WS_EX_CLIENTEDGE, L"", WS_TABSTOP | ES_AUTOHSCROLL, place, parent, id);
    // Keeps the text, the caret and the selection out from under the button.
    SendMessageW(m_window, EM_SETMARGINS, EC_RIGHTMARGIN, MAKELPARAM(0, scaled(kButtonWidth)));
    static const WindowClass cls{L"GridshiftBrowseButton", 0, nullptr};
    m_button = createWindow(cls, 0, L"", WS_CHILD | WS_VISIBLE, RECT{}, m_window, nullptr,
                            [this](HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
                                return handleButton(window, message, wParam, lParam);
                            });
    subclass(m_window, [this](HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
        return handleEdit(window, message, wParam, lParam);
    });
    placeButton();
}

void TDirectoryEdit::placeButton()
{
    // Inside the frame, so the field's border runs round the button too.
    RECT client;
    GetClientRect(m_window, &client);
    const int width = scaled(kButtonWidth);
    SetWindowPos(m_button, nullptr, client.right - width, 0, width, client.bottom, SWP_NOZORDER | SWP_NOACTIVATE);
}

bool TDirectoryEdit::openDialog()
{
    const std::optional<std::wstring> chosen = selectDirectory(GetAncestor(m_window, GA_ROOT), text(), m_lastChosen);
    if (chosen) {
        setText(*chosen);
        m_lastChosen = *chosen;
    }
    SetFocus(m_window);
    return chosen.has_value();
}

LRESULT TDirectoryEdit::handleEdit(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_SYSKEYDOWN:
        if (wParam == VK_DOWN) {
            openDialog();
            return 0;
        }
        break;
    case WM_SIZE: {
        const LRESULT result = defaultHandling(window, message, wParam, lParam);
        placeButton();
        return result;
    }
    default:
        break;
    }
    return defaultHandling(window, message, wParam, lParam);
}

LRESULT TDirectoryEdit::handleButton(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_ERASEBKGND:
        return 1;
    case WM_PAINT: {
        PAINTSTRUCT ps;
        HDC dc = BeginPaint(window, &ps);
        RECT r;
        GetClientRect(window, &r);
        DrawFrameControl(dc, &r, DFC_BUTTON, DFCS_BUTTONPUSH | (m_pressed ? DFCS_PUSHED : 0));
        const int shift = m_pressed ? 1 : 0;
        drawPicture(dc, m_picture, (r.right - m_picture.width) / 2 + shift,
                    (r.bottom - m_picture.height) / 2 + shift, 0, m_picture.width, m_picture.height);
        EndPaint(window, &ps);
        return 0;
    }
    case WM_LBUTTONDOWN:
        // Pressed without taking the focus: the caret stays in the text.
        SetCapture(window);
        m_tracking = true;
        m_pressed = true;
        InvalidateRect(window, nullptr, FALSE);
        return 0;
    case WM_MOUSEMOVE:
        if (m_tracking) {
            RECT r;
            GetClientRect(window, &r);
            const bool inside = PtInRect(&r, POINT{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)});
            if (inside != m_pressed) {
                m_pressed = inside;
                InvalidateRect(window, nullptr, FALSE);
            }
        }
        return 0;
    case WM_LBUTTONUP:
        if (m_tracking) {
            const bool click = m_pressed;
            m_tracking = false;
            m_pressed = false;
            ReleaseCapture();
            InvalidateRect(window, nullptr, FALSE);
            if (click)
                openDialog();
        }
        return 0;
    case WM_CAPTURECHANGED:
        if (m_tracking && reinterpret_cast<HWND>(lParam) != window) {
            m_tracking = false;
            m_pressed = false;
            InvalidateRect(window, nullptr, FALSE);
        }
        return 0;
    case WM_SETCURSOR:
        SetCursor(LoadCursorW(nullptr, IDC_ARROW));
        return TRUE;
    default:
        return DefWindowProcW(window, message, wParam, lParam);
    }
}

} // namespace winapp
