#!/usr/bin/env bash
# velmora.exe under Wine with a real tray host, in the Japanese code page: the icon docks; a
# click opens the menu with the current value marked; choosing a value writes it through Wine's
# profile functions, changing only that key's line; a double click shows the item list; an item
# added through the registration dialog and saved gives the item files byte for byte in
# Shift-JIS, and the rebuilt menu writes its value; "終了" ends the program with 0.
source "$(dirname "$0")/e2e_lib.sh"
source "$(dirname "$0")/wine_lib.sh"

install_windows_app "$APP_BINARY"
INI=$WORK/demo.ini
WIN_INI=$(windows_path "$INI")
# Wine rewrites the whole file on a write and drops empty lines, which Windows keeps: the demo
# file has none, so that any other change shows.
ini_text() { printf '; Velmora のデモ\r\n[Display]\r\nResolution=%s\r\n[Sound]\r\nVolume=%s\r\n' "$1" "$2"; }
ini_text 1024x768 中 | to_code_page >"$INI"
items_text() { printf '"01","画面の解像度","%s","Display","Resolution"\r\n"02","音量","%s","Sound","Volume"\r\n' \
    "$WIN_INI" "$WIN_INI"; }
values_text()
{
    printf '"01","%s","%s","%s"\r\n' 01 "800 x 600" 800x600 02 "1024 x 768" 1024x768 03 "1280 x 1024" 1280x1024
    printf '"02","%s","%s","%s"\r\n' 01 小 小 02 中 中 03 大 大
}
items_text | to_code_page >"$APP_DIR/ITEM.CSV"
values_text | to_code_page >"$APP_DIR/VALUE.CSV"

start_display
start_app
wait_for_icon "the icon of velmora.exe did not appear in the tray"

# A left click opens the menu; the first item's submenu marks 1024 x 768; choose 800 x 600.
click_icon 1
wait_for_menu "a left click did not open the menu"
shot windows-tray-menu
xdotool key Down Right
sleep 0.5
shot windows-tray-submenu
xdotool key Return
ini_text 800x600 中 | to_code_page >"$WORK/expected.ini"
wait_for 10 cmp -s "$INI" "$WORK/expected.ini" \
    || fail "choosing 800 x 600 did not give the expected file: $(iconv -f CP932 -t UTF-8 "$INI" | cat -A)"
wait_for 5 menu_is_closed || fail "the menu stayed open"
pause_between_gestures

# A right click opens the same menu.
click_icon 3
wait_for_menu "a right click did not open the menu"
xdotool key Escape
wait_for 5 menu_is_closed || fail "Escape did not close the menu"
pause_between_gestures

# A double click shows the item list window.
click_icon --repeat 2 --delay 80 1
wait_for 10 window_named 'アイテムリスト' || fail "a double click did not show the item list"
wait_for 5 menu_is_closed || fail "the menu stayed open after the double click"
LIST=$(window_named 'アイテムリスト' | head -n 1)
sleep 0.5
shot windows-itemlist
pause_between_gestures

# "追加" from the list's context menu opens the registration dialog.
click_in()
{
    local window=$1 x=$2 y=$3 button=${4:-1} X Y WIDTH HEIGHT SCREEN
    eval "$(xdotool getwindowgeometry --shell "$window")"
    xdotool mousemove $((X + x)) $((Y + y)) click "$button"
}
click_in "$LIST" 100 150 3
wait_for_menu "a right click on the list did not open its menu"
xdotool key Down Return
wait_for 10 window_named 'アイテム登録' || fail "追加 did not open the registration dialog"
DIALOG=$(window_named 'アイテム登録' | head -n 1)
xdotool windowfocus "$DIALOG"
sleep 0.3

# Page "アイテム": name, file (past the "..." button), section and key.
xdotool key Tab
paste_text "左右のバランス"
xdotool key Tab
paste_text "$WIN_INI"
xdotool key Tab Tab
paste_text "Sound"
xdotool key Tab
paste_text "Balance"
shot windows-dialog-item

# Page "バリューリスト": two values, each added with "追加".
xdotool key ctrl+Tab Tab
paste_text "左寄り"
xdotool key Tab
paste_text "L"
xdotool key Tab space shift+Tab shift+Tab
paste_text "右寄り"
xdotool key Tab
paste_text "R"
xdotool key Tab space
sleep 0.3
shot windows-dialog-values
xdotool key Tab space # OK
wait_for 10 bash -c "! xdotool search --onlyvisible --name 'アイテム登録'" \
    || fail "OK did not close the dialog"

# "保存" is the first entry of the "ファイル" menu.
click_in "$LIST" 20 10
wait_for_menu "the ファイル menu did not open"
xdotool key Down Return
expected_items()
{
    items_text
    printf '"03","左右のバランス","%s","Sound","Balance"\r\n' "$WIN_INI"
}
expected_values()
{
    values_text
    printf '"03","%s","%s","%s"\r\n' 01 左寄り L 02 右寄り R
}
expected_items | to_code_page >"$WORK/expected-items.csv"
expected_values | to_code_page >"$WORK/expected-values.csv"
wait_for 10 cmp -s "$APP_DIR/ITEM.CSV" "$WORK/expected-items.csv" \
    || fail "ITEM.CSV holds: $(iconv -f CP932 -t UTF-8 "$APP_DIR/ITEM.CSV" | cat -A)"
cmp -s "$APP_DIR/VALUE.CSV" "$WORK/expected-values.csv" \
    || fail "VALUE.CSV holds: $(iconv -f CP932 -t UTF-8 "$APP_DIR/VALUE.CSV" | cat -A)"
pause_between_gestures

# "閉じる" is the last entry of the "ファイル" menu. Under Wine the tray menu is used with no
# window of the program active: when one is, Wine's move of the foreground to its tray process
# can close the menu a click has just opened.
click_in "$LIST" 20 10
wait_for_menu "the ファイル menu did not open again"
xdotool key Up Return
wait_for 10 bash -c "! xdotool search --onlyvisible --name 'アイテムリスト'" \
    || fail "閉じる did not close the item list"
pause_between_gestures

# The rebuilt tray menu holds the new item: choose "右寄り".
click_icon 1
wait_for_menu "the tray menu did not open after the save"
xdotool key Down Down Down Right Down Return
wait_for 10 grep -q $'^Balance=R\r$' "$INI" \
    || fail "choosing 右寄り did not write Balance=R: $(iconv -f CP932 -t UTF-8 "$INI" | cat -A)"
pause_between_gestures

# "終了" is the last entry: the program ends with 0 and the icon goes.
click_icon 3
wait_for_menu "the menu did not open for 終了"
xdotool key Up Return
expect_program_ended
wait_for 10 eval '! icon_window' || fail "the icon is still in the tray"
echo "Windows end-to-end: passed"
