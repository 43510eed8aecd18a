#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace velmora {

// Splits one line of an item file into its fields. Fields are separated by commas or blanks
// (bytes 1 to 32); a field that starts with a double quote runs to the matching closing quote,
// with doubled quotes standing for one; a comma as the very last byte adds a final empty field.
// A NUL byte ends the line.
std::vector<std::string> SplitCommaText(std::string_view line);

// The field in double quotes, with every double quote inside doubled: SplitCommaText reads it
// back unchanged.
std::string QuoteCommaField(std::string_view field);

} // namespace velmora
