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

TEST(SpinEditRules, TypedCharactersAreFilteredByValueType)
{
    struct Case {
        TValueType type;
        const char* text;
        char32_t typed;
        bool taken;
    };
    for (const Case& c :
         {Case{vtInteger, "12", U'-', true}, Case{vtInteger, "12", U'+', true}, Case{vtInteger, "12", U'a', false},
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
    EXPECT_EQ(rules.typed(3), TypedChar::Edit); // Ctrl+C copies
    EXPECT_EQ(rules.typed(13), TypedChar::Enter);
    EXPECT_EQ(rules.typed(27), TypedChar::Escape);
    EXPECT_FALSE(rules.clipboardEdits());
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

// Handlers may throw, run an event loop that delivers the release, or
// destroy the button with its press.
TEST(SpinButtonPress, HandlersThatThrowReleaseOrDestroyTheButton)
{
    auto press = std::make_unique<SpinButtonPress>();
    int interval = 0;
    press->startRepeat = [&](int ms) { interval = ms; };
    press->stopRepeat = [&] { interval = 0; };
    int clicks = 0;
    press->OnTopClick = [&] {
        if (++clicks > 1)
            throw std::runtime_error("step failed");
    };
    press->press(4, 4, 18, 18);
    EXPECT_EQ(interval, 400);
    EXPECT_THROW(press->repeatTick(), std::runtime_error);
    EXPECT_EQ(interval, 0) << "a throwing repeat stops its timer";
    press->release();

    press->OnTopClick = [&] { press->release(); };
    press->press(4, 4, 18, 18);
    EXPECT_EQ(press->pressedHalf(), spNone);
    EXPECT_EQ(interval, 0) << "released during its click: no repeat";

    press->OnBottomClick = [&] { press.reset(); };
    press->press(14, 14, 18, 18);
    EXPECT_EQ(press, nullptr);
}

} // namespace
} // namespace spinedit
