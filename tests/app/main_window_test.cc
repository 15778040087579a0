#include "grid_tables.h"
#include "preset_prompter.h"
#include "test_support.h"

#include "app/application.h"
#include "app/unit1.h"
#include "app/widgets/check_list_box.h"
#include "app/widgets/directory_edit.h"
#include "app/widgets/message_dialog.h"
#include "cli/commands.h"
#include "grid/errors.h"
#include "progress/fr_message.h"
#include "spinedit/spin_edit.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QPainter>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QSignalSpy>
#include <QStyleFactory>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <functional>
#include <set>

namespace {

using testsupport::GridSlot;
using testsupport::TempDir;

const auto u = [](const char* s) { return QString::fromUtf8(s); };

class MainWindow : public ::testing::Test {
protected:
    void SetUp() override
    {
        // Reports show no real pause in tests.
        progress::setReportPause([] {});
        window = std::make_unique<app::TForm1>(&prompter);
        window->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
    }

    void TearDown() override
    {
        window.reset();
        progress::ReportProgress({}, -1);
        progress::setReportPause({});
    }

    void writeTables(const std::vector<GridSlot>& blocks)
    {
        testsupport::writeGridTable(dir.file("AdvSetBlk.db"), blocks);
        testsupport::writeFillingTable(dir.file("AdvBlock.db"), {{2026, 3, 2, 10, 15}, {2026, 3, 3, 11, 45}});
    }

    void load()
    {
        window->DEBase->setText(QString::fromStdString(dir.path()));
        QTest::mouseClick(window->BtnLoad, Qt::LeftButton);
    }

