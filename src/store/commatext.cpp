#include "commatext.h"

namespace velmora {

namespace detail {

// Without a closing quote the field runs to the end of the line and its last byte is dropped,
// as the original reader of these files does.
std::string_view readQuotedField(std::string_view line, std::size_t &at, std::string &scratch)
{
    scratch.clear();
    std::size_t next = at + 1;
    for (;;) {
        const std::size_t end = line.find('"', next);
        if (end == std::string_view::npos) {
            scratch.append(line.substr(next));
            if (!scratch.empty())
                scratch.pop_back();
            at = line.size();
            return scratch;
        }
        scratch.append(line.substr(next, end - next));
        if (end + 1 < line.size() && line[end + 1] == '"') {
            scratch.push_back('"');
            next = end + 2;
            continue;
        }
        at = end + 1;
        return scratch;
    }
}

} // namespace detail

std::vector<std::string> SplitCommaText(std::string_view line)
{
    std::vector<std::string> fields;
    ForEachCommaField(line.substr(0, line.find('\0')),
        [&](std::string_view field) { fields.emplace_back(field); });
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
