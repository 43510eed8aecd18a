#!/usr/bin/env bash
# Started without a display, the program and tools/run say so in one line of their own and end
# with status 1; other failures of Qt's platform plugins keep Qt's own diagnostics.
set -euo pipefail
APP_BINARY=${1:?usage: $0 path/to/velmora path/to/project}
PROJECT=${2:?usage: $0 path/to/velmora path/to/project}
WORK=$(mktemp -d "${TMPDIR:-/tmp}/velmora-nodisplay.XXXXXX")
trap 'rm -rf "$WORK"' EXIT
ulimit -c 0
failed=0

# A display number with no server behind it.
unused=7391
while [[ -e /tmp/.X11-unix/X$unused ]]; do unused=$((unused + 1)); done

# expect <name> <status> <text expected on stderr> <text not expected> -- command...
expect()
{
    local name=$1 want=$2 text=$3 absent=$4 status=0
    shift 5
    (cd "$WORK" && timeout 20 "$@") >"$WORK/out" 2>"$WORK/err" </dev/null || status=$?
    if [[ $status != "$want" ]] || ! grep -qF -- "$text" "$WORK/err" \
        || { [[ -n $absent ]] && grep -qF -- "$absent" "$WORK/err"; }; then
        echo "FAIL: $name: status $status (want $want), stderr:" >&2
        sed 's/^/  /' "$WORK/err" >&2
        failed=1
    elif [[ $want == 1 && $(wc -l <"$WORK/err") != 1 ]]; then
        echo "FAIL: $name: more than one line on stderr:" >&2
        sed 's/^/  /' "$WORK/err" >&2
        failed=1
    else
        echo "ok: $name"
    fi
}

clean=(env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM)
ours="アイコンを表示するデスクトップがありません"
cp "$APP_BINARY" "$WORK/velmora"
app=$WORK/velmora
expect "no display set" 1 "(DISPLAY も WAYLAND_DISPLAY も設定されていません)。" "Reinstalling" -- \
    "${clean[@]}" "$app"
expect "a display that cannot be opened" 1 "(ディスプレイ :$unused に接続できません)。" "Reinstalling" -- \
    "${clean[@]}" DISPLAY=:$unused "$app"
expect "the advice names a display and the program as started" 1 "(例: DISPLAY=:0 $app)" "" -- \
    "${clean[@]}" "$app"
expect "only a Wayland display that does not exist" 1 "$ours" "Reinstalling" -- \
    "${clean[@]}" WAYLAND_DISPLAY=wayland-$unused "$app"
expect "Wayland, then X11, neither reachable" 1 "$ours" "qt.qpa.plugin" -- \
    "${clean[@]}" DISPLAY=:$unused QT_QPA_PLATFORM="wayland;xcb" "$app"
expect "a platform plugin that does not exist" 134 "no Qt platform plugin could be initialized" \
    "$ours" -- "${clean[@]}" QT_QPA_PLATFORM=nonexistent "$app"
expect "a platform named on the command line that needs no display" 124 "" "$ours" -- \
    "${clean[@]}" timeout 3 "$app" -platform offscreen

# tools/run must stop before it installs or builds anything: those steps fail here if reached.
mkdir "$WORK/stubs"
for tool in apt-get cmake; do
    printf '#!/bin/sh\necho "%s must not run" >&2\nexit 99\n' "$tool" >"$WORK/stubs/$tool"
    chmod +x "$WORK/stubs/$tool"
done
run=(PATH="$WORK/stubs:$PATH" bash "$PROJECT/tools/run")
expect "tools/run, no display set" 1 "(DISPLAY も WAYLAND_DISPLAY も設定されていません)。" "must not run" \
    -- "${clean[@]}" "${run[@]}"
expect "tools/run, a display that cannot be opened" 1 "(ディスプレイ :$unused に接続できません)。" \
    "must not run" -- "${clean[@]}" DISPLAY=:$unused "${run[@]}"
exit $failed
