#include "grid_tables.h"
#include "preset_prompter.h"
#include "screen.h"
#include "test_support.h"
#include "faulty_file_system.h"

#include "app/form/layout.h"
#include "cli/commands.h"
#include "grid/errors.h"
#include "winapp/fr_message.h"
#include "winapp/unit1.h"

#include <gtest/gtest.h>

#include <commctrl.h>

#include <functional>
#include <memory>
#include <set>
#include <string>
#include <vector>

namespace {

using testsupport::GridSlot;
using testsupport::TempDir;
using winapp::narrow;
using winapp::TForm1;
using winapp::widen;
using winapp::windowText;
namespace layout = app::layout;

std::wstring w(const char* utf8)
{
    return widen(utf8);
}

const std::string kShots = GRIDSHIFT_SCREENSHOT_DIR;

RECT placed(const layout::Place& p)
{
    return {p.left, p.top, p.left + p.width, p.top + p.height};
}

std::vector<std::wstring> listTexts(HWND list)
{
    std::vector<std::wstring> texts;
    const int n = static_cast<int>(SendMessageW(list, LB_GETCOUNT, 0, 0));
    for (int i = 0; i < n; ++i) {
        wchar_t text[64] = {};
        SendMessageW(list, LB_GETTEXT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(text));
        texts.emplace_back(text);
    }
    return texts;
}

// The main window, shown as the program shows it, with message boxes
// answered by a PresetPrompter and uncaught errors recorded.
class MainWindow : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!wintest::haveScreen())
            GTEST_SKIP() << "no screen for Wine's windows: run under xvfb-run";
        winapp::setReportPause([] {});
        winapp::setBeepHook([] {});
        winapp::setErrorReporter([this](const std::string& message) {
            uncaught.push_back(message);
            progressOpenAtError = winapp::MessageFormOpen;
        });
        form = std::make_unique<TForm1>(&prompter);
        ASSERT_TRUE(form->handle());
        form->quitOnClose = false;
        form->show();
        ASSERT_TRUE(wintest::waitFor([&] { return IsWindowVisible(form->handle()) != 0; }));
        // Notifications the window gets from its controls, in order.
        SetWindowSubclass(form->handle(), &MainWindow::record, 1, reinterpret_cast<DWORD_PTR>(this));
    }

    void TearDown() override
    {
        if (form && form->handle())
            RemoveWindowSubclass(form->handle(), &MainWindow::record, 1);
        form.reset();
        winapp::ReportProgress("", -1);
        winapp::pumpMessages();
        winapp::setReportPause({});
        winapp::setBeepHook({});
        winapp::setErrorReporter({});
        winapp::setMessagePump({});
    }

    static LRESULT CALLBACK record(HWND window, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR, DWORD_PTR self)
    {
        if (message == WM_COMMAND)
            reinterpret_cast<MainWindow*>(self)->notifications.push_back(HIWORD(wParam) << 16 | LOWORD(wParam));
        return DefSubclassProc(window, message, wParam, lParam);
    }
    int count(int id, int code) const
    {
        int n = 0;
        for (int notification : notifications)
            n += notification == (code << 16 | id);
        return n;
    }

    void writeTables(const std::vector<GridSlot>& slots,
                     const std::vector<testsupport::FillingEntry>& filling = {{2026, 3, 2, 10, 15},
                                                                              {2026, 3, 3, 11, 45}},
                     const testsupport::GridTableOptions& options = {})
    {
        testsupport::writeGridTable(dir.file("AdvSetBlk.db"), slots, options);
        testsupport::writeFillingTable(dir.file("AdvBlock.db"), filling, options);
    }

    void load(const std::string& folder)
    {
        form->DEBase->setText(widen(folder));
        SendMessageW(form->BtnLoad, BM_CLICK, 0, 0);
    }

    void clickRow(HWND list, int row)
    {
        RECT item{};
        SendMessageW(list, LB_GETITEMRECT, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&item));
        wintest::click(list, item.right - 4, (item.top + item.bottom) / 2);
    }

    void enterNewMinute(const std::wstring& text)
    {
        SetFocus(form->RxNew->handle());
        SendMessageW(form->RxNew->handle(), EM_SETSEL, 0, -1);
        wintest::key(form->RxNew->handle(), VK_DELETE);
        wintest::type(form->RxNew->handle(), text);
    }

    // The inside, as the Qt window's pictures show it, and the whole window.
    void save(const char* name)
    {
        EXPECT_TRUE(wintest::savePng(wintest::captureWindow(form->handle()), kShots + "/" + name + ".png")) << name;
        wintest::savePng(wintest::captureFrame(form->handle()), kShots + "/" + name + "-frame.png");
    }

    TempDir dir;
    PresetPrompter prompter;
    std::unique_ptr<TForm1> form;
    std::vector<int> notifications;
    std::vector<std::string> uncaught;
    bool progressOpenAtError = false;
};

