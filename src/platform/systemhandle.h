#pragma once

#include <cstdint>
#include <utility>

namespace velmora {

// An open file, directory or other object of the system: a descriptor, or a Windows HANDLE.
// Closed when it goes.
class SystemHandle
{
public:
    SystemHandle() = default;
    explicit SystemHandle(std::intptr_t value)
        : m_value(value)
    { }
    ~SystemHandle() { reset(); }
    SystemHandle(SystemHandle &&other) noexcept
        : m_value(std::exchange(other.m_value, Closed))
    { }
    SystemHandle &operator=(SystemHandle &&other) noexcept
    {
        if (this != &other) {
            reset();
            m_value = std::exchange(other.m_value, Closed);
        }
        return *this;
    }

    std::intptr_t get() const { return m_value; }
    bool isOpen() const { return m_value != Closed; }
    // Gives up the handle without closing it.
    std::intptr_t release() { return std::exchange(m_value, Closed); }
    void reset(); // each system closes its own kind

private:
    static constexpr std::intptr_t Closed = -1; // also INVALID_HANDLE_VALUE
    std::intptr_t m_value = Closed;
};

} // namespace velmora
