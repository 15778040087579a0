#include "plain_form_view.h"
#include "screen.h"
#include "test_support.h"

#include "cli/commands.h"
#include "progress/report_progress.h"
#include "winapp/unit1.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

namespace {

using winapp::widen;
using winapp::windowText;

// The windows of another process, found by class and caption.
struct Found {
    DWORD process;
    const wchar_t* cls;
    std::wstring title;
    HWND window = nullptr;
};

HWND findWindowOf(DWORD process, const wchar_t* cls, const std::wstring& title)
{
    Found found{process, cls, title};
    EnumWindows(
        [](HWND window, LPARAM data) -> BOOL {
            auto* f = reinterpret_cast<Found*>(data);
            DWORD owner = 0;
            GetWindowThreadProcessId(window, &owner);
            wchar_t name[64] = {};
            GetClassNameW(window, name, 64);
            if (owner == f->process && lstrcmpW(name, f->cls) == 0 && windowText(window) == f->title &&
                IsWindowVisible(window)) {
                f->window = window;
                return FALSE;
            }
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&found));
    return found.window;
}

// The text of another process's control: GetWindowText would give only
// what the system keeps as its caption.
std::wstring textOf(HWND control)
{
    wchar_t text[512] = {};
    SendMessageW(control, WM_GETTEXT, 512, reinterpret_cast<LPARAM>(text));
    return text;
}

template <class Done>
bool poll(Done done, int ms = 20000)
{
    const DWORD start = GetTickCount();
    while (!done()) {
        if (GetTickCount() - start > static_cast<DWORD>(ms))
            return false;
        Sleep(20);
    }
    return true;
}

std::vector<std::byte> contents(const std::string& folder, const char* name)
{
    return testsupport::readFile(folder + "\\" + name);
}

// gridshift.exe itself, started as a station starts it, its window found.
struct Program {
    PROCESS_INFORMATION process{};
    HWND form = nullptr;

    ~Program()
    {
        if (process.hProcess && WaitForSingleObject(process.hProcess, 0) == WAIT_TIMEOUT)
            TerminateProcess(process.hProcess, 1);
        if (process.hProcess) {
            CloseHandle(process.hThread);
            CloseHandle(process.hProcess);
        }
    }
    bool start()
    {
        std::wstring command = L"\"" + widen(GRIDSHIFT_PROGRAM) + L"\"";
        STARTUPINFOW startup{};
        startup.cb = sizeof startup;
        if (!CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process))
            return false;
        return poll([&] {
            form = findWindowOf(process.dwProcessId, L"GridshiftForm", widen(app::layout::kCaption));
            return form != nullptr;
        });
    }
    HWND control(int id) const { return GetDlgItem(form, id); }
    // Presses "Перенести данные" and answers the question Yes.
    bool shiftConfirmed() const
    {
        PostMessageW(control(winapp::TForm1::kBtnMoveId), BM_CLICK, 0, 0);
        HWND box = nullptr;
        if (!poll([&] { return (box = findWindowOf(process.dwProcessId, L"#32770", L"Confirm")) != nullptr; }))
            return false;
        PostMessageW(box, WM_COMMAND, IDYES, 0);
        return true;
    }
};

// The demo at C:\Kalvora (the folder field's default) and a copy of it.
void makeDemo(const std::string& kalvora, const testsupport::TempDir& copy)
{
    std::filesystem::remove_all(kalvora);
    ASSERT_EQ(cli::demo({kalvora}, stdout, stderr), cli::kSuccess);
    for (const auto& entry : std::filesystem::directory_iterator(kalvora))
        std::filesystem::copy_file(entry.path(), copy.path() + "\\" + entry.path().filename().string());
}