TEST_F(MainWindow, StartsWithTheLayoutsValuesPlacesAndTabOrder)
{
    TForm1& f = *form;
    EXPECT_EQ(windowText(f.handle()), w(layout::kCaption));
    RECT client;
    GetClientRect(f.handle(), &client);
    EXPECT_EQ(client, (RECT{0, 0, 457, 509}));
    const LONG style = GetWindowLongW(f.handle(), GWL_STYLE);
    EXPECT_FALSE(style & (WS_MINIMIZEBOX | WS_MAXIMIZEBOX | WS_THICKFRAME));
    RECT frame;
    GetWindowRect(f.handle(), &frame);
    EXPECT_LE(std::abs((frame.left + frame.right) / 2 - GetSystemMetrics(SM_CXSCREEN) / 2), 1);
    EXPECT_LE(std::abs((frame.top + frame.bottom) / 2 - GetSystemMetrics(SM_CYSCREEN) / 2), 1);

    const struct {
        HWND control;
        layout::Place place;
    } places[] = {
        {f.Panel1, layout::kPanel1},
        {f.Memo1, layout::kMemo1},
        {f.DEBase->handle(), layout::kDEBase},
        {f.BtnLoad, layout::kBtnLoad},
        {f.CBDays->handle(), layout::kCBDays},
        {f.CBHour->handle(), layout::kCBHour},
        {f.LbTimes, layout::kLbTimes},
        {f.EOldTime, layout::kEOldTime},
        {f.RxNew->handle(), layout::kRxNew},
        {f.RXNewSize->handle(), layout::kRXNewSize},
        {f.BtnMove->handle(), layout::kBtnMove},
    };
    for (const auto& p : places)
        EXPECT_EQ(wintest::placeInParent(p.control), placed(p.place)) << narrow(windowText(p.control));
    for (auto [label, place] : {std::pair{f.Label1, layout::kLabel1}, std::pair{f.Label2, layout::kLabel2},
                                std::pair{f.Label3, layout::kLabel3}, std::pair{f.Label4, layout::kLabel4}}) {
        const RECT r = wintest::placeInParent(label);
        EXPECT_EQ(std::pair(static_cast<int>(r.left), static_cast<int>(r.top)), std::pair(place.left, place.top))
            << place.text;
        EXPECT_EQ(windowText(label), w(place.text));
        EXPECT_GT(r.right - r.left, 40) << "as wide as its text";
    }

    EXPECT_EQ(f.DEBase->text(), L"C:\\Kalvora");
    std::wstring help = windowText(f.Memo1);
    for (std::size_t at; (at = help.find(L"\r\n")) != std::wstring::npos;)
        help.replace(at, 2, L"\r");
    std::wstring expected;
    for (std::size_t i = 0; i < layout::kHelpLines.size(); ++i)
        expected += (i ? L"\r" : L"") + w(layout::kHelpLines[i]);
    EXPECT_EQ(help, expected);
    EXPECT_EQ(windowText(f.BtnLoad), w("Загрузить рекламную сетку"));
    EXPECT_EQ(windowText(f.BtnMove->handle()), w("Перенести данные"));
    EXPECT_EQ(f.RxNew->text(), L"0");
    EXPECT_EQ(f.RXNewSize->text(), L"03:00");
    EXPECT_EQ(windowText(f.EOldTime), L"");
    EXPECT_FALSE(IsWindowEnabled(f.RxNew->handle()));
    EXPECT_FALSE(IsWindowEnabled(f.RXNewSize->handle()));
    EXPECT_TRUE(IsWindowEnabled(f.BtnMove->handle()));
    for (int d = 0; d < 7; ++d)
        EXPECT_TRUE(f.CheckDayOfWeek(d) && f.CBDays->isChecked(d)) << d;
    for (int h = 0; h < 24; ++h)
        EXPECT_TRUE(f.CheckTime(h)) << h;
    EXPECT_EQ(f.CBDays->itemText(6), w("Воскресенье"));
    EXPECT_EQ(f.CBHour->itemText(23), L"23-24");
    // Rows: 31 pixels of days, two columns of twelve 18-pixel hours, 17 minutes.
    EXPECT_EQ(f.CBDays->itemRect(6), (RECT{0, 186, 106, 217}));
    EXPECT_EQ(f.CBHour->itemRect(12), (RECT{66, 0, 132, 18}));
    EXPECT_EQ(SendMessageW(f.LbTimes, LB_GETITEMHEIGHT, 0, 0), 13);

    EXPECT_EQ(GetFocus(), f.DEBase->handle());
    // Tab passes over the disabled editors and comes round again.
    const std::vector<HWND> order = {
        f.BtnLoad,           f.Memo1,           f.LbTimes, f.EOldTime, f.CBHour->handle(), f.CBDays->handle(),
        f.BtnMove->handle(), f.DEBase->handle()};
    for (HWND next : order) {
        wintest::loopKey(GetFocus(), VK_TAB);
        EXPECT_EQ(GetFocus(), next) << narrow(windowText(next));
    }
    wintest::loopKey(GetFocus(), VK_TAB, true);
    EXPECT_EQ(GetFocus(), f.BtnMove->handle());
}