    TempDir dir;
    PresetPrompter prompter;
    std::unique_ptr<app::TForm1> window;
};

TEST_F(MainWindow, StartsWithTheLayoutsValues)
{
    app::TForm1& w = *window;
    EXPECT_EQ(w.windowTitle(), u("Утилита изменения рекламной сетки."));
    EXPECT_EQ(w.DEBase->text(), "C:\\Kalvora");
    EXPECT_EQ(w.LbTimes->count(), 0);
    EXPECT_FALSE(w.RxNew->isEnabled());
    EXPECT_EQ(w.RxNew->text(), "0");
    EXPECT_FALSE(w.RXNewSize->isEnabled());
    EXPECT_EQ(w.RXNewSize->text(), "03:00");
    EXPECT_EQ(w.EOldTime->text(), "");
    EXPECT_TRUE(w.BtnMove->isEnabled());
    for (int i = 0; i < 7; ++i) {
        EXPECT_TRUE(w.CheckDayOfWeek(i));
        EXPECT_TRUE(w.CBDays->isChecked(i));
    }
    for (int i = 0; i < 24; ++i)
        EXPECT_TRUE(w.CheckTime(i));
    EXPECT_EQ(w.CBHour->itemText(23), "23-24");
    EXPECT_EQ(w.CBDays->itemText(6), u("Воскресенье"));
    EXPECT_TRUE(QTest::qWaitFor([&] { return w.DEBase->hasFocus(); }, 2000));
    EXPECT_EQ(w.size(), QSize(457, 509));
    EXPECT_EQ(w.Memo1->toPlainText().split('\n').size(), 7);
    EXPECT_EQ(w.Memo1->toPlainText().split('\n')[1],
              u("1. Укажите папку с базами Kalvora и нажмите \"загрузить\"."));
    EXPECT_EQ(w.BtnMove->geometry(), QRect(331, 423, 120, 74));
}

TEST_F(MainWindow, ALoadSelectsTheFirstMinuteAndTheKeysMoveOn)
{
    writeTables({{0, 10, 15}, {0, 10, 45}, {3, 11, 15}, {6, 0, 5}});
    load();
    app::TForm1& w = *window;
    ASSERT_EQ(w.LbTimes->count(), 3);
    EXPECT_EQ(w.LbTimes->currentRow(), 0);
    EXPECT_EQ(w.EOldTime->text(), "05");
    EXPECT_EQ(w.RxNew->text(), "5");
    EXPECT_EQ(w.engine().OldMinute, 5);
    EXPECT_TRUE(w.RxNew->isEnabled());
    EXPECT_TRUE(w.RXNewSize->isEnabled());
    EXPECT_TRUE(w.BtnMove->isEnabled());
    EXPECT_TRUE(prompter.errors.isEmpty());

    w.LbTimes->setFocus();
    QTest::keyClick(w.LbTimes, Qt::Key_Down);
    EXPECT_EQ(w.EOldTime->text(), "15");
    QTest::keyClick(w.LbTimes, Qt::Key_Down);
    EXPECT_EQ(w.EOldTime->text(), "45");
    EXPECT_EQ(w.RxNew->text(), "45");
    EXPECT_EQ(w.engine().OldMinute, 45);

    // A click on the selected minute takes it again, undoing a typed new minute.
    w.RxNew->setText("30");
    QTest::mouseClick(w.LbTimes->viewport(), Qt::LeftButton, {},
                      w.LbTimes->visualItemRect(w.LbTimes->item(2)).center());
    EXPECT_EQ(w.RxNew->text(), "45");
}

TEST_F(MainWindow, EmptyingTheNewMinuteDisablesTheShift)
{
    writeTables({{0, 10, 15}});
    load();
    app::TForm1& w = *window;
    w.RxNew->setFocus();
    w.RxNew->selectAll();
    QTest::keyClick(w.RxNew, Qt::Key_Delete);
    EXPECT_EQ(w.RxNew->text(), "");
    EXPECT_FALSE(w.BtnMove->isEnabled());
    QTest::keyClick(w.RxNew, Qt::Key_7);
    EXPECT_TRUE(w.BtnMove->isEnabled());
}

TEST_F(MainWindow, LoadingAnEmptyGridOrAMissingOneChangesNothing)
{
    writeTables({{0, 10, 15}});
    load();
    app::TForm1& w = *window;
    w.RxNew->setValue(20);

    TempDir empty;
    testsupport::writeGridTable(empty.file("AdvSetBlk.db"), {});
    testsupport::writeFillingTable(empty.file("AdvBlock.db"), {});
    w.DEBase->setText(QString::fromStdString(empty.path()));
    QTest::mouseClick(w.BtnLoad, Qt::LeftButton);
    EXPECT_EQ(w.LbTimes->count(), 0);
    EXPECT_EQ(w.EOldTime->text(), "15");
    EXPECT_EQ(w.engine().OldMinute, 15);
    EXPECT_EQ(w.RxNew->text(), "20");
    EXPECT_TRUE(w.RxNew->isEnabled());

    TempDir nothing;
    w.DEBase->setText(QString::fromStdString(nothing.path()));
    QTest::mouseClick(w.BtnLoad, Qt::LeftButton);
    EXPECT_EQ(prompter.errors, QStringList{u("Не найдена база сетки рекламы AdvSetBlk.db")});
    EXPECT_TRUE(w.RxNew->isEnabled());
}

TEST_F(MainWindow, AWholeShiftFromTheWindow)
{
    writeTables({{0, 10, 15}, {1, 10, 45}, {2, 11, 15}});
    load();
    app::TForm1& w = *window;
    w.LbTimes->setCurrentRow(0); // 15
    w.RxNew->setValue(50);
    w.RXNewSize->setValue(150.0 / 86400);
    prompter.setNextAnswer(true);
    QTest::mouseClick(w.BtnMove, Qt::LeftButton);
    EXPECT_EQ(prompter.questions,
              QStringList{
                  u("Вы действительно хотите перенести все блоки\rрекламной сетки с 15-ой минуты на 50-ю ?")});
    EXPECT_TRUE(prompter.errors.isEmpty()) << prompter.errors.join("; ").toStdString();
    // Reloaded: 45 and 50 now, the first selected.
    ASSERT_EQ(w.LbTimes->count(), 2);
    EXPECT_EQ(w.LbTimes->item(1)->text(), "50");
    EXPECT_EQ(w.EOldTime->text(), "45");
    EXPECT_FALSE(progress::MessageFormOpen);
}

// While a shift walks the tables the window takes no input: what the user
// does then changes neither the tables nor what the window shows after it.
TEST_F(MainWindow, InputDuringAShiftChangesNothing)
{
    app::TForm1& w = *window;
    testsupport::writeWeekTables(dir, 3, 28);
    const auto pristine = testsupport::bothTables(dir);
    // 15 to 50, `during` at the second report, as the walk goes on.
    const auto shift = [&](const std::function<void()>& during) {
        testsupport::writeFile(dir.file("AdvSetBlk.db"), pristine[0]);
        testsupport::writeFile(dir.file("AdvBlock.db"), pristine[1]);
        load();
        w.LbTimes->setCurrentRow(1);
        w.RxNew->setValue(50);
        int reports = 0;
        progress::setMessagePump([&] {
            if (++reports == 2)
                during();
            progress::processPendingMessages();
        });
        prompter.setNextAnswer(true);
        QTest::mouseClick(w.BtnMove, Qt::LeftButton);
        progress::setMessagePump({});
        return std::tuple(testsupport::bothTables(dir), w.RXNewSize->text(), w.CBDays->isChecked(0),
                          w.CBHour->isChecked(0));
    };
    const auto confirmed = shift([] {});
    ASSERT_NE(std::get<0>(confirmed), pristine);
    EXPECT_TRUE(shift([&] {
                    QTest::keyClick(w.LbTimes, Qt::Key_Down);
                    for (app::TCheckListBox* list : {w.CBDays, w.CBHour})
                        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->checkBoxRect(0).center());
                    QTest::keyClicks(w.RxNew, "1");
                    QTest::keyClick(w.RXNewSize, Qt::Key_Up);
                }) == confirmed);
}

