#include "screen.h"
#include "test_support.h"

#include "spinedit/program_editors.h"
#include "winapp/directory_edit.h"
#include "winapp/fr_message.h"
#include "winapp/prompter.h"
#include "winapp/select_directory.h"
#include "winapp/spin_edit.h"

#include "grid/errors.h"

#include <gtest/gtest.h>

#include <commctrl.h>

#include <filesystem>
#include <functional>
#include <limits>
#include <memory>
#include <set>
#include <string>
#include <vector>

namespace {

using winapp::widen;
using winapp::windowText;

// A window to put single controls on; it passes the spin editor its text
// changes, as the main window does.
class Host {
public:
    Host()
    {
        static const winapp::WindowClass cls{L"GridshiftTestHost", 0, GetSysColorBrush(COLOR_BTNFACE)};
        window = winapp::createWindow(cls, 0, L"host", WS_OVERLAPPED | WS_CAPTION | WS_VISIBLE,
                                      RECT{60, 60, 460, 260}, nullptr, nullptr,
                                      [this](HWND h, UINT m, WPARAM wParam, LPARAM lParam) -> LRESULT {
                                          if (m == WM_COMMAND && HIWORD(wParam) == EN_CHANGE && spin)
                                              spin->textChanged();
                                          return DefWindowProcW(h, m, wParam, lParam);
                                      });
        other = CreateWindowExW(0, L"EDIT", L"", WS_CHILD | WS_VISIBLE | WS_TABSTOP, 10, 100, 80, 21, window,
                                nullptr, winapp::instance(), nullptr);
    }
    ~Host() { DestroyWindow(window); }

    winapp::TRxSpinEdit& makeRxNew()
    {
        spin = std::make_unique<winapp::TRxSpinEdit>(window, RECT{10, 10, 83, 31}, 200);
        spinedit::loadRxNewLayout(spin->model());
        return *spin;
    }

    HWND window = nullptr;
    HWND other = nullptr;
    std::unique_ptr<winapp::TRxSpinEdit> spin;
};

class Controls : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!wintest::haveScreen())
            GTEST_SKIP() << "no screen for Wine's windows: run under xvfb-run";
        winapp::setReportPause([] {});
        winapp::setBeepHook([this] { ++beeps; });
    }
    void TearDown() override
    {
        winapp::ReportProgress("", -1);
        winapp::pumpMessages();
        winapp::setReportPause({});
        winapp::setBeepHook({});
        winapp::setNetworkDialog({});
    }
    int beeps = 0;
};

using wintest::ModalDriver;

std::vector<std::wstring> childTexts(HWND parent, bool visibleOnly = false)
{
    struct Collect {
        std::vector<std::wstring> texts;
        bool visibleOnly;
    } collect{{}, visibleOnly};
    EnumChildWindows(
        parent,
        [](HWND child, LPARAM data) -> BOOL {
            auto* c = reinterpret_cast<Collect*>(data);
            if (!c->visibleOnly || IsWindowVisible(child))
                c->texts.push_back(windowText(child));
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&collect));
    return collect.texts;
}

bool contains(const std::vector<std::wstring>& texts, const std::wstring& text)
{
    return std::find(texts.begin(), texts.end(), text) != texts.end();
}

TEST_F(Controls, TheDiagonalButtonStepsAtOnceThenOnItsTimerWhileHeldOnItsHalf)
{
    Host host;
    winapp::TRxSpinEdit& spin = host.makeRxNew();
    HWND button = spin.button()->handle();
    // An 18-pixel square reaching one pixel into the top of the frame, the
    // text kept clear of it.
    EXPECT_EQ(wintest::placeInParent(button), (RECT{51, -1, 69, 17}));
    RECT area{};
    SendMessageW(spin.handle(), EM_GETRECT, 0, reinterpret_cast<LPARAM>(&area));
    EXPECT_GE(area.left, 0);
    EXPECT_LE(area.right, 49);

    const auto tick = [&] { SendMessageW(button, WM_TIMER, winapp::TRxSpinButton::kRepeatTimer, 0); };
    wintest::press(button, 4, 4);
    EXPECT_EQ(spin.text(), L"5");
    EXPECT_EQ(GetFocus(), spin.handle()) << "a press focuses the editor";
    EXPECT_EQ(GetCapture(), button);
    tick();
    EXPECT_EQ(spin.text(), L"10");
    // Off its half the repeat pauses; the other half never steps.
    SendMessageW(button, WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(14, 14));
    tick();
    EXPECT_EQ(spin.text(), L"10");
    SendMessageW(button, WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(4, 4));
    tick();
    EXPECT_EQ(spin.text(), L"15");
    wintest::release(button, 14, 14);
    tick();
    EXPECT_EQ(spin.text(), L"15");
    wintest::click(button, 14, 14);
    EXPECT_EQ(spin.text(), L"10");

    // A disabled editor's button does nothing.
    EnableWindow(spin.handle(), FALSE);
    wintest::click(button, 4, 4);
    EXPECT_EQ(spin.text(), L"10");
}