TEST_F(MainWindow, ALoadSelectsTheFirstMinuteAndTheKeysMoveOn)
{
    writeTables({{0, 10, 15}, {0, 10, 45}, {3, 11, 15}, {6, 0, 5}});
    save("win-main-window-start");
    load(dir.path());
    TForm1& f = *form;
    EXPECT_EQ(listTexts(f.LbTimes), (std::vector<std::wstring>{L"05", L"15", L"45"}));
    EXPECT_EQ(SendMessageW(f.LbTimes, LB_GETCURSEL, 0, 0), 0);
    EXPECT_EQ(windowText(f.EOldTime), L"05");
    EXPECT_EQ(f.RxNew->text(), L"5");
    EXPECT_EQ(f.engine().OldMinute, 5);
    EXPECT_TRUE(IsWindowEnabled(f.RxNew->handle()));
    EXPECT_TRUE(IsWindowEnabled(f.RXNewSize->handle()));
    EXPECT_TRUE(IsWindowEnabled(f.BtnMove->handle()));
    EXPECT_TRUE(prompter.errors.empty());
    EXPECT_FALSE(winapp::MessageFormOpen);
    save("win-main-window-loaded");

    // Each move of the selection by a key is one notice, and one click.
    SetFocus(f.LbTimes);
    notifications.clear();
    wintest::key(f.LbTimes, VK_DOWN);
    EXPECT_EQ(windowText(f.EOldTime), L"15");
    wintest::key(f.LbTimes, VK_DOWN);
    EXPECT_EQ(windowText(f.EOldTime), L"45");
    EXPECT_EQ(f.RxNew->text(), L"45");
    EXPECT_EQ(f.engine().OldMinute, 45);
    EXPECT_EQ(count(TForm1::kLbTimesId, LBN_SELCHANGE), 2);

    // Emptying the new minute disables the shift; typing one enables it again.
    enterNewMinute(L"");
    EXPECT_FALSE(IsWindowEnabled(f.BtnMove->handle()));
    save("win-main-window-no-new-minute");
    wintest::type(f.RxNew->handle(), L"3");
    EXPECT_TRUE(IsWindowEnabled(f.BtnMove->handle()));
    // A click on the selected minute takes it again, undoing a typed new minute.
    clickRow(f.LbTimes, 2);
    EXPECT_EQ(f.RxNew->text(), L"45");
}

