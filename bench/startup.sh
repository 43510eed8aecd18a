#!/usr/bin/env bash
# Start-up and memory of the real program under Xvfb with a tray host: the time from launch to
# the icon embedded in the tray, against the floor of launching a program that does nothing
# (/bin/true), and the resident memory after two seconds idle.
# Usage: bench/startup.sh path/to/velmora [runs]
source "$(dirname "$0")/../tests/e2e/e2e_lib.sh"
RUNS=${2:-10}

install_app
INI=$WORK/demo.ini
printf '[Display]\nMode=1\n' >"$INI"
printf '"01","画面モード","%s","Display","Mode"\r\n' "$INI" >"$APP_DIR/ITEM.CSV"
printf '"01","01","標準","1"\r\n"01","02","拡大","2"\r\n' >"$APP_DIR/VALUE.CSV"
start_display

now_ms() { date +%s%N | cut -c1-13; }

# One cheap look at the window tree: the icon shows nested inside the tray host's windows. (The
# helpers of the tests spawn several programs per look, too coarse for a start-up time.)
icon_docked() { xwininfo -root -tree | grep -qE '^ {7,}0x[0-9a-f]+ .*\("velmora" "velmora"\)'; }

floor_total=0
embed_total=0
for run in $(seq "$RUNS"); do
    start=$(now_ms)
    /bin/true
    floor_total=$((floor_total + $(now_ms) - start))

    start=$(now_ms)
    start_app
    until icon_docked; do :; done
    embed_total=$((embed_total + $(now_ms) - start))
    if ((run == RUNS)); then
        sleep 2
        rss_kb=$(awk '/VmRSS/{print $2}' "/proc/$APP_PID/status")
    fi
    kill "$APP_PID"
    wait "$APP_PID" 2>/dev/null || true
    sleep 0.3
done

printf '%-44s %10s\n' "figure" "value"
printf '%-44s %8d ms\n' "launch of /bin/true (floor), mean" $((floor_total / RUNS))
printf '%-44s %8d ms\n' "launch to icon embedded, mean of $RUNS" $((embed_total / RUNS))
awk -v kb="$rss_kb" 'BEGIN { printf "%-44s %8.1f MB\n", "idle resident memory after 2 s", kb / 1024 }'
