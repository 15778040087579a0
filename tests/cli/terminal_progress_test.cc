#include "cli/terminal_progress.h"
#include "cli_test_util.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <tuple>
#include <vector>

#if defined(_WIN32)
#include <cwchar>
#include <fcntl.h>
#include <io.h>
#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#define pipe(ends) _pipe(ends, 4096, _O_BINARY)
#define NULL_DEVICE "NUL"
#else
#include <unistd.h>
#define NULL_DEVICE "/dev/null"
#endif

namespace {

using cli::TerminalProgress;
using Style = TerminalProgress::Style;
using TimePoint = std::chrono::steady_clock::time_point;

// Each step's report (at its time in ms, of its text and percent; no text:
// the bar goes) to a bar of `style` with a fake clock, and what it wrote.
void expectDrawn(Style style, const std::vector<std::tuple<int, const char*, double, std::string>>& steps)
{
    ScratchFile scratch;
    ASSERT_NE(scratch.file, nullptr);
    std::size_t seen = 0;
    TimePoint now{};
    auto bar = std::make_unique<TerminalProgress>(scratch.file, style, [&] { return now; });
    for (const auto& [ms, text, percent, written] : steps) {
        now = TimePoint{} + std::chrono::milliseconds(ms);
        text ? bar->report(text, percent) : bar.reset();
        const std::string all = slurp(scratch.file);
        std::fseek(scratch.file, 0, SEEK_END); // a read then a write needs a seek between
        EXPECT_EQ(all.substr(seen), written) << "at " << ms << " ms";
        seen = all.size();
    }
}

// Ten redraws a second besides each stage's first state and the end, over
// escapes; without them, spaces by characters, not bytes (each Cyrillic
// letter is two), over what was there.
TEST(TerminalProgress, RedrawsAtMostTenTimesASecondOverEscapesOrSpaces)
{
    const std::string e = "\r\033[K";
    expectDrawn(Style::Escapes,
                {{0, "Load", 0, e + "[..............................]   0% Load"},
                 {99, "", 9, ""},
                 {100, "", 10, e + "[###...........................]  10% Load"},
                 {150, "Move", 20, e + "[######........................]  20% Move"}, // a new stage at once
                 {250, "", 20, ""},                                                   // due, but nothing to change
                 {260, "", 150, e + "[##############################] 100% Move"},
                 {300, "", 70, ""},
                 {310, "", -1, e},                                                // the end is never held back
                 {320, "", 30, e + "[#########.....................]  30% Move"}, // nor what follows
                 {330, nullptr, 0, e}});                                          // nor a bar left standing
    expectDrawn(Style::Plain,
                {{0, "Загрузка сетки", 0, "\r[..............................]   0% Загрузка сетки"},
                 {0, "Сетка", 0, "\r[..............................]   0% Сетка" + std::string(9, ' ')},
                 {0, "", -1, "\r" + std::string(43, ' ') + "\r"}});
}

// The null device is a character device, which Windows' C runtime takes for
// a terminal.
TEST(TerminalProgress, StaysSilentOnTheNullDeviceAFileAndAPipe)
{
    int ends[2];
    ASSERT_EQ(pipe(ends), 0);
    ScratchFile file;
    std::FILE* null = std::fopen(NULL_DEVICE, "w");
    std::FILE* pipeEnd = fdopen(ends[1], "w");
    for (std::FILE* err : {null, pipeEnd, file.file}) {
        ASSERT_NE(err, nullptr);
        EXPECT_EQ(TerminalProgress(err).style(), Style::None);
    }
    std::fclose(null);
    std::fclose(pipeEnd);
    close(ends[0]);
}

#if defined(_WIN32)
// On a real console, set as a classic one starts. The test runs itself again
// on a console of its own, without a window: Wine makes one without a display.
TEST(TerminalProgress, OnAConsoleSwitchesEscapesOnForTheRunOnly)
{
    if (!std::wcsstr(GetCommandLineW(), L" --own-console")) {
        std::wstring command = GetCommandLineW() + std::wstring(L" --gtest_filter=*OnAConsole* --own-console");
        STARTUPINFOW si{};
        si.cb = sizeof si;
        si.dwFlags = STARTF_USESTDHANDLES; // its report in ours
        si.hStdOutput = si.hStdError = GetStdHandle(STD_OUTPUT_HANDLE);
        PROCESS_INFORMATION pi{};
        std::fflush(stdout);
        ASSERT_TRUE(CreateProcessW(nullptr, command.data(), nullptr, nullptr, TRUE, CREATE_NO_WINDOW, nullptr,
                                   nullptr, &si, &pi));
        DWORD status = 1;
        WaitForSingleObject(pi.hProcess, INFINITE);
        GetExitCodeProcess(pi.hProcess, &status);
        EXPECT_EQ(status, 0u);
        return;
    }
    const HANDLE console = CreateFileW(L"CONOUT$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                       nullptr, OPEN_EXISTING, 0, nullptr);
    DWORD before = 0, during = 0, after = 0;
    ASSERT_TRUE(GetConsoleMode(console, &before));
    ASSERT_TRUE(SetConsoleMode(console, before &= ~ENABLE_VIRTUAL_TERMINAL_PROCESSING));
    {
        TerminalProgress bar(_fdopen(_open_osfhandle(reinterpret_cast<intptr_t>(console), _O_BINARY), "wb"));
        EXPECT_EQ(bar.style(), Style::Escapes);
        GetConsoleMode(console, &during);
    }
    GetConsoleMode(console, &after);
    EXPECT_TRUE(during & ENABLE_VIRTUAL_TERMINAL_PROCESSING);
    EXPECT_EQ(after, before);
}
#endif

} // namespace
