#pragma once

// Conversions between the spin editor's text and its values. Internal to the
// model; independent of the process's C locale, which a GUI program changes.

#include "paradox/datetime.h"
#include "spinedit/spin_value.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace spinedit::text {

std::string formatWhole(std::int64_t v);
// Upper-case digits, no prefix; a negative number as its 64-bit two's complement.
std::string formatHex(std::int64_t v);
// Fixed notation with `decimals` digits after `separator`, from the value
// rounded to 15 significant digits.
std::string formatFixed(double x, unsigned decimals, char separator);
// The time of day of `t` in the given form; finer parts are dropped.
std::string formatTime(paradox::DateTime t, TTimeEcho echo);

// The nearest whole number, halves to even, saturated to 64 bits. Not for NaN.
std::int64_t roundToWhole(double x);

// Blanks, a sign, decimal digits or "$" and hexadecimal digits, nothing
// after, as a 32-bit signed number. Hexadecimal takes up to eight
// significant digits, wrapping into the sign (FFFFFFFF is -1), or the
// sixteen formatHex writes for a negative number of 32 bits.
std::optional<std::int32_t> readWhole(std::string_view text);
// The text of a vtHex editor: "$" and the text, read by readWhole.
std::optional<std::int32_t> readHex(std::string_view text);
// Blanks, a sign, digits with at most one `separator`, an optional exponent.
std::optional<double> readReal(std::string_view text, char separator);

struct TimeReading {
    paradox::DateTime value = 0;
    bool wholeDay = false; // an hour above 23: exactly 1.0, outside any bounds
};
// Never fails; any text gives some time of day.
TimeReading readTime(std::string_view text, TTimeEcho echo);

} // namespace spinedit::text
