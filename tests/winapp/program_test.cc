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

// gridshift.exe itself, started as a station starts it, on the demo at
// C:\Kalvora (the folder field's default), driven from this process.
TEST(Program, ShowsLoadsAndShiftsTheDemoAtItsDefaultFolder)
{
    if (!wintest::haveScreen())
        GTEST_SKIP() << "no screen for Wine's windows: run under xvfb-run";
    const std::string kalvora = "C:\\Kalvora";
    std::filesystem::remove_all(kalvora);
    ASSERT_EQ(cli::demo({kalvora}, stdout, stderr), cli::kSuccess);
    testsupport::TempDir reference;
    for (const auto& entry : std::filesystem::directory_iterator(kalvora))
        std::filesystem::copy_file(entry.path(), reference.path() + "\\" + entry.path().filename().string());

    std::wstring command = L"\"" + widen(GRIDSHIFT_PROGRAM) + L"\"";
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    ASSERT_TRUE(CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                               &process));
    HWND form = nullptr;
    ASSERT_TRUE(poll([&] {
        form = findWindowOf(process.dwProcessId, L"GridshiftForm", widen(app::layout::kCaption));
        return form != nullptr;
    })) << "the window did not show";
    HWND load = GetDlgItem(form, winapp::TForm1::kBtnLoadId);
    HWND minutes = GetDlgItem(form, winapp::TForm1::kLbTimesId);
    HWND newMinute = GetDlgItem(form, winapp::TForm1::kRxNewId);
    HWND oldTime = GetDlgItem(form, winapp::TForm1::kEOldTimeId);
    HWND move = GetDlgItem(form, winapp::TForm1::kBtnMoveId);
    ASSERT_TRUE(load && minutes && newMinute && move);
    EXPECT_EQ(textOf(GetDlgItem(form, winapp::TForm1::kDEBaseId)), L"C:\\Kalvora");

    SendMessageW(load, BM_CLICK, 0, 0);
    ASSERT_GT(SendMessageW(minutes, LB_GETCOUNT, 0, 0), 0);
    EXPECT_EQ(SendMessageW(minutes, LB_GETCURSEL, 0, 0), 0);
    EXPECT_EQ(textOf(oldTime), L"00");
    EXPECT_TRUE(IsWindowEnabled(newMinute));

    // The first minute, 00, to 10: the confirmation is answered Yes.
    SendMessageW(newMinute, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(L"10"));
    PostMessageW(move, BM_CLICK, 0, 0);
    HWND box = nullptr;
    ASSERT_TRUE(poll([&] { return (box = findWindowOf(process.dwProcessId, L"#32770", L"Confirm")) != nullptr; }));
    PostMessageW(box, WM_COMMAND, IDYES, 0);
    // Loaded again after the shift: no block at 00 any more, so 05 comes first.
    ASSERT_TRUE(poll([&] { return !IsWindow(box) && textOf(oldTime) == L"05"; }, 60000))
        << winapp::narrow(textOf(oldTime));

    // 05 to 20, and the window closed while the filling is walked, as a user
    // did: both windows go at once, the program ends within half a second,
    // and the tables stay as the first shift left them.
    SendMessageW(newMinute, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(L"20"));
    PostMessageW(move, BM_CLICK, 0, 0);
    ASSERT_TRUE(poll([&] { return (box = findWindowOf(process.dwProcessId, L"#32770", L"Confirm")) != nullptr; }));
    PostMessageW(box, WM_COMMAND, IDYES, 0);
    HWND progress = nullptr;
    ASSERT_TRUE(poll([&] {
        progress = findWindowOf(process.dwProcessId, L"GridshiftProgress", widen(progress::kCaption));
        return progress && FindWindowExW(GetWindow(progress, GW_CHILD), nullptr, L"Static",
                                         widen("Процесс переноса данных").c_str());
    })) << "the filling was never walked";
    const DWORD closed = GetTickCount();
    PostMessageW(form, WM_CLOSE, 0, 0);
    EXPECT_TRUE(poll([&] { return !IsWindowVisible(form) && !IsWindowVisible(progress); }, 2000));
    EXPECT_LT(GetTickCount() - closed, 200u) << "both windows go at once";
    EXPECT_EQ(WaitForSingleObject(process.hProcess, 5000), WAIT_OBJECT_0);
    EXPECT_LT(GetTickCount() - closed, 500u) << "closing the window ends the program";
    DWORD code = 1;
    GetExitCodeProcess(process.hProcess, &code);
    EXPECT_EQ(code, 0u);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);

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

} // namespace
