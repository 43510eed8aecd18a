#pragma once

#include <array>
#include <bit>
#include <cstddef>
#include <functional>
#include <string>
#include <string_view>

#include "commatext.h"
#include "error.h"
#include "filebytes.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

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

    // Where a block of 16 bytes holds double quotes and line ends, a bit for each byte.
    struct BlockMarks
    {
        unsigned quotes;
        unsigned lineEnds;
    };

    // The marks of the 16 bytes from at on (the text is padded for this).
    static BlockMarks marksOf(const char *at)
    {
#if defined(__SSE2__)
        const __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i *>(at));
        const auto equal = [&](char byte) { return _mm_cmpeq_epi8(block, _mm_set1_epi8(byte)); };
        return { unsigned(_mm_movemask_epi8(equal('"'))),
            unsigned(_mm_movemask_epi8(
                _mm_or_si128(_mm_or_si128(equal('\r'), equal('\n')), equal('\0')))) };
#else
        BlockMarks marks { 0, 0 };
        for (unsigned i = 0; i < 16; ++i) {
            marks.quotes |= unsigned(at[i] == '"') << i;
            marks.lineEnds |= unsigned(endsLine(at[i])) << i;
        }
        return marks;
#endif
    }

    // Reads a line of the form a save writes, directly: each of the leading fields in double
    // quotes without a doubled quote inside, followed by a comma, the last by the line's end or
    // by anything that does not start with a double quote. Returns the line's end, or nothing
    // for any other line. The line is looked at a block at a time, for the first line end and
    // the double quotes before it; on such a line the quotes come in pairs around the fields.
    const char *readPlainLine()
    {
        if (*m_at != '"')
            return nullptr;
        std::array<const char *, 2 * count> quotes;
        std::size_t found = 0;
        const char *end = nullptr;
        for (const char *block = m_at; !end; block += 16) {
            auto [quoteBits, lineEndBits] = marksOf(block);
            if (lineEndBits != 0) {
                quoteBits &= (lineEndBits & (0u - lineEndBits)) - 1; // those before the end
                end = block + std::countr_zero(lineEndBits);
            }
            for (; quoteBits != 0 && found < quotes.size(); quoteBits &= quoteBits - 1)
                quotes[found++] = block + std::countr_zero(quoteBits);
        }
        if (found < quotes.size() || quotes[0] != m_at)
            return nullptr;
        for (std::size_t i = 0; i < count; ++i) {
            const char *open = quotes[2 * i];
            const char *close = quotes[2 * i + 1];
            const bool last = i + 1 == count;
            if (last ? close[1] == '"' : close[1] != ',' || quotes[2 * i + 2] != close + 2)
                return nullptr;
            m_fields[i] = std::string_view(open + 1, std::size_t(close - open - 1));
        }
        return end;
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