// The list with the focus shows its focus box, on the selected row or, with
// none selected, on the first; the other list shows none.
TEST_F(MainWindow, OnlyTheCheckListWithTheFocusShowsTheFocusBox)
{
    TForm1& f = *form;
    const auto changedRows = [](const winapp::TCheckListBox& list, const wintest::Image& a,
                                const wintest::Image& b) {
        std::set<int> rows;
        for (int y = 0; y < a.height; ++y)
            for (int x = 0; x < a.width; ++x)
                if (a.at(x, y) != b.at(x, y)) {
                    const LRESULT hit = SendMessageW(list.handle(), LB_ITEMFROMPOINT, 0, MAKELPARAM(x, y));
                    rows.insert(HIWORD(hit) ? -1 : LOWORD(hit));
                }
        return rows;
    };
    const auto picture = [](const winapp::TCheckListBox& list) { return wintest::captureWindow(list.handle()); };

    SetFocus(f.EOldTime);
    wintest::loopKey(f.EOldTime, VK_TAB); // past the disabled size field
    ASSERT_EQ(GetFocus(), f.CBHour->handle());
    const wintest::Image hoursFocused = picture(*f.CBHour), daysUnfocused = picture(*f.CBDays);
    wintest::loopKey(f.CBHour->handle(), VK_TAB);
    ASSERT_EQ(GetFocus(), f.CBDays->handle());
    EXPECT_EQ(changedRows(*f.CBHour, hoursFocused, picture(*f.CBHour)), std::set<int>{0});
    EXPECT_EQ(changedRows(*f.CBDays, daysUnfocused, picture(*f.CBDays)), std::set<int>{0});

    EXPECT_TRUE(wintest::savePng(wintest::captureScreen([&] {
                                     RECT r{0, 278, 256, 509};
                                     MapWindowPoints(f.handle(), nullptr, reinterpret_cast<POINT*>(&r), 2);
                                     return r;
                                 }()),
                                 kShots + "/win-check-lists-day-focus.png"));
}