// Closing the window while the filling is walked stops the shift at once,
// unwritten, and the program's loop ends.
TEST_F(MainWindow, ClosingDuringAShiftStopsItAndEndsTheProgram)
{
    app::TForm1& w = *window;
    testsupport::writeWeekTables(dir, 24, 200); // a walk of seconds with its pauses
    const auto before = testsupport::bothTables(dir);
    load();
    w.RxNew->setValue(50);
    prompter.setNextAnswer(true);
    progress::setReportPause({});
    QElapsedTimer sinceClose;
    progress::setMessagePump([&] {
        if (!sinceClose.isValid() && progress::F_Message->LabMess->text() == u("Процесс переноса данных")) {
            sinceClose.start();
            w.close();
        }
        progress::processPendingMessages();
    });
    QTimer::singleShot(0, &w, [&] { QTest::mouseClick(w.BtnMove, Qt::LeftButton); });
    QTimer::singleShot(60000, qApp, &QCoreApplication::quit);
    QApplication::exec();
    progress::setMessagePump({});
    ASSERT_TRUE(sinceClose.isValid()) << "the filling was never walked";
    EXPECT_LT(sinceClose.elapsed(), 500);
    EXPECT_TRUE(testsupport::bothTables(dir) == before);
    EXPECT_FALSE(testsupport::fileExists(dir.file("gridshift.jnl")));
    EXPECT_FALSE(progress::MessageFormOpen);
}

