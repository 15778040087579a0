#include "grid_tables.h"
#include "test_support.h"
#include "faulty_file_system.h"

#include "app/form/form1.h"
#include "app/form/layout.h"
#include "app/form/messages.h"
#include "grid/errors.h"
#include "spinedit/program_editors.h"

#include <gtest/gtest.h>

#include <deque>
#include <string>
#include <vector>

namespace app {
namespace {

using testsupport::TempDir;
using Texts = std::vector<std::string>;

struct FakeList : CheckListView {
    struct Item {
        std::string text;
        bool ticked = false;
    };
    std::vector<Item> items;
    int count() const override { return static_cast<int>(items.size()); }
    bool ticked(int index) const override { return index >= 0 && index < count() && items[index].ticked; }
    void clear() override { items.clear(); }
    void addItem(const std::string& text) override { items.push_back({text}); }
    void setTicked(int index, bool ticked) override { items.at(static_cast<std::size_t>(index)).ticked = ticked; }
};

struct RecordingSink : grid::ProgressSink {
    std::vector<std::pair<std::string, double>> reports;
    void report(const std::string& text, double percent) override { reports.emplace_back(text, percent); }
};

// The controls as plain values, laid out as the window starts: the day list
// filled, both editors disabled, BtnMove enabled.
struct FakeView : Form1View {
    FakeView()
    {
        for (const char* day : grid::kDayNames)
            dayList.addItem(day);
        // One item left from the layout: FormCreate empties the hour list.
        hourList.addItem("stale");
    }

    std::string folderText() const override { return folder; }
    void clearMinuteList() override
    {
        minutes.clear();
        selected = -1;
    }
    void addMinute(const std::string& text) override { minutes.push_back(text); }
    void selectMinute(int row) override { selected = row; }
    int selectedMinute() const override { return selected; }
    void setOldTimeText(const std::string& text) override { oldTime = text; }
    spinedit::SpinValue& newMinute() override { return rxNew; }
    spinedit::SpinValue& newSize() override { return rxNewSize; }
    void setNewMinuteEnabled(bool enabled) override { rxNewEnabled = enabled; }
    void setNewSizeEnabled(bool enabled) override { rxNewSizeEnabled = enabled; }
    void setMoveEnabled(bool enabled) override { moveEnabled = enabled; }
    CheckListView& days() override { return dayList; }
    CheckListView& hours() override { return hourList; }
    void showError(const std::string& message) override { errors.push_back(message); }
    void showNotice(const std::string& message) override { notices.push_back(message); }
    bool confirm(const std::string& text) override
    {
        questions.push_back(text);
        if (answers.empty())
            return false;
        const bool yes = answers.front();
        answers.pop_front();
        return yes;
    }
    grid::ProgressSink& progress() override { return sink; }

    std::string folder = layout::kDefaultFolder;
    Texts minutes;
    int selected = -1;
    std::string oldTime;
    spinedit::SpinValue rxNew = spinedit::makeRxNew();
    spinedit::SpinValue rxNewSize = spinedit::makeRXNewSize();
    bool rxNewEnabled = false, rxNewSizeEnabled = false, moveEnabled = true;
    FakeList dayList, hourList;
    Texts errors, notices, questions;
    std::deque<bool> answers;
    RecordingSink sink;
};

class Form1Test : public ::testing::Test {
protected:
    Form1Test()
    {
        view.rxNew.OnChange = [this] { form.RxNewChange(); };
        form.FormCreate();
    }

    void writeTables(const std::vector<testsupport::GridSlot>& slots,
                     const std::vector<testsupport::FillingEntry>& filling = {{2026, 3, 2, 10, 15},
                                                                              {2026, 3, 3, 11, 45}})
    {
        testsupport::writeGridTable(dir.file("AdvSetBlk.db"), slots);
        testsupport::writeFillingTable(dir.file("AdvBlock.db"), filling);
    }

    void load(const std::string& folder)
    {
        view.folder = folder;
        form.BtnLoadClick();
    }

