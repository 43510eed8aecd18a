#include "systemhandle.h"

#include <unistd.h>

namespace velmora {

void SystemHandle::reset()
{
    if (isOpen())
        ::close(int(std::exchange(m_value, Closed)));
}

} // namespace velmora