// The list with the focus shows its focus box, on the current row or, with
// none selected, on the first; the other list shows none. Tab moves the
// focus as the user does, which also turns the keyboard cues on.
TEST_F(MainWindow, OnlyTheCheckListWithTheFocusShowsTheFocusBox)
{
    app::TForm1& w = *window;
    w.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&w));
    auto picture = [](app::TCheckListBox* list) { return list->viewport()->grab().toImage(); };
    // The rows whose pixels differ between two pictures of a list.
    auto changedRows = [](app::TCheckListBox* list, const QImage& a, const QImage& b) {
        std::set<int> rows;
        for (int y = 0; y < a.height(); ++y)
            for (int x = 0; x < a.width(); ++x)
                if (a.pixel(x, y) != b.pixel(x, y))
                    rows.insert(list->rowAt(QPoint(x, y)));
        return rows;
    };
    const QString folder = QString(GRIDSHIFT_SCREENSHOT_DIR);
    QDir().mkpath(folder);
    auto save = [&](const QString& name) { w.grab(QRect(0, 278, 256, 231)).save(folder + "/" + name + ".png"); };

    w.EOldTime->setFocus();
    QTest::keyClick(w.EOldTime, Qt::Key_Tab); // past the disabled size field
    ASSERT_TRUE(QTest::qWaitFor([&] { return w.CBHour->hasFocus(); }, 2000));
    QTest::qWait(20);
    const QImage hoursFocused = picture(w.CBHour), daysUnfocused = picture(w.CBDays);
    save("check-lists-hour-focus");

    QTest::keyClick(w.CBHour, Qt::Key_Tab);
    ASSERT_TRUE(QTest::qWaitFor([&] { return w.CBDays->hasFocus(); }, 2000));
    QTest::qWait(20);
    EXPECT_EQ(changedRows(w.CBHour, hoursFocused, picture(w.CBHour)), std::set<int>{0});
    EXPECT_EQ(changedRows(w.CBDays, daysUnfocused, picture(w.CBDays)), std::set<int>{0});
    save("check-lists-day-focus");

    // With rows selected, the box follows the current row and the focus.
    QTest::keyClick(w.CBDays, Qt::Key_Down);
    QTest::keyClick(w.CBDays, Qt::Key_Down);
    QTest::keyClick(w.CBDays, Qt::Key_Tab, Qt::ShiftModifier);
    ASSERT_TRUE(QTest::qWaitFor([&] { return w.CBHour->hasFocus(); }, 2000));
    for (int i = 0; i < 4; ++i)
        QTest::keyClick(w.CBHour, Qt::Key_Down);
    QTest::qWait(20);
    const QImage daysSelected = picture(w.CBDays), hoursSelected = picture(w.CBHour);
    save("check-lists-selected-hour-focus");
    QTest::keyClick(w.CBHour, Qt::Key_Tab);
    ASSERT_TRUE(QTest::qWaitFor([&] { return w.CBDays->hasFocus(); }, 2000));
    QTest::qWait(20);
    EXPECT_EQ(changedRows(w.CBHour, hoursSelected, picture(w.CBHour)), std::set<int>{3});
    EXPECT_EQ(changedRows(w.CBDays, daysSelected, picture(w.CBDays)), std::set<int>{1});
    save("check-lists-selected-day-focus");
}

TEST_F(MainWindow, UncaughtErrorsReachTheExceptionBoxAndTheWindowGoesOn)
{
    QStringList shown;
    app::Application::setErrorReporter([&](const QString& m) { shown << m; });
    auto* app = qobject_cast<app::Application*>(QCoreApplication::instance());
    if (!app)
        GTEST_SKIP() << "the test program's application object is not the program's";
    app::TForm1& w = *window;
    w.RxNew->setEnabled(true);
    w.RxNew->setText("70000"); // beyond the new minute's range
    prompter.setNextAnswer(true);
    QTest::mouseClick(w.BtnMove, Qt::LeftButton);
    EXPECT_EQ(shown, QStringList{"Range check error"});
    app::Application::setErrorReporter({});
}

TEST_F(MainWindow, ALoadUndoesAnInterruptedShiftAndSaysSo)
{
    writeTables({{0, 10, 15}, {1, 10, 45}, {2, 11, 15}});
    const std::vector<std::byte> gridBefore = testsupport::readFile(dir.file("AdvSetBlk.db"));
    load();
    app::TForm1& w = *window;
    w.RxNew->setValue(50);
    prompter.setNextAnswer(true);
    QTest::mouseClick(w.BtnMove, Qt::LeftButton);
    ASSERT_NE(testsupport::readFile(dir.file("AdvSetBlk.db")), gridBefore);
    // Without its commit mark the journal is that of a shift stopped half-way.
    std::vector<std::byte> journal = testsupport::readFile(dir.file("gridshift.jnl"));
    std::fill(journal.end() - 16, journal.end(), std::byte{0});
    testsupport::writeFile(dir.file("gridshift.jnl"), journal);

    load();
    ASSERT_EQ(prompter.notices.size(), 1);
    EXPECT_TRUE(prompter.notices[0].startsWith(u("Перенос в папке ") + QString::fromStdString(dir.path()) +
                                               u(" был прерван и отменён")))
        << prompter.notices[0].toStdString();
    EXPECT_TRUE(prompter.errors.isEmpty());
    EXPECT_EQ(testsupport::readFile(dir.file("AdvSetBlk.db")), gridBefore);
    EXPECT_EQ(w.LbTimes->item(0)->text(), "15");
    EXPECT_FALSE(w.MenuUndo->isEnabled()) << "nothing left to undo";
}

