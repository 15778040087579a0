#pragma once

// The day and hour selections that limit a shift: their item texts, the
// numbering of days (0 = Monday ... 6 = Sunday) and hours (0..23), and the
// tests a shift asks of them. The ticks live in the lists that show them and
// are read at the moment a test is asked.

#include "paradox/datetime.h"

#include <array>
#include <cstdint>
#include <string>

namespace grid {

inline constexpr std::array<const char*, 7> kDayNames = {
    "Понедельник", "Вторник", "Среда", "Четверг", "Пятница", "Суббота", "Воскресенье",
};

// "00-01" ... "23-24".
std::string hourItemText(int hour);

// A list of ticked items: the window's check list, or a set given on a command line.
class TickList {
public:
    virtual ~TickList() = default;
    virtual int count() const = 0;
    virtual bool ticked(int index) const = 0;
};

class DayHourFilter {
public:
    DayHourFilter(const TickList& days, const TickList& hours) : m_days(days), m_hours(hours) {}

    // False outside 0..6, else the day's tick.
    bool CheckDayOfWeek(int index) const;
    // False outside 0..23, else the hour's tick.
    bool CheckTime(int index) const;

private:
    const TickList& m_days;
    const TickList& m_hours;
};

// The day index of the date's calendar day; a value within half a
// millisecond of the next midnight counts as the next day.
int GetDOW(paradox::DateTime date);
// GetDOW of a whole day given by its day number (0001-01-01, a Monday, is day 1).
inline int dayIndexOfDayNumber(std::int32_t day)
{
    const int r = static_cast<int>((static_cast<std::int64_t>(day) - 1) % 7);
    return r < 0 ? r + 7 : r;
}

} // namespace grid
