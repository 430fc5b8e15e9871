#!/bin/sh
# SPDX-License-Identifier: GPL-3.0-or-later
# The Debian source package as a distribution builds it: the orig tarball from the
# committed tree (git archive), then in a freshly made minimal Debian 12 that holds
# build-essential alone, apt-get build-dep and dpkg-buildpackage -us -uc, so that a
# build dependency missing from debian/control fails the build; lintian on the
# .changes; and autopkgtest with its null runner inside that root against the built
# packages. Needs root, git and mmdebstrap; skipped (exit 77) without them or the
# Debian mirror. Usage: source-package.sh SOURCE_DIR
set -eu

fail() {
    echo "FAIL: $*" >&2
    exit 1
}
skip() {
    echo "SKIP: $*"
    exit 77
}

# Run by mmdebstrap as its customize hook: $2 is the new root, $3 the folder with the
# source package, $4 the folder that receives what was built.
if [ "${1:-}" = --inside ]; then
    root=$2
    in_root() {
        chroot "$root" env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin HOME=/root LANG=C.UTF-8 \
            DEBIAN_FRONTEND=noninteractive "$@"
    }
    mkdir "$root/build"
    cp -a "$3"/. "$root/build/"
    tree=$(cd "$root/build" && ls -d rxdeck-*/)
    before=$(in_root dpkg-query -W | wc -l)
    in_root apt-get build-dep -y -q "/build/$tree" >"$4/build-dep.log" 2>&1 ||
        { tail -30 "$4/build-dep.log" >&2; fail "apt-get build-dep failed"; }
    after=$(in_root dpkg-query -W | wc -l)
    echo "clean root: $before packages, $((after - before)) more for the build dependencies"
    started=$(date +%s)
    in_root sh -c "cd '/build/$tree' && DEB_BUILD_OPTIONS=parallel=$(nproc) dpkg-buildpackage -us -uc" \
        >"$4/build.log" 2>&1 ||
        {
            grep -E -m5 -A8 'CMake Error|error:|missing files' "$4/build.log" >&2
            tail -15 "$4/build.log" >&2
            fail "dpkg-buildpackage failed in the clean root"
        }
    echo "dpkg-buildpackage -us -uc took $(($(date +%s) - started)) s"
    find "$root/build" -maxdepth 1 -type f -exec cp {} "$4/" \;

    in_root apt-get install -y -q --no-install-recommends autopkgtest >"$4/autopkgtest-install.log" 2>&1 ||
        { tail -20 "$4/autopkgtest-install.log" >&2; fail "autopkgtest does not install"; }
    started=$(date +%s)
    status=0
    in_root sh -c 'cd /build && autopkgtest --output-dir /build/autopkgtest ./*.dsc ./*.deb -- null' \
        >"$4/autopkgtest.log" 2>&1 || status=$?
    cat "$4/autopkgtest.log"
    [ "$status" = 0 ] || fail "autopkgtest failed (status $status)"
    echo "autopkgtest took $(($(date +%s) - started)) s"
    exit 0
fi

source=$(cd "$1" && pwd)
[ "$(id -u)" = 0 ] || skip "making a Debian root with mmdebstrap needs root"
command -v mmdebstrap >/dev/null || skip "mmdebstrap is not installed"
command -v git >/dev/null || skip "git is not installed"
command -v dpkg-source >/dev/null || skip "dpkg-dev is not installed"
git -C "$source" rev-parse --verify -q HEAD >/dev/null || skip "$source is not a git checkout"

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
mkdir "$work/in" "$work/out"
[ -z "$(git -C "$source" status --porcelain --untracked-files=no)" ] ||
    echo "note: uncommitted changes are not in the source package; it is made from HEAD"
orig=$("$source/scripts/orig-tarball" HEAD "$work/in") || fail "no orig tarball"
echo "orig tarball: $(basename "$orig"), $(wc -c <"$orig") bytes"
tree=$(basename "$orig" .orig.tar.xz | tr _ -)
tar -C "$work/in" -xf "$orig"
git -C "$source" archive HEAD debian | tar -C "$work/in/$tree" -xf -

script=$(cd "$(dirname "$0")" && pwd)/$(basename "$0")
started=$(date +%s)
mmdebstrap --variant=buildd --quiet \
    --customize-hook="sh '$script' --inside \"\$1\" '$work/in' '$work/out'" \
    bookworm /dev/null "$mirror" || fail "the build in a clean Debian 12 root failed (see above)"
echo "clean root, build and autopkgtest took $(($(date +%s) - started)) s"
ls "$work/out"

changes=$(find "$work/out" -maxdepth 1 -name 'rxdeck_*.changes')
[ -n "$changes" ] || fail "no .changes was built"
for part in rxdeck_.dsc rxdeck_.debian.tar.xz rxdeck_amd64.deb rxdeck-dbgsym_amd64.deb; do
    find "$work/out" -maxdepth 1 -name "$(echo "$part" | sed 's/_/_*/')" | grep -q . ||
        fail "the build made no ${part%%_*}*${part#*_}"
done
if command -v lintian >/dev/null; then
    lintian --pedantic --info --fail-on error,warning "$changes" >"$work/lintian.log" 2>&1 ||
        { cat "$work/lintian.log" >&2; fail "lintian reports errors or warnings"; }
    cat "$work/lintian.log"
    echo "lintian on the .changes: no error or warning"
else
    echo "lintian is not installed: the .changes is not checked"
fi
