#include "spinedit/program_editors.h"
#include "spinedit/spin_control.h"
#include "spinedit/spin_face.h"
#include "spinedit/spin_press.h"

#include <gtest/gtest.h>

#include <memory>
#include <stdexcept>
#include <vector>

namespace spinedit {
namespace {

using enum TValueType;
using enum TSpinPress;

TEST(SpinEditRules, ArrowKeysStepWhileOnAndReadOnlyOnlyBeeps)
{
    SpinValue value = makeRxNew();
    SpinEditRules rules(value);
    int beeps = 0;
    value.onBeep = [&] { ++beeps; };
    EXPECT_TRUE(rules.keyDown(SpinKey::Up));
    EXPECT_TRUE(rules.keyDown(SpinKey::Up));
    EXPECT_TRUE(rules.keyDown(SpinKey::Down));
    EXPECT_FALSE(rules.keyDown(SpinKey::Other));
    EXPECT_EQ(value.text(), "5");
    rules.setArrowKeys(false);
    EXPECT_FALSE(rules.keyDown(SpinKey::Up));
    EXPECT_EQ(value.text(), "5");

    rules.setArrowKeys(true);
    value.setReadOnly(true);
    EXPECT_TRUE(rules.keyDown(SpinKey::Down));
    EXPECT_EQ(value.text(), "5");
    EXPECT_EQ(beeps, 1);
    EXPECT_FALSE(rules.clipboardEdits());
}

TEST(SpinEditRules, TypedCharactersAreFilteredByValueType)
{
    struct Case {
        TValueType type;
        const char* text;
        char32_t typed;
        bool taken;
    };
    for (const Case& c : {
             Case{vtInteger, "12", U'-', true}, Case{vtInteger, "12", U'+', true}, Case{vtInteger, "12", U'a', false},
             Case{vtInteger, "12", U',', false}, Case{vtInteger, "12", U' ', false}, Case{vtInteger, "12", U'я', false},
             Case{vtFloat, "12", U',', true}, Case{vtFloat, "1,5", U',', false}, Case{vtFloat, "12", U'.', false},
             Case{vtFloat, "1,5", U'e', true}, Case{vtFloat, "1e5", U'E', false}, Case{vtHex, "1F", U'a', true},
             Case{vtHex, "1F", U'g', false}, Case{vtTime, "03:10", U':', true}, Case{vtTime, "03:10", U'.', true},
             Case{vtTime, "03:10", U'e', false}, Case{vtInteger, "12", 8, true}, Case{vtInteger, "12", 22, true}}) {
        SpinValue value(',');
        value.setValueType(c.type);
        value.setText(c.text);
        const SpinEditRules rules(value);
        EXPECT_EQ(rules.AcceptsChar(c.typed), c.taken) << c.text << " + " << static_cast<unsigned>(c.typed);
    }
}

TEST(SpinEditRules, EditorDisabledTakesOnlyControlCharactersButBackspace)
{
    SpinValue value = makeRxNew();
    SpinEditRules rules(value);
    rules.setEditorEnabled(false);
    EXPECT_EQ(rules.typed(U'5'), TypedChar::Refused);
    EXPECT_EQ(rules.typed(8), TypedChar::Refused);
    EXPECT_EQ(rules.typed(3), TypedChar::Edit);  // Ctrl+C copies
    EXPECT_EQ(rules.typed(13), TypedChar::Enter);
    EXPECT_EQ(rules.typed(27), TypedChar::Escape);
    EXPECT_FALSE(rules.clipboardEdits());
    rules.setEditorEnabled(true);
    EXPECT_TRUE(rules.clipboardEdits());
    EXPECT_EQ(rules.typed(8), TypedChar::Edit);
}

TEST(SpinEditRules, LeavingRewritesOnlyANumberBeyondABound)
{
    struct Case {
        const char* typed;
        const char* left;
    };
    // "-" and "" read as MinValue, which lies within the bounds.
    for (const Case& c : {Case{"75", "59"}, Case{"-5", "0"}, Case{"42", "42"}, Case{"-", "-"}, Case{"", ""}}) {
        SpinValue value = makeRxNew();
        SpinEditRules rules(value);
        value.setText(c.typed);
        int changes = 0;
        value.OnChange = [&] { ++changes; };
        rules.leave();
        EXPECT_EQ(value.text(), c.left) << c.typed;
        EXPECT_EQ(changes, std::string(c.typed) == c.left ? 0 : 1) << c.typed;
    }
    // A time rewritten only when it read as a whole day, beyond the bound.
    SpinValue size = makeRXNewSize();
    SpinEditRules rules(size);
    size.setText("99:99");
    rules.leave();
    EXPECT_EQ(size.text(), "99:99");
}

TEST(SpinEditGeometry, TheProgramEditorsButtonAndTextArea)
{
    EXPECT_EQ(minimumHeight(13, 1), 18);
    EXPECT_EQ(diagonalButtonRect(73, 21, true, false), (SpinRect{53, 1, 18, 18}));
    EXPECT_EQ(diagonalButtonRect(73, 21, true, true), (SpinRect{1, 1, 18, 18}));
    EXPECT_EQ(diagonalButtonRect(73, 21, false, false), (SpinRect{52, 0, 21, 21}));
    EXPECT_EQ(textMargins(18, false), (TextMargins{0, 20}));
    EXPECT_EQ(textMargins(18, true), (TextMargins{19, 1}));
    EXPECT_EQ(standardButtonWidth(17), 15);
}

TEST(SpinFace, MarksSitMidHalfRoundedHalfToEven)
{
    const auto at = [](GlyphCorner c) { return std::pair{c.x, c.y}; };
    EXPECT_EQ(at(upGlyphCorner(18, 18, 5, 3, spNone)), std::pair(3, 4));
    EXPECT_EQ(at(upGlyphCorner(18, 18, 5, 3, spTop)), std::pair(4, 5));
    EXPECT_EQ(at(downGlyphCorner(18, 18, 5, 3)), std::pair(10, 11));
    // 20 / 4 - 2.5 = 2.5 goes to 2, 3 * 20 / 4 - 2.5 = 12.5 to 12.
    EXPECT_EQ(at(upGlyphCorner(20, 20, 5, 5, spNone)), std::pair(3, 3));
    EXPECT_EQ(at(downGlyphCorner(20, 20, 5, 5)), std::pair(11, 11));
    // Dark lines along the diagonal: the upper half's edge; none when it is
    // pressed; a pressed lower half darkens its own edge and adds a second.
    const auto diagonalBevels = [](TSpinPress pressed) {
        int n = 0;
        for (const FaceLine& l : faceLines(18, 18, pressed))
            n += l.colour == FaceColour::Dark && l.x1 < l.x2 && l.y1 > l.y2;
        return n;
    };
    EXPECT_EQ(diagonalBevels(spNone), 1);
    EXPECT_EQ(diagonalBevels(spTop), 0);
    EXPECT_EQ(diagonalBevels(spBottom), 3);
}

// A press model whose timer is a variable and whose clicks are recorded
// with the time they came at.
struct PressFixture : ::testing::Test {
    PressFixture()
    {
        press->OnTopClick = [this] { clicks.push_back({spTop, now}); };
        press->OnBottomClick = [this] { clicks.push_back({spBottom, now}); };
        press->startRepeat = [this](int ms) { interval = ms; };
        press->stopRepeat = [this] { interval = 0; };
    }
    // Lets the running timer fire once.
    void tick()
    {
        ASSERT_NE(interval, 0) << "no timer runs";
        now += interval;
        press->repeatTick();
    }
    struct Click {
        TSpinPress half;
        int at;
        friend bool operator==(const Click&, const Click&) = default;
    };
    std::unique_ptr<SpinButtonPress> press = std::make_unique<SpinButtonPress>();
    std::vector<Click> clicks;
    int now = 0;
    int interval = 0;
};

TEST_F(PressFixture, HoldingClicksAtOnceThenAfter400ThenEvery100Milliseconds)
{
    EXPECT_EQ(halfAt(9, 9, 18, 18), spTop) << "the diagonal is the upper half's";
    EXPECT_EQ(halfAt(9, 10, 18, 18), spBottom);
    EXPECT_EQ(halfAt(10, 16, 40, 20), spBottom) << "the slope is a real ratio";
    press->press(4, 4, 18, 18);
    for (int i = 0; i < 3; ++i)
        tick();
    EXPECT_EQ(clicks, (std::vector<Click>{{spTop, 0}, {spTop, 400}, {spTop, 500}, {spTop, 600}}));
    press->release();
    EXPECT_EQ(press->pressedHalf(), spNone);
    EXPECT_EQ(interval, 0);
}

TEST_F(PressFixture, SlidingOffPausesAndTheOtherHalfNeverPresses)
{
    press->press(14, 14, 18, 18);
    for (auto [x, y] : {std::pair{4, 4}, std::pair{30, 14}}) {
        press->move(x, y, 18, 18);
        EXPECT_EQ(press->pressedHalf(), spNone);
        tick();
    }
    press->move(14, 14, 18, 18);
    tick();
    EXPECT_EQ(clicks, (std::vector<Click>{{spBottom, 0}, {spBottom, 600}}));
    EXPECT_EQ(interval, 100) << "resumes at the short interval";

    // A release outside ends the press; the repeat stops without the mouse.
    press->release();
    press->holdsMouse = [] { return false; };
    press->press(4, 4, 18, 18);
    tick();
    EXPECT_EQ(clicks.size(), 3u);
}

TEST_F(PressFixture, HandlersThatThrowReleaseOrDestroyTheButton)
{
    press->OnTopClick = [this] {
        if (now > 0)
            throw std::runtime_error("step failed");
    };
    press->press(4, 4, 18, 18);
    EXPECT_THROW(tick(), std::runtime_error);
    EXPECT_EQ(interval, 0) << "a throwing repeat stops its timer";
    press->release();

    // A handler whose event loop delivered the release: no repeat starts.
    press->OnTopClick = [this] { press->release(); };
    press->press(4, 4, 18, 18);
    EXPECT_EQ(press->pressedHalf(), spNone);
    EXPECT_EQ(interval, 0);

    press->OnBottomClick = [this] { press.reset(); };
    press->press(14, 14, 18, 18);
    EXPECT_EQ(press, nullptr);
}

} // namespace
} // namespace spinedit
