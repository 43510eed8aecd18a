#pragma once

#include <chrono>

namespace velmora {

// How long a write or a load waits for a lock that another process holds before it gives up:
// far longer than any save of ours takes, short enough that the program never seems to hang.
inline constexpr std::chrono::milliseconds LockPatience { 2000 };

// How long to wait between two tries for a lock: short against a save, long enough that a
// waiting process costs next to nothing.
inline constexpr std::chrono::milliseconds LockRetryStep { 15 };

inline std::chrono::steady_clock::time_point lockDeadline()
{
    return std::chrono::steady_clock::now() + LockPatience;
}

} // namespace velmora
