#pragma once

#include <array>
#include <cstddef>
#include <initializer_list>
#include <string_view>

#include "atomicfile.h"

namespace velmora {

// True when field holds a CR, LF or NUL byte: written on a line of comma text, it would end the
// line there, or the text, when the file is read again.
bool breaksCommaLine(std::string_view field);

// Writes lines of comma text as the item files keep them: every field as QuoteCommaField gives
// it, fields separated by commas, lines ended by CR LF. The bytes collect in a buffer of fixed
// size that goes to put whenever it is full, so that a file of any size needs no more memory.
class CommaTextWriter
{
public:
    explicit CommaTextWriter(const PutBytes &put)
        : m_put(put)
    { }
    CommaTextWriter(const CommaTextWriter &) = delete;
    CommaTextWriter &operator=(const CommaTextWriter &) = delete;

    // Writes one line; false when one of its fields breaks the line (breaksCommaLine), which is
    // written all the same.
    bool writeLine(std::initializer_list<std::string_view> fields);

    // Hands over what the buffer still holds; false when put has failed, now or before.
    bool finish();

private:
    static constexpr std::size_t BufferSize = 64 * 1024;

    // A line that does not fit into the empty buffer, a part at a time; false as writeLine.
    bool writeLongLine(std::initializer_list<std::string_view> fields);
    bool writeLongField(std::string_view field, std::string_view after);
    void flush();

    const PutBytes &m_put;
    bool m_failed = false;
    std::size_t m_used = 0;
    std::array<char, BufferSize> m_buffer;
};

} // namespace velmora
