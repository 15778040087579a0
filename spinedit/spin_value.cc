#include "spinedit/spin_value.h"

#include "spinedit/value_text.h"

#include <cmath>
#include <locale>
#include <stdexcept>
#include <utility>

namespace spinedit {
namespace {

// 23:59:59.999, the last millisecond of a day.
constexpr double kLastMoment = 86'399'999.0 / 86'400'000.0;

char asciiLower(char c)
{
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

bool sameIgnoringCase(std::string_view a, std::string_view b)
{
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (asciiLower(a[i]) != asciiLower(b[i]))
            return false;
    }
    return true;
}

class StepGuard {
public:
    explicit StepGuard(bool& flag) : m_flag(flag) { m_flag = true; }
    ~StepGuard() { m_flag = false; }
    StepGuard(const StepGuard&) = delete;
    StepGuard& operator=(const StepGuard&) = delete;

private:
    bool& m_flag;
};

} // namespace

char systemDecimalSeparator()
{
    static const char separator = [] {
        try {
            return std::use_facet<std::numpunct<char>>(std::locale("")).decimal_point();
        } catch (const std::runtime_error&) {
            // An environment naming a locale the system lacks.
            return '.';
        }
    }();
    return separator;
}

SpinValue::SpinValue(char decimalSeparator) : m_decimalSeparator(decimalSeparator) {}

void SpinValue::setText(std::string text)
{
    if (text == m_text)
        return;
    m_text = std::move(text);
    if (!m_stepInProgress && OnChange)
        OnChange();
}

void SpinValue::writeText(std::string text)
{
    if (text == m_text)
        return;
    m_text = std::move(text);
    if (onTextWritten)
        onTextWritten();
    if (!m_stepInProgress && OnChange)
        OnChange();
}

double SpinValue::Value() const
{
    switch (m_valueType) {
    case TValueType::vtFloat:
        return text::readReal(m_text, m_decimalSeparator).value_or(m_minValue);
    case TValueType::vtHex:
        if (const auto v = text::readHex(m_text))
            return static_cast<double>(*v);
        return std::trunc(m_minValue);
    case TValueType::vtTime: {
        const text::TimeReading r = text::readTime(m_text, m_timeEcho);
        if (r.wholeDay)
            return r.value;
        double v = r.value;
        if (v < m_minValue)
            v = m_minValue;
        if (v > m_maxValue)
            v = m_maxValue;
        return v;
    }
    case TValueType::vtInteger:
    default:
        if (const auto v = text::readWhole(m_text))
            return static_cast<double>(*v);
        return std::trunc(m_minValue);
    }
}

void SpinValue::setValue(double x)
{
    if (std::isnan(x))
        throw std::domain_error("Invalid floating point operation");
    switch (m_valueType) {
    case TValueType::vtFloat: {
        const double v = LimitToBounds(x);
        if (!std::isfinite(v))
            throw std::domain_error("Floating point overflow");
        writeText(text::formatFixed(v, m_decimal, m_decimalSeparator));
        break;
    }
    case TValueType::vtHex:
        writeText(text::formatHex(text::roundToWhole(LimitToBounds(x))));
        break;
    case TValueType::vtTime:
        // A whole day or more would show as midnight: take the upper bound.
        if (x > m_maxValue || x >= 1.0)
            x = m_maxValue;
        if (x < m_minValue)
            x = m_minValue;
        writeText(text::formatTime(x, m_timeEcho));
        break;
    case TValueType::vtInteger:
    default:
        writeText(text::formatWhole(text::roundToWhole(LimitToBounds(x))));
        break;
    }
}

double SpinValue::LimitToBounds(double x) const
{
    if (m_maxValue == m_minValue)
        return x;
    if (x < m_minValue)
        return m_minValue;
    if (x > m_maxValue)
        return m_maxValue;
    return x;
}

void SpinValue::setValueType(TValueType type)
{
    if (type == m_valueType)
        return;
    m_valueType = type;
    setValue(Value());
    if (type == TValueType::vtInteger || type == TValueType::vtHex) {
        m_increment = std::nearbyint(m_increment);
        if (m_increment == 0)
            m_increment = 1;
    }
}

void SpinValue::setDecimal(std::uint8_t digits)
{
    if (digits == m_decimal)
        return;
    m_decimal = digits;
    setValue(Value());
}

std::int32_t SpinValue::TimeStepsPerDay()
{
    if (m_maxValue >= 1.0)
        m_maxValue = kLastMoment;
    switch (m_timeEcho) {
    case TTimeEcho::vtHourMinSec:
    case TTimeEcho::vtMinSec:
        return 86'400;
    case TTimeEcho::vtHourMinSecMSec:
    case TTimeEcho::vtMinSecMSec:
        return 86'400'000;
    case TTimeEcho::vtHourMin:
    default:
        return 1440;
    }
}

void SpinValue::StepUp()
{
    step(true);
}

void SpinValue::StepDown()
{
    step(false);
}

void SpinValue::step(bool up)
{
    if (m_readOnly) {
        if (onBeep)
            onBeep();
        return;
    }
    const std::string before = m_text;
    {
        StepGuard guard(m_stepInProgress);
        if (m_valueType == TValueType::vtTime) {
            // The write clamps; a text that still reads outside the bounds
            // (a whole day) takes the step back.
            const double d = m_increment / TimeStepsPerDay();
            if (up) {
                setValue(Value() + d);
                if (Value() > m_maxValue)
                    setValue(Value() - d);
            } else {
                setValue(Value() - d);
                if (Value() < m_minValue)
                    setValue(Value() + d);
            }
        } else {
            setValue(up ? Value() + m_increment : Value() - m_increment);
        }
    }
    // Hexadecimal digits that differ only in case hold the same value.
    if (!sameIgnoringCase(before, m_text)) {
        m_modified = true;
        if (OnChange)
            OnChange();
    }
    const auto& clicked = up ? OnTopClick : OnBottomClick;
    if (clicked)
        clicked();
}

} // namespace spinedit
