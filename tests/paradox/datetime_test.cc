#include "paradox/coding.h"
#include "paradox/datetime.h"
#include "paradox/table.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstring>

namespace paradox {
namespace {

TEST(DateTimeDecode, RoundsTheWholeValueToTheMillisecondHalfToEven)
{
    struct Case {
        double halfMs; // a product value*86400000 that lands exactly on .5
        unsigned expectedMs;
    };
    for (const Case& c : {Case{0.5, 0}, Case{1.5, 2}, Case{2.5, 2}, Case{3.5, 4}}) {
        const double value = c.halfMs / 86400000.0;
        ASSERT_EQ(value * 86400000.0, c.halfMs) << "not an exact half: " << c.halfMs;
        EXPECT_EQ(millisecondsOfDay(value), c.expectedMs) << c.halfMs;
    }
}

TEST(DateTimeDecode, SplitsHoursMinutesSecondsAndMilliseconds)
{
    EXPECT_EQ(decodeTime(0.0), (TimeOfDay{0, 0, 0, 0}));
    EXPECT_EQ(decodeTime(0.4375), (TimeOfDay{10, 30, 0, 0}));
    // 23:59:59.9996 rounds up into the next day: midnight.
    EXPECT_EQ(decodeTime(86399999.6 / 86400000.0), (TimeOfDay{0, 0, 0, 0}));
    EXPECT_EQ(decodeTime(86399999.0 / 86400000.0), (TimeOfDay{23, 59, 59, 999}));
    // The date part is ignored; a negative value gives the time of its magnitude.
    EXPECT_EQ(decodeTime(43101.4375), (TimeOfDay{10, 30, 0, 0}));
    EXPECT_EQ(decodeTime(-1.25), (TimeOfDay{6, 0, 0, 0}));
    EXPECT_EQ(decodeTime(1.0), (TimeOfDay{0, 0, 0, 0}));
    EXPECT_EQ(decodeTime(NAN), (TimeOfDay{0, 0, 0, 0}));
    EXPECT_LT(decodeTime(1e300).hour, 24);
}

TEST(DateTimeEncode, BuildsTheFractionAndRefusesPartsOutOfRange)
{
    DateTime t = -1;
    ASSERT_TRUE(encodeTime(10, 45, 30, 0, &t).isOk());
    EXPECT_DOUBLE_EQ(t, (10 * 3600000.0 + 45 * 60000.0 + 30000.0) / 86400000.0);
    ASSERT_TRUE(encodeTime(23, 59, 59, 999, &t).isOk());
    EXPECT_EQ(decodeTime(t), (TimeOfDay{23, 59, 59, 999}));

    for (auto [h, m, s, ms] : {std::array{24u, 0u, 0u, 0u}, std::array{0u, 60u, 0u, 0u}, std::array{0u, 0u, 60u, 0u},
                               std::array{0u, 0u, 0u, 1000u}}) {
        DateTime untouched = 7;
        Status st = encodeTime(h, m, s, ms, &untouched);
        EXPECT_FALSE(st.isOk());
        EXPECT_EQ(st.message(), "Invalid argument to time encode");
        EXPECT_EQ(untouched, 7);
    }
}

TEST(DateTimeCalendar, DayNumbersMatchTheFieldEncoding)
{
    struct Case {
        CivilDate date;
        std::int32_t day;
    };
    for (const Case& c : {Case{{1, 1, 1}, 1}, Case{{100, 1, 1}, 36160}, Case{{1899, 12, 30}, 693594},
                          Case{{1970, 1, 1}, 719163}, Case{{1996, 5, 4}, 728783}, Case{{2000, 2, 29}, 730179},
                          Case{{2018, 1, 1}, 736695}, Case{{9999, 12, 31}, 3652059}}) {
        EXPECT_EQ(dayNumberFromCivil(c.date), c.day);
        EXPECT_EQ(civilFromDayNumber(c.day), c.date);
    }
    // 2011-08-23 was a Tuesday, 1899-12-30 a Saturday.
    EXPECT_EQ(weekdayOfDayNumber(dayNumberFromCivil({2011, 8, 23})), 1);
    EXPECT_EQ(weekdayOfDayNumber(kDateTimeEpochDay), 5);
}

TEST(DateTimeFields, ConvertBetweenFieldValuesAndDateTimes)
{
    EXPECT_EQ(dateTimeFromDayNumber(736695), 43101);
    std::int32_t day = 0;
    ASSERT_TRUE(dayNumberFromDateTime(43101.99, &day).isOk());
    EXPECT_EQ(day, 736695);
    ASSERT_TRUE(dayNumberFromDateTime(-1.25, &day).isOk());
    EXPECT_EQ(civilFromDayNumber(day), (CivilDate{1899, 12, 29}));
    EXPECT_FALSE(dayNumberFromDateTime(-693594, &day).isOk());
    EXPECT_FALSE(dayNumberFromDateTime(NAN, &day).isOk());

    EXPECT_EQ(timeMsFromDateTime(0.4375), 37800000u);
    EXPECT_EQ(timeMsFromDateTime(43101.4375), 37800000u);
    EXPECT_EQ(timeMsFromDateTime(86399999.7 / 86400000.0), 0u); // never 86 400 000

    // 2020-02-01 01:00:01 as a Timestamp field holds it.
    const double ts = 63716202001000.0;
    EXPECT_NEAR(dateTimeFromTimestampMs(ts), 43862.04167824074, 1e-9);
    double back = 0;
    ASSERT_TRUE(timestampMsFromDateTime(dateTimeFromTimestampMs(ts), &back).isOk());
    EXPECT_EQ(back, ts);
    // A time of day alone lands on 1899-12-30.
    ASSERT_TRUE(timestampMsFromDateTime(0.5, &back).isOk());
    EXPECT_EQ(back, 693594.0 * 86400000.0 + 43200000.0);
    // Before the epoch the time counts backwards from the whole part.
    ASSERT_TRUE(timestampMsFromDateTime(-1.25, &back).isOk());
    EXPECT_EQ(back, 693593.0 * 86400000.0 + 21600000.0);
    EXPECT_DOUBLE_EQ(dateTimeFromTimestampMs(back), -1.25);
    EXPECT_FALSE(timestampMsFromDateTime(INFINITY, &back).isOk());
}

} // namespace
} // namespace paradox

