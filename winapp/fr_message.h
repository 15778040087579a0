#pragma once

#include "grid/progress_sink.h"
#include "winapp/window.h"

#include <functional>
#include <string>

namespace winapp {

// A horizontal percentage bar: white, filled in navy from the left, with
// the percentage centred on it, dark over the white part and light over the
// navy part.
class Gauge {
public:
    Gauge(HWND parent, const RECT& place, HFONT font);
    HWND handle() const { return m_window; }
    int Progress() const { return m_progress; }
    // Clamps to 0..100 and repaints only when the shown value changes.
    void setProgress(int value);

private:
    void paint(HDC dc) const;

    HWND m_window = nullptr;
    HFONT m_font;
    int m_progress = 0;
};

// The stay-on-top window that shows how far a long operation has got: a bold
// heading and a percentage bar. ReportProgress creates, updates and closes
// it; nothing else should. Closing it (by a report, or by its close box)
// posts its release: it stays on screen, unchanged, until messages are next
// handled, and then destroys itself and this object.
class TF_Message {
public:
    TF_Message();
    TF_Message(const TF_Message&) = delete;
    TF_Message& operator=(const TF_Message&) = delete;

    HWND handle() const { return m_window; }

    // Controls, owned by the window.
    HWND Panel1 = nullptr;
    HWND LabMess = nullptr;
    Gauge* MsgProcent = nullptr;
    HWND Label2 = nullptr;
    HWND BtnOK = nullptr;

private:
    ~TF_Message();
    LRESULT handle(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    void FormCreate();
    void FormClose();
    void BtnOKClick();

    HWND m_window = nullptr;
    Gauge* m_gauge = nullptr;
    bool m_closed = false;
};

// True from the creation of a window until that window is closed; the only
// record of whether a usable window exists.
extern bool MessageFormOpen;
// The window last created; null once that window has gone.
extern TF_Message* F_Message;

// Shows progress in the window, by the rules of progress::reportProgress.
// `text` is UTF-8. Throws grid::RangeError for a percent beyond 32 bits.
void ReportProgress(const std::string& text, double percent);

// Replace what a report does to handle messages and to pause (for tests); an
// empty function restores the default.
void setMessagePump(std::function<void()> pump);
void setReportPause(std::function<void()> pause);

// Shows an operation's reports in the progress window.
class WindowProgressSink final : public grid::ProgressSink {
public:
    void report(const std::string& text, double percent) override { ReportProgress(text, percent); }
};

} // namespace winapp
