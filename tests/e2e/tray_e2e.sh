#!/usr/bin/env bash
# The real program under a real tray host: the icon, the menu on left and right presses, a value
# chosen with the keyboard written into the INI file, the item list on a double click, and
# "終了" ending the program with the icon gone.
source "$(dirname "$0")/e2e_lib.sh"

install_app
INI=$WORK/display.ini
printf '[Display]\r\nMode=1\r\n' >"$INI"
printf '"01","画面モード","%s","Display","Mode"\r\n' "$INI" >"$APP_DIR/ITEM.CSV"
printf '"01","01","標準","1"\r\n"01","02","拡大","2"\r\n' >"$APP_DIR/VALUE.CSV"

start_display
start_app
wait_for_icon "the icon did not appear in the tray"

# A left press opens the menu before the button is released.
xdotool mousemove --window "$ICON" 11 11 mousedown 1
wait_for 5 menu_is_open || fail "a left press did not open the menu"
xdotool mouseup 1
xdotool key Down Right
sleep 0.3
shot tray-submenu
xdotool key Down Return
wait_for 5 grep -q 'Mode=2' "$INI" || fail "choosing 拡大 did not write Mode=2: $(cat "$INI")"
wait_for 5 menu_is_closed || fail "the menu stayed open"
pause_between_gestures

# A right press opens the same menu; the new mark shows there.
xdotool mousemove --window "$ICON" 11 11 mousedown 3
wait_for 5 menu_is_open || fail "a right press did not open the menu"
xdotool mouseup 3
shot tray-menu
xdotool key Escape
wait_for 5 menu_is_closed || fail "Escape did not close the menu"
pause_between_gestures

# A double click shows the item list window.
xdotool mousemove --window "$ICON" 11 11 click --repeat 2 --delay 80 1
wait_for 5 window_named 'アイテムリスト' || fail "a double click did not show the item list"
wait_for 5 menu_is_closed || fail "the menu stayed open after the double click"
pause_between_gestures

# "終了" is the last entry: the program ends with 0 and the icon goes.
xdotool mousemove --window "$ICON" 11 11 mousedown 3
wait_for 5 menu_is_open || fail "the menu did not open for 終了"
xdotool mouseup 3 key Up Return
expect_program_ended
icon_window >/dev/null && fail "the icon is still in the tray"
echo "tray end-to-end: passed"