// Each kind of button part framed and flat, in either reading order: the
// part where the case says, the text clear of it and aligned, the edit window
// made anew with its id and text, a click on the part's top stepping up.
TEST_F(Controls, TheSpinEditorsButtonPartByKindFrameAndReadingOrder)
{
    using enum spinedit::TSpinButtonKind;
    using enum spinedit::TAlignment;
    const int a = std::min(GetSystemMetrics(SM_CXVSCROLL), 15); // the standard arrows' width
    const struct {
        const char* name;
        spinedit::TSpinButtonKind kind;
        bool frame, rtl;
        spinedit::TAlignment alignment;
        RECT part; // framed, the inside is 69 x 17 and the diagonal square reaches into its top
        DWORD shownAlignment;
    } cases[] = {
        {"diagonal", bkDiagonal, true, false, taLeftJustify, {51, -1, 69, 17}, ES_LEFT},
        {"diagonal-flat-rtl", bkDiagonal, false, true, taRightJustify, {0, 0, 21, 21}, ES_LEFT},
        {"standard-rtl", bkStandard, true, true, taLeftJustify, {0, 0, a, 17}, ES_RIGHT},
        {"standard-flat", bkStandard, false, false, taCenter, {73 - a, 0, 73, 21}, ES_CENTER},
    };
    Host host;
    std::vector<std::unique_ptr<winapp::TRxSpinEdit>> editors;
    for (const auto& c : cases) {
        const int n = static_cast<int>(editors.size()), id = 500 + n;
        auto& spin = *editors.emplace_back(
            std::make_unique<winapp::TRxSpinEdit>(host.window, RECT{110, 10 + 30 * n, 183, 31 + 30 * n}, id));
        spinedit::loadRxNewLayout(spin.model());
        spin.setValue(15);
        spin.setFrame(c.frame);
        spin.setRightToLeft(c.rtl);
        spin.setAlignment(c.alignment);
        spin.setButtonKind(c.kind);
        const HWND edit = spin.handle();
        EXPECT_EQ(GetDlgItem(host.window, id), edit) << c.name;
        EXPECT_EQ(GetWindowLongW(edit, GWL_STYLE) & (ES_CENTER | ES_RIGHT), c.shownAlignment) << c.name;
        EXPECT_EQ(static_cast<bool>(GetWindowLongW(edit, GWL_EXSTYLE) & WS_EX_RTLREADING), c.rtl) << c.name;
        ASSERT_EQ(spin.upDown() != nullptr, c.kind == bkStandard) << c.name;
        const HWND part = spin.upDown() ? spin.upDown()->handle() : spin.button()->handle();
        EXPECT_EQ(wintest::placeInParent(part), c.part) << c.name;
        int shown = 0;
        for (HWND child = GetWindow(edit, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT))
            shown += IsWindowVisible(child) != 0;
        EXPECT_TRUE(shown == 1 && IsWindowVisible(part)) << c.name;
        RECT area{};
        SendMessageW(edit, EM_GETRECT, 0, reinterpret_cast<LPARAM>(&area));
        EXPECT_TRUE(c.rtl ? area.left >= c.part.right : area.right <= c.part.left) << c.name;
        wintest::click(part, 4, 2);
        EXPECT_EQ(spin.text(), L"20") << c.name;
    }
    winapp::pumpMessages();
    for (std::size_t i = 0; i < editors.size(); ++i)
        wintest::savePng(wintest::captureFrame(editors[i]->handle()),
                         std::string(GRIDSHIFT_SCREENSHOT_DIR) + "/win-spin-edit-" + cases[i].name + ".png");
}

