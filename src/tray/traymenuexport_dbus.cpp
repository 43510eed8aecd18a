#include "traymenuexport.h"

#include <QMenu>
#include <QSystemTrayIcon>

namespace velmora {

bool exportTrayMenu(QSystemTrayIcon &icon, QMenu &menu)
{
    // Qt gives the menu a platform counterpart only when its tray icon is a status-notifier item,
    // which exports that counterpart as a D-Bus menu; an XEmbed icon leaves it without one.
    icon.setContextMenu(&menu);
    if (menu.platformMenu())
        return true;
    icon.setContextMenu(nullptr);
    return false;
}

} // namespace velmora
