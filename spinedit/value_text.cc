#include "spinedit/value_text.h"

#include <charconv>
#include <climits>
#include <cmath>
#include <cstdio>

namespace spinedit::text {
namespace {

constexpr double kTwoTo63 = 9223372036854775808.0;

bool isBlank(char c)
{
    return c == ' ' || c == '\t';
}
bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

int digitValue(char c, unsigned base)
{
    if (isDigit(c))
        return c - '0';
    if (base == 16 && c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (base == 16 && c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

// All of `digits` as an unsigned number; none, a stray character or more than
// 64 bits is a failure.
std::optional<std::uint64_t> readMagnitude(std::string_view digits, unsigned base)
{
    if (digits.empty())
        return std::nullopt;
    std::uint64_t v = 0;
    for (char c : digits) {
        const int d = digitValue(c, base);
        if (d < 0 || v > (UINT64_MAX - static_cast<unsigned>(d)) / base)
            return std::nullopt;
        v = v * base + static_cast<unsigned>(d);
    }
    return v;
}

// One field of a time text. A number reaching the end of the text completes
// it; otherwise the character it stopped at separates it from the next field.
struct TimeField {
    std::uint16_t value = 0;
    bool complete = false;
};

TimeField readTimeField(std::string_view& rest)
{
    std::size_t i = 0;
    const std::size_t n = rest.size();
    while (i < n && isBlank(rest[i]))
        ++i;
    bool negative = false;
    if (i < n && (rest[i] == '+' || rest[i] == '-'))
        negative = rest[i++] == '-';
    unsigned base = 10;
    if (i < n && (rest[i] == '$' || rest[i] == 'x' || rest[i] == 'X')) {
        base = 16;
        ++i;
    } else if (i + 1 < n && rest[i] == '0' && (rest[i + 1] == 'x' || rest[i + 1] == 'X')) {
        base = 16;
        i += 2;
    }
    // Fields are 16 bits wide: larger numbers wrap.
    std::uint16_t v = 0;
    for (int d; i < n && (d = digitValue(rest[i], base)) >= 0; ++i)
        v = static_cast<std::uint16_t>(v * base + static_cast<unsigned>(d));
    if (i == n) {
        rest = {};
        return {negative ? static_cast<std::uint16_t>(-v) : v, true};
    }
    rest.remove_prefix(i + 1);
    return {v, false};
}

} // namespace

std::string formatWhole(std::int64_t v)
{
    char buf[24];
    const auto r = std::to_chars(buf, buf + sizeof buf, v);
    return {buf, r.ptr};
}

std::string formatHex(std::int64_t v)
{
    char buf[24];
    const auto r = std::to_chars(buf, buf + sizeof buf, static_cast<std::uint64_t>(v), 16);
    std::string s(buf, r.ptr);
    for (char& c : s) {
        if (c >= 'a' && c <= 'f')
            c = static_cast<char>(c - 'a' + 'A');
    }
    return s;
}

std::string formatFixed(double x, unsigned decimals, char separator)
{
    // d.dddddddddddddde±x: the 15 significant digits the text may carry.
    char buf[32];
    const auto r = std::to_chars(buf, buf + sizeof buf, std::fabs(x), std::chars_format::scientific, 14);
    std::string digits;
    digits += buf[0];
    digits.append(buf + 2, buf + 16);
    long exp = 0;
    std::from_chars(buf + 17 + (buf[17] == '+' ? 1 : 0), r.ptr, exp);

    // digits[i] has the place 10^(exp - i). Round half away from zero at the
    // last place shown, on the decimal digits, so 2.675 shows as 2.68.
    const long kept = exp + static_cast<long>(decimals) + 1;
    if (kept < static_cast<long>(digits.size())) {
        const bool up = kept >= 0 && digits[static_cast<std::size_t>(kept)] >= '5';
        digits.resize(static_cast<std::size_t>(kept < 0 ? 0 : kept));
        if (up) {
            std::size_t i = digits.size();
            while (i > 0 && digits[i - 1] == '9')
                digits[--i] = '0';
            if (i > 0) {
                ++digits[i - 1];
            } else {
                digits.insert(digits.begin(), '1');
                ++exp;
            }
        }
    }

    auto digitAt = [&](long place) {
        const long i = exp - place;
        return i >= 0 && i < static_cast<long>(digits.size()) ? digits[static_cast<std::size_t>(i)] : '0';
    };
    std::string out;
    for (long place = exp > 0 ? exp : 0; place >= 0; --place)
        out += digitAt(place);
    if (decimals > 0) {
        out += separator;
        for (long place = -1; place >= -static_cast<long>(decimals); --place)
            out += digitAt(place);
    }
    // No "-0.00": a negative value that rounds to zero shows as zero.
    if (std::signbit(x) && out.find_first_of("123456789") != std::string::npos)
        out.insert(out.begin(), '-');
    return out;
}

std::string formatTime(paradox::DateTime t, TTimeEcho echo)
{
    const paradox::TimeOfDay d = paradox::decodeTime(t);
    const unsigned h = d.hour, m = d.minute, s = d.second, ms = d.msec;
    char buf[32];
    switch (echo) {
    case TTimeEcho::vtHourMinSec:
        std::snprintf(buf, sizeof buf, "%02u:%02u:%02u", h, m, s);
        break;
    case TTimeEcho::vtHourMinSecMSec:
        std::snprintf(buf, sizeof buf, "%02u:%02u:%02u.%03u", h, m, s, ms);
        break;
    case TTimeEcho::vtMinSec:
        std::snprintf(buf, sizeof buf, "%02u:%02u", h * 60 + m, s);
        break;
    case TTimeEcho::vtMinSecMSec:
        std::snprintf(buf, sizeof buf, "%02u:%02u.%u", m, s, ms / 100);
        break;
    case TTimeEcho::vtHourMin:
    default:
        std::snprintf(buf, sizeof buf, "%02u:%02u", h, m);
        break;
    }
    return buf;
}

std::int64_t roundToWhole(double x)
{
    // nearbyint under the default rounding mode rounds halves to even.
    const double r = std::nearbyint(x);
    if (r >= kTwoTo63)
        return INT64_MAX;
    if (r <= -kTwoTo63)
        return INT64_MIN;
    return static_cast<std::int64_t>(r);
}

std::optional<std::int32_t> readWhole(std::string_view text)
{
    std::size_t i = 0;
    while (i < text.size() && isBlank(text[i]))
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-'))
        negative = text[i++] == '-';
    if (i < text.size() && text[i] == '$') {
        const auto digits = readMagnitude(text.substr(i + 1), 16);
        if (!digits)
            return std::nullopt;
        // Eight digits wrap into the sign. Sixteen are the 64-bit two's
        // complement formatHex writes for a negative number, which reads
        // back when it fits 32 bits; any other beyond eight is too large.
        if (*digits > UINT32_MAX && *digits < 0xFFFFFFFF80000000u)
            return std::nullopt;
        const auto bits = static_cast<std::uint32_t>(*digits);
        return static_cast<std::int32_t>(negative ? 0u - bits : bits);
    }
    const auto magnitude = readMagnitude(text.substr(i), 10);
    if (!magnitude)
        return std::nullopt;
    const std::uint64_t limit = negative ? std::uint64_t{1} << 31 : INT32_MAX;
    if (*magnitude > limit)
        return std::nullopt;
    return static_cast<std::int32_t>(negative ? -static_cast<std::int64_t>(*magnitude)
                                              : static_cast<std::int64_t>(*magnitude));
}

std::optional<std::int32_t> readHex(std::string_view text)
{
    return readWhole("$" + std::string(text));
}

std::optional<double> readReal(std::string_view text, char separator)
{
    std::size_t i = 0, n = text.size();
    while (i < n && isBlank(text[i]))
        ++i;
    while (n > i && isBlank(text[n - 1]))
        --n;

    // Rebuilt with '.' for from_chars, which knows no locale and no '+'.
    std::string canon;
    if (i < n && (text[i] == '+' || text[i] == '-')) {
        if (text[i] == '-')
            canon += '-';
        ++i;
    }
    long intDigits = 0, leadingZeros = 0, fracDigits = 0, fracZerosBeforeFirst = 0;
    bool seenNonZero = false;
    for (; i < n && isDigit(text[i]); ++i, ++intDigits) {
        seenNonZero = seenNonZero || text[i] != '0';
        if (!seenNonZero)
            ++leadingZeros;
        canon += text[i];
    }
    if (i < n && text[i] == separator) {
        canon += '.';
        for (++i; i < n && isDigit(text[i]); ++i, ++fracDigits) {
            if (!seenNonZero && text[i] == '0')
                ++fracZerosBeforeFirst;
            seenNonZero = seenNonZero || text[i] != '0';
            canon += text[i];
        }
    }
    if (intDigits + fracDigits == 0)
        return std::nullopt;
    long exponent = 0;
    if (i < n && (text[i] == 'e' || text[i] == 'E')) {
        canon += 'e';
        ++i;
        bool negativeExp = false;
        if (i < n && (text[i] == '+' || text[i] == '-')) {
            negativeExp = text[i] == '-';
            canon += text[i++];
        }
        const std::size_t expStart = i;
        for (; i < n && isDigit(text[i]); ++i) {
            if (exponent < 100'000)
                exponent = exponent * 10 + (text[i] - '0');
            canon += text[i];
        }
        if (i == expStart)
            return std::nullopt;
        if (negativeExp)
            exponent = -exponent;
    }
    if (i != n)
        return std::nullopt;

    double v = 0;
    const auto r = std::from_chars(canon.data(), canon.data() + canon.size(), v);
    if (r.ec == std::errc::result_out_of_range) {
        // Too small to hold reads as zero; too large to hold does not convert.
        const long magnitude = intDigits > leadingZeros ? exponent + (intDigits - leadingZeros)
                                                        : exponent - fracZerosBeforeFirst;
        if (magnitude > 0)
            return std::nullopt;
        return canon[0] == '-' ? -0.0 : 0.0;
    }
    if (r.ec != std::errc() || r.ptr != canon.data() + canon.size())
        return std::nullopt;
    return v;
}

TimeReading readTime(std::string_view text, TTimeEcho echo)
{
    const bool minuteFirst = echo == TTimeEcho::vtMinSec || echo == TTimeEcho::vtMinSecMSec;
    unsigned hour = 0, minute = 0, second = 0, msec = 0;

    std::string_view rest = text;
    TimeField f = readTimeField(rest);
    if (minuteFirst) {
        minute = f.value;
    } else {
        hour = f.value;
        if (!f.complete) {
            f = readTimeField(rest);
            minute = f.value;
        }
    }
    if (!f.complete) {
        f = readTimeField(rest);
        second = f.value;
        if (!f.complete) {
            f = readTimeField(rest);
            // vtMinSecMSec shows tenths of a second.
            msec = echo == TTimeEcho::vtMinSecMSec ? static_cast<std::uint16_t>(f.value * 100u) : f.value;
        }
    }
    if (minuteFirst) {
        // These forms write total minutes for an hour or more (75:42), and a
        // user typing into a minutes field counts minutes: carry, don't cap.
        hour = minute / 60;
        minute %= 60;
    }

    if (hour > 23)
        return {1.0, true};
    if (minute > 59)
        minute = 59;
    if (second > 59)
        second = 59;
    if (msec > 999)
        msec = 999;
    TimeReading reading;
    // Every part is within range here, so the encoding cannot fail.
    if (!paradox::encodeTime(hour, minute, second, msec, &reading.value).isOk())
        reading.value = 0;
    return reading;
}

} // namespace spinedit::text
