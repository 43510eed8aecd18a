# velmora.exe under Wine on the private display of e2e_lib.sh: the program started from a folder
# of its own, its icon (Wine's desktop process docks it into the tray host), and texts put in
# through the clipboard, which reaches Wine where typed Japanese does not. Sourced after
# e2e_lib.sh.

export WINEDEBUG=-all
# A prefix of the whole run when tools/test-windows gives one, else one of this test's own. The
# Wine server is this test's: its desktop process must run on this test's display.
if [[ -z ${WINEPREFIX:-} ]]; then
    export WINEPREFIX=$WORK/wineprefix
fi
BEFORE_CLEANUP+=("wineserver -k 2>/dev/null; wineserver -w 2>/dev/null")
# Wine's start-up comes first: a fresh prefix alone takes a quarter of a minute.
ICON_WAIT=90
# The icon's window belongs to Wine's desktop process, which docks it into the tray host.
ICON_CLASS=explorer.exe

# Copies velmora.exe into a folder of its own: its item files live beside it.
install_windows_app()
{
    APP_DIR=$WORK/app
    mkdir -p "$APP_DIR"
    cp "$1" "$APP_DIR/velmora.exe"
}

start_app()
{
    (cd "$APP_DIR" && exec wine velmora.exe >"$WORK/app.log" 2>&1) &
    APP_PID=$!
    PIDS+=($APP_PID)
}

# A Linux path as the program sees it: on drive Z:, with backslashes.
windows_path() { printf 'Z:%s' "${1//\//\\}"; }

# UTF-8 text in the ANSI code page the prefix runs with (Japanese: 932).
to_code_page() { iconv -f UTF-8 -t CP932; }

# The program's open menus: Wine maps them with or without override-redirect, depending on which
# window is active, but always under the program's own name, which no other window of it bears.
visible_popups()
{
    local w
    for w in $(xdotool search --onlyvisible --classname velmora 2>/dev/null); do
        [[ $(xdotool getwindowname "$w" 2>/dev/null) == velmora ]] && echo "$w"
    done
}

# Clicks the icon (xdotool click arguments), after resting on it a moment as a user's pointer
# does: without a window manager the keyboard focus follows the pointer, and Wine moves the
# foreground to its tray process when the pointer enters the icon. Arriving and clicking at once
# would have that move close the menu the click just opened, whenever a window of the program was
# active.
click_icon()
{
    xdotool mousemove --window "$ICON" 10 10
    sleep 0.5
    xdotool click "$@"
}

# Puts text into the focused box through the clipboard.
paste_text()
{
    printf '%s' "$1" | xclip -selection clipboard
    xdotool key ctrl+a ctrl+v
    sleep 0.2
}

# Waits for a menu to open and moves the pointer onto its border, where no entry is, as a user
# moves towards it: without a window manager the keys go to the window under the pointer, and Wine
# passes them on to the program that owns it. Fails with the message when no menu opens.
wait_for_menu()
{
    wait_for 10 menu_is_open || fail "$1"
    xdotool mousemove --window "$(visible_popups | tail -n 1)" 1 1
    sleep 0.3
}
