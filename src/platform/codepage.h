#pragma once

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

// Replaces every byte sequence that is not valid UTF-8 by U+FFFD.
std::string validUtf8(std::string_view bytes);

// The length of the valid UTF-8 sequence that text starts with, or 0 when it starts with none.
std::size_t validSequenceLength(std::string_view text);

} // namespace velmora
