#include "commatextwriter.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

#include "shortcopy.h"

namespace velmora {

namespace {

constexpr bool isLineBreaking(char byte)
{
    return byte == '\r' || byte == '\n' || byte == '\0';
}

// What matters about a field's bytes when it is written.
struct FieldBytes
{
    bool hasQuote = false;
    bool breaksLine = false;
};

template<typename Word>
Word load(const char *bytes)
{
    Word word;
    std::memcpy(&word, bytes, sizeof word);
    return word;
}

// Every byte of a field of fewer than eight bytes in one word, some of them twice; the rest of
// the word holds bytes that are neither a double quote nor below 14.
std::uint64_t shortFieldWord(std::string_view field)
{
    constexpr std::uint64_t Filler = 0x7878787878787878; // "xxxxxxxx"
    const char *const bytes = field.data();
    const std::size_t size = field.size();
    if (size >= 4)
        return load<std::uint32_t>(bytes)
            | std::uint64_t(load<std::uint32_t>(bytes + size - 4)) << 32;
    if (size >= 2)
        return load<std::uint16_t>(bytes)
            | std::uint64_t(load<std::uint16_t>(bytes + size - 2)) << 16 | (Filler << 32);
    if (size == 1)
        return static_cast<unsigned char>(bytes[0]) | (Filler << 8);
    return Filler;
}

// Looks at a field eight bytes at a time, which is what makes a save cost little more than
// copying its fields: the two tests below are true when one of a word's bytes is a double quote,
// or below 14 (CR, LF and NUL are, and so are tab and a few other controls, which a bytewise look
// then sorts out).
FieldBytes examine(std::string_view field)
{
    constexpr std::uint64_t Ones = 0x0101010101010101;
    constexpr std::uint64_t Highs = 0x8080808080808080;
    std::uint64_t quotes = 0;
    std::uint64_t low = 0;
    const auto look = [&](std::uint64_t word) {
        const std::uint64_t quoteless = word ^ (Ones * '"');
        quotes |= (quoteless - Ones) & ~quoteless & Highs;
        low |= (word - Ones * 14) & ~word & Highs;
    };
    if (field.size() < 8) {
        look(shortFieldWord(field));
    } else {
        for (std::size_t at = 0; at + 8 < field.size(); at += 8)
            look(load<std::uint64_t>(field.data() + at));
        look(load<std::uint64_t>(field.data() + field.size() - 8)); // overlaps the one before
    }
    return { quotes != 0, low != 0 && std::ranges::any_of(field, isLineBreaking) };
}

} // namespace

bool breaksCommaLine(std::string_view field)
{
    return std::ranges::any_of(field, isLineBreaking);
}

bool CommaTextWriter::writeLine(std::initializer_list<std::string_view> fields)
{
    // Room for every field with each byte a doubled quote, its quotes and the comma or line end
    // after it.
    std::size_t most = 1;
    for (const std::string_view field : fields)
        most += 2 * field.size() + 3;
    if (m_used + most > m_buffer.size())
        flush();
    if (most > m_buffer.size())
        return writeLongLine(fields);
    bool fits = true;
    char *out = m_buffer.data() + m_used;
    for (const std::string_view field : fields) {
        const FieldBytes bytes = examine(field);
        fits &= !bytes.breaksLine;
        *out++ = '"';
        if (!bytes.hasQuote) {
            copyBytes(out, field);
            out += field.size();
        } else {
            for (const char byte : field) {
                if (byte == '"')
                    *out++ = '"';
                *out++ = byte;
            }
        }
        *out++ = '"';
        *out++ = ',';
    }
    out[-1] = '\r'; // in place of the last comma
    *out++ = '\n';
    m_used = std::size_t(out - m_buffer.data());
    return fits;
}

bool CommaTextWriter::writeLongLine(std::initializer_list<std::string_view> fields)
{
    using namespace std::string_view_literals;
    bool fits = true;
    std::size_t left = fields.size();
    for (const std::string_view field : fields)
        fits &= writeLongField(field, --left == 0 ? "\r\n"sv : ","sv);
    return fits;
}

bool CommaTextWriter::writeLongField(std::string_view field, std::string_view after)
{
    const bool fits = !breaksCommaLine(field);
    if (m_used + 1 > m_buffer.size())
        flush();
    m_buffer[m_used++] = '"';
    while (!field.empty()) {
        const std::size_t part = std::min(field.size(), (m_buffer.size() - m_used) / 2);
        if (part == 0) {
            flush();
            continue;
        }
        for (const char byte : field.substr(0, part)) {
            if (byte == '"')
                m_buffer[m_used++] = '"';
            m_buffer[m_used++] = byte;
        }
        field.remove_prefix(part);
    }
    if (m_used + 1 + after.size() > m_buffer.size())
        flush();
    m_buffer[m_used++] = '"';
    for (const char byte : after)
        m_buffer[m_used++] = byte;
    return fits;
}

void CommaTextWriter::flush()
{
    if (!m_failed && m_used > 0)
        m_failed = !m_put(std::string_view(m_buffer.data(), m_used));
    m_used = 0;
}

bool CommaTextWriter::finish()
{
    flush();
    return !m_failed;
}

} // namespace velmora
