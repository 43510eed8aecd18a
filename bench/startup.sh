#!/usr/bin/env bash
# Start-up and idle memory of the real program against a minimal Qt tray program (an application,
# a tray icon and a two-entry menu, nothing else), both under Xvfb with a real tray host and
# measured in the same run, alternately (ABBA), so that a busy machine weighs on both alike.
# Each launch is timed by velmora_dockprobe from just before exec to the icon docked and shown
# in the tray; it also takes the program's processor time at that moment and its resident memory
# after two seconds idle. Times on a shared machine swing from run to run, so both programs are
# also run once under callgrind, whose count of instructions until the icon docked does not.
# Usage: bench/startup.sh build/bin [rounds]
BIN=$(cd "${1:?usage: $0 build/bin [rounds]}" && pwd)
source "$(dirname "$0")/../tests/e2e/e2e_lib.sh" "$BIN/velmora"
ROUNDS=${2:-10}
IDLE_SECONDS=2

install_app
cp "$BIN/velmora_minimal_tray" "$APP_DIR/"
INI=$WORK/demo.ini
printf '[Display]\nMode=1\n' >"$INI"
printf '"01","画面モード","%s","Display","Mode"\r\n' "$INI" >"$APP_DIR/ITEM.CSV"
printf '"01","01","標準","1"\r\n"01","02","拡大","2"\r\n' >"$APP_DIR/VALUE.CSV"
start_display

RESULTS=$WORK/results
measure()
{
    local name=$1 line
    line=$(cd "$WORK" && "$BIN/velmora_dockprobe" "$IDLE_SECONDS" "$APP_DIR/$2") \
        || fail "the icon of $2 did not dock"
    echo "$name $line" >>"$RESULTS"
    sleep 0.3
}

# Instructions the program executed until its icon docked (valgrind's start-up is not counted).
instructions()
{
    local out=$WORK/callgrind.$1
    (cd "$WORK" && "$BIN/velmora_dockprobe" 0 valgrind --tool=callgrind --log-file=/dev/null \
        --callgrind-out-file="$out" "$APP_DIR/$1" >/dev/null) || fail "the icon of $1 did not dock"
    awk '/^summary:/ { print $2 }' "$out"
}

for round in $(seq "$ROUNDS"); do
    if ((round % 2)); then
        measure floor velmora_minimal_tray
        measure velmora velmora
    else
        measure velmora velmora
        measure floor velmora_minimal_tray
    fi
done

# One named figure of every launch of one program, a line each, in launch order.
values()
{
    awk -v name="$1" -v field="$2" '$1 == name {
        for (i = 2; i <= NF; ++i) { split($i, kv, "="); if (kv[1] == field) print kv[2] } }' \
        "$RESULTS"
}

# Median, lowest and highest of the numbers on standard input.
summary()
{
    sort -g | awk '{ v[++n] = $1 }
        END { printf "%s %s %s\n", n % 2 ? v[(n + 1) / 2] : (v[n / 2] + v[n / 2 + 1]) / 2, v[1], v[n] }'
}

stats() { values "$1" "$2" | summary; }

# The same figure of both programs, launched one after the other, as ratios.
paired_ratios()
{
    paste <(values velmora "$1") <(values floor "$1") | awk '{ printf "%.3f\n", $1 / $2 }' | summary
}

row()
{
    local label=$1 field=$2 unit=$3 scale=$4 f fmin fmax v vmin vmax
    read -r f fmin fmax <<<"$(stats floor "$field")"
    read -r v vmin vmax <<<"$(stats velmora "$field")"
    awk -v l="$label" -v u="$unit" -v s="$scale" -v f="$f" -v fmin="$fmin" -v fmax="$fmax" \
        -v v="$v" -v vmin="$vmin" -v vmax="$vmax" 'BEGIN {
        printf "%-34s %7.1f %s (%.1f-%.1f)   %7.1f %s (%.1f-%.1f)\n", l, f / s, u, fmin / s,
            fmax / s, v / s, u, vmin / s, vmax / s }'
}

echo "start-up and idle memory, $ROUNDS rounds; median (lowest-highest)"
printf '%-34s %-26s %s\n' "" "minimal Qt tray (floor)" "Velmora"
row "launch to icon docked" dock_ms ms 1
row "processor time until docked" cpu_ms ms 1
row "resident memory after ${IDLE_SECONDS} s idle" rss_kb MB 1024
echo
read -r ratio rmin rmax <<<"$(paired_ratios dock_ms)"
printf '%-50s %5.2f x floor (%.2f-%.2f)\n' "launch to icon docked, paired ratio" "$ratio" "$rmin" "$rmax"
read -r ratio rmin rmax <<<"$(paired_ratios cpu_ms)"
printf '%-50s %5.2f x floor (%.2f-%.2f)\n' "processor time until docked, paired ratio" "$ratio" "$rmin" "$rmax"
read -r f _ <<<"$(stats floor rss_kb)"
read -r v _ <<<"$(stats velmora rss_kb)"
awk -v f="$f" -v v="$v" 'BEGIN { printf "%-50s %5.2f x floor, %+.1f MB\n", "idle resident memory, median", v / f, (v - f) / 1024 }'

echo
if command -v valgrind >/dev/null; then
    floor=$(instructions velmora_minimal_tray)
    velmora=$(instructions velmora)
    awk -v f="$floor" -v v="$velmora" 'BEGIN {
        printf "%-50s %.1f M floor, %.1f M Velmora: %.2f x floor\n", "instructions until docked (callgrind)",
            f / 1e6, v / 1e6, v / f }'
else
    echo "instructions until docked: valgrind is not installed (tools/bench installs it)"
fi
