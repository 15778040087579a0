#include "paradox/datetime.h"

#include <cmath>

namespace paradox {
namespace {

constexpr double kMsPerDayF = static_cast<double>(kMsPerDay);
// 9999-12-31, the last day a Timestamp or Date written here may name.
constexpr std::int32_t kLastDayNumber = 3'652'059;

} // namespace

std::uint32_t millisecondsOfDay(DateTime value)
{
    // nearbyint under the default rounding mode rounds halves to even.
    const double scaled = std::fabs(value) * kMsPerDayF;
    // Below 2^52 adding and taking away 2^52 rounds to a whole number, halves
    // to even, as nearbyint does but without a call; and whole numbers this
    // small are exact as integers, whose remainder is far cheaper than fmod's.
    if (scaled < 0x1p52) {
        const double ms = (scaled + 0x1p52) - 0x1p52;
        return static_cast<std::uint32_t>(static_cast<std::uint64_t>(ms) % kMsPerDay);
    }
    const double ms = std::nearbyint(scaled);
    if (!std::isfinite(ms))
        return 0;
    return static_cast<std::uint32_t>(std::fmod(ms, kMsPerDayF));
}

TimeOfDay decodeTime(DateTime value)
{
    const std::uint32_t ms = millisecondsOfDay(value);
    TimeOfDay t;
    t.hour = static_cast<std::uint16_t>(ms / 3'600'000);
    t.minute = static_cast<std::uint16_t>((ms / 60'000) % 60);
    t.second = static_cast<std::uint16_t>((ms % 60'000) / 1'000);
    t.msec = static_cast<std::uint16_t>(ms % 1'000);
    return t;
}

Status encodeTime(unsigned hour, unsigned minute, unsigned second, unsigned msec, DateTime* out)
{
    if (hour >= 24 || minute >= 60 || second >= 60 || msec >= 1000)
        return Status::invalidArgument("Invalid argument to time encode");
    const std::uint32_t ms = hour * 3'600'000u + minute * 60'000u + second * 1'000u + msec;
    *out = static_cast<double>(ms) / kMsPerDayF;
    return Status::ok();
}

// Days from civil after H. Hinnant's public-domain algorithm, shifted so that
// 0001-01-01 is day 1.
std::int32_t dayNumberFromCivil(const CivilDate& date)
{
    const int y = date.year - (date.month <= 2 ? 1 : 0);
    const int era = (y >= 0 ? y : y - 399) / 400;
    const unsigned yoe = static_cast<unsigned>(y - era * 400);
    const unsigned mp = static_cast<unsigned>(date.month > 2 ? date.month - 3 : date.month + 9);
    const unsigned doy = (153 * mp + 2) / 5 + static_cast<unsigned>(date.day) - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    const std::int64_t unixDays = static_cast<std::int64_t>(era) * 146097 + doe - 719468;
    return static_cast<std::int32_t>(unixDays + 719163);
}

CivilDate civilFromDayNumber(std::int32_t dayNumber)
{
    const std::int64_t z = static_cast<std::int64_t>(dayNumber) - 719163 + 719468;
    const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const unsigned doe = static_cast<unsigned>(z - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const std::int64_t y = static_cast<std::int64_t>(yoe) + era * 400;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    CivilDate d;
    d.day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    d.month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    d.year = static_cast<int>(y + (d.month <= 2 ? 1 : 0));
    return d;
}

int weekdayOfDayNumber(std::int32_t dayNumber)
{
    // Day 1, 0001-01-01, was a Monday.
    const std::int64_t r = (static_cast<std::int64_t>(dayNumber) - 1) % 7;
    return static_cast<int>(r < 0 ? r + 7 : r);
}

DateTime dateTimeFromDayNumber(std::int32_t dayNumber)
{
    return static_cast<double>(static_cast<std::int64_t>(dayNumber) - kDateTimeEpochDay);
}

DateTime dateTimeFromTimeMs(std::uint32_t msOfDay)
{
    return static_cast<double>(msOfDay) / kMsPerDayF;
}

DateTime dateTimeFromTimestampMs(double timestampMs)
{
    if (!std::isfinite(timestampMs))
        return 0;
    const double day = std::floor(timestampMs / kMsPerDayF);
    const double ms = timestampMs - day * kMsPerDayF;
    const double days = day - kDateTimeEpochDay;
    // Before the epoch the time of day counts away from zero.
    return days >= 0 ? days + ms / kMsPerDayF : days - ms / kMsPerDayF;
}

Status dayNumberFromDateTime(DateTime value, std::int32_t* out)
{
    if (!std::isfinite(value))
        return Status::invalidArgument("Invalid date");
    const double day = std::trunc(value) + kDateTimeEpochDay;
    if (day < 1 || day > kLastDayNumber)
        return Status::invalidArgument("Invalid date");
    *out = static_cast<std::int32_t>(day);
    return Status::ok();
}

std::uint32_t timeMsFromDateTime(DateTime value)
{
    return millisecondsOfDay(value);
}

Status timestampMsFromDateTime(DateTime value, double* out)
{
    if (!std::isfinite(value))
        return Status::invalidArgument("Invalid date");
    double days = std::trunc(value);
    double ms = std::nearbyint(std::fabs(value - days) * kMsPerDayF);
    if (ms >= kMsPerDayF) {
        ms -= kMsPerDayF;
        days += value < 0 ? -1 : 1;
    }
    const double day = days + kDateTimeEpochDay;
    if (day < 1 || day > kLastDayNumber)
        return Status::invalidArgument("Invalid date");
    // Both parts are whole numbers well inside a double's exact range.
    *out = day * kMsPerDayF + ms;
    return Status::ok();
}

} // namespace paradox
