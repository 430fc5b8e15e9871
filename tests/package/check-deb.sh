#!/bin/sh
# SPDX-License-Identifier: GPL-3.0-or-later
# Builds the Debian package from a built tree into a scratch folder, checks what it
# holds and what it depends on, runs lintian, appstreamcli and desktop-file-validate
# on it, builds it a second time to compare, and runs the packaged programs from an
# extraction.
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
expected="./usr/bin/rxdeck ./usr/bin/rxdeck-sim ./usr/bin/rxdeck-sweep
./usr/share/applications/rxdeck.desktop
./usr/share/man/man1/rxdeck.1.gz ./usr/share/man/man1/rxdeck-sim.1.gz
./usr/share/man/man1/rxdeck-sweep.1.gz
./usr/share/doc/rxdeck/copyright ./usr/share/doc/rxdeck/changelog.gz
./usr/share/metainfo/rxdeck.metainfo.xml"
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
echo "$depends" | grep -q 'libqt6charts6' || fail "Depends misses Qt Charts"
echo "$depends" | grep -q 'fonts-liberation2' || fail "Depends misses the panel's font"
[ "$(dpkg-deb -f "$deb" Section)" = hamradio ] || fail "Section is not hamradio"
maintainer=$(dpkg-deb -f "$deb" Maintainer)
echo "Maintainer: $maintainer"
echo "$maintainer" | grep -Eq '^[^<>]+ <[^<>@ ]+@[^<>@ ]+>$' ||
    fail "the Maintainer is not \"Name <address>\""
echo "$maintainer" | grep -q 'example\.org' && fail "the Maintainer is a placeholder"

# A second build of the same tree must give the same bytes.
cpack -G DEB --config "$build/CPackConfig.cmake" -B "$work/again" >"$work/cpack.log" 2>&1 ||
    { cat "$work/cpack.log" >&2; fail "cpack did not build the package again"; }
cmp "$deb" "$work/again/$(basename "$deb")" || fail "two builds of the package differ"
echo "two builds of the package are identical"

if command -v lintian >/dev/null; then
    lintian --fail-on error,warning "$deb" >"$work/lintian.log" 2>&1 || {
        cat "$work/lintian.log" >&2
        fail "lintian reports errors or warnings"
    }
    cat "$work/lintian.log"
    grep -q '^[EW]: ' "$work/lintian.log" && fail "lintian reports errors or warnings"
    echo "lintian: no error or warning"
fi

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
if command -v appstreamcli >/dev/null; then
    # The id stays "rxdeck" until the project has a domain or a project page to base a
    # reverse-DNS id on; every other finding fails the test.
    appstreamcli validate --no-net --override=cid-desktopapp-is-not-rdns=info \
        "$work/root/usr/share/metainfo/rxdeck.metainfo.xml" ||
        fail "the AppStream metainfo does not validate"
    grep -q "<release version=\"$version\"" "$work/root/usr/share/metainfo/rxdeck.metainfo.xml" ||
        fail "the metainfo's newest release is not $version"
fi
zcat "$work/root/usr/share/doc/rxdeck/changelog.gz" | head -1 | grep -q "^rxdeck ($version)" ||
    fail "the changelog does not begin with $version"

shown=$(QT_QPA_PLATFORM=offscreen "$work/root/usr/bin/rxdeck" --version)
[ "$shown" = "Rxdeck $version" ] || fail "the packaged rxdeck --version said '$shown'"
shown=$(QT_QPA_PLATFORM=offscreen "$work/root/usr/bin/rxdeck" --help)
echo "$shown" | grep -q RXDECK_COMM1 || fail "rxdeck --help does not mention RXDECK_COMM1"
shown=$("$work/root/usr/bin/rxdeck-sim" --version)
[ "$shown" = "rxdeck-sim $version" ] || fail "the packaged rxdeck-sim --version said '$shown'"
shown=$("$work/root/usr/bin/rxdeck-sweep" --version)
[ "$shown" = "rxdeck-sweep $version" ] || fail "the packaged rxdeck-sweep --version said '$shown'"

# Each option a program's --help lists appears in its manual page.
for program in rxdeck rxdeck-sim rxdeck-sweep; do
    page=$(zcat "$work/root/usr/share/man/man1/$program.1.gz" | sed 's/\\-/-/g')
    options=$(QT_QPA_PLATFORM=offscreen "$work/root/usr/bin/$program" --help)
    for option in $(echo "$options" | grep -E '^ +-' | grep -oE '(^|[ ,])--?[A-Za-z][A-Za-z0-9-]*'); do
        echo "$page" | grep -Eq -- "(^|[^A-Za-z0-9-])$option([^A-Za-z0-9-]|\$)" ||
            fail "the manual page of $program does not list $option"
    done
done
echo "the package holds the programs, menu entry, icons and manual pages"
