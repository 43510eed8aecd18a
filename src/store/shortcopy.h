#pragma once

#include <cstddef>
#include <cstring>
#include <string_view>

namespace velmora {

// Copies size bytes, at least width and at most twice that, as two words that may overlap.
template<std::size_t width>
inline void copyAsTwoWords(char *to, const char *from, std::size_t size)
{
    char first[width];
    char last[width];
    std::memcpy(first, from, width);
    std::memcpy(last, from + size - width, width);
    std::memcpy(to, first, width);
    std::memcpy(to + size - width, last, width);
}

// Copies bytes to to. Fields are mostly short: up to 16 bytes are copied without the call that
// a copy of any length needs, which cost a load of the item files a sixth of its time.
[[gnu::always_inline]] inline void copyBytes(char *to, std::string_view bytes)
{
    const std::size_t size = bytes.size();
    if (size > 16)
        std::memcpy(to, bytes.data(), size);
    else if (size >= 8)
        copyAsTwoWords<8>(to, bytes.data(), size);
    else if (size >= 4)
        copyAsTwoWords<4>(to, bytes.data(), size);
    else
        for (std::size_t i = 0; i < size; ++i)
            to[i] = bytes[i];
}

} // namespace velmora