// The standard arrows step each way, and beep when read-only. A handler of
// their own click may change the kind, which makes the edit window anew: the
// old parts hide at once and go once their click is over.
TEST_F(Controls, TheStandardArrowsStepAndAClickMayRebuildTheEditor)
{
    Host host;
    winapp::TRxSpinEdit& spin = host.makeRxNew();
    spin.setButtonKind(spinedit::TSpinButtonKind::bkStandard);
    const HWND arrows = spin.upDown()->handle(), oldEdit = spin.handle();
    wintest::click(arrows, 5, 3);
    wintest::click(arrows, 5, 14);
    EXPECT_EQ(spin.text(), L"0") << "up, then down";
    spin.setReadOnly(true);
    wintest::click(arrows, 5, 3);
    EXPECT_EQ(spin.text(), L"0");
    EXPECT_EQ(beeps, 1);
    spin.setReadOnly(false);
    EnableWindow(spin.handle(), FALSE);
    EXPECT_FALSE(IsWindowEnabled(arrows));
    EnableWindow(spin.handle(), TRUE);

    SetFocus(host.other);
    int tops = 0;
    spin.OnTopClick = [&] {
        if (++tops == 1) {
            spin.setButtonKind(spinedit::TSpinButtonKind::bkDiagonal);
            spin.setAlignment(spinedit::TAlignment::taRightJustify);
        }
    };
    wintest::click(arrows, 5, 3);
    EXPECT_EQ(spin.text(), L"5");
    EXPECT_NE(spin.handle(), oldEdit);
    EXPECT_FALSE(IsWindowVisible(oldEdit));
    ASSERT_NE(spin.button(), nullptr);
    EXPECT_EQ(GetFocus(), spin.handle()) << "a click focuses the editor";
    EXPECT_EQ(GetNextDlgTabItem(host.window, host.other, FALSE), spin.handle()) << "its place in the tab order";
    EXPECT_TRUE(IsWindow(arrows)) << "not destroyed under its own click";
    winapp::pumpMessages();
    EXPECT_FALSE(IsWindow(arrows) || IsWindow(oldEdit));

    // The new window steps, takes typing and reports its changes as before.
    int changes = 0;
    spin.OnChange = [&] { ++changes; };
    wintest::click(spin.button()->handle(), 4, 4);
    SendMessageW(spin.handle(), EM_SETSEL, 0, -1);
    wintest::type(spin.handle(), L"42");
    EXPECT_EQ(spin.model().text(), "42");
    EXPECT_EQ(changes, 3);
}

TEST_F(Controls, TheDiagonalButtonDrawsItsGlyphsWithoutTheTransparentColour)
{
    Host host;
    winapp::TRxSpinButton& button = *host.makeRxNew().button();
    constexpr COLORREF red = RGB(255, 0, 0), clear = winapp::kTransparent;
    button.setUpGlyph({3, 3, {red, red, red, red, clear, red, red, red, red}});
    button.setDownGlyph({3, 3, std::vector<COLORREF>(9, RGB(0, 0, 255))});
    // 18 / 4 - 3 / 2 = 3, one pixel in; 3 * 18 / 4 - 3 / 2 = 12, one pixel out.
    wintest::Image face = wintest::captureWindow(button.handle());
    ASSERT_EQ(face.width, 18);
    EXPECT_EQ(face.at(4, 4), 0xFF0000u);
    EXPECT_EQ(face.at(5, 5), face.at(2, 2)) << "the transparent pixel shows the face";
    EXPECT_EQ(face.at(11, 11), 0x0000FFu);

    // An empty picture brings the built-in marks back: the up mark's tip.
    button.setUpGlyph({});
    face = wintest::captureWindow(button.handle());
    EXPECT_NE(face.at(4, 4), 0xFF0000u);
    EXPECT_EQ(face.at(5, 4), 0x000000u);
    EXPECT_EQ(button.UpGlyph().width, 5);
}