TEST_F(MainWindow, AShiftOfTheTickedDaysAndHoursAsksWritesAndLoadsAgain)
{
    // Monday, Tuesday and Wednesday blocks, and one on Sunday.
    writeTables({{0, 10, 15}, {1, 10, 45}, {2, 11, 15}, {6, 11, 15}},
                {{2026, 3, 2, 10, 15}, {2026, 3, 3, 11, 45}, {2026, 3, 8, 11, 15}});
    load(dir.path());
    TForm1& f = *form;
    // Sunday unticked in its check box; Saturday selected by its name, then
    // ticked off and on with Space.
    const RECT sunday = f.CBDays->checkBoxRect(6);
    wintest::click(f.CBDays->handle(), (sunday.left + sunday.right) / 2, (sunday.top + sunday.bottom) / 2);
    EXPECT_FALSE(f.CheckDayOfWeek(6));
    EXPECT_EQ(f.CBDays->currentRow(), 6);
    clickRow(f.CBDays->handle(), 5);
    EXPECT_EQ(f.CBDays->currentRow(), 5);
    EXPECT_TRUE(f.CheckDayOfWeek(5));
    wintest::type(f.CBDays->handle(), L" ");
    EXPECT_FALSE(f.CheckDayOfWeek(5));
    wintest::type(f.CBDays->handle(), L" ");
    EXPECT_TRUE(f.CheckDayOfWeek(5));

    enterNewMinute(L"50");
    SetFocus(f.RXNewSize->handle());
    SendMessageW(f.RXNewSize->handle(), EM_SETSEL, 0, -1);
    wintest::type(f.RXNewSize->handle(), L"02:30");

    // A picture of the progress window while the grid is walked.
    bool pictured = false;
    winapp::setMessagePump([&] {
        winapp::pumpMessages();
        if (!pictured && winapp::F_Message &&
            windowText(winapp::F_Message->LabMess) == w("Процесс переноса сетки !")) {
            pictured = true;
            EXPECT_TRUE(winapp::MessageFormOpen);
            const HWND progress = winapp::F_Message->handle();
            EXPECT_TRUE(GetWindowLongW(progress, GWL_EXSTYLE) & WS_EX_TOPMOST);
            RECT inside;
            GetClientRect(progress, &inside);
            EXPECT_EQ(inside, (RECT{0, 0, 400, 85}));
            EXPECT_TRUE(wintest::savePng(wintest::captureWindow(progress), kShots + "/win-progress.png"));
        }
    });
    prompter.setNextAnswer(true);
    SendMessageW(f.BtnMove->handle(), BM_CLICK, 0, 0);
    EXPECT_TRUE(pictured);
    EXPECT_EQ(prompter.questions,
              std::vector<std::string>{
                  "Вы действительно хотите перенести все блоки\rрекламной сетки с 15-ой минуты на 50-ю ?"});
    EXPECT_TRUE(prompter.errors.empty());
    EXPECT_TRUE(uncaught.empty()) << uncaught.front();
    EXPECT_EQ(testsupport::startMinutes(dir.file("AdvSetBlk.db")), (std::vector<int>{50, 45, 50, 15}));
    EXPECT_EQ(testsupport::blockSeconds(dir.file("AdvSetBlk.db")), (std::vector<int>{150, 120, 150, 120}));
    EXPECT_EQ(testsupport::startMinutes(dir.file("AdvBlock.db")), (std::vector<int>{50, 45, 15}));
    // Loaded again: the first minute selected.
    EXPECT_EQ(listTexts(f.LbTimes), (std::vector<std::wstring>{L"15", L"45", L"50"}));
    EXPECT_EQ(windowText(f.EOldTime), L"15");
    EXPECT_FALSE(winapp::MessageFormOpen);
}

// While a shift walks the tables the window takes no input: what the user
// does then changes neither the tables nor what the window shows after it.
TEST_F(MainWindow, InputDuringAShiftChangesNothing)
{
    TForm1& f = *form;
    testsupport::writeWeekTables(dir, 3, 28);
    const auto pristine = testsupport::bothTables(dir);
    // 15 to 50, `during` at the second report, as the walk goes on.
    const auto shift = [&](const std::function<void()>& during) {
        testsupport::writeFile(dir.file("AdvSetBlk.db"), pristine[0]);
        testsupport::writeFile(dir.file("AdvBlock.db"), pristine[1]);
        load(dir.path());
        clickRow(f.LbTimes, 1);
        enterNewMinute(L"50");
        int reports = 0;
        winapp::setMessagePump([&] {
            if (++reports == 2)
                during();
            winapp::pumpMessages();
        });
        prompter.setNextAnswer(true);
        SendMessageW(f.BtnMove->handle(), BM_CLICK, 0, 0);
        winapp::setMessagePump({});
        return std::tuple(testsupport::bothTables(dir), f.RXNewSize->text(), f.CBDays->isChecked(0),
                          f.CBHour->isChecked(0));
    };
    const auto confirmed = shift([] {});
    ASSERT_NE(std::get<0>(confirmed), pristine);
    // Posted, as the user's input comes, to be handled when the walk next
    // handles its messages.
    EXPECT_TRUE(shift([&] {
                    PostMessageW(f.LbTimes, WM_KEYDOWN, VK_DOWN, 1);
                    for (const auto* list : {f.CBDays.get(), f.CBHour.get()}) {
                        const RECT box = list->checkBoxRect(0);
                        const LPARAM at = MAKELPARAM((box.left + box.right) / 2, (box.top + box.bottom) / 2);
                        PostMessageW(list->handle(), WM_LBUTTONDOWN, MK_LBUTTON, at);
                        PostMessageW(list->handle(), WM_LBUTTONUP, 0, at);
                    }
                    PostMessageW(f.RxNew->handle(), WM_CHAR, L'1', 1);
                    PostMessageW(f.RXNewSize->handle(), WM_KEYDOWN, VK_UP, 1);
                }) == confirmed);
}

