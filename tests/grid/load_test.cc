#include "grid_tables.h"
#include "grid_test_util.h"
#include "test_support.h"

#include <gtest/gtest.h>

namespace {

using testsupport::GridSlot;
using testsupport::TempDir;

class Load : public ::testing::Test {
public:
    void writeTables(const std::vector<GridSlot>& slots, const std::string& folder)
    {
        testsupport::writeGridTable(folder + "/AdvSetBlk.db", slots);
        testsupport::writeFillingTable(folder + "/AdvBlock.db", {{2026, 3, 2, 10, 15}});
    }

    bool load(const std::string& folderText) { return grid::loadMinutes(engine, folderText, query, progress, view); }

    TempDir dir;
    grid::Engine engine;
    grid::QueryDataSet query;
    RecordingProgress progress;
    RecordingView view;
};

TEST_F(Load, ListsTheDistinctMinutesSmallestFirstAndSelectsTheFirst)
{
    writeTables({{0, 10, 15}, {0, 10, 45}, {3, 11, 15}, {6, 0, 5}, {1, 10, 15, 30}, {2, 23, 45, 59, 999}},
                dir.path());
    ASSERT_TRUE(load(dir.path()));
    EXPECT_EQ(engine.BaseFolder, dir.path() + "\\");
    EXPECT_EQ(engine.Minutes, (std::vector<std::uint16_t>{5, 15, 45}));
    EXPECT_EQ(view.list, (std::vector<std::string>{"05", "15", "45"}));
    EXPECT_EQ(view.selections, 1);
    EXPECT_TRUE(view.errors.empty());
    // Opened with the heading, closed at the end; the query is closed and empty.
    ASSERT_GE(progress.reports.size(), 2u);
    EXPECT_EQ(progress.reports.front(), std::make_pair(std::string("Загрузка сетки рекламы"), 0.0));
    EXPECT_EQ(progress.reports.back(), std::make_pair(std::string(), -1.0));
    EXPECT_FALSE(query.active());
    EXPECT_TRUE(query.sql().empty());
}

TEST_F(Load, AnEmptyGridGivesAnEmptyListAndNoSelection)
{
    writeTables({}, dir.path());
    view.list = {"old"};
    engine.OldMinute = 30;
    ASSERT_TRUE(load(dir.path()));
    EXPECT_TRUE(engine.Minutes.empty());
    EXPECT_TRUE(view.list.empty());
    EXPECT_EQ(view.selections, 0);
    EXPECT_EQ(engine.OldMinute, 30);
}

TEST_F(Load, AMissingTableIsReportedAndKeepsTheEarlierList)
{
    writeTables({{0, 10, 15}}, dir.path());
    ASSERT_TRUE(load(dir.path()));
    const std::vector<std::string> listBefore = view.list;

    TempDir other;
    testsupport::writeGridTable(other.file("AdvSetBlk.db"), {{0, 1, 30}});
    ASSERT_TRUE(load(other.path()));
    EXPECT_EQ(view.errors, (std::vector<std::string>{"Не найдена база наполнения блоков AdvBlock.db"}));
    EXPECT_EQ(engine.BaseFolder, other.path() + "\\");
    EXPECT_EQ(engine.Minutes, (std::vector<std::uint16_t>{15}));
    EXPECT_EQ(view.list, listBefore);

    TempDir empty;
    ASSERT_TRUE(load(empty.path() + " "));
    EXPECT_EQ(view.errors.back(), "Не найдена база сетки рекламы AdvSetBlk.db");
    EXPECT_EQ(engine.BaseFolder, empty.path() + " \\");
    EXPECT_EQ(view.list, listBefore);
}

TEST_F(Load, ReportsEveryTenthRowAsAWholePercentOfTheRows)
{
    // 400 distinct start times: every hour from 0 to 23 at several minutes and seconds.
    std::vector<GridSlot> slots;
    for (int i = 0; i < 400; ++i)
        slots.push_back({i % 7, i / 17 % 24, (i * 7) % 60, i % 60});
    writeTables(slots, dir.path());
    ASSERT_TRUE(load(dir.path()));
    ASSERT_EQ(progress.reports.size(), 1u + 40u + 1u);
    const double expected[] = {0, 2, 5, 7, 10, 12, 15, 17};
    for (std::size_t i = 0; i < std::size(expected); ++i) {
        EXPECT_EQ(progress.reports[i + 1].first, "");
        EXPECT_EQ(progress.reports[i + 1].second, expected[i]) << "report " << i + 1;
    }
    EXPECT_EQ(progress.reports[40].second, 97);
}

TEST_F(Load, AFailingQueryLeavesTheListAsItWasAndClosesEverything)
{
    writeTables({{0, 10, 15}}, dir.path());
    ASSERT_TRUE(load(dir.path()));
    // A damaged grid: the header survives, the records do not add up.
    std::vector<std::byte> bytes = testsupport::readFile(dir.file("AdvSetBlk.db"));
    bytes[0x06] = std::byte{9};
    testsupport::writeFile(dir.file("AdvSetBlk.db"), bytes);
    progress.reports.clear();
    EXPECT_THROW(load(dir.path()), grid::Error);
    EXPECT_EQ(engine.Minutes, (std::vector<std::uint16_t>{15}));
    EXPECT_EQ(view.list, (std::vector<std::string>{"15"}));
    // Nothing stays open, nor on screen above the error box.
    ASSERT_EQ(progress.reports.size(), 2u);
    EXPECT_EQ(progress.reports.back(), (std::pair<std::string, double>{"", -1}));
    EXPECT_FALSE(query.active());
    EXPECT_FALSE(engine.busy);
}

TEST_F(Load, ASecondLoadStartedDuringOneDoesNothing)
{
    writeTables({{0, 10, 15}}, dir.path());
    struct Reentering : RecordingProgress {
        Load* test = nullptr;
        int nestedResults = 0;
        void report(const std::string& text, double percent) override
        {
            RecordingProgress::report(text, percent);
            if (percent >= 0 && !test->load("elsewhere"))
                ++nestedResults;
        }
    } reentering;
    reentering.test = this;
    ASSERT_TRUE(grid::loadMinutes(engine, dir.path(), query, reentering, view));
    EXPECT_GT(reentering.nestedResults, 0);
    EXPECT_EQ(engine.BaseFolder, dir.path() + "\\");
    EXPECT_EQ(view.list, (std::vector<std::string>{"15"}));
    EXPECT_FALSE(engine.busy);
}

} // namespace