// The readers a walk of many records uses give what decoding the date-time
// value gives, at the edges of a day and for blanks.
TEST(DateTimeFields, RecordReadersAgreeWithTheDateTimeValue)
{
    paradox::Field time{"T", paradox::FieldType::Time, 4, 4, 0};
    paradox::Field stamp{"S", paradox::FieldType::Timestamp, 8, 8, 0};
    std::byte record[8];
    for (std::int64_t ms : {0LL, 1LL, 59'999LL, 60'000LL, 3'599'999LL, 86'399'999LL, 86'400'000LL, -1LL,
                            -86'400'001LL, 2'147'483'647LL}) {
        SCOPED_TRACE(ms);
        paradox::coding::encodeInt(record, ms, 4);
        EXPECT_EQ(paradox::timeOfDayIn(time, record), paradox::decodeTime(paradox::dateTimeIn(time, record)));
    }
    std::memset(record, 0, sizeof record);
    EXPECT_EQ(paradox::timeOfDayIn(time, record), (paradox::TimeOfDay{0, 0, 0, 0}));
    paradox::coding::encodeDouble(record, 63'716'202'001'000.0);
    EXPECT_EQ(paradox::timeOfDayIn(stamp, record), (paradox::TimeOfDay{1, 0, 1, 0}));

    paradox::Field date{"D", paradox::FieldType::Date, 4, 4, 0};
    std::int32_t day = 0;
    std::memset(record, 0, sizeof record);
    EXPECT_FALSE(paradox::dayNumberIn(date, record, &day));
    paradox::coding::encodeInt(record, 728'783, 4);
    ASSERT_TRUE(paradox::dayNumberIn(date, record, &day));
    EXPECT_EQ(day, 728'783);
    EXPECT_FALSE(paradox::dayNumberIn(time, record, &day));
}
