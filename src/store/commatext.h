#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "blanks.h"

namespace velmora {

// Splits one line of an item file into its fields. Fields are separated by commas or blanks
// (bytes 1 to 32); a field that starts with a double quote runs to the matching closing quote,
// with doubled quotes standing for one; a comma as the very last byte adds a final empty field.
// A NUL byte ends the line.
std::vector<std::string> SplitCommaText(std::string_view line);

// The same split of a line that holds no NUL byte, handing each field to
// onField(std::string_view) in order without building a list. The view is valid only during the
// call.
template<typename OnField>
void ForEachCommaField(std::string_view line, OnField &&onField);

// The field in double quotes, with every double quote inside doubled: SplitCommaText reads it
// back unchanged.
std::string QuoteCommaField(std::string_view field);

namespace detail {

// Reads the quoted field starting at line[at] into scratch; moves at past it.
std::string_view readQuotedField(std::string_view line, std::size_t &at, std::string &scratch);

// The position of the closing quote of the quoted field starting at line[at], or npos when the
// field holds doubled quotes or lacks its closing quote and needs readQuotedField.
constexpr std::size_t plainQuotedFieldEnd(std::string_view line, std::size_t at)
{
    std::size_t quote = at + 1; // fields are short: a plain loop beats a library search here
    while (quote < line.size() && line[quote] != '"')
        ++quote;
    if (quote == line.size() || (quote + 1 < line.size() && line[quote + 1] == '"'))
        return std::string_view::npos;
    return quote;
}

} // namespace detail

template<typename OnField>
void ForEachCommaField(std::string_view line, OnField &&onField)
{
    std::string scratch;
    std::size_t at = 0;
    const auto skipBlanks = [&] {
        while (at < line.size() && isBlank(line[at]))
            ++at;
    };

    skipBlanks();
    while (at < line.size()) {
        if (line[at] == '"') {
            if (const std::size_t quote = detail::plainQuotedFieldEnd(line, at);
                quote != std::string_view::npos) {
                onField(line.substr(at + 1, quote - at - 1));
                at = quote + 1;
            } else {
                onField(detail::readQuotedField(line, at, scratch));
            }
        } else {
            const std::size_t start = at;
            while (at < line.size() && !isBlank(line[at]) && line[at] != ',')
                ++at;
            onField(line.substr(start, at - start));
        }
        skipBlanks();
        if (at < line.size() && line[at] == ',') {
            if (at + 1 == line.size())
                onField(std::string_view());
            ++at;
            skipBlanks();
        }
    }
}

} // namespace velmora
