#include "progress/report_progress.h"

#include "grid/errors.h"

#include <gtest/gtest.h>

#include <limits>
#include <string>
#include <vector>

namespace progress {
namespace {

// Records what the reports ask of the window, in order.
class RecordingWindows final : public ProgressWindows {
public:
    bool isOpen() const override { return open; }
    void create() override
    {
        open = true;
        calls.push_back("create");
    }
    void setHeading(const std::string& text) override { calls.push_back("heading " + text); }
    void showBar(int percent) override { calls.push_back("bar " + std::to_string(percent)); }
    void hideBar() override { calls.push_back("no bar"); }
    void show() override { calls.push_back("show"); }
    void handleMessages() override { calls.push_back("messages"); }
    void pause() override { calls.push_back("pause"); }
    void close() override
    {
        open = false;
        calls.push_back("close");
    }

    bool open = false;
    std::vector<std::string> calls;
};

using Calls = std::vector<std::string>;

TEST(ReportProgress, WhatEachReportDoesToTheWindow)
{
    const struct {
        bool open;
        const char* text;
        double percent;
        Calls calls;
    } cases[] = {
        {false,
         "Загрузка сетки рекламы",
         0,
         {"create", "heading Загрузка сетки рекламы", "bar 0", "show", "messages", "pause"}},
        {true, "", 0, {"bar 0", "show", "messages", "pause"}},
        {false, "", 99.99, {"create", "bar 99", "show", "messages", "pause"}},
        {true, "", 150, {"bar 150", "show", "messages", "pause"}},
        {true,
         "Процесс переноса данных",
         -1,
         {"heading Процесс переноса данных", "no bar", "show", "messages", "pause"}},
        {true, "", -1, {"close"}},
        {false, "", -1, {}},
        {true, "", -0.5, {"close"}},
    };
    for (const auto& c : cases) {
        RecordingWindows windows;
        windows.open = c.open;
        reportProgress(windows, c.text, c.percent);
        EXPECT_EQ(windows.calls, c.calls) << c.text << " " << c.percent << (c.open ? " open" : " closed");
    }
}

TEST(ReportProgress, APercentBeyond32BitsFailsAfterTheWindowIsMade)
{
    RecordingWindows windows;
    try {
        reportProgress(windows, "Загрузка сетки рекламы", 2147483648.0);
        FAIL() << "no error";
    } catch (const grid::RangeError& error) {
        EXPECT_STREQ(error.what(), "Range check error");
    }
    EXPECT_EQ(windows.calls, (Calls{"create", "heading Загрузка сетки рекламы"}));
    EXPECT_THROW(reportProgress(windows, "", std::numeric_limits<double>::infinity()), grid::RangeError);
    EXPECT_EQ(wholePercent(2147483647.9), 2147483647);
    EXPECT_EQ(wholePercent(-2147483648.5), -2147483647 - 1);
    // The gauge's whole pixels never run ahead of the value: 42% of 378 is 158.76.
    EXPECT_EQ(gaugeFill(378, 42), 158);
    EXPECT_EQ(gaugeFill(378, 150), 378);
}

} // namespace
} // namespace progress