TEST_F(Controls, TheSpinEditorFiltersTypingAndTheClipboardAndBoundsOnLeaving)
{
    Host host;
    winapp::TRxSpinEdit& spin = host.makeRxNew();
    HWND edit = spin.handle();
    int changes = 0;
    spin.OnChange = [&] { ++changes; };
    SetFocus(edit);
    EXPECT_EQ(spin.text(), L"0");
    wintest::key(edit, VK_UP);
    wintest::key(edit, VK_UP);
    wintest::key(edit, VK_DOWN);
    EXPECT_EQ(spin.text(), L"5");
    EXPECT_EQ(changes, 3);

    SendMessageW(edit, EM_SETSEL, 0, -1);
    wintest::type(edit, L"2a0");
    EXPECT_EQ(spin.text(), L"20");
    EXPECT_EQ(beeps, 1);
    EXPECT_TRUE(spin.model().Modified());

    // With the editor off only steps change the text; paste and delete do nothing.
    ASSERT_TRUE(OpenClipboard(host.window));
    EmptyClipboard();
    HGLOBAL text = GlobalAlloc(GMEM_MOVEABLE, 3 * sizeof(wchar_t));
    std::memcpy(GlobalLock(text), L"4x", 3 * sizeof(wchar_t));
    GlobalUnlock(text);
    SetClipboardData(CF_UNICODETEXT, text);
    CloseClipboard();
    spin.rules().setEditorEnabled(false);
    wintest::type(edit, L"5\b");
    EXPECT_EQ(beeps, 3);
    SendMessageW(edit, EM_SETSEL, 0, -1);
    SendMessageW(edit, WM_PASTE, 0, 0);
    wintest::key(edit, VK_DELETE);
    wintest::key(edit, VK_UP);
    EXPECT_EQ(spin.text(), L"25");

    spin.rules().setEditorEnabled(true);
    SendMessageW(edit, EM_SETSEL, 0, -1);
    SendMessageW(edit, WM_PASTE, 0, 0);
    EXPECT_EQ(spin.text(), L"4x") << "pasted text is not filtered";

    // Leaving the field rewrites a number beyond a bound, nothing else.
    SendMessageW(edit, EM_SETSEL, 0, -1);
    wintest::type(edit, L"75");
    SetFocus(host.other);
    EXPECT_EQ(spin.text(), L"59");
    SetFocus(edit);
    SendMessageW(edit, EM_SETSEL, 0, -1);
    wintest::type(edit, L"-");
    SetFocus(host.other);
    EXPECT_EQ(spin.text(), L"-");

    // Never lower than its font's height and the borders.
    SetWindowPos(edit, nullptr, 0, 0, 73, 4, SWP_NOMOVE | SWP_NOZORDER);
    RECT r;
    GetWindowRect(edit, &r);
    EXPECT_GE(r.bottom - r.top, 14);
    EXPECT_LE(r.bottom - r.top, 21);
}

TEST_F(Controls, EnterAndEscapeInTheSpinEditorGoToTheDialogsButtons)
{
    static std::vector<WORD> commands;
    commands.clear();
    std::vector<WORD> templ(sizeof(DLGTEMPLATE) / sizeof(WORD) + 3, 0);
    auto* t = reinterpret_cast<DLGTEMPLATE*>(templ.data());
    t->style = WS_POPUP | WS_CAPTION | WS_VISIBLE;
    t->cx = 150;
    t->cy = 60;
    HWND dialog = CreateDialogIndirectParamW(
        winapp::instance(), t, nullptr,
        [](HWND, UINT message, WPARAM wParam, LPARAM) -> INT_PTR {
            if (message == WM_COMMAND && (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL))
                commands.push_back(LOWORD(wParam));
            return message == WM_INITDIALOG;
        },
        0);
    ASSERT_TRUE(dialog);
    CreateWindowExW(0, L"BUTTON", L"OK", WS_CHILD | WS_VISIBLE | BS_DEFPUSHBUTTON, 100, 10, 60, 23, dialog,
                    reinterpret_cast<HMENU>(IDOK), winapp::instance(), nullptr);
    winapp::TRxSpinEdit spin(dialog, RECT{10, 10, 83, 31}, 300);
    wintest::type(spin.handle(), L"\r");
    wintest::type(spin.handle(), L"\x1b");
    EXPECT_EQ(commands, (std::vector<WORD>{IDOK, IDCANCEL}));
    EXPECT_EQ(spin.text(), L"0") << "Enter never reaches the edit";
    DestroyWindow(dialog);
}

