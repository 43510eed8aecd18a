#pragma once

#include <array>
#include <cstddef>
#include <functional>
#include <string>
#include <string_view>

#include "commatext.h"
#include "error.h"
#include "filebytes.h"

namespace velmora {

// Reads the leading fields of each line of an item file in turn. A line ends at CR, LF or CR
// LF; a line end at the very end starts no further line; a NUL byte ends the text. The fields
// are those SplitCommaText gives; further fields are ignored, and a line with too few raises
// the error that names the first missing position, as soon as it is read.
template<std::size_t count>
class CommaTextReader
{
public:
    explicit CommaTextReader(const FileBytes &text)
        : m_start(text.data())
        , m_at(text.data())
    { }

    // Reads the next line; false at the end of the text.
    bool next()
    {
        if (*m_at == '\0')
            return false;
        const char *end = readPlainLine();
        if (!end)
            end = readAnyLine();
        m_at = end;
        if (m_at[0] == '\r' && m_at[1] == '\n')
            m_at += 2;
        else if (*m_at)
            ++m_at;
        return true;
    }

    // The fields of the line read last, valid until the next one is read.
    const std::array<std::string_view, count> &fields() const { return m_fields; }

    // How many bytes of the text lie before the next line.
    std::size_t bytesRead() const { return std::size_t(m_at - m_start); }

private:
    static constexpr bool endsLine(char byte)
    {
        return byte == '\r' || byte == '\n' || byte == '\0';
    }

    // Bytes that end a field in double quotes on a plain line: its closing quote, or the line.
    static constexpr std::array<bool, 256> EndsQuotedField = [] {
        std::array<bool, 256> ends {};
        for (const char byte : { '"', '\r', '\n', '\0' })
            ends[static_cast<unsigned char>(byte)] = true;
        return ends;
    }();

    // Reads a line of the form a save writes, directly: each of the leading fields in double
    // quotes without a doubled quote inside, followed by a comma, the last by the line's end or
    // by anything that does not start with a double quote. Returns the line's end, or nothing
    // for any other line.
    const char *readPlainLine()
    {
        const char *at = m_at;
        for (std::size_t i = 0; i < count; ++i) {
            if (*at != '"')
                return nullptr;
            const char *quote = at + 1;
            while (!EndsQuotedField[static_cast<unsigned char>(*quote)])
                ++quote;
            if (*quote != '"' || quote[1] == '"')
                return nullptr;
            m_fields[i] = std::string_view(at + 1, std::size_t(quote - at - 1));
            at = quote + 1;
            if (i + 1 < count && *at++ != ',')
                return nullptr;
        }
        while (!endsLine(*at))
            ++at;
        return at;
    }

    // Reads any line by the general rule of comma text.
    const char *readAnyLine()
    {
        const char *end = m_at;
        while (!endsLine(*end))
            ++end;
        const std::string_view line(m_at, std::size_t(end - m_at));
        std::size_t index = 0;
        ForEachCommaField(line, [&](std::string_view field) {
            if (index < count)
                m_fields[index] = keep(index, field, line);
            ++index;
        });
        if (index < count)
            throw Error("リストのインデックスが範囲を超えています (" + std::to_string(index) + ")");
        return end;
    }

    // Fields are views into the line, except those that had to be unescaped: they last only for
    // the call that hands them over, so they are copied.
    std::string_view keep(std::size_t index, std::string_view field, std::string_view line)
    {
        const std::less_equal<const char *> notAfter;
        if (notAfter(line.data(), field.data())
            && notAfter(field.data() + field.size(), line.data() + line.size()))
            return field;
        return m_unescaped[index].assign(field);
    }

    const char *m_start;
    const char *m_at; // the start of the next line; the text ends in a NUL
    std::array<std::string_view, count> m_fields;
    std::array<std::string, count> m_unescaped;
};

} // namespace velmora