    TempDir dir;
    FakeView view;
    Form1 form{view};
};

TEST_F(Form1Test, StartUpTicksEveryDayAndHourAndSetsTheBlockSize)
{
    EXPECT_EQ(view.rxNewSize.text(), "03:00");
    EXPECT_EQ(view.rxNew.text(), "0");
    ASSERT_EQ(view.hourList.count(), 24);
    EXPECT_EQ(view.hourList.items[0].text, "00-01");
    EXPECT_EQ(view.hourList.items[23].text, "23-24");
    for (int d = 0; d < 7; ++d)
        EXPECT_TRUE(form.CheckDayOfWeek(d)) << d;
    for (int h = 0; h < 24; ++h)
        EXPECT_TRUE(form.CheckTime(h)) << h;
    EXPECT_FALSE(form.CheckDayOfWeek(7));
    EXPECT_FALSE(form.CheckTime(-1));
    EXPECT_FALSE(view.rxNewEnabled);
    EXPECT_FALSE(view.rxNewSizeEnabled);
    EXPECT_TRUE(view.moveEnabled);

    // The tests read the ticks when asked.
    view.dayList.setTicked(6, false);
    EXPECT_FALSE(form.CheckDayOfWeek(6));
    EXPECT_TRUE(form.CheckDayOfWeek(5));
}

TEST_F(Form1Test, ALoadSelectsTheFirstMinuteAndASelectionTakesItsMinute)
{
    writeTables({{0, 10, 15}, {0, 10, 45}, {3, 11, 15}, {6, 0, 5}});
    load(dir.path());
    EXPECT_EQ(view.minutes, (Texts{"05", "15", "45"}));
    EXPECT_EQ(view.selected, 0);
    EXPECT_EQ(view.oldTime, "05");
    EXPECT_EQ(view.rxNew.text(), "5");
    EXPECT_EQ(form.engine().OldMinute, 5);
    EXPECT_TRUE(view.rxNewEnabled);
    EXPECT_TRUE(view.rxNewSizeEnabled);
    ASSERT_FALSE(view.sink.reports.empty());
    EXPECT_EQ(view.sink.reports.front(), std::make_pair(std::string("Загрузка сетки рекламы"), 0.0));
    EXPECT_EQ(view.sink.reports.back(), std::make_pair(std::string(), -1.0));

    view.selected = 2;
    form.LbTimesClick();
    EXPECT_EQ(view.oldTime, "45");
    EXPECT_EQ(view.rxNew.text(), "45");

    // Emptying the new minute disables the shift; any text enables it.
    view.rxNew.setText("");
    EXPECT_FALSE(view.moveEnabled);
    view.rxNew.setText("x");
    EXPECT_TRUE(view.moveEnabled);

    // With no row selected only the editors change: they are disabled.
    view.selected = -1;
    form.LbTimesClick();
    EXPECT_FALSE(view.rxNewEnabled);
    EXPECT_FALSE(view.rxNewSizeEnabled);
    EXPECT_EQ(view.oldTime, "45");
    EXPECT_EQ(form.engine().OldMinute, 45);
}

TEST_F(Form1Test, AnEmptyOrMissingGridChangesNothingButTheFolder)
{
    writeTables({{0, 10, 15}});
    load(dir.path());
    view.rxNew.setValue(20);

    TempDir empty;
    testsupport::writeGridTable(empty.file("AdvSetBlk.db"), {});
    testsupport::writeFillingTable(empty.file("AdvBlock.db"), {});
    load(empty.path());
    EXPECT_TRUE(view.minutes.empty());
    EXPECT_EQ(view.oldTime, "15");
    EXPECT_EQ(view.rxNew.text(), "20");
    EXPECT_TRUE(view.rxNewEnabled);

    TempDir nothing;
    load(nothing.path());
    testsupport::writeGridTable(nothing.file("AdvSetBlk.db"), {});
    load(nothing.path());
    EXPECT_EQ(view.errors, (Texts{"Не найдена база сетки рекламы AdvSetBlk.db",
                                  "Не найдена база наполнения блоков AdvBlock.db"}));
    EXPECT_EQ(form.engine().BaseFolder, nothing.path() + "\\");
    EXPECT_EQ(form.engine().OldMinute, 15);
}

TEST_F(Form1Test, AShiftAsksMovesTheTickedBlocksAndLoadsAgain)
{
    writeTables({{0, 10, 15}, {1, 10, 45}, {2, 11, 15}, {3, 12, 15}});
    load(dir.path());
    view.selected = 0;  // 15
    form.LbTimesClick();
    view.rxNew.setValue(50);
    view.rxNewSize.setValue(150.0 / 86400);
    view.hourList.setTicked(12, false);

    form.BtnMoveClick();  // No
    EXPECT_EQ(testsupport::startMinutes(dir.file("AdvSetBlk.db")), (std::vector<int>{15, 45, 15, 15}));

    view.answers.push_back(true);
    view.sink.reports.clear();
    form.BtnMoveClick();
    EXPECT_EQ(view.questions,
              (Texts(2, "Вы действительно хотите перенести все блоки\rрекламной сетки с 15-ой минуты на 50-ю ?")));
    EXPECT_TRUE(view.errors.empty());
    EXPECT_EQ(testsupport::startMinutes(dir.file("AdvSetBlk.db")), (std::vector<int>{50, 45, 50, 15}));
    EXPECT_EQ(testsupport::blockSeconds(dir.file("AdvSetBlk.db")), (std::vector<int>{150, 120, 150, 120}));
    EXPECT_EQ(testsupport::startMinutes(dir.file("AdvBlock.db")), (std::vector<int>{50, 45}));
    EXPECT_EQ(view.sink.reports.front(), std::make_pair(std::string("Процесс переноса сетки !"), 0.0));
    // Loaded again: 15 (kept by the unticked hour), 45 and 50, the first selected.
    EXPECT_EQ(view.minutes, (Texts{"15", "45", "50"}));
    EXPECT_EQ(view.oldTime, "15");

    // The same minute only sets the lengths.
    view.rxNew.setValue(15);
    view.answers.push_back(true);
    form.BtnMoveClick();
    EXPECT_EQ(view.questions.back(), "Вы хотите установить новую продолжительность\rблоков для 15-ой минуты ?");
}

TEST_F(Form1Test, ErrorsLeaveTheHandlerForTheExceptionBox)
{
    writeTables({{0, 10, 15}});
    load(dir.path());
    view.rxNew.setText("70000");
    view.answers.push_back(true);
    try {
        form.BtnMoveClick();
        FAIL() << "no error";
    } catch (const grid::RangeError& error) {
        EXPECT_EQ(exceptionBoxText(error.what()), "Range check error.");
    }
    EXPECT_TRUE(view.questions.empty());
    EXPECT_EQ(exceptionBoxText("Готово."), "Готово.");
    EXPECT_EQ(exceptionBoxText("Таблица занята"), "Таблица занята.");
    EXPECT_EQ(exceptionBoxText("Why?"), "Why?.");
    EXPECT_EQ(exceptionBoxText("Stop!"), "Stop!");
    EXPECT_EQ(exceptionBoxText(""), "");
}

// A shift cut off half-way by a dead disk is undone by the next load, which says so.
TEST_F(Form1Test, TheNextLoadUndoesAnInterruptedShiftAndSaysSo)
{
    writeTables({{0, 10, 15}, {1, 10, 45}});
    const auto grid = testsupport::readFile(dir.file("AdvSetBlk.db"));
    const auto filling = testsupport::readFile(dir.file("AdvBlock.db"));
    const auto shift15To30 = [&](testsupport::FaultyFileSystem& fs) {
        load(dir.path());
        view.rxNew.setValue(30);
        form.Table1.setFileSystem(&fs);
        view.answers.push_back(true);
        form.BtnMoveClick();
    };
    testsupport::FaultyFileSystem counting;
    counting.durable = false;
    shift15To30(counting);
    ASSERT_TRUE(view.errors.empty());
    ASSERT_EQ(testsupport::startMinutes(dir.file("AdvSetBlk.db")), (std::vector<int>{30, 45}));
    const int operations = counting.operations;
    testsupport::writeFile(dir.file("AdvSetBlk.db"), grid);
    testsupport::writeFile(dir.file("AdvBlock.db"), filling);

    // The last writes of the tables, and all after them, fail.
    testsupport::FaultyFileSystem dead;
    dead.failAt = operations - 3;
    dead.failAfter = true;
    EXPECT_THROW(shift15To30(dead), grid::Error);
    form.Table1.setFileSystem(nullptr);
    EXPECT_NE(testsupport::readFile(dir.file("AdvSetBlk.db")), grid) << "the shift stopped before the tables";

    view.notices.clear();
    form.BtnLoadClick();
    ASSERT_EQ(view.notices.size(), 1u);
    EXPECT_EQ(view.notices[0].rfind("A shift in ", 0), 0u) << view.notices[0];
    EXPECT_NE(view.notices[0].find("was interrupted and has been undone"), std::string::npos) << view.notices[0];
    EXPECT_EQ(testsupport::readFile(dir.file("AdvSetBlk.db")), grid);
    EXPECT_EQ(testsupport::readFile(dir.file("AdvBlock.db")), filling);
}

} // namespace
} // namespace app
