#pragma once

#include "app/form/form1.h"
#include "app/form/layout.h"
#include "winapp/bit_btn.h"
#include "winapp/check_list_box.h"
#include "winapp/directory_edit.h"
#include "winapp/fr_message.h"
#include "winapp/prompter.h"
#include "winapp/spin_edit.h"
#include "winapp/window.h"

#include <memory>

namespace winapp {

// The program's one window, made with the Windows API: pick the database
// folder and load its minutes, tick days and hours, pick the minute to move
// and where to, and shift.
//
// The controls and their events; what the handlers do is app::Form1's.
// Message boxes go through the Prompter it was given.
class TForm1 : private app::Form1View {
    // First, so that the data sets below can refer into it.
    app::Form1 m_form{*this};

public:
    // `prompter` shows the message boxes; the screen's when null. The window
    // keeps it, unowned, for its lifetime. The window is made hidden, with
    // FormCreate run; show() shows it.
    explicit TForm1(Prompter* prompter = nullptr);
    ~TForm1() override;
    TForm1(const TForm1&) = delete;
    TForm1& operator=(const TForm1&) = delete;

    HWND handle() const { return m_window; }
    // Centred on the screen, with the focus in the folder field.
    void show();

    // Closing the window posts the end of the message loop.
    bool quitOnClose = true;

    // Controls, in the layout's order; owned by the window.
    std::unique_ptr<TDirectoryEdit> DEBase;
    HWND Label1 = nullptr;
    HWND BtnLoad = nullptr;
    HWND Panel1 = nullptr;
    HWND Memo1 = nullptr;
    HWND LbTimes = nullptr;
    std::unique_ptr<TRxSpinEdit> RxNew;
    HWND EOldTime = nullptr;
    HWND Label2 = nullptr;
    HWND Label3 = nullptr;
    HWND Label4 = nullptr;
    std::unique_ptr<TRxSpinEdit> RXNewSize;
    grid::TableDataSet& Table1 = m_form.Table1;
    grid::QueryDataSet& Query1 = m_form.Query1;
    std::unique_ptr<TCheckListBox> CBHour;
    std::unique_ptr<TCheckListBox> CBDays;
    std::unique_ptr<TBitBtn> BtnMove;

    // The folder prefix, the minutes and the selected minute.
    grid::Engine& engine() { return m_form.engine(); }

    void FormCreate() { m_form.FormCreate(); }
    void BtnLoadClick() { m_form.BtnLoadClick(); }
    void LbTimesClick() { m_form.LbTimesClick(); }
    void RxNewChange() { m_form.RxNewChange(); }
    void BtnMoveClick() { m_form.BtnMoveClick(); }
    void UndoClick() { m_form.UndoClick(); }

    bool CheckDayOfWeek(int index) const { return m_form.CheckDayOfWeek(index); }
    bool CheckTime(int index) const { return m_form.CheckTime(index); }
    int GetDOW(paradox::DateTime date) const { return m_form.GetDOW(date); }

    // Control identifiers, as WM_COMMAND and WM_DRAWITEM carry them.
    enum Id {
        kDEBaseId = 100,
        kBtnLoadId,
        kMemo1Id,
        kLbTimesId,
        kRxNewId,
        kEOldTimeId,
        kRXNewSizeId,
        kCBHourId,
        kCBDaysId,
        kBtnMoveId,
    };
    // The item the window adds to its system menu, "Отменить последний
    // перенос…", as WM_SYSCOMMAND carries it (the system keeps the low four
    // bits); Ctrl+Z chooses it too.
    static constexpr UINT kUndoCommand = 0x0110;

private:
    LRESULT handle(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    void createControls();
    HWND label(const app::layout::Label& label);

    std::string folderText() const override;
    void clearMinuteList() override;
    void addMinute(const std::string& text) override;
    void selectMinute(int row) override;
    int selectedMinute() const override;
    void setOldTimeText(const std::string& text) override;
    spinedit::SpinValue& newMinute() override { return RxNew->model(); }
    spinedit::SpinValue& newSize() override { return RXNewSize->model(); }
    void setNewMinuteEnabled(bool enabled) override { EnableWindow(RxNew->handle(), enabled); }
    void setNewSizeEnabled(bool enabled) override { EnableWindow(RXNewSize->handle(), enabled); }
    void setMoveEnabled(bool enabled) override { EnableWindow(BtnMove->handle(), enabled); }
    void setUndoEnabled(bool enabled) override;
    app::CheckListView& days() override { return *CBDays; }
    app::CheckListView& hours() override { return *CBHour; }
    void showError(const std::string& message) override { m_prompter->error(message); }
    void showNotice(const std::string& message) override { m_prompter->inform(message); }
    bool confirm(const std::string& text) override { return m_prompter->confirm(text); }
    grid::ProgressSink& progress() override { return m_progress; }

    HWND m_window = nullptr;
    std::unique_ptr<Prompter> m_ownPrompter;
    Prompter* m_prompter;
    WindowProgressSink m_progress;
};

} // namespace winapp
