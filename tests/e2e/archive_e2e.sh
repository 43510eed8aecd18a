#!/usr/bin/env bash
# The release archive: cmake --install puts the Velmora folder together and CPack packs it, named
# after the version and the system. Unpacked in a folder of its own, the archive holds the
# program with its desktop entry, the README and the icons in every hicolor size, and the program
# runs from there: its icon appears in the tray and "終了" ends it.
# Arguments: the build directory and the project's version. The folder is packed as installed,
# so that the test never builds: a plain cpack would first bring the whole build up to date.
source "$(dirname "$0")/e2e_lib.sh"
VERSION=${2:?usage: $0 build-directory version}

cmake --install "$APP_BINARY" --prefix "$WORK/stage" >"$WORK/install.log" 2>&1 \
    || fail "cmake --install failed: $(cat "$WORK/install.log")"
cpack --config "$APP_BINARY/CPackConfig.cmake" -B "$WORK/package" -D CPACK_INSTALL_CMAKE_PROJECTS= \
    -D "CPACK_INSTALLED_DIRECTORIES=$WORK/stage;." >"$WORK/cpack.log" 2>&1 \
    || fail "cpack failed: $(cat "$WORK/cpack.log")"
NAME=velmora-$VERSION-linux-$(uname -m)
[[ -f $WORK/package/$NAME.tar.gz ]] || fail "no $NAME.tar.gz: $(ls "$WORK/package")"
mkdir "$WORK/unpacked"
tar -xzf "$WORK/package/$NAME.tar.gz" -C "$WORK/unpacked"
APP_DIR=$WORK/unpacked/$NAME

expected=(README.md velmora velmora.desktop translations/qtbase_ja.qm
    share/icons/hicolor/scalable/apps/velmora.svg)
for size in 16 22 32 48 256; do expected+=("share/icons/hicolor/${size}x$size/apps/velmora.png"); done
listing=$(cd "$APP_DIR" && find . -type f -printf '%P\n' | sort)
[[ $listing == "$(printf '%s\n' "${expected[@]}" | sort)" ]] || fail "the archive holds: $listing"
[[ -x $APP_DIR/velmora ]] || fail "the program is not executable"
desktop-file-validate "$APP_DIR/velmora.desktop" || fail "the desktop entry is not valid"
# Each PNG is as large as its folder says: width and height from its header.
for size in 16 22 32 48 256; do
    read -r width height < <(od -An -tu4 --endian=big -j16 -N8 \
        "$APP_DIR/share/icons/hicolor/${size}x$size/apps/velmora.png")
    [[ $width == "$size" && $height == "$size" ]] || fail "the ${size}x$size icon is ${width}x$height"
done

: >"$APP_DIR/ITEM.CSV"
: >"$APP_DIR/VALUE.CSV"
start_display
start_app
wait_for_icon "the icon of the unpacked program did not appear in the tray"
xdotool mousemove --window "$ICON" 11 11 mousedown 3
wait_for 5 menu_is_open || fail "the menu did not open"
xdotool mouseup 3 key Up Return
expect_program_ended
echo "release archive end-to-end: passed"
