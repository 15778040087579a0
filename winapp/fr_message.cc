#include "winapp/fr_message.h"

#include "progress/report_progress.h"
#include "winapp/panel.h"

#include <utility>

namespace winapp {

bool MessageFormOpen = false;
TF_Message* F_Message = nullptr;

namespace {

// Posted by a close: the window goes when messages are next handled.
constexpr UINT kRelease = WM_APP + 1;
constexpr int kBtnOKId = 1;

const COLORREF kBackColor = RGB(255, 255, 255);
const COLORREF kForeColor = RGB(0, 0, 128); // navy

std::function<void()> g_pump;
std::function<void()> g_pause;

RECT rectOf(const progress::Place& p)
{
    return scaledRect(p.left, p.top, p.width, p.height);
}

class Win32ProgressWindows final : public progress::ProgressWindows {
public:
    bool isOpen() const override { return MessageFormOpen && F_Message; }
    void create() override { F_Message = new TF_Message; }
    void setHeading(const std::string& text) override { SetWindowTextW(F_Message->LabMess, widen(text).c_str()); }
    void showBar(int percent) override
    {
        ShowWindow(F_Message->MsgProcent->handle(), SW_SHOWNA);
        F_Message->MsgProcent->setProgress(percent);
    }
    void hideBar() override
    {
        ShowWindow(F_Message->MsgProcent->handle(), SW_HIDE);
        F_Message->MsgProcent->setProgress(0);
    }
    void show() override
    {
        // In front without taking the focus from the window the user works in.
        SetWindowPos(F_Message->handle(), HWND_TOPMOST, 0, 0, 0, 0,
                     SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE | SWP_SHOWWINDOW);
    }
    void handleMessages() override
    {
        if (g_pump)
            g_pump();
        else
            pumpMessages();
    }
    void pause() override
    {
        if (g_pause)
            g_pause();
        else
            Sleep(10);
    }
    void close() override { SendMessageW(F_Message->handle(), WM_CLOSE, 0, 0); }
};

} // namespace

Gauge::Gauge(HWND parent, const RECT& place, HFONT font) : m_font(font)
{
    static const WindowClass cls{L"GridshiftGauge", 0, nullptr};
    m_window = createWindow(cls, 0, L"", WS_CHILD | WS_VISIBLE, place, parent, nullptr,
                            [this](HWND window, UINT message, WPARAM wParam, LPARAM lParam) -> LRESULT {
                                if (message == WM_ERASEBKGND)
                                    return 1;
                                if (message == WM_PAINT) {
                                    PAINTSTRUCT ps;
                                    HDC dc = BeginPaint(window, &ps);
                                    paint(dc);
                                    EndPaint(window, &ps);
                                    return 0;
                                }
                                return DefWindowProcW(window, message, wParam, lParam);
                            });
}

void Gauge::setProgress(int value)
{
    value = progress::gaugeValue(value);
    if (value == m_progress)
        return;
    m_progress = value;
    InvalidateRect(m_window, nullptr, FALSE);
}

void Gauge::paint(HDC dc) const
{
    RECT r;
    GetClientRect(m_window, &r);
    const COLORREF textColour = GetSysColor(COLOR_WINDOWTEXT);
    HBRUSH frame = CreateSolidBrush(textColour);
    FrameRect(dc, &r, frame);
    DeleteObject(frame);

    RECT bar = r;
    InflateRect(&bar, -1, -1);
    // Whole pixels only: the fill never runs ahead of the percentage.
    const int fill = progress::gaugeFill(bar.right - bar.left, m_progress);
    const RECT filled{bar.left, bar.top, bar.left + fill, bar.bottom};
    const RECT empty{bar.left + fill, bar.top, bar.right, bar.bottom};
    HBRUSH back = CreateSolidBrush(kBackColor);
    HBRUSH fore = CreateSolidBrush(kForeColor);
    FillRect(dc, &empty, back);
    FillRect(dc, &filled, fore);
    DeleteObject(back);
    DeleteObject(fore);

    // The text is drawn twice, each pass clipped to one part of the bar, so
    // a digit that straddles the edge of the fill changes colour with it.
    const std::wstring text = widen(progress::gaugeText(m_progress));
    HGDIOBJ oldFont = SelectObject(dc, m_font);
    SetBkMode(dc, TRANSPARENT);
    for (const auto& [part, colour] : {std::pair{empty, textColour}, std::pair{filled, kBackColor}}) {
        if (part.right <= part.left)
            continue;
        HRGN clip = CreateRectRgnIndirect(&part);
        SelectClipRgn(dc, clip);
        SetTextColor(dc, colour);
        RECT box = bar;
        DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &box,
                  DT_CENTER | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX);
        SelectClipRgn(dc, nullptr);
        DeleteObject(clip);
    }
    SelectObject(dc, oldFont);
}

