#pragma once

#include <algorithm>
#include <cassert>
#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace velmora {

// The bytes of a file, read whole into a buffer that is not cleared first, with a NUL after them
// and Padding more NULs after that, so that a search may read a block of 16 bytes at any place
// up to the first NUL.
class FileBytes
{
public:
    static constexpr std::size_t Padding = 15;

    FileBytes()
        : FileBytes(0)
    { }
    // Room for size bytes; throws std::bad_alloc when there is none.
    explicit FileBytes(std::size_t size)
        : m_data(std::make_unique_for_overwrite<char[]>(size + 1 + Padding))
        , m_size(size)
    {
        std::fill_n(&m_data[size], 1 + Padding, '\0');
    }

    char *data() { return m_data.get(); }
    const char *data() const { return m_data.get(); }
    std::size_t size() const { return m_size; }
    std::string_view view() const { return { m_data.get(), m_size }; }

    // Keeps the first size bytes, fewer than there are.
    void shrink(std::size_t size)
    {
        assert(size <= m_size);
        std::fill_n(&m_data[size], std::min(m_size - size, Padding) + 1, '\0');
        m_size = size;
    }

private:
    std::unique_ptr<char[]> m_data;
    std::size_t m_size;
};

// The bytes of the regular file at path, never more than it held when it was opened; nothing
// when it is missing, cannot be read, or is no regular file (a directory, a device, a FIFO, a
// socket). Opening never waits, not even for the writer of a FIFO. Throws std::bad_alloc when
// the file does not fit in memory.
std::optional<FileBytes> readFileBytes(const std::string &path);

} // namespace velmora