TEST_F(Controls, ReportsOpenUpdateAndCloseTheProgressWindow)
{
    using winapp::F_Message;
    winapp::ReportProgress("Загрузка сетки рекламы", 0);
    ASSERT_TRUE(winapp::MessageFormOpen);
    ASSERT_TRUE(F_Message);
    const HWND window = F_Message->handle();
    EXPECT_TRUE(IsWindowVisible(window));
    EXPECT_EQ(windowText(window), widen("Ход процесса"));
    EXPECT_EQ(windowText(F_Message->LabMess), widen("Загрузка сетки рекламы"));
    EXPECT_TRUE(GetWindowLongW(window, GWL_EXSTYLE) & WS_EX_TOPMOST);
    EXPECT_FALSE(GetWindowLongW(window, GWL_STYLE) & (WS_MINIMIZEBOX | WS_MAXIMIZEBOX | WS_THICKFRAME));
    RECT inside, frame;
    GetClientRect(window, &inside);
    GetWindowRect(window, &frame);
    EXPECT_EQ(inside, (RECT{0, 0, 400, 85}));
    EXPECT_LE(std::abs((frame.left + frame.right) / 2 - GetSystemMetrics(SM_CXSCREEN) / 2), 1);
    EXPECT_EQ(wintest::placeInParent(F_Message->MsgProcent->handle()), (RECT{8, 28, 388, 49}));
    EXPECT_EQ(wintest::placeInParent(F_Message->LabMess), (RECT{8, 8, 388, 24}));

    // The bar: 378 pixels inside its border, at 50% filled in navy over
    // x = 1 .. 189, its text light over the fill and dark over the white.
    winapp::ReportProgress("", 50);
    RECT r;
    GetWindowRect(F_Message->MsgProcent->handle(), &r);
    wintest::captureWindow(window);
    const wintest::Image bar = wintest::captureScreen(r);
    ASSERT_EQ(bar.width, 380);
    EXPECT_EQ(bar.at(189, 2), 0x000080u); // row 2 lies above the text
    EXPECT_EQ(bar.at(190, 2), 0xFFFFFFu);
    bool lightOnNavy = false, darkOnWhite = false;
    for (int y = 1; y < 20; ++y)
        for (int x = 160; x < 220; ++x) {
            const std::uint32_t p = bar.at(x, y);
            const int grey = ((p >> 16 & 0xFF) + (p >> 8 & 0xFF) + (p & 0xFF)) / 3;
            lightOnNavy |= x <= 189 && grey > 128;
            darkOnWhite |= x > 189 && grey < 100;
        }
    EXPECT_TRUE(lightOnNavy && darkOnWhite);
    wintest::savePng(wintest::captureWindow(window), std::string(GRIDSHIFT_SCREENSHOT_DIR) + "/win-progress-50.png");

    for (auto [percent, shown] : {std::pair{42.0, 42}, {0.5, 0}, {99.99, 99}, {150.0, 100}}) {
        winapp::ReportProgress("", percent);
        EXPECT_EQ(F_Message->MsgProcent->Progress(), shown) << percent;
    }
    EXPECT_EQ(F_Message->handle(), window);
    EXPECT_THROW(winapp::ReportProgress("", 2147483648.0), grid::RangeError);

    winapp::ReportProgress("Процесс переноса данных", -1);
    EXPECT_FALSE(IsWindowVisible(F_Message->MsgProcent->handle()));
    EXPECT_EQ(F_Message->MsgProcent->Progress(), 0);

    // Closed, it stays as it is until messages are next handled.
    winapp::ReportProgress("", -1);
    winapp::ReportProgress("", -1);
    EXPECT_FALSE(winapp::MessageFormOpen);
    EXPECT_TRUE(IsWindowVisible(window));
    winapp::pumpMessages();
    EXPECT_FALSE(IsWindow(window));
    EXPECT_EQ(F_Message, nullptr);

    // Closed by the user, the next report opens a fresh one, heading empty.
    winapp::ReportProgress("Процесс переноса сетки !", 10);
    const HWND first = F_Message->handle();
    SendMessageW(first, WM_CLOSE, 0, 0);
    EXPECT_FALSE(winapp::MessageFormOpen);
    winapp::ReportProgress("", 12.5);
    ASSERT_TRUE(winapp::MessageFormOpen);
    EXPECT_NE(F_Message->handle(), first);
    EXPECT_EQ(windowText(F_Message->LabMess), L"");
    EXPECT_EQ(F_Message->MsgProcent->Progress(), 12);
}

