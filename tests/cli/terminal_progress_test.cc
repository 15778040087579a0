#include "cli/terminal_progress.h"
#include "cli_test_util.h"

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

// What was written to `f` since the last call.
std::string newOutput(std::FILE* f, long* offset)
{
    std::fflush(f);
    std::fseek(f, *offset, SEEK_SET);
    std::string s;
    for (int c; (c = std::fgetc(f)) != EOF;)
        s += static_cast<char>(c);
    *offset = std::ftell(f);
    std::fseek(f, 0, SEEK_END); // a read then a write needs a seek between
    return s;
}

TEST(TerminalProgress, RedrawsAtMostTenTimesASecondBesidesEachStagesFirstStateAndTheEnd)
{
    const std::string e = "\r\033[K";
    const struct {
        int ms;
        const char* text;
        double percent;
        std::string written;
    } steps[] = {
        {0, "Load", 0, e + "[..............................]   0% Load"},
        {99, "", 9, ""},
        {100, "", 10, e + "[###...........................]  10% Load"},
        {150, "Move", 20, e + "[######........................]  20% Move"}, // a new stage shows at once
        {250, "", 20, ""},                                                   // due, but nothing to change
        {260, "", 150, e + "[##############################] 100% Move"},
        {300, "", 70, ""},
        {310, "", -1, e},                                                // the end is never held back
        {320, "", 30, e + "[#########.....................]  30% Move"}, // nor what follows it
    };
    ScratchFile scratch = openScratch();
    std::FILE* f = scratch.file;
    ASSERT_NE(f, nullptr);
    long offset = 0;
    TimePoint now{};
    {
        TerminalProgress bar(f, Style::Escapes, [&] { return now; });
        for (const auto& s : steps) {
            now = TimePoint{} + std::chrono::milliseconds(s.ms);
            bar.report(s.text, s.percent);
            EXPECT_EQ(newOutput(f, &offset), s.written) << "at " << s.ms << " ms";
        }
    }
    EXPECT_EQ(newOutput(f, &offset), e); // a bar left standing goes with the object
    closeScratch(scratch);
}

TEST(TerminalProgress, AConsoleWithoutEscapesGetsSpacesOverWhatWasThere)
{
    ScratchFile scratch = openScratch();
    std::FILE* f = scratch.file;
    ASSERT_NE(f, nullptr);
    long offset = 0;
    TerminalProgress bar(f, Style::Plain, [] { return TimePoint{}; });
    bar.report("Загрузка сетки", 0);
    EXPECT_EQ(newOutput(f, &offset), "\r[..............................]   0% Загрузка сетки");
    // Spaces by characters, not bytes: each Cyrillic letter is two.
    bar.report("Сетка", 0);
    EXPECT_EQ(newOutput(f, &offset), "\r[..............................]   0% Сетка" + std::string(9, ' '));
    bar.report("", -1);
    EXPECT_EQ(newOutput(f, &offset), "\r" + std::string(43, ' ') + "\r");
    closeScratch(scratch);
}

// The null device is a character device, which Windows' C runtime takes for
// a terminal.
TEST(TerminalProgress, StaysSilentOnTheNullDeviceAFileAndAPipe)
{
    int ends[2];
#if defined(_WIN32)
    ASSERT_EQ(_pipe(ends, 4096, _O_BINARY), 0);
    std::FILE* null = std::fopen("NUL", "w");
#else
    ASSERT_EQ(pipe(ends), 0);
    std::FILE* null = std::fopen("/dev/null", "w");
#endif
    ScratchFile file = openScratch();
    for (std::FILE* err : {null, file.file, fdopen(ends[1], "w")}) {
        ASSERT_NE(err, nullptr);
        EXPECT_EQ(TerminalProgress(err).style(), Style::None);
        if (err != file.file)
            std::fclose(err);
    }
    closeScratch(file);
    close(ends[0]);
}

} // namespace
