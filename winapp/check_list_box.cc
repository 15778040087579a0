#include "winapp/check_list_box.h"

#include "winapp/panel.h"

#include <windowsx.h>

namespace winapp {
namespace {

// Space between the check column and the item text.
constexpr int kTextIndent = 2;

// The check box of a row: vertically centred in a column at the row's left.
RECT boxIn(const RECT& row, int columnWidth, int size)
{
    const int left = row.left + (columnWidth - size) / 2;
    const int top = row.top + (row.bottom - row.top - size) / 2;
    return {left, top, left + size, top + size};
}

} // namespace

TCheckListBox::TCheckListBox(HWND parent, const RECT& place, int id, int rowHeight, int columns)
{
    DWORD style = WS_CHILD | WS_VISIBLE | WS_TABSTOP | LBS_NOTIFY | LBS_HASSTRINGS | LBS_NOINTEGRALHEIGHT |
                  LBS_OWNERDRAWFIXED;
    if (columns > 1)
        style |= LBS_MULTICOLUMN;
    else
        style |= WS_VSCROLL;
    m_window = CreateWindowExW(WS_EX_CLIENTEDGE, L"LISTBOX", L"", style, place.left, place.top,
                               place.right - place.left, place.bottom - place.top, parent,
                               reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), instance(), nullptr);
    SendMessageW(m_window, WM_SETFONT, reinterpret_cast<WPARAM>(formFont()), FALSE);
    SendMessageW(m_window, LB_SETITEMHEIGHT, 0, rowHeight);
    if (columns > 1) {
        RECT inside;
        GetClientRect(m_window, &inside);
        SendMessageW(m_window, LB_SETCOLUMNWIDTH, (inside.right - inside.left) / columns, 0);
    }
    subclass(m_window, [this](HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
        return handle(window, message, wParam, lParam);
    });
}

int TCheckListBox::count() const
{
    return static_cast<int>(SendMessageW(m_window, LB_GETCOUNT, 0, 0));
}

void TCheckListBox::clear()
{
    SendMessageW(m_window, LB_RESETCONTENT, 0, 0);
}

void TCheckListBox::addItem(const std::string& text)
{
    const std::wstring wide = widen(text);
    const LRESULT row = SendMessageW(m_window, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(wide.c_str()));
    SendMessageW(m_window, LB_SETITEMDATA, static_cast<WPARAM>(row), 0);
}

bool TCheckListBox::isChecked(int row) const
{
    if (row < 0 || row >= count())
        return false;
    return SendMessageW(m_window, LB_GETITEMDATA, static_cast<WPARAM>(row), 0) != 0;
}

void TCheckListBox::setChecked(int row, bool checked)
{
    if (row < 0 || row >= count() || isChecked(row) == checked)
        return;
    SendMessageW(m_window, LB_SETITEMDATA, static_cast<WPARAM>(row), checked ? 1 : 0);
    const RECT rect = itemRect(row);
    InvalidateRect(m_window, &rect, FALSE);
}

std::wstring TCheckListBox::itemText(int row) const
{
    const LRESULT length = SendMessageW(m_window, LB_GETTEXTLEN, static_cast<WPARAM>(row), 0);
    if (length == LB_ERR)
        return {};
    std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
    SendMessageW(m_window, LB_GETTEXT, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(text.data()));
    text.resize(static_cast<std::size_t>(length));
    return text;
}

int TCheckListBox::currentRow() const
{
    const LRESULT row = SendMessageW(m_window, LB_GETCURSEL, 0, 0);
    return row == LB_ERR ? -1 : static_cast<int>(row);
}

RECT TCheckListBox::itemRect(int row) const
{
    RECT rect{};
    SendMessageW(m_window, LB_GETITEMRECT, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&rect));
    return rect;
}

RECT TCheckListBox::checkBoxRect(int row) const
{
    return boxIn(itemRect(row), checkColumnWidth(), checkBoxSize());
}

int TCheckListBox::checkBoxSize() const
{
    return scaled(13);
}

void TCheckListBox::drawItem(const DRAWITEMSTRUCT& item) const
{
    if (item.itemID == static_cast<UINT>(-1))
        return;
    HDC dc = item.hDC;
    const int row = static_cast<int>(item.itemID);
    const RECT rect = item.rcItem;
    const RECT column{rect.left, rect.top, rect.left + checkColumnWidth(), rect.bottom};
    RECT text{column.right, rect.top, rect.right, rect.bottom};
    // Only the text part shows the selection; the check column keeps the list's colour.
    const bool selected = item.itemState & ODS_SELECTED;
    FillRect(dc, &column, GetSysColorBrush(COLOR_WINDOW));
    FillRect(dc, &text, GetSysColorBrush(selected ? COLOR_HIGHLIGHT : COLOR_WINDOW));

    // Flat: a one-pixel frame in the button-shadow colour instead of the sunken border.
    const int size = checkBoxSize();
    const RECT boxRect = boxIn(rect, checkColumnWidth(), size);
    FillRect(dc, &boxRect, GetSysColorBrush(COLOR_WINDOW));
    FrameRect(dc, &boxRect, GetSysColorBrush(COLOR_BTNSHADOW));
    if (isChecked(row)) {
        // The classic tick: seven columns of three-pixel strokes, falling for
        // three columns and rising for four, centred in the box.
        static constexpr int kDrop[7] = {2, 3, 4, 3, 2, 1, 0};
        const int left = boxRect.left + (size - 7) / 2;
        const int top = boxRect.top + (size - 7) / 2;
        HBRUSH ink = GetSysColorBrush(COLOR_WINDOWTEXT);
        for (int x = 0; x < 7; ++x) {
            const RECT stroke{left + x, top + kDrop[x], left + x + 1, top + kDrop[x] + 3};
            FillRect(dc, &stroke, ink);
        }
    }

    const std::wstring label = itemText(row);
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, GetSysColor(selected ? COLOR_HIGHLIGHTTEXT : COLOR_WINDOWTEXT));
    HGDIOBJ oldFont = SelectObject(dc, formFont());
    RECT textBox = text;
    textBox.left += kTextIndent;
    DrawTextW(dc, label.c_str(), static_cast<int>(label.size()), &textBox,
              DT_LEFT | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX);
    SelectObject(dc, oldFont);
    if (item.itemState & ODS_FOCUS)
        DrawFocusRect(dc, &text);
}

LRESULT TCheckListBox::handle(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK: {
        // The list selects the row first; a press in the check column then
        // toggles it. The second press of a double click is a press like any other.
        const LRESULT result = defaultHandling(window, message, wParam, lParam);
        const POINT at{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
        const LRESULT hit = SendMessageW(window, LB_ITEMFROMPOINT, 0, MAKELPARAM(at.x, at.y));
        const int row = LOWORD(hit);
        if (HIWORD(hit) == 0 && row < count()) {
            const RECT item = itemRect(row);
            if (PtInRect(&item, at) && at.x - item.left < checkColumnWidth())
                setChecked(row, !isChecked(row));
        }
        return result;
    }
    case WM_CHAR:
        // Space ticks the selected row rather than searching the list for a blank.
        if (wParam == L' ') {
            const int row = currentRow();
            if (row >= 0)
                setChecked(row, !isChecked(row));
            return 0;
        }
        break;
    default:
        break;
    }
    return defaultHandling(window, message, wParam, lParam);
}

} // namespace winapp
