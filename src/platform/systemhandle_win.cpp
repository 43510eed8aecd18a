#include "systemhandle.h"

#include <windows.h>

namespace velmora {

void SystemHandle::reset()
{
    if (isOpen())
        CloseHandle(reinterpret_cast<HANDLE>(std::exchange(m_value, Closed)));
}

} // namespace velmora
