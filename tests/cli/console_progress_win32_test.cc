// The progress bar on a console of the test's own, set as a classic console
// starts: without escape sequences.
#include "cli/terminal_progress.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <io.h>
#include <string>

#define WIN32_LEAN_AND_MEAN
#include <windows.h>

TEST(ConsoleProgress, DrawsWithEscapesSwitchedOnForTheRunOnly)
{
    FreeConsole();
    AllocConsole();
    const HANDLE console = CreateFileW(L"CONOUT$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                       nullptr, OPEN_EXISTING, 0, nullptr);
    DWORD before = 0, during = 0, after = 0, read = 0;
    if (!GetConsoleMode(console, &before))
        GTEST_SKIP() << "no console: Wine shows one only on an X display";
    ASSERT_TRUE(SetConsoleMode(console, before & ~ENABLE_VIRTUAL_TERMINAL_PROCESSING));
    std::FILE* err = _fdopen(_open_osfhandle(reinterpret_cast<intptr_t>(console), _O_BINARY), "wb");
    std::wstring row(80, L' ');
    {
        cli::TerminalProgress bar(err);
        bar.report("Load", 50);
        GetConsoleMode(console, &during);
        ReadConsoleOutputCharacterW(console, row.data(), 80, COORD{0, 0}, &read);
    }
    GetConsoleMode(console, &after);
    // Wine's console takes the mode but shows the erase sequence as text,
    // which Windows' does not: only the bar itself is looked for.
    EXPECT_NE(row.find(L"[###############...............]  50% Load"), std::wstring::npos);
    EXPECT_TRUE(during & ENABLE_VIRTUAL_TERMINAL_PROCESSING);
    EXPECT_EQ(after, before & ~ENABLE_VIRTUAL_TERMINAL_PROCESSING);
}
