#include "grid_tables.h"
#include "plain_form_view.h"
#include "test_support.h"

#include "app/form/messages.h"
#include "grid/errors.h"
#include "grid/recovery.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

namespace app {
namespace {

using testsupport::TempDir;
using Texts = std::vector<std::string>;

class Form1Test : public ::testing::Test {
protected:
    Form1Test()
    {
        view.hourList.addItem("left from the layout");
        view.rxNew.OnChange = [this] { form.RxNewChange(); };
        form.FormCreate();
    }

    void load(const std::string& folder)
    {
        view.folder = folder;
        form.BtnLoadClick();
    }

    TempDir dir;
    PlainFormView view;
    Form1 form{view};
};

TEST_F(Form1Test, StartUpTicksEveryDayAndHourAndSetsTheBlockSize)
{
    EXPECT_EQ(view.rxNewSize.text(), "03:00");
    EXPECT_EQ(view.rxNew.text(), "0");
    ASSERT_EQ(view.hourList.count(), 24);
    EXPECT_EQ(view.hourList.items[23].first, "23-24");
    for (int d = 0; d < 7; ++d)
        EXPECT_TRUE(form.CheckDayOfWeek(d)) << d;
    for (int h = 0; h < 24; ++h)
        EXPECT_TRUE(form.CheckTime(h)) << h;
    EXPECT_FALSE(form.CheckDayOfWeek(7));
    EXPECT_FALSE(form.CheckTime(-1));
    // The tests read the ticks when asked.
    view.dayList.setTicked(6, false);
    EXPECT_FALSE(form.CheckDayOfWeek(6));
}

TEST_F(Form1Test, ALoadSelectsTheFirstMinuteAndTheEditorsFollowTheSelection)
{
    testsupport::writeGridTable(dir.file("AdvSetBlk.db"), {{0, 10, 15}, {0, 10, 45}, {3, 11, 15}, {6, 0, 5}});
    testsupport::writeFillingTable(dir.file("AdvBlock.db"), {{2026, 3, 2, 10, 15}});
    load(dir.path());
    EXPECT_EQ(view.minutes, (Texts{"05", "15", "45"}));
    EXPECT_EQ(view.selected, 0);
    EXPECT_EQ(view.oldTime, "05");
    EXPECT_EQ(view.rxNew.text(), "5");
    EXPECT_TRUE(view.rxNewEnabled && view.rxNewSizeEnabled);
    EXPECT_EQ(view.reports.front(), std::make_pair(std::string("Загрузка сетки рекламы"), 0.0));
    EXPECT_EQ(view.reports.back(), std::make_pair(std::string(), -1.0));

    // Emptying the new minute disables the shift; any text enables it.
    view.rxNew.setText("");
    EXPECT_FALSE(view.moveEnabled);
    view.rxNew.setText("x");
    EXPECT_TRUE(view.moveEnabled);

    // With no row selected only the editors change.
    view.selected = -1;
    form.LbTimesClick();
    EXPECT_FALSE(view.rxNewEnabled || view.rxNewSizeEnabled);
    EXPECT_EQ(view.oldTime, "05");
    EXPECT_EQ(form.engine().OldMinute, 5);

    // An empty grid lists nothing and leaves the rest; a missing table says so.
    TempDir empty;
    testsupport::writeGridTable(empty.file("AdvSetBlk.db"), {});
    testsupport::writeFillingTable(empty.file("AdvBlock.db"), {});
    load(empty.path());
    EXPECT_TRUE(view.minutes.empty());
    EXPECT_EQ(view.oldTime, "05");
    load(dir.path() + "\\none");
    EXPECT_EQ(view.errors, Texts{"Не найдена база сетки рекламы AdvSetBlk.db"});
    EXPECT_EQ(form.engine().BaseFolder, dir.path() + "\\none\\");
}

TEST_F(Form1Test, AShiftAsksMovesTheTickedBlocksAndLoadsAgain)
{
    testsupport::writeGridTable(dir.file("AdvSetBlk.db"), {{0, 10, 15}, {1, 10, 45}, {2, 11, 15}, {3, 12, 15}});
    testsupport::writeFillingTable(dir.file("AdvBlock.db"), {{2026, 3, 2, 10, 15}, {2026, 3, 3, 11, 45}});
    load(dir.path());
    view.rxNew.setValue(50);
    view.rxNewSize.setValue(150.0 / 86400);
    view.hourList.setTicked(12, false);

    form.BtnMoveClick(); // No
    EXPECT_EQ(testsupport::startMinutes(dir.file("AdvSetBlk.db")), (std::vector<int>{15, 45, 15, 15}));
    view.answers.push_back(true);
    form.BtnMoveClick();
    EXPECT_EQ(view.questions,
              Texts(2, "Вы действительно хотите перенести все блоки\rрекламной сетки с 15-ой минуты на 50-ю ?"));
    EXPECT_EQ(testsupport::startMinutes(dir.file("AdvSetBlk.db")), (std::vector<int>{50, 45, 50, 15}));
    EXPECT_EQ(testsupport::blockSeconds(dir.file("AdvSetBlk.db")), (std::vector<int>{150, 120, 150, 120}));
    EXPECT_EQ(testsupport::startMinutes(dir.file("AdvBlock.db")), (std::vector<int>{50, 45}));
    // Loaded again, the first minute selected.
    EXPECT_EQ(view.minutes, (Texts{"15", "45", "50"}));
    EXPECT_EQ(view.oldTime, "15");
}

// A shift does what was confirmed, whatever changes while its reports handle
// the window's messages; closing the window stops it unwritten, unless it has
// already written (the close then stops the reload).
TEST_F(Form1Test, AShiftDoesWhatWasConfirmedOrStopsWhenTheWindowCloses)
{
    testsupport::writeWeekTables(dir, 3, 28); // reports in both passes
    const auto pristine = testsupport::bothTables(dir);
    // 15 to 50; `during` at the second report under `heading`, as the walk goes on.
    const auto shift = [&](const std::string& heading, const std::function<void()>& during) {
        testsupport::writeFile(dir.file("AdvSetBlk.db"), pristine[0]);
        testsupport::writeFile(dir.file("AdvBlock.db"), pristine[1]);
        load(dir.path());
        view.selected = 1;
        form.LbTimesClick();
        view.rxNew.setValue(50);
        view.rxNewSize.setValue(3.0 / 1440);
        view.dayList.setTicked(0, true);
        view.hourList.setTicked(0, true);
        view.answers.push_back(true);
        int seen = 0;
        std::string current;
        view.onReport = [&](const std::string& text, double) {
            current = text.empty() ? current : text;
            if (current == heading && ++seen == 2)
                during();
        };
        form.BtnMoveClick();
        view.onReport = nullptr;
        EXPECT_EQ(view.reports.back(), std::make_pair(std::string(), -1.0)) << "the progress window is left open";
        return testsupport::bothTables(dir);
    };
    const auto confirmed = shift("", [] {});
    ASSERT_NE(confirmed, pristine);

    const auto changeEverything = [&] {
        view.selected = 2;
        form.LbTimesClick();
        view.dayList.setTicked(0, false);
        view.hourList.setTicked(0, false);
        view.rxNew.setValue(7);
        view.rxNewSize.setValue(0.5);
        view.folder = "elsewhere";
    };
    const auto close = [&] { form.FormClose(); };
    const struct {
        const char* heading;
        std::function<void()> during;
        bool written;
    } cases[] = {
        {"Процесс переноса сетки !", changeEverything, true},
        {"Процесс переноса данных", changeEverything, true},
        {"Процесс переноса сетки !", close, false},
        {"Процесс переноса данных", close, false},
        {"Загрузка сетки рекламы", close, true},
    };
    for (const auto& c : cases)
        EXPECT_TRUE(shift(c.heading, c.during) == (c.written ? confirmed : pristine)) << c.heading << c.written;
}

// The undo is offered once a shift leaves something to undo, and asks before
// it takes the tables. What happens between the question and the writing
// stops it with nothing written: a close, or another program's shift of the
// folder, which is not the shift the user was asked about. A moved block
// changed since the shift is refused before the question.
TEST_F(Form1Test, AnUndoWritesNothingBeyondWhatWasAsked)
{
    testsupport::writeWeekTables(dir, 1, 1);
    load(dir.path());
    view.answers.push_back(true);
    form.UndoClick();
    EXPECT_TRUE(view.questions.empty()) << "not offered, not asked";
    EXPECT_EQ(grid::undoQuestion(grid::UndoCheck{true, false, {}, {}}, grid::SlashedPath(dir.path())),
              "Вернуть таблицы в папке " + dir.path() + " к состоянию до последнего переноса?");
    view.rxNew.setValue(50);
    form.BtnMoveClick(); // the Yes left from above
    ASSERT_TRUE(view.undoEnabled);
    const auto shifted = testsupport::bothTables(dir);

    const auto anotherShift = [&] {
        PlainFormView otherView;
        otherView.folder = dir.path();
        Form1 other(otherView);
        other.FormCreate();
        other.BtnLoadClick();
        otherView.rxNew.setValue(40);
        otherView.answers.push_back(true);
        other.BtnMoveClick();
    };
    const struct {
        const char* what;
        std::function<void()> during;
        Texts errors;
    } cases[] = {
        {"closed", [&] { form.FormClose(); }, {}},
        {"shifted by another program",
         anotherShift,
         {"Пока шёл вопрос, в папке " + dir.path() +
          " сделан другой перенос; ничего не отменено. Повторите отмену, чтобы увидеть, какой."}},
    };
    for (const auto& c : cases) {
        view.answers.push_back(true);
        std::vector<std::vector<std::byte>> meanwhile;
        view.onReport = [&](const std::string& text, double) {
            if (text == "Отмена последнего переноса") {
                c.during();
                meanwhile = testsupport::bothTables(dir);
            }
        };
        form.UndoClick();
        view.onReport = nullptr;
        ASSERT_FALSE(meanwhile.empty()) << c.what << ": never asked";
        EXPECT_TRUE(testsupport::bothTables(dir) == meanwhile) << c.what;
        EXPECT_EQ(view.errors, c.errors) << c.what;
        EXPECT_TRUE(view.undoEnabled) << c.what << ": a shift to undo is still there";
        EXPECT_EQ(view.reports.back(), std::make_pair(std::string(), -1.0)) << "the progress window is left open";
    }

    auto grid = testsupport::readFile(dir.file("AdvSetBlk.db"));
    const auto [now, was] = std::mismatch(grid.rbegin(), grid.rend(), shifted[0].rbegin()); // the other's shift
    *now ^= (*now ^ *was) == std::byte{1} ? std::byte{2} : std::byte{1};                    // wrote neither value
    testsupport::writeFile(dir.file("AdvSetBlk.db"), grid);
    form.UndoClick();
    ASSERT_EQ(view.errors.size(), 2u);
    EXPECT_TRUE(view.errors[1].ends_with("AdvSetBlk.db изменён после него.")) << view.errors[1];
    EXPECT_EQ(testsupport::readFile(dir.file("AdvSetBlk.db")), grid);
    EXPECT_FALSE(view.undoEnabled);
    load(dir.path());
    EXPECT_FALSE(view.undoEnabled) << "nor after a load";
}

TEST_F(Form1Test, ErrorsLeaveTheHandlerForTheExceptionBox)
{
    view.rxNew.setText("70000");
    view.answers.push_back(true);
    try {
        form.BtnMoveClick();
        FAIL() << "no error";
    } catch (const grid::RangeError& error) {
        EXPECT_EQ(exceptionBoxText(error.what()), "Range check error.");
    }
    view.rxNew.setText("5");
    view.rxNewSize.setText("1440:00"); // a whole day: refused before the question
    EXPECT_THROW(form.BtnMoveClick(), grid::Error);
    EXPECT_TRUE(view.questions.empty());
    for (auto [message, shown] : {std::pair{"Готово.", "Готово."},
                                  {"Таблица занята", "Таблица занята."},
                                  {"Why?", "Why?."},
                                  {"Stop!", "Stop!"},
                                  {"", ""}})
        EXPECT_EQ(exceptionBoxText(message), shown);
}

} // namespace
} // namespace app
