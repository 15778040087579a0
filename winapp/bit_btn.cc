#include "winapp/bit_btn.h"

namespace winapp {
namespace {

constexpr int kSpacing = 4;

} // namespace

TBitBtn::TBitBtn(HWND parent, const RECT& place, int id, const std::wstring& caption, const wchar_t* glyphs)
    : m_glyphs(loadPicture(glyphs))
{
    m_window = CreateWindowExW(0, L"BUTTON", caption.c_str(), WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_OWNERDRAW,
                               place.left, place.top, place.right - place.left, place.bottom - place.top, parent,
                               reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), instance(), nullptr);
    SendMessageW(m_window, WM_SETFONT, reinterpret_cast<WPARAM>(formFont()), FALSE);
}

void TBitBtn::drawItem(const DRAWITEMSTRUCT& item) const
{
    HDC dc = item.hDC;
    RECT r = item.rcItem;
    const bool down = item.itemState & ODS_SELECTED;
    const bool enabled = !(item.itemState & ODS_DISABLED);
    DrawFrameControl(dc, &r, DFC_BUTTON, DFCS_BUTTONPUSH | (down ? DFCS_PUSHED : 0));

    const std::wstring caption = windowText(m_window);
    HGDIOBJ oldFont = SelectObject(dc, formFont());
    RECT measure{0, 0, 0, 0};
    DrawTextW(dc, caption.c_str(), -1, &measure, DT_CALCRECT | DT_SINGLELINE);
    const int textHeight = measure.bottom - measure.top;
    const int glyphSize = m_glyphs.height;
    const int total = glyphSize + (glyphSize ? kSpacing : 0) + textHeight;
    // A pressed button shifts its face down and right, as the frame sinks.
    const int shift = down ? 1 : 0;
    int top = (r.bottom - r.top - total) / 2 + shift;
    if (glyphSize) {
        drawPicture(dc, m_glyphs, (r.right - r.left - glyphSize) / 2 + shift, top, enabled ? 0 : glyphSize,
                    glyphSize, glyphSize);
        top += glyphSize + kSpacing;
    }
    SetBkMode(dc, TRANSPARENT);
    RECT text{r.left + shift, top, r.right + shift, top + textHeight};
    if (!enabled) {
        // Embossed: a light copy one pixel down and right under the grey one.
        RECT light = text;
        OffsetRect(&light, 1, 1);
        SetTextColor(dc, GetSysColor(COLOR_BTNHIGHLIGHT));
        DrawTextW(dc, caption.c_str(), -1, &light, DT_CENTER | DT_TOP | DT_SINGLELINE);
    }
    SetTextColor(dc, GetSysColor(enabled ? COLOR_BTNTEXT : COLOR_BTNSHADOW));
    DrawTextW(dc, caption.c_str(), -1, &text, DT_CENTER | DT_TOP | DT_SINGLELINE);
    SelectObject(dc, oldFont);
    if (item.itemState & ODS_FOCUS) {
        RECT focus = r;
        InflateRect(&focus, -4, -4);
        DrawFocusRect(dc, &focus);
    }
}

} // namespace winapp