TEST_F(MainWindow, UncaughtErrorsReachTheExceptionBoxAfterTheProgressWindowCloses)
{
    testsupport::GridTableOptions keyed;
    keyed.keyed = true;
    writeTables({{0, 10, 0}, {0, 10, 15}, {0, 10, 45}, {1, 11, 15}, {1, 11, 45}, {2, 9, 0}},
                {{2026, 3, 2, 10, 0},
                 {2026, 3, 2, 10, 15},
                 {2026, 3, 2, 10, 45},
                 {2026, 3, 3, 11, 15},
                 {2026, 3, 3, 11, 45},
                 {2026, 3, 4, 9, 0}},
                keyed);
    const auto grid = testsupport::readFile(dir.file("AdvSetBlk.db"));
    const auto filling = testsupport::readFile(dir.file("AdvBlock.db"));
    load(dir.path());
    TForm1& f = *form;
    ASSERT_EQ(listTexts(f.LbTimes), (std::vector<std::wstring>{L"00", L"15", L"45"}));

    // Written, not typed: leaving the field would bring it within the hour.
    SetWindowTextW(f.RxNew->handle(), L"70000");
    prompter.setNextAnswer(true);
    SendMessageW(f.BtnMove->handle(), BM_CLICK, 0, 0);
    EXPECT_EQ(uncaught, std::vector<std::string>{"Range check error"});
    EXPECT_TRUE(prompter.questions.empty()) << prompter.questions.front() << " " << narrow(f.RxNew->text());

    // 15 onto 45 of the same hours: a key violation, nothing written.
    clickRow(f.LbTimes, 1);
    enterNewMinute(L"45");
    prompter.setNextAnswer(true);
    SendMessageW(f.BtnMove->handle(), BM_CLICK, 0, 0);
    ASSERT_EQ(uncaught.size(), 2u);
    EXPECT_EQ(uncaught[1], "Key violation");
    EXPECT_FALSE(progressOpenAtError) << "the progress window was still open under the error box";
    EXPECT_EQ(testsupport::readFile(dir.file("AdvSetBlk.db")), grid);
    EXPECT_EQ(testsupport::readFile(dir.file("AdvBlock.db")), filling);
    EXPECT_FALSE(f.Table1.active());
    EXPECT_TRUE(IsWindowEnabled(f.BtnLoad)) << "the window goes on";
}

TEST_F(MainWindow, ALoadUndoesAnInterruptedShiftAndSaysSo)
{
    writeTables({{0, 10, 15}, {1, 10, 45}});
    const auto grid = testsupport::readFile(dir.file("AdvSetBlk.db"));
    const auto filling = testsupport::readFile(dir.file("AdvBlock.db"));
    TForm1& f = *form;
    const auto shift15To30 = [&](testsupport::FaultyFileSystem& fs) {
        load(dir.path());
        enterNewMinute(L"30");
        f.Table1.setFileSystem(&fs);
        prompter.setNextAnswer(true);
        SendMessageW(f.BtnMove->handle(), BM_CLICK, 0, 0);
        f.Table1.setFileSystem(nullptr);
    };
    testsupport::FaultyFileSystem counting;
    counting.durable = false;
    shift15To30(counting);
    ASSERT_TRUE(uncaught.empty()) << uncaught.front();
    testsupport::writeFile(dir.file("AdvSetBlk.db"), grid);
    testsupport::writeFile(dir.file("AdvBlock.db"), filling);

    // The disk dies during the last writes of the tables.
    testsupport::FaultyFileSystem dead;
    dead.failAt = counting.operations - 3;
    dead.failAfter = true;
    shift15To30(dead);
    ASSERT_EQ(uncaught.size(), 1u);
    EXPECT_NE(testsupport::readFile(dir.file("AdvSetBlk.db")), grid);

    SendMessageW(f.BtnLoad, BM_CLICK, 0, 0);
    ASSERT_EQ(prompter.notices.size(), 1u);
    EXPECT_NE(prompter.notices[0].find("был прерван и отменён"), std::string::npos) << prompter.notices[0];
    EXPECT_EQ(testsupport::readFile(dir.file("AdvSetBlk.db")), grid);
    EXPECT_EQ(testsupport::readFile(dir.file("AdvBlock.db")), filling);
}

