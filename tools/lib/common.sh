# Shared by the scripts in tools/: installs missing Debian packages and builds into build/.
# Sourced, not run.

BUILD_PACKAGES=(cmake make g++ pkg-config qt6-base-dev googletest libgtest-dev libbenchmark-dev)
# X display and XEmbed tray; a session bus with a status-notifier watcher and host; the desktop
# entry's validator.
TEST_PACKAGES=(xvfb xdotool trayer x11-utils dbus-daemon dbus-bin haskell-status-notifier-item-utils
    haskell-gtk-sni-tray-utils desktop-file-utils)

# Installs those of the given Debian packages that are not installed yet; runs apt-get update once.
install_missing()
{
    local missing=() p
    for p in "$@"; do
        dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'ok installed' || missing+=("$p")
    done
    ((${#missing[@]})) || return 0
    echo "installing: ${missing[*]}"
    local sudo=()
    [[ $(id -u) == 0 ]] || sudo=(sudo)
    if [[ -z ${VELMORA_APT_UPDATED:-} ]]; then
        "${sudo[@]}" apt-get update -qq
        export VELMORA_APT_UPDATED=1
    fi
    DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get -o DPkg::Lock::Timeout=900 install -y -qq \
        --no-install-recommends "${missing[@]}" >/dev/null
}

# Configures build/ (warnings are errors when CI=true) and builds with every core.
configure_and_build()
{
    local werror=OFF
    [[ ${CI:-} == true ]] && werror=ON
    cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVELMORA_WERROR=$werror >/dev/null
    cmake --build build -j"$(nproc)" "$@"
}
