#include "grid/filters.h"

#include <cmath>
#include <cstdint>
#include <cstdio>

namespace grid {

std::string hourItemText(int hour)
{
    char text[16];
    std::snprintf(text, sizeof text, "%2.2d-%2.2d", hour, hour + 1);
    return text;
}

bool DayHourFilter::CheckDayOfWeek(int index) const
{
    if (index < 0 || index > 6 || index >= m_days.count())
        return false;
    return m_days.ticked(index);
}

bool DayHourFilter::CheckTime(int index) const
{
    if (index < 0 || index > 23 || index >= m_hours.count())
        return false;
    return m_hours.ticked(index);
}

int GetDOW(paradox::DateTime date)
{
    // Whole milliseconds first, then whole days counted toward zero, as the
    // date-time value is decomposed everywhere else.
    const double scaled = date * static_cast<double>(paradox::kMsPerDay);
    double r = 0;
    if (scaled > -0x1p52 && scaled < 0x1p52) {
        // Rounded as nearbyint does (see millisecondsOfDay), and exact as
        // integers, which divide far more cheaply than fmod.
        const double ms = scaled >= 0 ? (scaled + 0x1p52) - 0x1p52 : -((-scaled + 0x1p52) - 0x1p52);
        const std::int64_t days = static_cast<std::int64_t>(ms) / paradox::kMsPerDay + paradox::kDateTimeEpochDay;
        r = static_cast<double>(days % 7);
    } else {
        const double ms = std::nearbyint(scaled);
        const double dayCount = std::trunc(ms / static_cast<double>(paradox::kMsPerDay)) +
                                paradox::kDateTimeEpochDay;
        r = std::isfinite(dayCount) ? std::fmod(dayCount, 7.0) : 0;
    }
    if (r < 0)
        r += 7;
    const int sundayFirst = static_cast<int>(r) + 1; // Sunday 1 ... Saturday 7
    const int index = sundayFirst - 2;
    return index < 0 ? index + 7 : index;
}

} // namespace grid