// The demo shifted 15 -> 16 and undone from the window: the item on the
// system menu and Ctrl+Z, the question naming the shift, No, Yes.
TEST_F(MainWindow, TheLastShiftUndoneFromTheSystemMenu)
{
    TForm1& f = *form;
    ASSERT_EQ(cli::demo({dir.path()}, stdout, stderr), cli::kSuccess);
    const auto before = testsupport::bothTables(dir);
    // The item as any program finds it: the last, under a separator.
    const HMENU menu = GetSystemMenu(f.handle(), FALSE);
    const int last = GetMenuItemCount(menu) - 1;
    wchar_t text[64] = {};
    GetMenuStringW(menu, static_cast<UINT>(last), text, 64, MF_BYPOSITION);
    EXPECT_EQ(text, w("Отменить последний перенос…") + L"\tCtrl+Z");
    EXPECT_TRUE(GetMenuState(menu, static_cast<UINT>(last - 1), MF_BYPOSITION) & MF_SEPARATOR);
    const UINT item = GetMenuItemID(menu, last);
    const auto greyed = [&] { return (GetMenuState(menu, item, MF_BYCOMMAND) & MF_GRAYED) != 0; };
    load(dir.path());
    EXPECT_TRUE(greyed()) << "nothing to undo yet";
    clickRow(f.LbTimes, static_cast<int>(SendMessageW(f.LbTimes, LB_FINDSTRINGEXACT, static_cast<WPARAM>(-1),
                                                      reinterpret_cast<LPARAM>(L"15"))));
    enterNewMinute(L"16");
    prompter.setNextAnswer(true);
    SendMessageW(f.BtnMove->handle(), BM_CLICK, 0, 0);
    const auto shifted = testsupport::bothTables(dir);
    ASSERT_FALSE(greyed());

    // The system menu as Alt+Space opens it, pictured with the window.
    {
        wintest::ModalDriver driver(
            nullptr,
            [&](HWND popup) {
                RECT shown, popupRect;
                GetWindowRect(f.handle(), &shown);
                GetWindowRect(popup, &popupRect);
                UnionRect(&shown, &shown, &popupRect);
                EXPECT_TRUE(wintest::savePng(wintest::captureScreen(shown),
                                             kShots + "/win-main-window-undo-menu.png"));
                EndMenu();
            },
            L"#32768");
        SendMessageW(f.handle(), WM_SYSCOMMAND, SC_KEYMENU, VK_SPACE);
        EXPECT_TRUE(driver.seen);
    }

    // In a field being typed into, Ctrl+Z is the field's own.
    wintest::loopKey(f.DEBase->handle(), 'Z', false, true);
    EXPECT_EQ(prompter.questions.size(), 1u);
    // In the minute list, through the program's own handling of keys.
    prompter.setNextAnswer(false);
    wintest::loopKey(f.LbTimes, 'Z', false, true);
    ASSERT_EQ(prompter.questions.size(), 2u);
    EXPECT_TRUE(testsupport::bothTables(dir) == shifted);
    {
        wintest::ModalDriver driver(L"Confirm", [](HWND box) {
            wintest::saveBox(box, "win-main-window-undo-question");
            SendMessageW(box, WM_COMMAND, IDNO, 0);
        });
        EXPECT_FALSE(winapp::ScreenPrompter(f.handle()).confirm(prompter.questions.back()));
    }

    prompter.setNextAnswer(true);
    SendMessageW(f.handle(), WM_SYSCOMMAND, item, 0);
    EXPECT_TRUE(prompter.errors.empty()) << prompter.errors.front();
    EXPECT_TRUE(testsupport::bothTables(dir) == before);
    EXPECT_EQ(windowText(f.EOldTime), L"15");
    EXPECT_TRUE(greyed());
}

} // namespace
