#include "winapp/unit1.h"

#include "app/form/layout.h"

#include <richedit.h>
#include "grid/filters.h"
#include "winapp/panel.h"
#include "winapp/pictures.h"
#include "spinedit/program_editors.h"

namespace winapp {
namespace {

using namespace app::layout;

RECT at(const Place& p)
{
    return scaledRect(p.left, p.top, p.width, p.height);
}

HWND control(HWND parent, const wchar_t* cls, const std::wstring& text, DWORD style, const RECT& place, int id,
             DWORD exStyle = 0)
{
    HWND window = CreateWindowExW(exStyle, cls, text.c_str(), WS_CHILD | WS_VISIBLE | style, place.left, place.top,
                                  place.right - place.left, place.bottom - place.top, parent,
                                  reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), instance(), nullptr);
    SendMessageW(window, WM_SETFONT, reinterpret_cast<WPARAM>(formFont()), FALSE);
    return window;
}

// The hand over a control's inside, as the layout asks for the buttons and lists.
void handCursor(HWND control)
{
    subclass(control, [](HWND window, UINT message, WPARAM wParam, LPARAM lParam) -> LRESULT {
        if (message == WM_SETCURSOR && LOWORD(lParam) == HTCLIENT) {
            SetCursor(LoadCursorW(nullptr, IDC_HAND));
            return TRUE;
        }
        return defaultHandling(window, message, wParam, lParam);
    });
}

std::wstring helpText()
{
    std::wstring text;
    for (std::size_t i = 0; i < kHelpLines.size(); ++i)
        text += (i ? L"\r\n" : L"") + widen(kHelpLines[i]);
    return text;
}

constexpr DWORD kStyle = WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_CLIPCHILDREN;
// A fixed dialog frame, without the icon in its caption.
constexpr DWORD kExStyle = WS_EX_DLGMODALFRAME | WS_EX_CONTROLPARENT;

} // namespace

TForm1::TForm1(Prompter* prompter) : m_prompter(prompter)
{
    static const WindowClass cls{L"GridshiftForm", 0, GetSysColorBrush(COLOR_BTNFACE), applicationIcon()};
    RECT frame{0, 0, scaled(kClientWidth), scaled(kClientHeight)};
    AdjustWindowRectEx(&frame, kStyle, FALSE, kExStyle);
    m_window = createWindow(cls, kExStyle, widen(kCaption).c_str(), kStyle,
                            RECT{0, 0, frame.right - frame.left, frame.bottom - frame.top}, nullptr, nullptr,
                            [this](HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
                                return handle(window, message, wParam, lParam);
                            });
    if (!m_window)
        return;
    if (!m_prompter) {
        m_ownPrompter = std::make_unique<ScreenPrompter>(m_window);
        m_prompter = m_ownPrompter.get();
    }
    registerForm(m_window);
    refuseInputWhile(m_window, [this] { return m_form.running(); });
    // The conventional place for a dialog-framed tool's own command, which
    // leaves the layout as it is.
    HMENU system = GetSystemMenu(m_window, FALSE);
    AppendMenuW(system, MF_SEPARATOR, 0, nullptr);
    AppendMenuW(system, MF_STRING | MF_GRAYED, kUndoCommand, (widen(kMenuUndoCaption) + L"\tCtrl+Z").c_str());
    addCommandKey(m_window, 'Z', kUndoCommand);
    if (!mainWindow())
        setMainWindow(m_window);
    createControls();
    FormCreate();
}

TForm1::~TForm1()
{
    if (m_window)
        DestroyWindow(m_window);
}

void TForm1::createControls()
{
    // Made in the tab order, which is the order Tab visits them in; labels
    // take no focus.
    DEBase = std::make_unique<TDirectoryEdit>(m_window, at(kDEBase), kDEBaseId);
    DEBase->setText(widen(kDefaultFolder));

    BtnLoad = control(m_window, L"BUTTON", widen(kBtnLoadCaption), WS_TABSTOP | BS_PUSHBUTTON, at(kBtnLoad),
                      kBtnLoadId);
    handCursor(BtnLoad);

    Panel1 = createPanel(m_window, at(kPanel1), Bevel::Raised);
    Memo1 = createTextField(0, helpText(), WS_TABSTOP | ES_MULTILINE | ES_READONLY, at(kMemo1), Panel1, kMemo1Id);
    SendMessageW(Memo1, EM_SETBKGNDCOLOR, 0, GetSysColor(COLOR_BTNFACE));

    LbTimes = control(m_window, L"LISTBOX", L"", WS_TABSTOP | WS_VSCROLL | LBS_NOTIFY | LBS_NOINTEGRALHEIGHT,
                      at(kLbTimes), kLbTimesId, WS_EX_CLIENTEDGE);
    SendMessageW(LbTimes, LB_SETITEMHEIGHT, 0, scaled(kMinuteRowHeight));
    handCursor(LbTimes);

    RxNew = std::make_unique<TRxSpinEdit>(m_window, at(kRxNew), kRxNewId);
    spinedit::loadRxNewLayout(RxNew->model());
    RxNew->OnChange = [this] { RxNewChange(); };

    EOldTime = control(m_window, L"EDIT", L"", WS_TABSTOP | ES_READONLY | ES_AUTOHSCROLL, at(kEOldTime), kEOldTimeId,
                       WS_EX_CLIENTEDGE);

    RXNewSize = std::make_unique<TRxSpinEdit>(m_window, at(kRXNewSize), kRXNewSizeId);
    spinedit::loadRXNewSizeLayout(RXNewSize->model());
    for (TRxSpinEdit* editor : {RxNew.get(), RXNewSize.get()})
        EnableWindow(editor->handle(), FALSE);

    CBHour = std::make_unique<TCheckListBox>(m_window, at(kCBHour), kCBHourId, scaled(kHourRowHeight), kHourColumns);
    CBDays = std::make_unique<TCheckListBox>(m_window, at(kCBDays), kCBDaysId, scaled(kDayRowHeight));
    for (const char* day : grid::kDayNames)
        CBDays->addItem(day);

    BtnMove = std::make_unique<TBitBtn>(m_window, at(kBtnMove), kBtnMoveId, widen(kBtnMoveCaption), kMoveTick);

    Label1 = label(kLabel1);
    Label2 = label(kLabel2);
    Label3 = label(kLabel3);
    Label4 = label(kLabel4);
}

