#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Builds the workbook libFuzzer targets with AddressSanitizer and UBSan, seeds them with
# workbooks of our own and of other programs' making, fuzzes each for a bounded time and
# reports what it found.
#
#   fuzz/run-workbook-fuzz.sh [SECONDS]      (default 120, per target)
#
# workbook_fuzz reads a file and writes it again; document_edit_fuzz reads a file, edits it
# (the input's last bytes choose the edit) and saves it. An input that takes longer than
# FUZZ_TIMEOUT seconds (default 5) is a fault: reading must cost what the file holds.
#
# Work files go to $FUZZ_WORK (default build-fuzz/ at the top of the tree): the binaries,
# corpus-<target>/ (kept between runs), seeds-<target>/, and artifacts-<target>/ with a
# crash-*, timeout-* or oom-* file for every input that failed (also kept, and reported again
# while they still fail). Fuzzing goes on after a failure until the time is up.
set -euo pipefail

seconds=${1:-120}
timeout=${FUZZ_TIMEOUT:-5}
here=$(cd "$(dirname "$0")" && pwd)
root=$(dirname "$here")
# shellcheck source=fuzz/report.sh
. "$root/fuzz/report.sh"
work=${FUZZ_WORK:-$root/build-fuzz}
cxx=${CXX_FUZZ:-clang++}
targets=(workbook_fuzz document_edit_fuzz)
export LSAN_OPTIONS="suppressions=$here/gsf-leaks.supp:print_suppressions=0"

codec=("$root"/src/memories/workbook/*.cpp)
cflags=(-std=c++20 -g -O1 -fPIC -fno-omit-frame-pointer -I"$root/src")
read -r -a pkgflags <<<"$(pkg-config --cflags Qt6Core libgsf-1)"
read -r -a pkglibs <<<"$(pkg-config --libs Qt6Core libgsf-1)"

echo "== building"
mkdir -p "$work"
builds=()
for target in "${targets[@]}"; do
    "$cxx" "${cflags[@]}" -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=all \
        "${pkgflags[@]}" "$here/$target.cpp" "${codec[@]}" "${pkglibs[@]}" -o "$work/$target" &
    builds+=($!)
done
"$cxx" "${cflags[@]}" "${pkgflags[@]}" "$here/workbook_seeds.cpp" "${codec[@]}" "${pkglibs[@]}" \
    -o "$work/workbook_seeds"
for pid in "${builds[@]}"; do wait "$pid"; done

echo "== seeds"
books="$work/seed-books"
rm -rf "$books"
mkdir -p "$books"
"$work/workbook_seeds" "$books"
# Damaged files kept as regression cases, the file that once took 15 s to open among them.
cp "$root"/tests/memories/workbook/data/*.xls "$books"/
# Workbooks of other programs' making: formulas, names, styles, a cross-sheet reference.
corpus=$root/tests/memories/workbook/corpus/corpus.py
for kind in gnumeric-biff5 gnumeric-biff8 xlwt soffice; do
    /usr/bin/python3 "$corpus" make "$kind" "$books/$kind.xls" >/dev/null 2>&1 ||
        echo "no $kind seed (tool missing or failed)"
done
ls -l "$books"
rm -rf "$work/seeds-workbook_fuzz" "$work/seeds-document_edit_fuzz"
cp -r "$books" "$work/seeds-workbook_fuzz"
# The editor target reads the edit from the input's last 24 bytes: three edits per workbook.
mkdir -p "$work/seeds-document_edit_fuzz"
for book in "$books"/*; do
    for n in 1 2 3; do
        { cat "$book"; /usr/bin/python3 -c 'import hashlib, sys
sys.stdout.buffer.write(hashlib.sha512(sys.argv[1].encode()).digest()[:24])' "$book$n"; } \
            >"$work/seeds-document_edit_fuzz/$(basename "$book" .xls)-$n"
    done
done
# Inputs that once failed a property, kept whole (workbook and edit): each run tries them first.
cp "$here"/seeds/document_edit_fuzz/* "$work/seeds-document_edit_fuzz/"

status=0
for target in "${targets[@]}"; do
    echo "== fuzzing $target for $seconds s"
    mkdir -p "$work/corpus-$target" "$work/artifacts-$target"
    (cd "$work" && "./$target" -fork=1 -ignore_crashes=1 -ignore_timeouts=1 -ignore_ooms=1 \
        -max_total_time="$seconds" -timeout="$timeout" -rss_limit_mb=2560 -max_len=65536 \
        -print_final_stats=1 -artifact_prefix="$work/artifacts-$target/" \
        "corpus-$target" "seeds-$target") >"$work/$target.log" 2>&1 || status=1
done

fuzz_report "${targets[@]}"
