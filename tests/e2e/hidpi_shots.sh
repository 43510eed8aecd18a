#!/usr/bin/env bash
# By hand, not a test: screenshots of the item list window and of both pages of the registration
# dialog at the scale factors given (default 1, 1.5 and 2), on a 2048x1536 display, to check that
# the designed layout scales with nothing clipped. Installs ImageMagick and a Japanese font when
# they are missing. Writes <form>-<scale>.png into the folder given.
# Usage: hidpi_shots.sh path/to/velmora output-folder [scale...]
OUT=${2:?usage: $0 path/to/velmora output-folder [scale...]}
SCALES=("${@:3}")
((${#SCALES[@]})) || SCALES=(1 1.5 2)
source "$(dirname "$0")/e2e_lib.sh"
source "$(dirname "$0")/../../tools/lib/common.sh"
install_missing imagemagick
fc-list :lang=ja 2>/dev/null | grep -q . || install_missing fonts-noto-cjk
mkdir -p "$OUT"
SHOTS=$(cd "$OUT" && pwd)
SCREEN_SIZE=2048x1536x24

# Clicks at a point of a window given in unscaled pixels from its top-left corner.
click_at()
{
    local window=$1 x=$2 y=$3 button=$4 left top
    left=$(xwininfo -id "$window" | awk '/Absolute upper-left X/{print $4}')
    top=$(xwininfo -id "$window" | awk '/Absolute upper-left Y/{print $4}')
    xdotool mousemove "$(awk -v l="$left" -v x="$x" -v s="$QT_SCALE_FACTOR" 'BEGIN{printf "%d", l + x * s}')" \
        "$(awk -v t="$top" -v y="$y" -v s="$QT_SCALE_FACTOR" 'BEGIN{printf "%d", t + y * s}')" click "$button"
}

# A window alone, cut out of the screen (xwininfo's -geometry counts in resize steps, not pixels).
window_shot()
{
    local info
    info=$(xwininfo -id "$1")
    import -window root -crop "$(awk '/Width:/{w=$2} /Height:/{h=$2} /Absolute upper-left X/{x=$4}
        /Absolute upper-left Y/{y=$4} END{printf "%dx%d+%d+%d", w, h, x, y}' <<<"$info")" \
        "$SHOTS/$2.png"
}

install_app
INI=$WORK/display.ini
printf '[Display]\nResolution=1280x1024\n' >"$INI"
printf '"01","画面の解像度","%s","Display","Resolution"\r\n"02","音量","%s","Sound","Volume"\r\n' \
    "$INI" "$INI" >"$APP_DIR/ITEM.CSV"
printf '%s\r\n' '"01","01","800 x 600","800x600"' '"01","02","1024 x 768","1024x768"' \
    '"01","03","1280 x 1024","1280x1024"' '"02","01","小","小"' >"$APP_DIR/VALUE.CSV"

start_display
for scale in "${SCALES[@]}"; do
    export QT_SCALE_FACTOR=$scale
    rm -f "$APP_DIR/KVT.INI"
    start_app
    wait_for_icon "no icon at scale $scale"
    xdotool mousemove --window "$ICON" 11 11 click --repeat 2 --delay 80 1
    wait_for 5 window_named 'アイテムリスト' || fail "no item list at scale $scale"
    LIST=$(window_named 'アイテムリスト' | head -n 1)
    sleep 0.5
    click_at "$LIST" 40 85 1   # the first row
    sleep 0.3
    window_shot "$LIST" "list-$scale"
    pause_between_gestures
    click_at "$LIST" 40 85 3
    wait_for 5 menu_is_open || fail "no context menu at scale $scale"
    xdotool key Down Down Return   # 変更
    wait_for 5 window_named 'アイテム登録' || fail "no dialog at scale $scale"
    DIALOG=$(window_named 'アイテム登録' | head -n 1)
    sleep 0.5
    window_shot "$DIALOG" "dialog-item-$scale"
    xdotool key ctrl+Tab
    sleep 0.3
    click_at "$DIALOG" 30 46 1   # the first value row
    sleep 0.3
    window_shot "$DIALOG" "dialog-values-$scale"
    xdotool key Escape
    pause_between_gestures
    kill "$APP_PID"
    wait "$APP_PID" 2>/dev/null || true
    wait_for 5 bash -c '! xdotool search --classname velmora' || true
done
echo "screenshots in $SHOTS"
