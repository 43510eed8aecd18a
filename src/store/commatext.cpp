#include "commatext.h"

#include "blanks.h"

namespace velmora {

namespace {

// Reads the quoted field that starts at line[at] (a double quote); at ends right after the
// closing quote. Without a closing quote the field runs to the end of the line and its last
// byte is dropped, as the original reader does.
std::string readQuotedField(std::string_view line, std::size_t &at)
{
    std::string field;
    std::size_t from = at + 1;
    for (;;) {
        const std::size_t quote = line.find('"', from);
        if (quote == std::string_view::npos) {
            field.append(line.substr(from));
            if (!field.empty())
                field.pop_back();
            at = line.size();
            return field;
        }
        field.append(line.substr(from, quote - from));
        if (quote + 1 < line.size() && line[quote + 1] == '"') {
            field.push_back('"');
            from = quote + 2;
            continue;
        }
        at = quote + 1;
        return field;
    }
}

} // namespace

std::vector<std::string> SplitCommaText(std::string_view line)
{
    line = line.substr(0, line.find('\0'));
    std::vector<std::string> fields;
    std::size_t at = 0;
    const auto skipBlanks = [&] {
        while (at < line.size() && isBlank(line[at]))
            ++at;
    };

    skipBlanks();
    while (at < line.size()) {
        if (line[at] == '"') {
            fields.push_back(readQuotedField(line, at));
        } else {
            const std::size_t start = at;
            while (at < line.size() && !isBlank(line[at]) && line[at] != ',')
                ++at;
            fields.emplace_back(line.substr(start, at - start));
        }
        skipBlanks();
        if (at < line.size() && line[at] == ',') {
            if (at + 1 == line.size())
                fields.emplace_back();
            ++at;
            skipBlanks();
        }
    }
    return fields;
}

std::string QuoteCommaField(std::string_view field)
{
    std::string quoted;
    quoted.reserve(field.size() + 2);
    quoted.push_back('"');
    for (const char byte : field) {
        if (byte == '"')
            quoted.push_back('"');
        quoted.push_back(byte);
    }
    quoted.push_back('"');
    return quoted;
}

} // namespace velmora
