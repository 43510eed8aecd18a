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
expect "no display set" 1 "(DISPLAY も WAYLAND_DISPLAY も設定されていません)。" "Reinstalling" -- \
    "${clean[@]}" "$APP_BINARY"
expect "a display that cannot be opened" 1 "(ディスプレイ :$unused に接続できません)。" "Reinstalling" -- \
    "${clean[@]}" DISPLAY=:$unused "$APP_BINARY"
expect "the advice names a display" 1 "DISPLAY=:0 velmora" "" -- "${clean[@]}" "$APP_BINARY"
expect "a platform plugin that does not exist" 134 "no Qt platform plugin could be initialized" \
    "デスクトップがありません" -- "${clean[@]}" QT_QPA_PLATFORM=nonexistent "$APP_BINARY"
expect "tools/run, before it builds" 1 "(DISPLAY も WAYLAND_DISPLAY も設定されていません)。" "installing" \
    -- "${clean[@]}" bash "$PROJECT/tools/run"
expect "tools/run, a display that cannot be opened" 1 "(ディスプレイ :$unused に接続できません)。" \
    "installing" -- "${clean[@]}" DISPLAY=:$unused bash "$PROJECT/tools/run"
exit $failed
