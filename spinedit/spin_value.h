#pragma once

#include <cstdint>
#include <functional>
#include <string>

namespace spinedit {

enum class TValueType { vtInteger = 0, vtFloat = 1, vtHex = 2, vtTime = 3 };

// Display forms of a vtTime value. The first three put the hour first, the
// last two the minute.
enum class TTimeEcho {
    vtHourMin = 0,
    vtHourMinSec = 1,
    vtHourMinSecMSec = 2,
    vtMinSec = 3,
    vtMinSecMSec = 4,
};

// Which button part the control draws; the value model does not use it.
enum class TSpinButtonKind { bkStandard = 0, bkDiagonal = 1 };

// The user's decimal separator from the environment's locale, '.' when the
// locale cannot be determined.
char systemDecimalSeparator();

// The value side of the spin editor, with no user interface. The text is the
// only store of the value: Value() parses it and setValue() rewrites it, so a
// value typed by the user and one written by the program are the same thing.
// Time values are date-time values (paradox::DateTime): the fraction of a day.
//
// Hooks are plain callbacks, all optional, called synchronously on the
// caller's thread. The model is not thread-safe.
class SpinValue {
public:
    explicit SpinValue(char decimalSeparator = systemDecimalSeparator());

    const std::string& text() const { return m_text; }
    // Replaces the text as typing, pasting or the program do. Raises OnChange
    // when the text really changes, except while a step is under way.
    void setText(std::string text);

    // Never fails: a text that does not convert reads as MinValue (truncated
    // toward zero for the whole-number types); a time text always gives a time.
    // Whole numbers read as 32-bit signed: "2147483648" does not convert, and
    // hexadecimal FFFFFFFF reads -1.
    double Value() const;
    // Throws std::domain_error for NaN and, for vtFloat, for infinities, which
    // have no text that reads back. Whole numbers are written with up to 64
    // bits (beyond that they saturate), so one outside 32 bits does not read
    // back as itself.
    void setValue(double x);

    // x unchanged when the bounds are equal, else x clamped to them.
    double LimitToBounds(double x) const;

    TValueType ValueType() const { return m_valueType; }
    // Re-reads the text under the new type and writes it back; whole-number
    // types also get a whole Increment of at least 1.
    void setValueType(TValueType type);

    double MinValue() const { return m_minValue; }
    void setMinValue(double v) { m_minValue = v; }
    double MaxValue() const { return m_maxValue; }
    void setMaxValue(double v) { m_maxValue = v; }

    // Step size; for vtTime counted in minutes, seconds or milliseconds after
    // TimeEcho (see TimeStepsPerDay).
    double Increment() const { return m_increment; }
    void setIncrement(double v) { m_increment = v; }

    // Digits after the decimal separator of a vtFloat text. Changing it
    // rewrites the value.
    std::uint8_t Decimal() const { return m_decimal; }
    void setDecimal(std::uint8_t digits);

    // Changing the form leaves the text as it is until the next value write.
    TTimeEcho TimeEcho() const { return m_timeEcho; }
    void setTimeEcho(TTimeEcho echo) { m_timeEcho = echo; }

    char decimalSeparator() const { return m_decimalSeparator; }
    void setDecimalSeparator(char separator) { m_decimalSeparator = separator; }

    // Increment units in a day for the current TimeEcho. Lowers a MaxValue of
    // a whole day or more to 23:59:59.999 for good, so that stepping up can
    // never wrap round to midnight.
    std::int32_t TimeStepsPerDay();

    // One step of Increment. On a read-only editor only OnBeep is raised.
    // Otherwise OnChange is raised once if the text changed (ignoring letter
    // case), then OnTopClick / OnBottomClick whether or not it did. An
    // exception from a write or a hook leaves StepInProgress cleared.
    void StepUp();
    void StepDown();
    bool StepInProgress() const { return m_stepInProgress; }

    bool ReadOnly() const { return m_readOnly; }
    void setReadOnly(bool readOnly) { m_readOnly = readOnly; }
    // Set by steps that change the text; the control sets it on typing.
    bool Modified() const { return m_modified; }
    void setModified(bool modified) { m_modified = modified; }

    std::function<void()> OnTopClick;
    std::function<void()> OnBottomClick;
    // The edit's change notification.
    std::function<void()> OnChange;
    // The default system beep.
    std::function<void()> onBeep;
    // Every change the model makes to the text itself (value writes, steps,
    // also while a step is under way), so a view can show it.
    std::function<void()> onTextWritten;
    // The editor is going: nothing more is reported or shown.
    void clearHooks()
    {
        OnTopClick = nullptr;
        OnBottomClick = nullptr;
        OnChange = nullptr;
        onBeep = nullptr;
        onTextWritten = nullptr;
    }

private:
    void step(bool up);
    void writeText(std::string text);

    std::string m_text = "0";
    double m_minValue = 0;
    double m_maxValue = 0;
    TTimeEcho m_timeEcho = TTimeEcho::vtHourMin;
    double m_increment = 1.0;
    std::uint8_t m_decimal = 2;
    bool m_stepInProgress = false;
    TValueType m_valueType = TValueType::vtInteger;
    bool m_readOnly = false;
    bool m_modified = false;
    char m_decimalSeparator;
};

} // namespace spinedit