TEST_F(MainWindow, AKeyViolationChangesNothingAndTheNextShiftStartsAfresh)
{
    auto* app = qobject_cast<app::Application*>(QCoreApplication::instance());
    if (!app)
        GTEST_SKIP() << "the test program's application object is not the program's";
    testsupport::GridTableOptions keyed;
    keyed.keyed = true;
    testsupport::writeGridTable(dir.file("AdvSetBlk.db"),
                                {{0, 10, 0}, {0, 10, 15}, {0, 10, 45}, {1, 11, 15}, {1, 11, 45}, {2, 9, 0}}, keyed);
    testsupport::writeFillingTable(dir.file("AdvBlock.db"),
                                   {{2026, 3, 2, 10, 0},
                                    {2026, 3, 2, 10, 15},
                                    {2026, 3, 2, 10, 45},
                                    {2026, 3, 3, 11, 15},
                                    {2026, 3, 3, 11, 45},
                                    {2026, 3, 4, 9, 0}},
                                   keyed);
    const std::vector<std::byte> gridBefore = testsupport::readFile(dir.file("AdvSetBlk.db"));
    const std::vector<std::byte> fillingBefore = testsupport::readFile(dir.file("AdvBlock.db"));
    QStringList shown;
    bool progressShownWithError = false;
    app::Application::setErrorReporter([&](const QString& m) {
        shown << m;
        progressShownWithError = progress::MessageFormOpen;
    });
    load();
    app::TForm1& w = *window;
    ASSERT_EQ(w.LbTimes->count(), 3); // 00, 15, 45
    w.LbTimes->setCurrentRow(1);
    w.RxNew->setValue(45);
    prompter.setNextAnswer(true);
    QTest::mouseClick(w.BtnMove, Qt::LeftButton);
    EXPECT_EQ(shown, QStringList{"Key violation"});
    EXPECT_FALSE(progressShownWithError) << "the progress window was still open under the error box";
    EXPECT_EQ(testsupport::readFile(dir.file("AdvSetBlk.db")), gridBefore);
    EXPECT_EQ(testsupport::readFile(dir.file("AdvBlock.db")), fillingBefore);
    EXPECT_FALSE(w.Table1.active());
    EXPECT_EQ(w.LbTimes->count(), 3);

    w.LbTimes->setCurrentRow(0);
    w.RxNew->setValue(1);
    prompter.setNextAnswer(true);
    QTest::mouseClick(w.BtnMove, Qt::LeftButton);
    EXPECT_EQ(shown.size(), 1) << shown.join("; ").toStdString();
    ASSERT_EQ(w.LbTimes->count(), 3);
    EXPECT_EQ(w.LbTimes->item(0)->text(), "01");
    const std::string dump = [&] {
        std::string rows;
        for (const char* name : {"AdvSetBlk.db", "AdvBlock.db"}) {
            std::unique_ptr<paradox::Table> t;
            EXPECT_TRUE(paradox::Table::open(dir.file(name), {}, &t).isOk());
            for (t->first(); !t->eof(); t->next()) {
                paradox::DateTime v = 0;
                EXPECT_TRUE(t->readDateTime(t->fieldIndex("FTime"), &v).isOk());
                rows += std::to_string(paradox::decodeTime(v).minute) + " ";
            }
        }
        return rows;
    }();
    EXPECT_EQ(dump, "1 15 45 15 45 1 1 15 45 15 45 1 ");
    app::Application::setErrorReporter({});
}

