#!/usr/bin/env bash
# The Windows release zip: cmake --install puts the Velmora folder together and CPack zips it,
# named after the version. Unpacked in a fresh folder, the zip holds velmora.exe, which needs no
# DLL beside it but Windows' own, the README, the licences of what is linked into it and Qt's
# Japanese texts; and the program runs from there under Wine: its icon appears in the tray, its
# menu opens, and "終了" ends it with 0.
# Arguments: the build directory and the project's version. The folder is packed as installed,
# so that the test never builds: a plain cpack would first bring the whole build up to date.
source "$(dirname "$0")/e2e_lib.sh"
source "$(dirname "$0")/wine_lib.sh"
VERSION=${2:?usage: $0 build-directory version}

cmake --install "$APP_BINARY" --prefix "$WORK/stage" >"$WORK/install.log" 2>&1 \
    || fail "cmake --install failed: $(cat "$WORK/install.log")"
cpack --config "$APP_BINARY/CPackConfig.cmake" -G ZIP -B "$WORK/package" \
    -D CPACK_INSTALL_CMAKE_PROJECTS= -D "CPACK_INSTALLED_DIRECTORIES=$WORK/stage;." \
    >"$WORK/cpack.log" 2>&1 || fail "cpack failed: $(cat "$WORK/cpack.log")"
NAME=velmora-$VERSION-windows-x86_64
[[ -f $WORK/package/$NAME.zip ]] || fail "no $NAME.zip: $(ls "$WORK/package")"
mkdir "$WORK/unpacked"
unzip -q "$WORK/package/$NAME.zip" -d "$WORK/unpacked"
APP_DIR=$WORK/unpacked/$NAME

listing=$(cd "$APP_DIR" && find . -type f -printf '%P\n' | sort)
for file in velmora.exe README.md LICENSES.txt translations/qtbase_ja.qm \
    licenses/qt/LGPL-3.0-only.txt licenses/qt/GPL-3.0-only.txt licenses/qt/copyright \
    licenses/qt/DEBIAN-SOURCE-VERSION licenses/mingw-w64-runtime.txt licenses/gcc-runtime.txt; do
    grep -qx "$file" <<<"$listing" || fail "the zip lacks $file; it holds: $listing"
done
grep -v -e '^licenses/' -e '^translations/' <<<"$listing" | grep -qvx 'velmora.exe\|README.md\|LICENSES.txt' \
    && fail "the zip holds more than expected: $listing"

# Only Windows' own libraries are imported: Qt and the compiler's run-time are linked in.
headers=$(x86_64-w64-mingw32-objdump -p "$APP_DIR/velmora.exe")
imports=$(awk '/DLL Name:/ { print $3 }' <<<"$headers")
foreign=$(grep -i -e '^qt' -e '^lib' -e 'gcc' -e 'stdc++' -e 'winpthread' <<<"$imports" || true)
[[ -z $foreign ]] || fail "velmora.exe needs DLLs beside it: $foreign"
grep -q 'Subsystem.*Windows GUI' <<<"$headers" || fail "velmora.exe is not a windowed program"

: >"$APP_DIR/ITEM.CSV"
: >"$APP_DIR/VALUE.CSV"
start_display
(cd "$APP_DIR" && exec wine velmora.exe >"$WORK/app.log" 2>&1) &
APP_PID=$!
PIDS+=($APP_PID)
wait_for_icon "the icon of the unpacked velmora.exe did not appear in the tray"
click_icon 3
wait_for_menu "the menu did not open"
shot windows-zip-menu
xdotool key Up Return
expect_program_ended
echo "Windows release zip end-to-end: passed"
