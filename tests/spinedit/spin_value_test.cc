#include "spinedit/spin_value.h"

#include <gtest/gtest.h>

#include <cmath>
#include <stdexcept>
#include <string>
#include <vector>

namespace spinedit {
namespace {

using enum TTimeEcho;
using Events = std::vector<std::string>;

constexpr double kLastMoment = 86'399'999.0 / 86'400'000.0;

long long msOf(double v)
{
    return std::llround(v * 86'400'000);
}
double hms(double h, double m, double s, double ms = 0)
{
    return (h * 3600 + m * 60 + s + ms / 1000) / 86'400;
}

SpinValue editor(TValueType type, const char* text, double minValue = 0)
{
    SpinValue e(',');
    e.setValueType(type);
    e.setMinValue(minValue);
    e.setText(text);
    return e;
}

SpinValue timeEditor(TTimeEcho echo, const char* text = "0", double maxValue = 1.0)
{
    SpinValue e(',');
    e.setMaxValue(maxValue);
    e.setValueType(TValueType::vtTime);
    e.setTimeEcho(echo);
    e.setIncrement(5);
    e.setText(text);
    return e;
}

// Collects the hooks a step raises, in order.
void record(SpinValue& e, Events& events)
{
    e.OnChange = [&] { events.push_back(e.StepInProgress() ? "change in step" : "change"); };
    e.OnTopClick = [&] { events.push_back("top"); };
    e.OnBottomClick = [&] { events.push_back("bottom"); };
    e.onBeep = [&] { events.push_back("beep"); };
}

TEST(SpinWriting, TimeInEveryForm)
{
    struct Row {
        double value;
        const char* shown[5]; // in TTimeEcho order
    } rows[] = {
        {190.0 / 86400, {"00:03", "00:03:10", "00:03:10.000", "03:10", "03:10.0"}},
        {3.0 / 1440, {"00:03", "00:03:00", "00:03:00.000", "03:00", "03:00.0"}},
        {hms(1, 15, 42, 500), {"01:15", "01:15:42", "01:15:42.500", "75:42", "15:42.5"}},
        {kLastMoment, {"23:59", "23:59:59", "23:59:59.999", "1439:59", "59:59.9"}},
    };
    for (const Row& row : rows) {
        for (int echo = 0; echo < 5; ++echo) {
            SpinValue e = timeEditor(static_cast<TTimeEcho>(echo));
            e.setValue(row.value);
            EXPECT_EQ(e.text(), row.shown[echo]) << msOf(row.value) << " ms, form " << echo;
        }
    }
}

TEST(SpinWriting, TimeTakesTheUpperBoundBeforeTheLower)
{
    SpinValue unbounded = timeEditor(vtHourMin, "0", 0); // bounds 0 and 0
    unbounded.setValue(0.5);
    EXPECT_EQ(unbounded.text(), "00:00");

    SpinValue day = timeEditor(vtHourMin);
    day.setValue(1.5);
    EXPECT_EQ(day.text(), "00:00") << "a whole day is midnight";
    day.TimeStepsPerDay();
    day.setValue(1.5);
    EXPECT_EQ(day.text(), "23:59");
    day.setMinValue(-1);
    day.setValue(-0.25);
    EXPECT_EQ(day.text(), "06:00") << "a negative value shows the time of its magnitude";
}

TEST(SpinWriting, Numbers)
{
    using enum TValueType;
    struct Case {
        TValueType type;
        double value;
        const char* shown;
        int decimal = 2;
    };
    for (const Case& c :
         {Case{vtInteger, 2.5, "2"}, Case{vtInteger, 3.5, "4"}, Case{vtInteger, -2.5, "-2"},
          Case{vtInteger, 1e30, "9223372036854775807"}, Case{vtHex, 255, "FF"}, Case{vtHex, 0, "0"},
          Case{vtHex, -2.5, "FFFFFFFFFFFFFFFE"}, Case{vtFloat, 3.14159, "3,14"},
          Case{vtFloat, 2.675, "2,68"}, // stored just below 2.675
          Case{vtFloat, 9.995, "10,00"}, Case{vtFloat, -0.001, "0,00"}, Case{vtFloat, -1234567.5, "-1234568", 0},
          Case{vtFloat, 1.0 / 3, "0,333333333333333000", 18},
          Case{vtFloat, 123456789012345678.0, "123456789012346000,0", 1}}) {
        SpinValue e = editor(c.type, "0");
        e.setDecimal(static_cast<std::uint8_t>(c.decimal));
        e.setValue(c.value);
        EXPECT_EQ(e.text(), c.shown) << c.value;
    }
}

TEST(SpinWriting, ValuesWithoutATextAreRefused)
{
    SpinValue real = editor(TValueType::vtFloat, "1,00");
    SpinValue time = timeEditor(vtHourMin, "01:00");
    EXPECT_THROW(real.setValue(NAN), std::domain_error);
    EXPECT_THROW(real.setValue(INFINITY), std::domain_error);
    EXPECT_THROW(time.setValue(NAN), std::domain_error);
    EXPECT_EQ(real.text(), "1,00");
    EXPECT_EQ(time.text(), "01:00");
}

TEST(SpinReading, NumbersReadAsTypedOrAsTheLowerBound)
{
    using enum TValueType;
    struct Case {
        TValueType type;
        const char* text;
        double read; // MinValue is -2.7
    };
    for (const Case& c : {Case{vtFloat, " -1,5e2 ", -150}, Case{vtFloat, "1e-400", 0}, Case{vtFloat, "1e400", -2.7},
                          Case{vtFloat, "3.5", -2.7}, Case{vtFloat, "1,2,3", -2.7}, Case{vtFloat, "inf", -2.7},
                          Case{vtInteger, "  -12", -12}, Case{vtInteger, "-$10", -16},
                          Case{vtInteger, "3000000000", -2}, Case{vtInteger, "12 ", -2}, Case{vtInteger, "", -2},
                          Case{vtHex, "ff", 255}, Case{vtHex, "FFFFFFFFFFFFFFFF", -1}, Case{vtHex, "$10", -2}}) {
        SpinValue e = editor(c.type, c.text, -2.7);
        EXPECT_DOUBLE_EQ(e.Value(), c.read) << c.text;
        EXPECT_EQ(e.text(), c.text) << "reading changed the text";
    }
}

TEST(SpinReading, WholeNumbersAre32BitsSigned)
{
    using enum TValueType;
    struct Case {
        TValueType type;
        const char* text;
        double read; // MinValue is -2.7
    };
    // clang-format off
    for (const Case& c : {
             Case{vtInteger, "2147483647", 2147483647}, Case{vtInteger, "2147483648", -2},
             Case{vtInteger, " -2147483648", -2147483648.0}, Case{vtInteger, "-2147483649", -2},
             Case{vtInteger, "+00000000000042", 42}, Case{vtInteger, "$FFFFFFFF", -1},
             Case{vtInteger, "$7fffffff", 2147483647}, Case{vtInteger, "-$80000000", -2147483648.0},
             Case{vtInteger, "-$FFFFFFFF", 1}, Case{vtInteger, "$000000000010", 16},
             Case{vtInteger, "$100000000", -2}, Case{vtInteger, "$FFFFFFFF80000000", -2147483648.0},
             Case{vtInteger, "$FFFFFFFF7FFFFFFF", -2}, Case{vtInteger, "$", -2},
             Case{vtHex, "FFFFFFFF", -1}, Case{vtHex, "80000000", -2147483648.0},
             Case{vtHex, "FFFFFFFFFFFFFFFE", -2}, Case{vtHex, "100000000", -2},
             Case{vtHex, "7FFFFFFFFFFFFFFF", -2}, Case{vtHex, "-1", -2}, Case{vtHex, " 1", -2}}) {
        // clang-format on
        EXPECT_DOUBLE_EQ(editor(c.type, c.text, -2.7).Value(), c.read) << c.text;
    }
}

TEST(SpinReading, WrittenWholeNumbersReadBack)
{
    using enum TValueType;
    // Equal bounds: writes take any value, and -2.7 reads as -2.
    auto unbounded = [](TValueType type) {
        SpinValue e = editor(type, "0", -2.7);
        e.setMaxValue(-2.7);
        return e;
    };
    for (TValueType type : {vtInteger, vtHex}) {
        for (double v : {0.0, 1.0, 255.0, -1.0, -2.0, -123456.0, 2147483647.0, -2147483648.0}) {
            SpinValue e = unbounded(type);
            e.setValue(v);
            EXPECT_DOUBLE_EQ(e.Value(), v) << e.text();
        }
    }
    // Beyond 32 bits the text is still written, but reads as the lower bound
    // or, in hexadecimal, as its low 32 bits would.
    SpinValue whole = unbounded(vtInteger);
    whole.setValue(5e9);
    EXPECT_EQ(whole.text(), "5000000000");
    EXPECT_DOUBLE_EQ(whole.Value(), -2);
    SpinValue hex = unbounded(vtHex);
    hex.setValue(4294967295.0);
    EXPECT_EQ(hex.text(), "FFFFFFFF");
    EXPECT_DOUBLE_EQ(hex.Value(), -1);
}

TEST(SpinReading, TimeFields)
{
    struct Case {
        TTimeEcho echo;
        const char* text;
        double read;
    };
    for (const Case& c :
         {Case{vtHourMin, "", 0}, Case{vtHourMin, "12", hms(12, 0, 0)}, Case{vtHourMin, "12:30:45", hms(12, 30, 45)},
          Case{vtHourMin, "12::30", hms(12, 0, 30)}, Case{vtHourMin, "12.30", hms(12, 30, 0)},
          Case{vtHourMin, "-5:30", hms(5, 30, 0)}, Case{vtHourMin, "5:-30", hms(5, 59, 0)}, // 65506 minutes
          Case{vtHourMin, "$A:x1F:0x0b", hms(10, 31, 11)}, Case{vtHourMin, "65547:00", hms(11, 0, 0)},
          Case{vtHourMin, "1:2:3:4:5", hms(1, 2, 3, 4)}, Case{vtHourMin, "25:00", 1.0},
          Case{vtHourMinSec, "12:75:80.1234", hms(12, 59, 59, 999)},
          Case{vtHourMinSecMSec, "12:00:00.5", hms(12, 0, 0, 5)}, Case{vtMinSecMSec, "03:10.5", hms(0, 3, 10, 500)},
          Case{vtMinSecMSec, "03:10.55", hms(0, 3, 10, 999)}, Case{vtMinSec, "75:42", hms(1, 15, 42)},
          Case{vtMinSec, "5", hms(0, 5, 0)}, Case{vtMinSec, "1440:00", 1.0}}) {
        EXPECT_EQ(msOf(timeEditor(c.echo, c.text).Value()), msOf(c.read)) << c.text;
    }
}

TEST(SpinReading, TimeBoundsExceptForAWholeDay)
{
    SpinValue e = timeEditor(vtHourMin, "00:01", hms(1, 0, 0));
    e.setMinValue(hms(0, 5, 0));
    EXPECT_EQ(msOf(e.Value()), msOf(hms(0, 5, 0)));
    e.setText("10:00");
    EXPECT_EQ(msOf(e.Value()), msOf(hms(1, 0, 0)));
    e.setText("25:00");
    EXPECT_EQ(e.Value(), 1.0);
}

TEST(SpinReading, MinuteFormsReadBackWhatTheyWrite)
{
    SpinValue minSec = timeEditor(vtMinSec);
    SpinValue tenths = timeEditor(vtMinSecMSec);
    minSec.setValue(hms(1, 2, 3, 400));
    tenths.setValue(hms(1, 2, 3, 400));
    EXPECT_EQ(minSec.text(), "62:03");
    EXPECT_EQ(msOf(minSec.Value()), msOf(hms(1, 2, 3)));
    EXPECT_EQ(tenths.text(), "02:03.4") << "this form has no hours";
    EXPECT_EQ(msOf(tenths.Value()), msOf(hms(0, 2, 3, 400)));
}

TEST(SpinSteps, IncrementCountsInTheUnitOfTheTimeForm)
{
    struct Case {
        TTimeEcho echo;
        const char* from;
        const char* up;
    };
    for (const Case& c : {Case{vtHourMin, "01:00", "01:05"}, Case{vtHourMinSec, "01:00:00", "01:00:05"},
                          Case{vtHourMinSecMSec, "01:00:00.000", "01:00:00.005"}, Case{vtMinSec, "59:55", "60:00"},
                          Case{vtMinSec, "60:00", "60:05"},
                          // Only tenths are shown, and each step starts from the text.
                          Case{vtMinSecMSec, "03:10.0", "03:10.0"}}) {
        SpinValue e = timeEditor(c.echo, c.from);
        e.StepUp();
        EXPECT_EQ(e.text(), c.up) << c.from;
    }
}

TEST(SpinSteps, StopAtTheBoundsAndStillReportTheClick)
{
    SpinValue e = timeEditor(vtHourMin, "23:58", kLastMoment);
    Events events;
    record(e, events);
    e.StepUp();
    EXPECT_EQ(e.text(), "23:59");
    e.StepUp();
    EXPECT_EQ(e.text(), "23:59");
    EXPECT_EQ(events, (Events{"change", "top", "top"}));
    EXPECT_TRUE(e.Modified());

    SpinValue low = timeEditor(vtHourMin, "00:02");
    low.StepDown();
    EXPECT_EQ(low.text(), "00:00");

    SpinValue whole(','); // equal bounds: none
    whole.StepDown();
    EXPECT_EQ(whole.text(), "-1");
}

TEST(SpinSteps, NotifyOnceAfterTheStepIgnoringLetterCase)
{
    SpinValue e = editor(TValueType::vtHex, "ff");
    e.setIncrement(0);
    Events events;
    record(e, events);
    int written = 0;
    e.onTextWritten = [&] { written += e.StepInProgress() ? 1 : 100; };
    e.StepUp();
    EXPECT_EQ(e.text(), "FF");
    EXPECT_EQ(written, 1);
    EXPECT_FALSE(e.Modified());
    e.setIncrement(1);
    e.StepDown();
    EXPECT_EQ(e.text(), "FE");
    EXPECT_EQ(events, (Events{"top", "change", "bottom"}));
}

TEST(SpinSteps, ReadOnlyOnlyBeeps)
{
    SpinValue e(',');
    e.setReadOnly(true);
    Events events;
    record(e, events);
    e.StepUp();
    e.StepDown();
    EXPECT_EQ(e.text(), "0");
    EXPECT_EQ(events, (Events{"beep", "beep"}));
}

TEST(SpinSteps, AnErrorLeavesNoStepInProgress)
{
    SpinValue e = editor(TValueType::vtFloat, "1,00");
    Events events;
    record(e, events);
    e.setIncrement(NAN);
    EXPECT_THROW(e.StepUp(), std::domain_error);
    EXPECT_FALSE(e.StepInProgress());
    e.setIncrement(1);
    e.onTextWritten = [] { throw std::runtime_error("view gone"); };
    EXPECT_THROW(e.StepDown(), std::runtime_error);
    EXPECT_FALSE(e.StepInProgress());
    EXPECT_TRUE(events.empty());
}

TEST(SpinBounds, TimeStepsPerDayLowersAWholeDayForGood)
{
    const std::int32_t perDay[] = {1440, 86'400, 86'400'000, 86'400, 86'400'000};
    for (int echo = 0; echo < 5; ++echo) {
        SpinValue e = timeEditor(static_cast<TTimeEcho>(echo));
        EXPECT_EQ(e.TimeStepsPerDay(), perDay[echo]);
        EXPECT_EQ(e.MaxValue(), kLastMoment);
    }
    SpinValue lower = timeEditor(vtHourMin, "0", 0.5);
    lower.TimeStepsPerDay();
    EXPECT_EQ(lower.MaxValue(), 0.5);
}

TEST(SpinTypeChange, RereadsTheTextUnderTheNewType)
{
    SpinValue e(',');
    e.setText("255");
    e.setIncrement(0.4);
    e.setValueType(TValueType::vtHex);
    EXPECT_EQ(e.Value(), 0x255);
    EXPECT_EQ(e.Increment(), 1);
    e.setIncrement(2.5);
    e.setValueType(TValueType::vtFloat);
    EXPECT_EQ(e.text(), "255,00");
    e.setValueType(TValueType::vtInteger);
    EXPECT_EQ(e.text(), "0") << "a real does not read as a whole number";
    EXPECT_EQ(e.Increment(), 2);
    e.setValueType(TValueType::vtTime);
    EXPECT_EQ(e.text(), "00:00");
}

TEST(SpinTypeChange, DecimalRewritesButTimeEchoWaitsForAWrite)
{
    SpinValue f = editor(TValueType::vtFloat, "3,14159");
    f.setDecimal(2);
    EXPECT_EQ(f.text(), "3,14159");
    f.setDecimal(3);
    EXPECT_EQ(f.text(), "3,142");

    SpinValue t = timeEditor(vtHourMin, "01:30");
    t.setTimeEcho(vtHourMinSec);
    EXPECT_EQ(t.text(), "01:30");
    t.setValue(t.Value());
    EXPECT_EQ(t.text(), "01:30:00");
}

} // namespace
} // namespace spinedit