TEST_F(Controls, MessageBoxesAreTheSystemsAboveTheProgressWindow)
{
    Host host;
    winapp::ScreenPrompter prompter(host.window);
    winapp::ReportProgress("Процесс переноса сетки !", 10);
    const HWND progress = winapp::F_Message->handle();

    bool aboveProgress = false, topmost = false;
    std::vector<std::wstring> texts;
    {
        ModalDriver driver(L"Error", [&](HWND box) {
            topmost = GetWindowLongW(box, GWL_EXSTYLE) & WS_EX_TOPMOST;
            for (HWND below = GetWindow(box, GW_HWNDNEXT); below; below = GetWindow(below, GW_HWNDNEXT))
                aboveProgress |= below == progress;
            texts = childTexts(box);
            wintest::saveBox(box, "win-error-box");
            SendMessageW(box, WM_COMMAND, IDOK, 0);
        });
        prompter.error("Не найдена база сетки рекламы AdvSetBlk.db");
        EXPECT_TRUE(driver.seen);
    }
    EXPECT_TRUE(topmost);
    EXPECT_TRUE(aboveProgress) << "the box is above the stay-on-top progress window";
    EXPECT_TRUE(contains(texts, widen("Не найдена база сетки рекламы AdvSetBlk.db")));
    EXPECT_TRUE(contains(texts, L"OK"));

    // Yes, No, and Escape, which answers No.
    for (const auto& [answer, expected] : {std::pair{IDYES, true}, {IDNO, false}, {IDCANCEL, false}}) {
        std::wstring yes, no;
        ModalDriver driver(L"Confirm", [&, answer = answer](HWND box) {
            yes = windowText(GetDlgItem(box, IDYES));
            no = windowText(GetDlgItem(box, IDNO));
            texts = childTexts(box);
            SendMessageW(box, WM_COMMAND, static_cast<WPARAM>(answer), 0);
        });
        EXPECT_EQ(prompter.confirm("Вы хотите установить новую продолжительность\rблоков для 15-ой минуты ?"),
                  expected)
            << answer;
        EXPECT_EQ(yes, L"&Yes");
        EXPECT_EQ(no, L"&No");
        EXPECT_TRUE(contains(texts,
                             widen("Вы хотите установить новую продолжительность\r\nблоков для 15-ой минуты ?")));
    }

    // An error no handler caught: under the program's title, with a full stop.
    std::wstring title;
    {
        ModalDriver driver(L"winapp_test", [&](HWND box) {
            texts = childTexts(box);
            title = windowText(box);
            SendMessageW(box, WM_COMMAND, IDOK, 0);
        });
        winapp::reportError("Range check error");
        EXPECT_TRUE(driver.seen);
    }
    EXPECT_EQ(winapp::applicationTitle(), L"winapp_test");
    EXPECT_TRUE(contains(texts, L"Range check error."));
}

