#!/bin/sh
# SPDX-License-Identifier: GPL-3.0-or-later
# Installs the package on a freshly made minimal Debian 12 and uses it there as a new
# user would: --version, --help, the manual pages through man-db, the program itself
# for five seconds on the offscreen platform; then purges it and looks for leftovers.
# Needs root and mmdebstrap; skipped (exit 77) where the Debian mirror cannot be
# reached. Usage: fresh-install.sh BUILD_DIR VERSION
set -eu

fail() {
    echo "FAIL: $*" >&2
    exit 1
}
skip() {
    echo "SKIP: $*"
    exit 77
}

# Run by mmdebstrap as its customize hook: $2 is the new root, with /proc and /dev.
if [ "${1:-}" = --inside ]; then
    root=$2
    deb=$3
    version=$4
    in_root() {
        chroot "$root" env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin HOME=/root LANG=C.UTF-8 \
            DEBIAN_FRONTEND=noninteractive XDG_RUNTIME_DIR=/tmp/runtime "$@"
    }
    cp "$deb" "$root/tmp/"
    name=$(basename "$deb")
    # man-db is not part of a minimal system; a user reading manual pages has it.
    in_root apt-get install -y -q man-db >/dev/null || fail "man-db does not install"
    in_root apt-get install -y -q "/tmp/$name" >"$root/tmp/install.log" 2>&1 ||
        { cat "$root/tmp/install.log" >&2; fail "apt-get install ./$name failed"; }
    echo "apt-get install ./$name: $(grep -c '^Setting up' "$root/tmp/install.log") packages set up"

    shown=$(in_root rxdeck --version) || fail "rxdeck --version failed"
    [ "$shown" = "Rxdeck $version" ] || fail "rxdeck --version said '$shown'"
    in_root rxdeck --help | grep -q -- --rigctld || fail "rxdeck --help lists no --rigctld"
    shown=$(in_root rxdeck-sim --version) || fail "rxdeck-sim --version failed"
    [ "$shown" = "rxdeck-sim $version" ] || fail "rxdeck-sim --version said '$shown'"
    for page in rxdeck rxdeck-sim rxdeck-sweep; do
        in_root env MANPAGER=cat MANWIDTH=80 man "$page" >"$root/tmp/$page.man" 2>&1 ||
            { cat "$root/tmp/$page.man" >&2; fail "man $page failed"; }
        grep -q "^NAME" "$root/tmp/$page.man" || fail "man $page shows no manual page"
    done
    echo "--version, --help and the manual pages work"

    # Five seconds of the program: still running at the end, and nothing on standard
    # error about a library, plugin or font it could not find.
    mkdir -p -m 700 "$root/tmp/runtime"
    status=0
    in_root env QT_QPA_PLATFORM=offscreen timeout 5 rxdeck >/dev/null 2>"$root/tmp/stderr" ||
        status=$?
    cat "$root/tmp/stderr"
    [ "$status" = 124 ] || fail "rxdeck ended within five seconds (status $status)"
    if grep -Ei 'shared (object|librar)|could not (load|find)|cannot load|plugin could|no qt platform|font' \
        "$root/tmp/stderr"; then
        fail "rxdeck reported something missing"
    fi
    echo "rxdeck ran five seconds on the offscreen platform without a complaint"

    in_root dpkg-query -L rxdeck >"$root/tmp/files"
    in_root apt-get purge -y -q rxdeck >/dev/null || fail "apt-get purge rxdeck failed"
    left=""
    while read -r path; do
        [ -n "$path" ] || continue
        if [ -d "$root$path" ] && [ ! -L "$root$path" ]; then
            # A directory may stay only where another package holds it too.
            in_root dpkg-query -S "$path" >/dev/null 2>&1 || left="$left $path"
        elif [ -e "$root$path" ] || [ -L "$root$path" ]; then
            left="$left $path"
        fi
    done <"$root/tmp/files"
    [ -z "$left" ] || fail "apt-get purge rxdeck left:$left"
    echo "apt-get purge rxdeck left none of its $(wc -l <"$root/tmp/files") paths"
    exit 0
fi

build=$1
version=$2
[ "$(id -u)" = 0 ] || skip "making a Debian root with mmdebstrap needs root"
command -v mmdebstrap >/dev/null || skip "mmdebstrap is not installed"

# The Debian mirror that apt on this machine uses for bookworm.
mirror=$(cat /etc/apt/sources.list /etc/apt/sources.list.d/*.list \
    /etc/apt/sources.list.d/*.sources 2>/dev/null | awk '
    /^deb / { sub(/\[[^]]*\] /, ""); if ($3 == "bookworm") { print $2; exit } }
    /^URIs:/ { uri = $2 }
    /^Suites:/ { for (i = 2; i <= NF; i++) if ($i == "bookworm" && uri != "") { print uri; exit } }
    /^$/ { uri = "" }')
[ -n "$mirror" ] || skip "apt on this machine has no Debian 12 (bookworm) mirror"
if command -v python3 >/dev/null; then
    python3 -c 'import sys, urllib.request
urllib.request.urlopen(sys.argv[1] + "/dists/bookworm/InRelease", timeout=20)' "$mirror" \
        2>/dev/null || skip "the Debian mirror $mirror cannot be reached"
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT INT TERM
cpack -G DEB --config "$build/CPackConfig.cmake" -B "$work/out" >"$work/cpack.log" 2>&1 ||
    { cat "$work/cpack.log" >&2; fail "cpack did not build the package"; }
deb=$(find "$work/out" -maxdepth 1 -name 'rxdeck_*.deb')
[ -n "$deb" ] || fail "no rxdeck_*.deb was built"

script=$(cd "$(dirname "$0")" && pwd)/$(basename "$0")
started=$(date +%s)
mmdebstrap --variant=minbase --quiet \
    --customize-hook="sh '$script' --inside \"\$1\" '$deb' '$version'" \
    bookworm /dev/null "$mirror" || fail "the fresh Debian 12 root failed (see above)"
echo "fresh root, install, checks and purge took $(($(date +%s) - started)) s"
