#include "traymenuexport.h"

namespace velmora {

// The Windows notification area and the macOS menu bar leave menus to the program.
bool exportTrayMenu(QSystemTrayIcon &, QMenu &)
{
    return false;
}

} // namespace velmora
