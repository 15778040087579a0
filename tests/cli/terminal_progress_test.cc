#include "cli/terminal_progress.h"
#include "cli_test_util.h"

#include <gtest/gtest.h>

#include <memory>

#if defined(_WIN32)
#include <fcntl.h>
#include <io.h>
#define pipe(ends) _pipe(ends, 4096, _O_BINARY)
#define NULL_DEVICE "NUL"
#else
#define NULL_DEVICE "/dev/null"
#endif

namespace {

using cli::TerminalProgress;
using Style = TerminalProgress::Style;
using TimePoint = std::chrono::steady_clock::time_point;

struct Step {
    int ms;
    const char* text; // null: the bar goes
    double percent;
    std::string written;
};

// Each step on a bar of `style` with a fake clock, and what it wrote.
void expectDrawn(Style style, const std::vector<Step>& steps)
{
    ScratchFile scratch = openScratch();
    ASSERT_NE(scratch.file, nullptr);
    std::size_t seen = 0;
    TimePoint now{};
    auto bar = std::make_unique<TerminalProgress>(scratch.file, style, [&] { return now; });
    for (const Step& s : steps) {
        now = TimePoint{} + std::chrono::milliseconds(s.ms);
        s.text ? bar->report(s.text, s.percent) : bar.reset();
        std::fflush(scratch.file);
        const std::string all = slurp(scratch.file);
        std::fseek(scratch.file, 0, SEEK_END); // a read then a write needs a seek between
        EXPECT_EQ(all.substr(seen), s.written) << "at " << s.ms << " ms";
        seen = all.size();
    }
    closeScratch(scratch);
}

TEST(TerminalProgress, RedrawsAtMostTenTimesASecondBesidesEachStagesFirstStateAndTheEnd)
{
    const std::string e = "\r\033[K";
    expectDrawn(Style::Escapes,
                {
                    {0, "Load", 0, e + "[..............................]   0% Load"},
                    {99, "", 9, ""},
                    {100, "", 10, e + "[###...........................]  10% Load"},
                    {150, "Move", 20, e + "[######........................]  20% Move"}, // a new stage at once
                    {250, "", 20, ""}, // due, but nothing to change
                    {260, "", 150, e + "[##############################] 100% Move"},
                    {300, "", 70, ""},
                    {310, "", -1, e},                                                // the end is never held back
                    {320, "", 30, e + "[#########.....................]  30% Move"}, // nor what follows
                    {330, nullptr, 0, e},                                            // nor a bar left standing
                });
}

TEST(TerminalProgress, AConsoleWithoutEscapesGetsSpacesOverWhatWasThere)
{
    // Spaces by characters, not bytes: each Cyrillic letter is two.
    expectDrawn(Style::Plain,
                {
                    {0, "Загрузка сетки", 0, "\r[..............................]   0% Загрузка сетки"},
                    {0, "Сетка", 0, "\r[..............................]   0% Сетка" + std::string(9, ' ')},
                    {0, "", -1, "\r" + std::string(43, ' ') + "\r"},
                });
}

// The null device is a character device, which Windows' C runtime takes for
// a terminal.
TEST(TerminalProgress, StaysSilentOnTheNullDeviceAFileAndAPipe)
{
    int ends[2];
    ASSERT_EQ(pipe(ends), 0);
    ScratchFile file = openScratch();
    for (std::FILE* err : {std::fopen(NULL_DEVICE, "w"), fdopen(ends[1], "w"), file.file}) {
        ASSERT_NE(err, nullptr);
        EXPECT_EQ(TerminalProgress(err).style(), Style::None);
    }
    closeScratch(file);
}

} // namespace
