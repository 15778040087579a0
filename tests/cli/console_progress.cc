// Started on a pseudo console by console_progress_win32_test.cc: draws a
// progress bar on the console, as gridshift-cli does on standard error, and
// exits with 0 when the bar showed there, with escape sequences switched on
// while it did and the console's mode put back after.
//
// The console is opened by name: under Wine a pseudo console's process does
// not get it as its standard handles.
#include "cli/terminal_progress.h"

#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <cstdio>
#include <fcntl.h>
#include <io.h>
#include <string>

int main()
{
    const HANDLE console = CreateFileW(L"CONOUT$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                       nullptr, OPEN_EXISTING, 0, nullptr);
    std::FILE* err = _fdopen(_open_osfhandle(reinterpret_cast<intptr_t>(console), _O_BINARY), "wb");
    DWORD before = 0, during = 0, after = 0;
    if (!err || !GetConsoleMode(console, &before))
        return 2;
    // As a classic console starts.
    before &= ~ENABLE_VIRTUAL_TERMINAL_PROCESSING;
    SetConsoleMode(console, before);
    std::wstring row(80, L' ');
    {
        cli::TerminalProgress bar(err);
        bar.report("Load", 50);
        GetConsoleMode(console, &during);
        CONSOLE_SCREEN_BUFFER_INFO info{};
        GetConsoleScreenBufferInfo(console, &info);
        DWORD read = 0;
        ReadConsoleOutputCharacterW(console, row.data(), 80, COORD{0, info.dwCursorPosition.Y}, &read);
    }
    GetConsoleMode(console, &after);
    // Wine's console takes the mode but shows the erase sequence as text,
    // which Windows' does not: only the bar itself is looked for.
    if (row.find(L"[###############...............]  50% Load") == std::wstring::npos)
        return 3;
    if (!(during & ENABLE_VIRTUAL_TERMINAL_PROCESSING))
        return 4;
    return after == before ? 0 : 5;
}