TEST_F(Controls, TheFolderDialogWalksFoldersAndOKWritesTheOpenOne)
{
    testsupport::TempDir dir;
    std::filesystem::create_directory(dir.path() + "\\sub");
    testsupport::writeFile(dir.file("AdvSetBlk.db"), {std::byte{1}});
    Host host;
    winapp::TDirectoryEdit field(host.window, RECT{4, 40, 457, 61}, 400);
    const std::wstring start = winapp::existingFolder(widen(dir.path()));
    field.setText(widen(dir.path()));
    // The browse button sits inside the field's right end.
    EXPECT_EQ(wintest::placeInParent(field.button()), (RECT{428, 0, 449, 17}));

    const auto listed = [](HWND list) {
        std::vector<std::wstring> names;
        const int n = static_cast<int>(SendMessageW(list, LB_GETCOUNT, 0, 0));
        for (int i = 0; i < n; ++i) {
            wchar_t name[MAX_PATH] = {};
            SendMessageW(list, LB_GETTEXT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(name));
            names.emplace_back(name);
        }
        return names;
    };
    const auto openFolder = [&](HWND box, const std::wstring& name) {
        HWND list = GetDlgItem(box, winapp::kDirListId);
        const std::vector<std::wstring> names = listed(list);
        const auto at = std::find(names.begin(), names.end(), name);
        ASSERT_NE(at, names.end());
        SendMessageW(list, LB_SETCURSEL, static_cast<WPARAM>(at - names.begin()), 0);
        SendMessageW(box, WM_COMMAND, MAKEWPARAM(winapp::kDirListId, LBN_DBLCLK), reinterpret_cast<LPARAM>(list));
    };

    std::vector<std::wstring> texts, files;
    std::wstring shown, afterOpen;
    RECT inside{};
    {
        ModalDriver driver(winapp::kSelectDirectoryTitle, [&](HWND box) {
            GetClientRect(box, &inside);
            texts = childTexts(box, true);
            shown = windowText(GetDlgItem(box, winapp::kDirLabelId));
            files = listed(GetDlgItem(box, winapp::kFileListId));
            wintest::saveBox(box, "win-select-directory");
            // The whole window centred, as the main window and the boxes are.
            RECT frame;
            GetWindowRect(box, &frame);
            EXPECT_EQ(frame.left, (GetSystemMetrics(SM_CXSCREEN) - (frame.right - frame.left)) / 2);
            EXPECT_EQ(frame.top, (GetSystemMetrics(SM_CYSCREEN) - (frame.bottom - frame.top)) / 2);

            // "Network..." calls the system's dialog, then lists the drives
            // again: a drive the test's dialog adds to the old list goes.
            const HWND drives = GetDlgItem(box, winapp::kDriveComboId);
            const LRESULT count = SendMessageW(drives, CB_GETCOUNT, 0, 0);
            HWND owner = nullptr;
            winapp::setNetworkDialog([&](HWND o) {
                owner = o;
                SendMessageW(drives, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(L"n:"));
            });
            SendMessageW(GetDlgItem(box, winapp::kNetworkId), BM_CLICK, 0, 0);
            EXPECT_EQ(owner, box);
            EXPECT_EQ(SendMessageW(drives, CB_GETCOUNT, 0, 0), count);
            EXPECT_NE(SendMessageW(drives, CB_GETCURSEL, 0, 0), CB_ERR);
            // Wine's own has no network to offer; nothing breaks.
            winapp::setNetworkDialog({});
            SendMessageW(GetDlgItem(box, winapp::kNetworkId), BM_CLICK, 0, 0);
            EXPECT_EQ(SendMessageW(drives, CB_GETCOUNT, 0, 0), count);

            openFolder(box, L"sub");
            afterOpen = windowText(GetDlgItem(box, winapp::kDirLabelId));
            SendMessageW(box, WM_COMMAND, IDCANCEL, 0);
        });
        EXPECT_FALSE(field.openDialog());
        EXPECT_TRUE(driver.seen);
    }
    EXPECT_EQ(inside, (RECT{0, 0, 424, 255}));
    for (const char* text :
         {"Directory &Name:", "&Directories:", "&Files: (*.*)", "D&rives:", "OK", "Cancel", "Ne&twork..."})
        EXPECT_TRUE(contains(texts, widen(text))) << text;
    EXPECT_EQ(shown, start);
    EXPECT_EQ(files, std::vector<std::wstring>{L"AdvSetBlk.db"});
    EXPECT_EQ(afterOpen, start + L"\\sub");
    // Cancel changes no text, but the folder opened stays current.
    EXPECT_EQ(field.text(), widen(dir.path()));
    EXPECT_EQ(winapp::existingFolder(L"."), start + L"\\sub");
    EXPECT_EQ(GetFocus(), field.handle());

    // Alt+Down opens it too; a drive's top is written with its backslash.
    std::wstring top;
    {
        ModalDriver driver(winapp::kSelectDirectoryTitle, [&](HWND box) {
            HWND list = GetDlgItem(box, winapp::kDirListId);
            top = listed(list).front();
            openFolder(box, top);
            SendMessageW(box, WM_COMMAND, IDOK, 0);
        });
        SendMessageW(field.handle(), WM_SYSKEYDOWN, VK_DOWN, 0x20000001);
        EXPECT_TRUE(driver.seen);
    }
    EXPECT_EQ(top.back(), L'\\');
    EXPECT_EQ(field.text(), top);
    SetCurrentDirectoryW(L"C:\\");
}

} // namespace
