#pragma once

#include "paradox/status.h"

#include <cstdint>

namespace paradox {

// The utility's date-time value: days since 1899-12-30 00:00, the fraction
// being the time of day. Dates, times of day and lengths of time all use it.
using DateTime = double;

inline constexpr std::int64_t kMsPerDay = 86'400'000;

// Paradox numbers days from 0001-01-01 = 1; this is 1899-12-30.
inline constexpr std::int32_t kDateTimeEpochDay = 693'594;

struct TimeOfDay {
    std::uint16_t hour = 0;
    std::uint16_t minute = 0;
    std::uint16_t second = 0;
    std::uint16_t msec = 0;

    friend bool operator==(const TimeOfDay&, const TimeOfDay&) = default;
};

struct CivilDate {
    int year = 1;
    int month = 1;
    int day = 1;

    friend bool operator==(const CivilDate&, const CivilDate&) = default;
};

// Milliseconds into the day of `value`'s magnitude, after rounding the whole
// value to the nearest millisecond (halves to even). Always below kMsPerDay.
std::uint32_t millisecondsOfDay(DateTime value);

// Hour, minute, second and millisecond of the value's time of day, split
// after the millisecond rounding above.
TimeOfDay decodeTime(DateTime value);

// The fraction of a day for the given parts. Fails with "Invalid argument to
// time encode" when hour > 23, minute > 59, second > 59 or msec > 999.
Status encodeTime(unsigned hour, unsigned minute, unsigned second, unsigned msec, DateTime* out);

// Proleptic Gregorian calendar on Paradox day numbers (0001-01-01 = 1).
std::int32_t dayNumberFromCivil(const CivilDate& date);
CivilDate civilFromDayNumber(std::int32_t dayNumber);

// 0 = Monday ... 6 = Sunday.
int weekdayOfDayNumber(std::int32_t dayNumber);

// Conversions between field values and date-time values. A Date field holds
// a day number, a Time field milliseconds since midnight and a Timestamp
// field milliseconds counted so that day 1 starts at kMsPerDay.
DateTime dateTimeFromDayNumber(std::int32_t dayNumber);
DateTime dateTimeFromTimeMs(std::uint32_t msOfDay);
DateTime dateTimeFromTimestampMs(double timestampMs);

// The day number of the value's date (its whole part; before 1899-12-30 the
// whole part truncated toward zero, as the time of day is then counted
// backwards). Fails when the date falls outside what a Date field can hold.
Status dayNumberFromDateTime(DateTime value, std::int32_t* out);
// Milliseconds since midnight; the date part is dropped.
std::uint32_t timeMsFromDateTime(DateTime value);
// Fails when the value is not finite or its date outside years 1..9999.
Status timestampMsFromDateTime(DateTime value, double* out);

} // namespace paradox
