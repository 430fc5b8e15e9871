#!/bin/sh
# SPDX-License-Identifier: GPL-3.0-or-later
# Builds the Debian package from a built tree into a scratch folder, checks what it
# holds and what it depends on, runs lintian, appstreamcli and desktop-file-validate
# on it, builds it a second time to compare, and runs the packaged programs from an
# extraction.
# Last, a build with the version raised in project() alone (and the release notes the
# build checks) must show the new version in the programs and the package.
# Usage: check-deb.sh BUILD_DIR VERSION SOURCE_DIR
set -eu
build=$1
version=$2
source=$3
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT INT TERM

fail() {
    echo "FAIL: $*" >&2
    exit 1
}

(umask 0022 && cpack -G DEB --config "$build/CPackConfig.cmake" -B "$work/out") \
    >"$work/cpack.log" 2>&1 || { cat "$work/cpack.log" >&2; fail "cpack did not build the package"; }
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

dpkg-deb -c "$deb" | awk '$1 !~ /^(drwxr-xr-x|-rw-r--r--|-rwxr-xr-x|lrwxrwxrwx)$/' >"$work/modes"
[ ! -s "$work/modes" ] || { cat "$work/modes" >&2; fail "the package holds the modes above"; }

# A second build of the same tree, under a group-writable umask, gives the same bytes.
(umask 0002 && cpack -G DEB --config "$build/CPackConfig.cmake" -B "$work/again") \
    >"$work/cpack.log" 2>&1 || { cat "$work/cpack.log" >&2; fail "cpack did not build the package again"; }
cmp "$deb" "$work/again/$(basename "$deb")" || fail "the builds at umask 0022 and 0002 differ"
echo "the builds of the package at umask 0022 and 0002 are identical"

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

# The version raised in the one place: a copy of the tracked files with the next patch
# version in project(), and the NEWS and Debian changelog entries the build checks.
bumped=$(echo "$version" | awk -F. '{ printf "%d.%d.%d", $1, $2, $3 + 1 }')
mkdir "$work/bump"
git -C "$source" ls-files -z | (cd "$source" && xargs -0 cp --parents -t "$work/bump")
sed -i "s/^project(Rxdeck VERSION $version /project(Rxdeck VERSION $bumped /" "$work/bump/CMakeLists.txt"
printf 'Rxdeck %s (2026-12-31)\n\n- Version check.\n\n' "$bumped" | cat - "$source/NEWS" >"$work/bump/NEWS"
printf 'rxdeck (%s-1) unstable; urgency=medium\n\n  * Version check.\n\n -- %s  Thu, 31 Dec 2026 00:00:00 +0000\n\n' \
    "$bumped" "Rxdeck <rxdeck@localhost>" | cat - "$source/debian/changelog" >"$work/bump/debian/changelog"
cmake -S "$work/bump" -B "$work/bump/build" -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF \
    >"$work/bump.log" 2>&1 && cmake --build "$work/bump/build" -j"$(nproc)" >>"$work/bump.log" 2>&1 &&
    cpack -G DEB --config "$work/bump/build/CPackConfig.cmake" -B "$work/bump/out" \
        >>"$work/bump.log" 2>&1 || { tail -30 "$work/bump.log" >&2; fail "the raised version does not build"; }
deb=$(find "$work/bump/out" -maxdepth 1 -name "rxdeck_${bumped}_*.deb")
[ -n "$deb" ] || fail "the raised version built no rxdeck_${bumped}_*.deb"
[ "$(dpkg-deb -f "$deb" Version)" = "$bumped" ] || fail "the package's version is not $bumped"
dpkg -x "$deb" "$work/bump/root"
shown=$(QT_QPA_PLATFORM=offscreen "$work/bump/root/usr/bin/rxdeck" --version)
[ "$shown" = "Rxdeck $bumped" ] || fail "with the version raised, rxdeck --version said '$shown'"
for program in rxdeck-sim rxdeck-sweep; do
    shown=$("$work/bump/root/usr/bin/$program" --version)
    [ "$shown" = "$program $bumped" ] || fail "with the version raised, $program said '$shown'"
    zcat "$work/bump/root/usr/share/man/man1/$program.1.gz" | head -1 | grep -q "\"Rxdeck $bumped\"" ||
        fail "the manual page of $program does not name $bumped"
done
grep -q "<release version=\"$bumped\"" "$work/bump/root/usr/share/metainfo/rxdeck.metainfo.xml" ||
    fail "with the version raised, the metainfo's newest release is not $bumped"
echo "raised to $bumped in project() alone, the programs, pages, metainfo and package say so"
