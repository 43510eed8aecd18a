#!/usr/bin/env bash
# The item list window and the registration dialog in the real program: a double click on the
# icon opens the list, an item with two values is added through the dialog, "保存" writes both
# item files and rebuilds the tray menu, the new item's value is chosen from the tray, and
# "閉じる" writes the window settings.
source "$(dirname "$0")/e2e_lib.sh"

install_app
INI=$WORK/sound.ini
printf '[Sound]\nVolume=1\n' >"$INI"
: >"$APP_DIR/ITEM.CSV"
: >"$APP_DIR/VALUE.CSV"

start_display
start_app
wait_for_icon "the icon did not appear in the tray"

# Clicks at a point of a window, given relative to its top-left corner.
click_in()
{
    local window=$1 x=$2 y=$3 button=${4:-1} left top
    left=$(xwininfo -id "$window" | awk '/Absolute upper-left X/{print $4}')
    top=$(xwininfo -id "$window" | awk '/Absolute upper-left Y/{print $4}')
    xdotool mousemove $((left + x)) $((top + y)) click "$button"
}

type_text() { xdotool type --delay 20 "$1"; }

xdotool mousemove --window "$ICON" 11 11 click --repeat 2 --delay 80 1
wait_for 5 window_named 'アイテムリスト' || fail "a double click did not show the item list"
LIST=$(window_named 'アイテムリスト' | head -n 1)
[[ -f $APP_DIR/KVT.INI ]] || fail "the first opening did not write KVT.INI"
pause_between_gestures

# "追加" from the list's context menu opens the registration dialog.
click_in "$LIST" 100 150 3
wait_for 5 menu_is_open || fail "a right click on the list did not open its menu"
xdotool key Down Return
wait_for 5 window_named 'アイテム登録' || fail "追加 did not open the registration dialog"
DIALOG=$(window_named 'アイテム登録' | head -n 1)
xdotool windowfocus "$DIALOG"
sleep 0.2

# Page "アイテム": name, file, section and key; the focus starts on the tab bar.
xdotool key Tab
type_text "Sound"
xdotool key Tab
type_text "$INI"
# "..." opens the file dialog in Japanese ("開く"); closing it keeps the file box as it is.
xdotool key Tab space
wait_for 5 window_named '開く' || fail "... did not open the file dialog with its Japanese title"
shot itemlist-file-dialog
xdotool key Escape
wait_for 5 bash -c "! xdotool search --onlyvisible --name '開く'" || fail "the file dialog stayed open"
xdotool windowfocus "$DIALOG"
sleep 0.2
xdotool key Tab
type_text "Sound"
xdotool key Tab
type_text "Volume"
shot itemlist-dialog-item

# Page "バリューリスト": two values, each added with "追加".
xdotool key ctrl+Tab Tab
type_text "Low"
xdotool key Tab
type_text "1"
xdotool key Tab space shift+Tab shift+Tab ctrl+a
type_text "High"
xdotool key Tab ctrl+a
type_text "2"
xdotool key Tab space
sleep 0.2
shot itemlist-dialog-values
xdotool key Tab space # OK
wait_for 5 bash -c "! xdotool search --onlyvisible --name 'アイテム登録'" \
    || fail "OK did not close the dialog"
sleep 0.3
shot itemlist-window

# "保存" is the first entry of the "ファイル" menu.
click_in "$LIST" 20 10
wait_for 5 menu_is_open || fail "the ファイル menu did not open"
xdotool key Down Return
wait_for 5 test -s "$APP_DIR/ITEM.CSV" || fail "保存 did not write ITEM.CSV"
expected_items=$(printf '"01","Sound","%s","Sound","Volume"\r\n' "$INI")
expected_values=$(printf '"01","01","Low","1"\r\n"01","02","High","2"\r\n')
[[ $(cat "$APP_DIR/ITEM.CSV") == "$expected_items" ]] \
    || fail "ITEM.CSV holds: $(cat -A "$APP_DIR/ITEM.CSV")"
[[ $(cat "$APP_DIR/VALUE.CSV") == "$expected_values" ]] \
    || fail "VALUE.CSV holds: $(cat -A "$APP_DIR/VALUE.CSV")"
pause_between_gestures

# The rebuilt tray menu holds the new item: choose "High".
xdotool mousemove --window "$ICON" 11 11 mousedown 1
wait_for 5 menu_is_open || fail "the tray menu did not open"
xdotool mouseup 1 key Down Right Down Return
wait_for 5 grep -q 'Volume=2' "$INI" || fail "choosing High did not write Volume=2: $(cat "$INI")"
pause_between_gestures

# "閉じる" is the last entry of the "ファイル" menu; closing writes the window settings.
rm "$APP_DIR/KVT.INI"
click_in "$LIST" 20 10
wait_for 5 menu_is_open || fail "the ファイル menu did not open again"
xdotool key Up Return
wait_for 5 bash -c "! xdotool search --onlyvisible --name 'アイテムリスト'" \
    || fail "閉じる did not close the item list"
expected_settings=$'[Window]\nFormTop=94\nFormLeft=458\nFormWidth=262\nFormHeight=252\nFormMaxmize=0\nToolBar=-1\nStatusBar=-1'
[[ $(cat "$APP_DIR/KVT.INI") == "$expected_settings" ]] \
    || fail "KVT.INI holds: $(cat "$APP_DIR/KVT.INI")"
echo "item list end-to-end: passed"
