#include "cli/terminal_progress.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#if defined(_WIN32)
#include <fcntl.h>
#include <io.h>
#else
#include <unistd.h>
#endif

namespace {

using cli::TerminalProgress;
using Style = TerminalProgress::Style;
using TimePoint = std::chrono::steady_clock::time_point;
using std::chrono::milliseconds;

// What was written to `f` since the last call.
std::string newOutput(std::FILE* f, long* offset)
{
    std::fflush(f);
    std::fseek(f, *offset, SEEK_SET);
    std::string s;
    char buf[256];
    std::size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, f)) > 0)
        s.append(buf, n);
    *offset = std::ftell(f);
    std::fseek(f, 0, SEEK_END);  // a read then a write needs a seek between
    return s;
}

const std::string kErase = "\r\033[K";

TEST(TerminalProgress, RedrawsAtMostTenTimesASecondBesidesEachStagesFirstStateAndTheEnd)
{
    struct Step {
        int atMs;
        const char* text;
        double percent;
        std::string written;
    };
    const Step steps[] = {
        {0, "Load", 0, kErase + "[..............................]   0% Load"},
        {10, "", 5, ""},
        {99, "", 9, ""},
        {100, "", 10, kErase + "[###...........................]  10% Load"},
        {150, "Move", 20, kErase + "[######........................]  20% Move"},  // a new stage shows at once
        {200, "", 50, ""},
        {250, "", 20, ""},  // due, but the line is the one shown
        {260, "", 70, kErase + "[#####################.........]  70% Move"},
        {300, "", 150, ""},
        {400, "", 150, kErase + "[##############################] 100% Move"},
        {410, "", -1, kErase},  // the end is never held back
        {420, "", -1, ""},
        {430, "", 30, kErase + "[#########.....................]  30% Move"},  // nor what follows it
    };
    std::FILE* f = std::tmpfile();
    ASSERT_NE(f, nullptr);
    long offset = 0;
    TimePoint now{};
    {
        TerminalProgress bar(f, Style::Escapes, [&] { return now; });
        for (const Step& s : steps) {
            now = TimePoint{} + milliseconds(s.atMs);
            bar.report(s.text, s.percent);
            EXPECT_EQ(newOutput(f, &offset), s.written) << "at " << s.atMs << " ms";
        }
    }
    EXPECT_EQ(newOutput(f, &offset), kErase);  // a bar left standing goes with the object
    std::fclose(f);
}

TEST(TerminalProgress, AConsoleWithoutEscapesGetsSpacesOverWhatWasThere)
{
    std::FILE* f = std::tmpfile();
    ASSERT_NE(f, nullptr);
    long offset = 0;
    TerminalProgress bar(f, Style::Plain, [] { return TimePoint{}; });
    bar.report("Загрузка сетки", 0);
    const std::string first = "[..............................]   0% Загрузка сетки";
    EXPECT_EQ(newOutput(f, &offset), "\r" + first);
    // Spaces by characters, not bytes: each Cyrillic letter is two.
    bar.report("Сетка", 0);
    EXPECT_EQ(newOutput(f, &offset), "\r[..............................]   0% Сетка" + std::string(9, ' '));
    bar.report("", -1);
    EXPECT_EQ(newOutput(f, &offset), "\r" + std::string(43, ' ') + "\r");
    std::fclose(f);
}

// The null device is a character device, which the C runtime takes for a
// terminal on Windows; it, a file and a pipe must all get nothing.
TEST(TerminalProgress, StaysSilentOnTheNullDeviceAFileAndAPipe)
{
#if defined(_WIN32)
    std::FILE* null = std::fopen("NUL", "w");
    int ends[2];
    ASSERT_EQ(_pipe(ends, 4096, _O_BINARY), 0);
    std::FILE* pipeIn = _fdopen(ends[1], "w");
#else
    std::FILE* null = std::fopen("/dev/null", "w");
    int ends[2];
    ASSERT_EQ(pipe(ends), 0);
    std::FILE* pipeIn = fdopen(ends[1], "w");
#endif
    std::FILE* file = std::tmpfile();
    ASSERT_TRUE(null && pipeIn && file);
    for (std::FILE* err : {null, file, pipeIn}) {
        TerminalProgress bar(err);
        EXPECT_EQ(bar.style(), Style::None);
        bar.report("Загрузка", 0);
        bar.report("", 50);
        bar.report("", -1);
    }
    long offset = 0;
    EXPECT_EQ(newOutput(file, &offset), "");
    std::fclose(pipeIn);  // the reading end then sees the end of what was written
    char c;
#if defined(_WIN32)
    EXPECT_EQ(_read(ends[0], &c, 1), 0);
    _close(ends[0]);
#else
    EXPECT_EQ(read(ends[0], &c, 1), 0);
    close(ends[0]);
#endif
    std::fclose(file);
    std::fclose(null);
}

} // namespace
