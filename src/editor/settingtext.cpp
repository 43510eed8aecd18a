#include "settingtext.h"

#include <cstdint>
#include <limits>

#include "codepage.h"
#include "error.h"

namespace velmora {

namespace {

int digitValue(char c, int base)
{
    int value = 99;
    if (c >= '0' && c <= '9')
        value = c - '0';
    else if (c >= 'a' && c <= 'f')
        value = c - 'a' + 10;
    else if (c >= 'A' && c <= 'F')
        value = c - 'A' + 10;
    return value < base ? value : -1;
}

bool equalsIgnoringCase(std::string_view text, std::string_view word)
{
    if (text.size() != word.size())
        return false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        char c = text[i];
        if (c >= 'A' && c <= 'Z')
            c = char(c - 'A' + 'a');
        if (c != word[i])
            return false;
    }
    return true;
}

} // namespace

std::optional<int> parseSettingInteger(std::string_view text)
{
    while (!text.empty() && text.front() == ' ')
        text.remove_prefix(1);
    bool negative = false;
    if (!text.empty() && (text.front() == '+' || text.front() == '-')) {
        negative = text.front() == '-';
        text.remove_prefix(1);
    }
    int base = 10;
    if (text.starts_with('$') || text.starts_with('x') || text.starts_with('X')) {
        base = 16;
        text.remove_prefix(1);
    } else if (text.starts_with("0x") || text.starts_with("0X")) {
        base = 16;
        text.remove_prefix(2);
    }
    if (text.empty())
        return std::nullopt;

    const std::int64_t limit = negative ? -std::int64_t(std::numeric_limits<int>::min())
                                        : std::int64_t(std::numeric_limits<int>::max());
    std::int64_t magnitude = 0;
    for (const char c : text) {
        const int digit = digitValue(c, base);
        if (digit < 0)
            return std::nullopt;
        magnitude = magnitude * base + digit;
        if (magnitude > limit)
            return std::nullopt;
    }
    return int(negative ? -magnitude : magnitude);
}

std::optional<bool> parseSettingBoolean(std::string_view text)
{
    if (const std::optional<int> number = parseSettingInteger(text))
        return *number != 0;
    if (equalsIgnoringCase(text, "true"))
        return true;
    if (equalsIgnoringCase(text, "false"))
        return false;
    return std::nullopt;
}

int settingInteger(const std::string &text)
{
    if (const std::optional<int> value = parseSettingInteger(text))
        return *value;
    throw Error(formatMessage("'%s' は整数ではありません", systemToUtf8(text)));
}

bool settingBoolean(const std::string &text)
{
    if (const std::optional<bool> value = parseSettingBoolean(text))
        return *value;
    throw Error(formatMessage("'%s' は正しい論理型ではありません", systemToUtf8(text)));
}

std::string settingBooleanText(bool value)
{
    return value ? "-1" : "0";
}

} // namespace velmora
