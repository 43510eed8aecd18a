# Shared by the scripts in tools/: installs missing Debian packages and builds into build/.
# Sourced, not run.

# The X client library is for the start-up benchmark's probe of the tray.
BUILD_PACKAGES=(cmake make g++ pkg-config qt6-base-dev qt6-translations-l10n googletest libgtest-dev
    libbenchmark-dev libxcb1-dev)
# X display and XEmbed tray; a session bus with a status-notifier watcher and host; the desktop
# entry's validator; the locale sources for a Shift-JIS locale.
TEST_PACKAGES=(xvfb xdotool trayer x11-utils dbus-daemon dbus-bin haskell-status-notifier-item-utils
    haskell-gtk-sni-tray-utils desktop-file-utils locales)
# Instruction counts for the figures that time alone cannot show on a shared machine.
BENCH_PACKAGES=(valgrind)

# Runs a command as root: directly when root already, else through sudo.
as_root()
{
    if [[ $(id -u) == 0 ]]; then "$@"; else sudo "$@"; fi
}

# Installs those of the given Debian packages that are not installed yet; runs apt-get update once.
install_missing()
{
    local missing=() p
    for p in "$@"; do
        dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'ok installed' || missing+=("$p")
    done
    ((${#missing[@]})) || return 0
    echo "installing: ${missing[*]}"
    if [[ -z ${VELMORA_APT_UPDATED:-} ]]; then
        as_root apt-get update -qq
        export VELMORA_APT_UPDATED=1
    fi
    as_root env DEBIAN_FRONTEND=noninteractive apt-get -o DPkg::Lock::Timeout=900 install -y -qq \
        --no-install-recommends "${missing[@]}" >/dev/null
}

# Compiles the Japanese Shift-JIS locale when it is missing, so that the code page tests convert
# through it. glibc warns that the character map is not ASCII compatible (0x5C is the yen sign
# there); that is the point of the test.
ensure_shift_jis_locale()
{
    locale -a 2>/dev/null | grep -qix 'ja_JP\.sjis' && return 0
    as_root localedef --no-warnings=ascii -i ja_JP -f SHIFT_JIS ja_JP.SJIS
}

# Prints why no desktop display can be reached, and succeeds, when none can: neither DISPLAY nor
# WAYLAND_DISPLAY is set; only WAYLAND_DISPLAY is, and Qt has no Wayland plugin here; or DISPLAY
# names a local X server that does not listen (neither its socket file nor its abstract socket).
# A display on another host is taken as it is.
missing_display_reason()
{
    if [[ -z ${DISPLAY:-} ]]; then
        if [[ -z ${WAYLAND_DISPLAY:-} ]]; then
            echo "DISPLAY も WAYLAND_DISPLAY も設定されていません"
        elif ! dpkg-query -W -f='${Status}' qt6-wayland 2>/dev/null | grep -q 'ok installed'; then
            echo "DISPLAY が設定されていません"
        else
            return 1
        fi
        return 0
    fi
    if [[ $DISPLAY =~ ^(unix)?:([0-9]+)(\.[0-9]+)?$ ]]; then
        local socket=/tmp/.X11-unix/X${BASH_REMATCH[2]}
        [[ -S $socket ]] || grep -q " @$socket\$" /proc/net/unix 2>/dev/null || {
            echo "ディスプレイ $DISPLAY に接続できません"
            return 0
        }
    fi
    return 1
}

# Configures build/ (warnings are errors when CI=true) and builds with every core.
configure_and_build()
{
    local werror=OFF
    [[ ${CI:-} == true ]] && werror=ON
    cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVELMORA_WERROR=$werror >/dev/null
    cmake --build build -j"$(nproc)" "$@"
}
