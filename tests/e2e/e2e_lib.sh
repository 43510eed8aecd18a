# Shared by the end-to-end scripts: a private X display with a tray host, the program started
# from a folder of its own, and helpers to find its windows. Sourced, not run.

set -euo pipefail

APP_BINARY=${1:?usage: $0 path/to/velmora}
WORK=$(mktemp -d "${TMPDIR:-/tmp}/velmora-e2e.XXXXXX")
PIDS=()
SHOTS=${VELMORA_SCREENSHOTS:-}

BEFORE_CLEANUP=() # commands a script adds, run first at the end

cleanup()
{
    local pid step
    for step in "${BEFORE_CLEANUP[@]}"; do eval "$step" || true; done
    for pid in "${PIDS[@]}"; do kill "$pid" 2>/dev/null || true; done
    wait 2>/dev/null || true
    rm -rf "$WORK"
}
trap cleanup EXIT

fail()
{
    echo "FAIL: $*" >&2
    [[ -f $WORK/app.log ]] && sed 's/^/  app: /' "$WORK/app.log" >&2
    if command -v import >/dev/null && [[ -n ${DISPLAY:-} ]]; then
        import -window root "${SHOTS:-/tmp}/velmora-e2e-failure.png" 2>/dev/null || true
        echo "  screenshot: ${SHOTS:-/tmp}/velmora-e2e-failure.png" >&2
    fi
    exit 1
}

# Polls a command until it succeeds, for at most the given seconds.
wait_for()
{
    local seconds=$1
    shift
    local deadline=$((SECONDS + seconds))
    until "$@" >/dev/null 2>&1; do
        ((SECONDS < deadline)) || return 1
        sleep 0.05
    done
}

# A private X display, without a tray host.
start_xvfb()
{
    Xvfb -displayfd 3 -screen 0 "${SCREEN_SIZE:-1024x768x24}" -nolisten tcp 3>"$WORK/display" \
        2>/dev/null &
    PIDS+=($!)
    wait_for 10 test -s "$WORK/display" || fail "Xvfb did not start"
    export DISPLAY=":$(head -n 1 "$WORK/display")"
    export XDG_RUNTIME_DIR="$WORK/xdg" QT_QPA_PLATFORM=xcb
    mkdir -m 700 "$XDG_RUNTIME_DIR"
}

# An XEmbed tray host on the display.
start_trayer()
{
    trayer --edge top --align right --widthtype request --height 24 --SetDockType false \
        --SetPartialStrut false >/dev/null 2>&1 &
    PIDS+=($!)
    wait_for 10 xdotool search --name panel || fail "trayer did not start"
}

# A private display with an XEmbed tray host. Qt would show the icon through a status-notifier
# host instead if the session bus had one, so the session bus is left out.
start_display()
{
    unset DBUS_SESSION_BUS_ADDRESS
    start_xvfb
    start_trayer
}

# Copies the program into a folder of its own: its item files live beside it.
install_app()
{
    APP_DIR=$WORK/app
    mkdir -p "$APP_DIR"
    cp "$APP_BINARY" "$APP_DIR/velmora"
}

start_app()
{
    (cd "$WORK" && exec "$APP_DIR/velmora" >"$WORK/app.log" 2>&1) &
    APP_PID=$!
    PIDS+=($APP_PID)
}

# The icon: the window of class ICON_CLASS (the program's own unless a library names another)
# that a tray host has taken in (its parent is not the root).
icon_window()
{
    local root w parent
    root=$(xwininfo -root | awk '/Window id:/{print $4}')
    for w in $(xdotool search --classname "${ICON_CLASS:-velmora}" 2>/dev/null); do
        parent=$(xwininfo -id "$w" -children 2>/dev/null | awk '/Parent window id:/{print $4}')
        if [[ -n $parent && $parent != "$root" ]] \
            && xwininfo -id "$w" | grep -q 'Map State: IsViewable'; then
            echo "$w"
            return 0
        fi
    done
    return 1
}

# Waits for the icon to dock and keeps its window in ICON; fails with the message otherwise.
wait_for_icon()
{
    wait_for "${ICON_WAIT:-10}" icon_window || fail "$1"
    ICON=$(icon_window)
}

# After "終了": the program ends, with exit code 0.
expect_program_ended()
{
    wait_for 10 eval '! kill -0 "$APP_PID"' || fail "the program did not end after 終了"
    wait "$APP_PID" || fail "the program ended with $?"
}

# The program's open menus: its visible top-level windows that bypass the window manager (the
# icon bypasses it too, but lives inside the tray host).
visible_popups()
{
    local root w info
    root=$(xwininfo -root | awk '/Window id:/{print $4}')
    xdotool search --onlyvisible --classname velmora 2>/dev/null | while read -r w; do
        info=$(xwininfo -id "$w" -children 2>/dev/null) || continue
        grep -q "Parent window id: $root" <<<"$info" || continue
        xwininfo -id "$w" | grep -q 'Override Redirect State: yes' && echo "$w"
    done
}

menu_is_open() { [[ -n $(visible_popups) ]]; }
menu_is_closed() { [[ -z $(visible_popups) ]]; }

window_named() { xdotool search --onlyvisible --name "$1"; }

shot()
{
    [[ -n $SHOTS ]] && command -v import >/dev/null || return 0
    import -window root "$SHOTS/$1.png"
}

# Separate gestures must lie further apart than the double-click interval.
pause_between_gestures() { sleep 0.5; }
