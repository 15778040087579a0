// Draws a progress bar on its console as gridshift-cli does on standard
// error, then writes to the file named by its argument the console row the
// bar was drawn on and the console's mode before, while and after.
//
// The console is opened by name: under Wine a pseudo console's process does
// not get it as its standard handles.
#include "cli/terminal_progress.h"

#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <cstdio>
#include <fcntl.h>
#include <io.h>

int wmain(int argc, wchar_t** argv)
{
    if (argc != 2)
        return 2;
    const HANDLE console = CreateFileW(L"CONOUT$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                       nullptr, OPEN_EXISTING, 0, nullptr);
    std::FILE* err = _fdopen(_open_osfhandle(reinterpret_cast<intptr_t>(console), _O_BINARY), "wb");
    if (!err)
        return 3;
    DWORD before = 0, during = 0, after = 0;
    GetConsoleMode(console, &before);
    wchar_t row[81] = {};
    {
        cli::TerminalProgress bar(err);
        GetConsoleMode(console, &during);
        bar.report("Load", 50);
        CONSOLE_SCREEN_BUFFER_INFO info{};
        GetConsoleScreenBufferInfo(console, &info);
        DWORD read = 0;
        ReadConsoleOutputCharacterW(console, row, 80, COORD{0, info.dwCursorPosition.Y}, &read);
    }
    GetConsoleMode(console, &after);
    std::FILE* out = _wfopen(argv[1], L"w");
    if (!out)
        return 4;
    std::fprintf(out, "%ls\n%lu %lu %lu\n", row, before, during, after);
    return std::fclose(out) == 0 ? 0 : 5;
}
