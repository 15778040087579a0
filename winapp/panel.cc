#include "winapp/panel.h"

namespace winapp {
namespace {

void bevel(HDC dc, RECT r, COLORREF topLeft, COLORREF bottomRight)
{
    drawLine(dc, topLeft, r.left, r.top, r.right - 1, r.top);
    drawLine(dc, topLeft, r.left, r.top, r.left, r.bottom - 1);
    drawLine(dc, bottomRight, r.left, r.bottom - 1, r.right - 1, r.bottom - 1);
    drawLine(dc, bottomRight, r.right - 1, r.top, r.right - 1, r.bottom - 1);
}

} // namespace

void drawLine(HDC dc, COLORREF colour, int x1, int y1, int x2, int y2)
{
    HPEN pen = CreatePen(PS_SOLID, 1, colour);
    HGDIOBJ old = SelectObject(dc, pen);
    MoveToEx(dc, x1, y1, nullptr);
    LineTo(dc, x2, y2);
    SetPixelV(dc, x2, y2, colour);
    SelectObject(dc, old);
    DeleteObject(pen);
}

LRESULT buttonFaceColours(HDC dc)
{
    SetTextColor(dc, GetSysColor(COLOR_WINDOWTEXT));
    SetBkColor(dc, GetSysColor(COLOR_BTNFACE));
    return reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_BTNFACE));
}

HWND createPanel(HWND parent, const RECT& place, Bevel kind, DWORD exStyle)
{
    static const WindowClass cls{L"GridshiftPanel", 0, nullptr};
    return createWindow(cls, exStyle | WS_EX_CONTROLPARENT, L"", WS_CHILD | WS_VISIBLE | WS_CLIPCHILDREN, place,
                        parent, nullptr, [kind](HWND window, UINT message, WPARAM wParam, LPARAM lParam) -> LRESULT {
                            switch (message) {
                            case WM_ERASEBKGND:
                                return 1;
                            case WM_PAINT: {
                                PAINTSTRUCT ps;
                                HDC dc = BeginPaint(window, &ps);
                                RECT r;
                                GetClientRect(window, &r);
                                FillRect(dc, &r, GetSysColorBrush(COLOR_BTNFACE));
                                const COLORREF light = GetSysColor(COLOR_BTNHIGHLIGHT);
                                const COLORREF dark = GetSysColor(COLOR_BTNSHADOW);
                                if (kind == Bevel::Raised) {
                                    bevel(dc, r, light, dark);
                                } else {
                                    const COLORREF frame = GetSysColor(COLOR_3DDKSHADOW);
                                    bevel(dc, r, frame, frame);
                                    InflateRect(&r, -1, -1);
                                    bevel(dc, r, light, dark);
                                    InflateRect(&r, -1, -1);
                                    bevel(dc, r, dark, light);
                                }
                                EndPaint(window, &ps);
                                return 0;
                            }
                            case WM_CTLCOLORSTATIC:
                                return buttonFaceColours(reinterpret_cast<HDC>(wParam));
                            case WM_COMMAND:
                            case WM_DRAWITEM:
                                // Notifications of the controls on it go on to the window it is on.
                                return SendMessageW(GetParent(window), message, wParam, lParam);
                            default:
                                return DefWindowProcW(window, message, wParam, lParam);
                            }
                        });
}

} // namespace winapp
