#!/usr/bin/env bash
# The real program under a status-notifier host, the way KDE Plasma and GNOME's AppIndicator
# extension show tray icons: a private session bus, a watcher and a standalone host. The icon
# registers with the tip "Velmora" and its menu exported over D-Bus; the host draws that menu on
# a right click, and a value chosen there is written; a left click opens the program's own menu,
# whose "アイテムリスト..." shows the item list; "終了" chosen in the host's menu ends the
# program and takes the icon away.
if [[ -z ${VELMORA_PRIVATE_BUS:-} ]]; then
    for tool in dbus-run-session dbus-send status-notifier-watcher gtk-sni-tray-standalone; do
        command -v "$tool" >/dev/null || { echo "SKIP: $tool is not installed"; exit 77; }
    done
    VELMORA_PRIVATE_BUS=1 exec dbus-run-session -- bash "$0" "$@" 2>&1
fi
source "$(dirname "$0")/e2e_lib.sh"

# The host's toolkit would start accessibility and settings services on the private bus.
export NO_AT_BRIDGE=1 GSETTINGS_BACKEND=memory

WATCHER=org.kde.StatusNotifierWatcher
# Prints a D-Bus property of an object as dbus-send shows it.
property()
{
    dbus-send --session --print-reply --dest="$1" "$2" org.freedesktop.DBus.Properties.Get \
        string:"$3" string:"$4"
}
watcher_property() { property $WATCHER /StatusNotifierWatcher $WATCHER "$1"; }
host_registered() { watcher_property IsStatusNotifierHostRegistered | grep -q 'boolean true'; }
# The registered items, one a line, as the bus name of each item (the watcher may add its path).
registered_items() { watcher_property RegisteredStatusNotifierItems | sed -n 's/^ *string "\([^"/]*\).*"$/\1/p'; }
item_registered() { [[ -n $(registered_items) ]]; }
no_item_registered() { [[ -z $(registered_items) ]]; }

# The host's menus: its visible windows that bypass the window manager.
host_menus()
{
    local w
    xdotool search --onlyvisible --classname gtk-sni-tray-standalone 2>/dev/null | while read -r w; do
        xwininfo -id "$w" | grep -q 'Override Redirect State: yes' && echo "$w"
    done
}
host_menu_is_open() { [[ -n $(host_menus) ]]; }
host_menu_is_closed() { [[ -z $(host_menus) ]]; }

# The icon is the first one of the host's bar, at the top left.
click_icon() { xdotool mousemove 15 15 click "$1"; }

# Whether the host's menus stay as they are for a moment: the host fills them over D-Bus, and a
# menu that opens late may be closed again by the next click or by the host itself.
host_menus_settled()
{
    local before
    before=$(host_menus | wc -l)
    sleep 0.8
    (($(host_menus | wc -l) == before))
}

# Opens the host's menu with a right click on the icon, and with the given keys one of its
# submenus, until the wanted number of menus is open and stays open. The host draws the icon a
# moment after it learns of it, so early clicks may find nothing.
open_host_menus()
{
    local count=$1 attempt
    shift
    for attempt in 1 2 3 4; do
        click_icon 3
        if wait_for 5 host_menu_is_open && host_menus_settled && host_menu_is_open; then
            (($# == 0)) || xdotool key "$@"
            wait_for 5 eval '(($(host_menus | wc -l) >= count))' && host_menus_settled \
                && (($(host_menus | wc -l) == count)) && return 0
        fi
        xdotool key Escape Escape
        wait_for 5 host_menu_is_closed
        pause_between_gestures
    done
    return 1
}

host_fail() { fail "$* (host: $(tail -n 3 "$WORK/host.log"))"; }

install_app
INI=$WORK/display.ini
printf '[Display]\r\nMode=1\r\n' >"$INI"
printf '"01","画面モード","%s","Display","Mode"\r\n' "$INI" >"$APP_DIR/ITEM.CSV"
printf '"01","01","標準","1"\r\n"01","02","拡大","2"\r\n' >"$APP_DIR/VALUE.CSV"

start_xvfb
status-notifier-watcher >"$WORK/watcher.log" 2>&1 &
PIDS+=($!)
wait_for 10 watcher_property IsStatusNotifierHostRegistered || fail "the watcher did not start"
gtk-sni-tray-standalone --top --beginning --size 30 >"$WORK/host.log" 2>&1 &
PIDS+=($!)
wait_for 10 host_registered || fail "the host did not register with the watcher"

start_app
wait_for 10 item_registered || fail "the icon did not register with the watcher"
ITEM=$(registered_items | head -n 1)
property "$ITEM" /StatusNotifierItem org.kde.StatusNotifierItem ToolTip \
    | awk '/string "/{n++; if (n == 2) print}' | grep -qF 'string "Velmora"' \
    || fail "the tool tip is not Velmora: $(property "$ITEM" /StatusNotifierItem org.kde.StatusNotifierItem ToolTip)"
MENU=$(property "$ITEM" /StatusNotifierItem org.kde.StatusNotifierItem Menu | sed -n 's/.*object path "\(.*\)"/\1/p')
[[ -n $MENU && $MENU != /NO_DBUSMENU ]] || fail "the icon exports no menu: '$MENU'"

# The host's own menu: a value chosen with the keyboard is written.
open_host_menus 2 Down Right || host_fail "the host's menu did not open with the item's submenu"
shot sni-host-submenu
xdotool key Down Return
wait_for 5 grep -q 'Mode=2' "$INI" || fail "choosing 拡大 in the host's menu did not write Mode=2: $(cat "$INI")"
wait_for 5 host_menu_is_closed || fail "the host's menu stayed open"
pause_between_gestures

# A left click asks the program itself, which opens its menu; "アイテムリスト..." shows the list.
click_icon 1
wait_for 5 menu_is_open || fail "a left click on the icon did not open the program's menu"
shot sni-own-menu
xdotool key Down Down Return
wait_for 5 window_named 'アイテムリスト' || fail "アイテムリスト... did not show the item list"
wait_for 5 menu_is_closed || fail "the program's menu stayed open"
pause_between_gestures

# "終了", the host menu's last entry, ends the program and the icon leaves the host.
open_host_menus 1 || host_fail "the host's menu did not open for 終了"
xdotool key Up Return
expect_program_ended
wait_for 5 no_item_registered || fail "the icon is still registered with the watcher"
echo "status-notifier end-to-end: passed"
