#!/usr/bin/env bash
# No tray host at start-up: the program says so in one line on standard error, waits without
# using the processor, and its icon appears as soon as a tray host starts; the menu then works.
source "$(dirname "$0")/e2e_lib.sh"

install_app
: >"$APP_DIR/ITEM.CSV"
: >"$APP_DIR/VALUE.CSV"

unset DBUS_SESSION_BUS_ADDRESS
start_xvfb
start_app
WAITING='velmora: 通知領域が見つかりません。現れたらアイコンを表示します。'
wait_for 10 grep -qxF "$WAITING" "$WORK/app.log" || fail "no line on standard error about the tray"

# Processor time in clock ticks, user and system, from the process's stat line.
cpu_ticks() { awk '{print $14 + $15}' "/proc/$APP_PID/stat"; }
before=$(cpu_ticks)
sleep 1.5
kill -0 "$APP_PID" 2>/dev/null || fail "the program ended while waiting for a tray"
spent=$(($(cpu_ticks) - before))
((spent * 100 < 20 * $(getconf CLK_TCK))) || fail "waiting took $spent ticks of processor time"

start_trayer
wait_for_icon "the icon did not appear when the tray host started"
[[ $(wc -l <"$WORK/app.log") == 1 ]] || fail "standard error holds more than the one line"

xdotool mousemove --window "$ICON" 11 11 mousedown 1
wait_for 5 menu_is_open || fail "a left press on the late icon did not open the menu"
xdotool mouseup 1 key Escape
wait_for 5 menu_is_closed || fail "Escape did not close the menu"
echo "tray wait end-to-end: passed"