TF_Message::TF_Message()
{
    // Gray, all covered by the panel.
    static const WindowClass cls{L"GridshiftProgress", 0, CreateSolidBrush(RGB(128, 128, 128))};
    const DWORD style = WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_CLIPCHILDREN;
    const DWORD exStyle = WS_EX_TOPMOST;
    RECT frame{0, 0, scaled(progress::kClientWidth), scaled(progress::kClientHeight)};
    AdjustWindowRectEx(&frame, style, FALSE, exStyle);
    m_window = createWindow(cls, exStyle, widen(progress::kCaption).c_str(), style,
                            RECT{0, 0, frame.right - frame.left, frame.bottom - frame.top}, mainWindow(), nullptr,
                            [this](HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
                                return handle(window, message, wParam, lParam);
                            });
    // Centred on the screen each time a window is made.
    centreOnScreen(m_window);
    RECT client;
    GetClientRect(m_window, &client);
    Panel1 = createPanel(m_window, client, Bevel::Framed);

    LabMess = CreateWindowExW(0, L"STATIC", L"", WS_CHILD | WS_VISIBLE | SS_CENTER | SS_NOPREFIX,
                              scaled(progress::kLabMess.left), scaled(progress::kLabMess.top),
                              scaled(progress::kLabMess.width), scaled(progress::kLabMess.height), Panel1, nullptr,
                              instance(), nullptr);
    SendMessageW(LabMess, WM_SETFONT, reinterpret_cast<WPARAM>(boldFont()), FALSE);
    m_gauge = new Gauge(Panel1, rectOf(progress::kMsgProcent), boldFont());
    MsgProcent = m_gauge;

    const RECT label2 = rectOf(progress::kLabel2);
    Label2 = CreateWindowExW(0, L"STATIC", widen(progress::kLabel2Caption).c_str(), WS_CHILD | SS_NOPREFIX,
                             label2.left, label2.top, label2.right - label2.left, label2.bottom - label2.top, Panel1,
                             nullptr, instance(), nullptr);
    SendMessageW(Label2, WM_SETFONT, reinterpret_cast<WPARAM>(formFont()), FALSE);
    const RECT ok = rectOf(progress::kBtnOK);
    BtnOK = CreateWindowExW(0, L"BUTTON", L"OK", WS_CHILD | BS_PUSHBUTTON, ok.left, ok.top, ok.right - ok.left,
                            ok.bottom - ok.top, Panel1, reinterpret_cast<HMENU>(kBtnOKId), instance(), nullptr);
    SendMessageW(BtnOK, WM_SETFONT, reinterpret_cast<WPARAM>(formFont()), FALSE);
    FormCreate();
}

TF_Message::~TF_Message()
{
    delete m_gauge;
    if (F_Message == this) {
        F_Message = nullptr;
        // Destroyed while still open (the program ending mid-work): the flag
        // must not promise a window that is gone.
        if (!m_closed)
            MessageFormOpen = false;
    }
}

LRESULT TF_Message::handle(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_CLOSE:
        // A window already released may be closed again before it goes; that
        // must not mark a newer window as closed.
        if (!m_closed) {
            m_closed = true;
            FormClose();
        }
        return 0;
    case kRelease:
        DestroyWindow(window);
        return 0;
    case WM_COMMAND:
        if (LOWORD(wParam) == kBtnOKId && HIWORD(wParam) == BN_CLICKED)
            BtnOKClick();
        return 0;
    case WM_NCDESTROY: {
        const LRESULT result = DefWindowProcW(window, message, wParam, lParam);
        m_window = nullptr;
        delete this;
        return result;
    }
    default:
        return DefWindowProcW(window, message, wParam, lParam);
    }
}

void TF_Message::FormCreate()
{
    MessageFormOpen = true;
}

void TF_Message::FormClose()
{
    MessageFormOpen = false;
    PostMessageW(m_window, kRelease, 0, 0);
}

void TF_Message::BtnOKClick()
{
    ShowWindow(m_window, SW_HIDE);
}

void ReportProgress(const std::string& text, double percent)
{
    Win32ProgressWindows windows;
    progress::reportProgress(windows, text, percent);
}

void setMessagePump(std::function<void()> pump)
{
    g_pump = std::move(pump);
}

void setReportPause(std::function<void()> pause)
{
    g_pause = std::move(pause);
}

} // namespace winapp
