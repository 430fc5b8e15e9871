#!/bin/sh
# SPDX-License-Identifier: GPL-3.0-or-later
# Builds the Debian package from a built tree into a scratch folder, checks what it
# holds and what it depends on, and runs the packaged program from an extraction.
# Usage: check-deb.sh BUILD_DIR VERSION
set -eu
build=$1
version=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT INT TERM

fail() {
    echo "FAIL: $*" >&2
    exit 1
}

cpack -G DEB --config "$build/CPackConfig.cmake" -B "$work/out" >"$work/cpack.log" 2>&1 ||
    { cat "$work/cpack.log" >&2; fail "cpack did not build the package"; }
deb=$(find "$work/out" -maxdepth 1 -name 'rxdeck_*.deb')
[ -n "$deb" ] || fail "no rxdeck_*.deb in $(ls "$work/out")"
echo "package: $(basename "$deb")"

dpkg-deb -c "$deb" | awk '{ print $NF }' >"$work/contents"
expected="./usr/bin/rxdeck ./usr/bin/rxdeck-sim ./usr/share/applications/rxdeck.desktop
./usr/share/man/man1/rxdeck.1 ./usr/share/man/man1/rxdeck-sim.1"
for size in 16 32 48 64 128 256; do
    expected="$expected ./usr/share/icons/hicolor/${size}x${size}/apps/rxdeck.png"
done
for path in $expected; do
    grep -qx "$path" "$work/contents" || fail "$path is not in the package"
done

depends=$(dpkg-deb -f "$deb" Depends)
echo "Depends: $depends"
echo "$depends" | grep -q 'libqt6widgets6' || fail "Depends names no Qt 6 library"
echo "$depends" | grep -q 'libqt6serialport6' || fail "Depends misses Qt Serial Port"
[ "$(dpkg-deb -f "$deb" Section)" = hamradio ] || fail "Section is not hamradio"

dpkg -x "$deb" "$work/root"
# Each icon is a PNG of its own size: width and height sit at bytes 16..23.
for size in 16 32 48 64 128 256; do
    png="$work/root/usr/share/icons/hicolor/${size}x${size}/apps/rxdeck.png"
    header=$(od -An -tx1 -N24 "$png" | tr -d ' \n')
    dimension=$(printf '%08x' "$size")
    [ "$header" = "89504e470d0a1a0a0000000d49484452$dimension$dimension" ] ||
        fail "$png is not a ${size}x$size PNG"
done
if command -v desktop-file-validate >/dev/null; then
    desktop-file-validate "$work/root/usr/share/applications/rxdeck.desktop" ||
        fail "the desktop entry does not validate"
fi

shown=$(QT_QPA_PLATFORM=offscreen "$work/root/usr/bin/rxdeck" --version)
[ "$shown" = "Rxdeck $version" ] || fail "the packaged rxdeck --version said '$shown'"
shown=$(QT_QPA_PLATFORM=offscreen "$work/root/usr/bin/rxdeck" --help)
echo "$shown" | grep -q RXDECK_COMM1 || fail "rxdeck --help does not mention RXDECK_COMM1"
echo "the package holds the programs, menu entry, icons and manual pages"