TEST(Program, ShowsLoadsAndShiftsTheDemoAtItsDefaultFolder)
{
    if (!wintest::haveScreen())
        GTEST_SKIP() << "no screen for Wine's windows: run under xvfb-run";
    const std::string kalvora = "C:\\Kalvora";
    testsupport::TempDir reference;
    makeDemo(kalvora, reference);

    Program program;
    ASSERT_TRUE(program.start()) << "the window did not show";
    HWND form = program.form;
    HWND load = program.control(winapp::TForm1::kBtnLoadId);
    HWND minutes = program.control(winapp::TForm1::kLbTimesId);
    HWND newMinute = program.control(winapp::TForm1::kRxNewId);
    HWND oldTime = program.control(winapp::TForm1::kEOldTimeId);
    HWND move = program.control(winapp::TForm1::kBtnMoveId);
    ASSERT_TRUE(load && minutes && newMinute && move);
    EXPECT_EQ(textOf(program.control(winapp::TForm1::kDEBaseId)), L"C:\\Kalvora");

    SendMessageW(load, BM_CLICK, 0, 0);
    ASSERT_GT(SendMessageW(minutes, LB_GETCOUNT, 0, 0), 0);
    EXPECT_EQ(SendMessageW(minutes, LB_GETCURSEL, 0, 0), 0);
    EXPECT_EQ(textOf(oldTime), L"00");
    EXPECT_TRUE(IsWindowEnabled(newMinute));

    // The first minute, 00, to 10: the confirmation is answered Yes.
    SendMessageW(newMinute, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(L"10"));
    ASSERT_TRUE(program.shiftConfirmed());
    // Loaded again after the shift: no block at 00 any more, so 05 comes first.
    ASSERT_TRUE(poll([&] { return textOf(oldTime) == L"05"; }, 60000)) << winapp::narrow(textOf(oldTime));

    SendMessageW(form, WM_CLOSE, 0, 0);
    EXPECT_EQ(WaitForSingleObject(program.process.hProcess, 20000), WAIT_OBJECT_0) << "closing the window ends the program";
    DWORD code = 1;
    GetExitCodeProcess(program.process.hProcess, &code);
    EXPECT_EQ(code, 0u);

    // The same shift through the window's logic alone, as the Qt window runs it.
    PlainFormView view;
    view.folder = reference.path();
    app::Form1 logic(view);
    logic.FormCreate();
    logic.BtnLoadClick();
    view.rxNew.setValue(10);
    view.answers.push_back(true);
    logic.BtnMoveClick();
    ASSERT_TRUE(view.errors.empty());
    for (const char* table : {"AdvSetBlk.db", "AdvBlock.db"})
        EXPECT_EQ(contents(kalvora, table), contents(reference.path(), table)) << table;
}

// Closing the window while the filling is walked, as a user did on the demo:
// both windows go at once, the program ends within half a second, and
// nothing is written.
TEST(Program, ClosingTheWindowDuringAShiftEndsItUnwritten)
{
    if (!wintest::haveScreen())
        GTEST_SKIP() << "no screen for Wine's windows: run under xvfb-run";
    const std::string kalvora = "C:\\Kalvora";
    testsupport::TempDir reference;
    makeDemo(kalvora, reference);

    Program program;
    ASSERT_TRUE(program.start()) << "the window did not show";
    SendMessageW(program.control(winapp::TForm1::kBtnLoadId), BM_CLICK, 0, 0);
    SendMessageW(program.control(winapp::TForm1::kRxNewId), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(L"10"));
    ASSERT_TRUE(program.shiftConfirmed());
    HWND progress = nullptr;
    ASSERT_TRUE(poll([&] {
        progress = findWindowOf(program.process.dwProcessId, L"GridshiftProgress", widen(progress::kCaption));
        return progress && FindWindowExW(FindWindowExW(progress, nullptr, nullptr, nullptr), nullptr, L"Static",
                                         widen("Процесс переноса данных").c_str());
    })) << "the filling was never walked";

    const DWORD closed = GetTickCount();
    PostMessageW(program.form, WM_CLOSE, 0, 0);
    EXPECT_TRUE(poll([&] { return !IsWindowVisible(program.form) && !IsWindowVisible(progress); }, 2000));
    const DWORD windowsGone = GetTickCount() - closed;
    ASSERT_EQ(WaitForSingleObject(program.process.hProcess, 5000), WAIT_OBJECT_0);
    const DWORD ended = GetTickCount() - closed;
    EXPECT_LT(windowsGone, 200u);
    EXPECT_LT(ended, 500u);
    for (const auto& entry : std::filesystem::directory_iterator(reference.path())) {
        const std::string name = entry.path().filename().string();
        EXPECT_EQ(contents(kalvora, name.c_str()), contents(reference.path(), name.c_str())) << name;
    }
    EXPECT_FALSE(std::filesystem::exists(kalvora + "\\gridshift.jnl"));
}

} // namespace