// A label takes the size of its text.
HWND TForm1::label(const Label& label)
{
    const std::wstring text = widen(label.text);
    HDC dc = GetDC(m_window);
    HGDIOBJ old = SelectObject(dc, formFont());
    SIZE size{};
    GetTextExtentPoint32W(dc, text.c_str(), static_cast<int>(text.size()), &size);
    SelectObject(dc, old);
    ReleaseDC(m_window, dc);
    return control(m_window, L"STATIC", text, SS_LEFT | SS_NOPREFIX,
                   RECT{scaled(label.left), scaled(label.top), scaled(label.left) + size.cx,
                        scaled(label.top) + size.cy},
                   0);
}

void TForm1::show()
{
    centreOnScreen(m_window);
    ShowWindow(m_window, SW_SHOW);
    SetForegroundWindow(m_window);
    SetFocus(DEBase->handle());
    UpdateWindow(m_window);
}

LRESULT TForm1::handle(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_COMMAND: {
        const int code = HIWORD(wParam);
        switch (LOWORD(wParam)) {
        case kBtnLoadId:
            if (code == BN_CLICKED)
                BtnLoadClick();
            return 0;
        case kBtnMoveId:
            if (code == BN_CLICKED)
                BtnMoveClick();
            return 0;
        case kLbTimesId:
            // A selection by the user, with the mouse or the keyboard, is a
            // click on the list; so is a click on the row already selected.
            if (code == LBN_SELCHANGE)
                LbTimesClick();
            return 0;
        case kRxNewId:
            if (code == EN_CHANGE && RxNew)
                RxNew->textChanged();
            return 0;
        case kRXNewSizeId:
            if (code == EN_CHANGE && RXNewSize)
                RXNewSize->textChanged();
            return 0;
        default:
            return 0;
        }
    }
    case WM_DRAWITEM: {
        const auto& item = *reinterpret_cast<const DRAWITEMSTRUCT*>(lParam);
        if (wParam == kCBDaysId && CBDays)
            CBDays->drawItem(item);
        else if (wParam == kCBHourId && CBHour)
            CBHour->drawItem(item);
        else if (wParam == kBtnMoveId && BtnMove)
            BtnMove->drawItem(item);
        return TRUE;
    }
    case WM_SYSCOMMAND:
        if ((wParam & 0xFFF0) == kUndoCommand) {
            UndoClick();
            return 0;
        }
        return DefWindowProcW(window, message, wParam, lParam);
    case WM_CTLCOLORSTATIC:
        // Labels, the read-only field and disabled editors on the button face.
        return buttonFaceColours(reinterpret_cast<HDC>(wParam));
    case WM_CLOSE:
        // Closing ends the program without a question, once the running
        // handler (if any) has returned to the message loop; a load or a
        // shift under way stops at its next report.
        ShowWindow(window, SW_HIDE);
        m_form.FormClose();
        if (quitOnClose)
            PostQuitMessage(0);
        return 0;
    case WM_NCDESTROY:
        unregisterForm(window);
        if (mainWindow() == window)
            setMainWindow(nullptr);
        m_window = nullptr;
        return DefWindowProcW(window, message, wParam, lParam);
    default:
        return DefWindowProcW(window, message, wParam, lParam);
    }
}

std::string TForm1::folderText() const
{
    return narrow(DEBase->text());
}

void TForm1::clearMinuteList()
{
    SendMessageW(LbTimes, LB_RESETCONTENT, 0, 0);
}

void TForm1::addMinute(const std::string& text)
{
    SendMessageW(LbTimes, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(widen(text).c_str()));
}

void TForm1::selectMinute(int row)
{
    SendMessageW(LbTimes, LB_SETCURSEL, static_cast<WPARAM>(row), 0);
}

int TForm1::selectedMinute() const
{
    const LRESULT row = SendMessageW(LbTimes, LB_GETCURSEL, 0, 0);
    return row == LB_ERR ? -1 : static_cast<int>(row);
}

void TForm1::setUndoEnabled(bool enabled)
{
    EnableMenuItem(GetSystemMenu(m_window, FALSE), kUndoCommand, MF_BYCOMMAND | (enabled ? MF_ENABLED : MF_GRAYED));
}

void TForm1::setOldTimeText(const std::string& text)
{
    SetWindowTextW(EOldTime, widen(text).c_str());
}

} // namespace winapp
