#pragma once

#include <string_view>

namespace velmora {

// A blank is any byte from 1 to 32: space, tab and the other control characters.
constexpr bool isBlank(char byte)
{
    const auto value = static_cast<unsigned char>(byte);
    return value >= 1 && value <= 32;
}

// The text without blanks at either end.
constexpr std::string_view trimBlanks(std::string_view text)
{
    while (!text.empty() && isBlank(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && isBlank(text.back()))
        text.remove_suffix(1);
    return text;
}

} // namespace velmora