// The demo shifted 15 -> 16 and undone from the window: the item on the
// form's context menu and Ctrl+Z, the question naming the shift, No, Yes.
TEST_F(MainWindow, TheLastShiftUndoneFromTheWindow)
{
    app::TForm1& w = *window;
    ASSERT_EQ(cli::demo({dir.path()}, stdout, stderr), cli::kSuccess);
    const auto before = testsupport::bothTables(dir);
    const QString folder = QString(GRIDSHIFT_SCREENSHOT_DIR);
    QDir().mkpath(folder);
    // Into the minute list of the active window, as the user presses it.
    const auto ctrlZ = [&](bool yes) {
        w.activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&w));
        prompter.setNextAnswer(yes);
        QTest::keyClick(w.LbTimes, Qt::Key_Z, Qt::ControlModifier);
    };
    load();
    EXPECT_FALSE(w.MenuUndo->isEnabled()) << "nothing to undo yet";
    w.LbTimes->setCurrentItem(w.LbTimes->findItems("15", Qt::MatchExactly).value(0));
    w.RxNew->setValue(16);
    prompter.setNextAnswer(true);
    QTest::mouseClick(w.BtnMove, Qt::LeftButton);
    const auto shifted = testsupport::bothTables(dir);
    ASSERT_TRUE(w.MenuUndo->isEnabled());

    // A right click on the form's background; the menu pictured on the window.
    QTest::mouseClick(w.windowHandle(), Qt::RightButton, {}, QPoint(40, 255));
    ASSERT_TRUE(QTest::qWaitFor([&] { return w.PopupMenu1->isVisible(); }, 2000));
    EXPECT_EQ(w.PopupMenu1->actions(), QList<QAction*>{w.MenuUndo});
    EXPECT_EQ(w.MenuUndo->text(), u("Отменить последний перенос…"));
    QPixmap withMenu = w.grab();
    QPainter(&withMenu).drawPixmap(w.mapFromGlobal(w.PopupMenu1->pos()), w.PopupMenu1->grab());
    withMenu.save(folder + "/main-window-undo-menu.png");
    w.PopupMenu1->close();

    ctrlZ(false);
    ASSERT_EQ(prompter.questions.size(), 2);
    EXPECT_TRUE(testsupport::bothTables(dir) == shifted);
    QTimer::singleShot(0, [&] {
        (void)QTest::qWaitFor([] { return QApplication::activeModalWidget() != nullptr; }, 2000);
        if (auto* box = qobject_cast<app::MessageDialog*>(QApplication::activeModalWidget())) {
            box->grab().save(folder + "/main-window-undo-question.png");
            box->reject();
        }
    });
    EXPECT_FALSE(app::ScreenPrompter(&w).confirm(prompter.questions.last()));

    ctrlZ(true);
    EXPECT_TRUE(prompter.errors.isEmpty()) << prompter.errors.join("; ").toStdString();
    EXPECT_TRUE(testsupport::bothTables(dir) == before);
    EXPECT_EQ(w.EOldTime->text(), "15");
    EXPECT_FALSE(w.MenuUndo->isEnabled());
}

TEST_F(MainWindow, Screenshot)
{
    writeTables({{0, 10, 15}, {0, 10, 45}, {3, 11, 15}, {6, 0, 5}});
    const QString folder = QString(GRIDSHIFT_SCREENSHOT_DIR);
    QDir().mkpath(folder);
    // On a real screen the whole screen is taken too, frame and all.
    const bool onScreen = QGuiApplication::platformName() != "offscreen";
    auto save = [&](const QString& name) {
        // The closed progress window goes, and the window repaints, once
        // messages are handled.
        (void)QTest::qWaitFor([] { return progress::F_Message.isNull(); }, 2000);
        QTest::qWait(50);
        window->grab().save(folder + "/" + name + ".png");
        if (onScreen && window->screen())
            window->screen()->grabWindow(0).save(folder + "/" + name + "-screen.png");
    };
    save("main-window-start");
    load();
    save("main-window-loaded");
}

} // namespace
