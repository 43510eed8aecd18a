#pragma once

#include <bitset>
#include <cstddef>
#include <string>
#include <string_view>

namespace velmora {

// The system code page is the character set that file contents, file names and item texts are
// stored in: the ANSI code page on Windows, the locale's character set elsewhere.

// Decodes bytes in the system code page into UTF-8; bytes that do not decode become U+FFFD.
std::string systemToUtf8(std::string_view bytes);

// Encodes UTF-8 text into the system code page; characters it cannot hold become '?'.
std::string utf8ToSystem(std::string_view text);

// True when the system code page is UTF-8 itself, so both conversions keep valid text unchanged.
bool systemCodePageIsUtf8();

// The bytes that start a double-byte character in a code page whose second bytes can look like
// ASCII (Shift-JIS, GBK, Big5, UHC): such a byte and the next one, when that is 0x40 or above,
// are one character, and that second byte is never a ']' or a letter of its own. Empty for UTF-8
// and for single-byte code pages, where an ASCII byte always stands for itself.
class LeadBytes
{
public:
    void add(unsigned char byte) { m_bytes.set(byte); }
    bool none() const { return m_bytes.none(); }
    bool contains(char byte) const { return m_bytes.test(static_cast<unsigned char>(byte)); }

    // True when a double-byte character starts at position at of text.
    bool startsPair(std::string_view text, std::size_t at) const
    {
        return contains(text[at]) && at + 1 < text.size()
            && static_cast<unsigned char>(text[at + 1]) >= 0x40;
    }

private:
    std::bitset<256> m_bytes;
};

// The lead bytes of the system code page, worked out once per code page.
const LeadBytes &systemLeadBytes();

// Replaces every byte sequence that is not valid UTF-8 by U+FFFD.
std::string validUtf8(std::string_view bytes);

// The length of the valid UTF-8 sequence that text starts with, or 0 when it starts with none.
std::size_t validSequenceLength(std::string_view text);

} // namespace velmora
