#pragma once

class QMenu;
class QSystemTrayIcon;

namespace velmora {

// Hands the icon's menu to a tray host that draws menus itself, as status-notifier hosts (KDE
// Plasma, GNOME's AppIndicator extension) do: they get it exported over D-Bus and open it on a
// right click. Leaves the icon without a menu otherwise, since an XEmbed tray would have Qt open
// it on a right press on top of the one the program opens. Call before the icon is shown.
// Returns whether the menu was handed over.
bool exportTrayMenu(QSystemTrayIcon &icon, QMenu &menu);

} // namespace velmora
