#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace velmora {

// How the item list window reads the texts of its window-settings file.

// An integer: optional spaces, an optional sign, then decimal digits, or hexadecimal digits
// after "$", "x", "X", "0x" or "0X"; nothing else may follow, and the value must fit in 32 bits.
std::optional<int> parseSettingInteger(std::string_view text);

// A Boolean: a number as above (true unless zero), else "True" or "False" in any letter case.
std::optional<bool> parseSettingBoolean(std::string_view text);

// The same, throwing Error "'<text>' は整数ではありません" / "'<text>'
// は正しい論理型ではありません" when the text doesn't read so.
int settingInteger(const std::string &text);
bool settingBoolean(const std::string &text);

// What the window writes: "-1" for true, "0" for false.
std::string settingBooleanText(bool value);

} // namespace velmora
