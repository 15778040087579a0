#pragma once

#include "app/form/form1.h"
#include "winapp/window.h"

#include <string>

namespace winapp {

// An owner-drawn list box whose items each carry a tick, shown as a flat
// check box in a column at the row's left. A left press in that column
// toggles the row's tick and selects the row; a press on the text only
// selects; Space toggles the selected row. The list box draws its focus box
// only while it has the focus. With more than one column the items run down
// the first column, then the next, each column an equal share of the inside.
//
// The window it is on passes it WM_DRAWITEM.
class TCheckListBox final : public app::CheckListView {
public:
    TCheckListBox(HWND parent, const RECT& place, int id, int rowHeight, int columns = 1);
    TCheckListBox(const TCheckListBox&) = delete;
    TCheckListBox& operator=(const TCheckListBox&) = delete;

    HWND handle() const { return m_window; }

    int count() const override;
    bool ticked(int index) const override { return isChecked(index); }
    void clear() override;
    void addItem(const std::string& text) override;
    void setTicked(int index, bool ticked) override { setChecked(index, ticked); }

    // False, and ignored, for a row that does not exist.
    bool isChecked(int row) const;
    void setChecked(int row, bool checked);
    std::wstring itemText(int row) const;
    // -1 when none is selected.
    int currentRow() const;

    // In the list's client coordinates.
    RECT itemRect(int row) const;
    RECT checkBoxRect(int row) const;

    void drawItem(const DRAWITEMSTRUCT& item) const;

private:
    LRESULT handle(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    int checkBoxSize() const;
    int checkColumnWidth() const { return checkBoxSize() + 2; }

    HWND m_window = nullptr;
};

} // namespace winapp
