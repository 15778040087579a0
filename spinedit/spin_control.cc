#include "spinedit/spin_control.h"

#include <cmath>

namespace spinedit {

bool SpinEditRules::keyDown(SpinKey key)
{
    if (!m_arrowKeys || key == SpinKey::Other)
        return false;
    if (key == SpinKey::Up)
        m_value.StepUp();
    else
        m_value.StepDown();
    return true;
}

bool SpinEditRules::AcceptsChar(char32_t c) const
{
    if (c < 32)
        return m_editorEnabled || c != 8;
    if (!m_editorEnabled)
        return false;
    if (c == U'+' || c == U'-' || (c >= U'0' && c <= U'9'))
        return true;
    const std::string& text = m_value.text();
    switch (m_value.ValueType()) {
    case TValueType::vtFloat: {
        const char separator = m_value.decimalSeparator();
        if (c == static_cast<unsigned char>(separator))
            return text.find(separator) == std::string::npos;
        if (c == U'e' || c == U'E')
            return text.find_first_of("eE") == std::string::npos;
        return false;
    }
    case TValueType::vtHex:
        return (c >= U'A' && c <= U'F') || (c >= U'a' && c <= U'f');
    case TValueType::vtTime:
        return c == U':' || c == U'.';
    case TValueType::vtInteger:
    default:
        return false;
    }
}

TypedChar SpinEditRules::typed(char32_t c) const
{
    if (!AcceptsChar(c))
        return TypedChar::Refused;
    if (c == 13)
        return TypedChar::Enter;
    if (c == 27)
        return TypedChar::Escape;
    return TypedChar::Edit;
}

void SpinEditRules::leave()
{
    const double v = m_value.Value();
    if (!std::isnan(v) && m_value.LimitToBounds(v) != v)
        m_value.setValue(v);
}

SpinRect diagonalButtonRect(int width, int height, bool framed, bool rightToLeft)
{
    if (framed)
        return {rightToLeft ? 1 : width - height + 1, 1, height - 3, height - 3};
    return {rightToLeft ? 0 : width - height, 0, height, height};
}

TextMargins textMargins(int partWidth, bool rightToLeft)
{
    if (rightToLeft)
        return {partWidth + 1, 1};
    return {0, partWidth + 2};
}

SpinRect upDownRect(int clientWidth, int clientHeight, int arrowWidth, bool rightToLeft)
{
    return {rightToLeft ? 0 : clientWidth - arrowWidth, 0, arrowWidth, clientHeight};
}

TAlignment visualAlignment(TAlignment alignment, bool rightToLeft)
{
    if (!rightToLeft || alignment == TAlignment::taCenter)
        return alignment;
    return alignment == TAlignment::taLeftJustify ? TAlignment::taRightJustify : TAlignment::taLeftJustify;
}

} // namespace spinedit
