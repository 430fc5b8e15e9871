#!/usr/bin/env bash
# Builds the workbook reader's libFuzzer target with AddressSanitizer and UBSan, seeds it with a
# few workbooks, fuzzes for a bounded time and reports what it found.
#
#   fuzz/run-workbook-fuzz.sh [SECONDS]      (default 120)
#
# Work files go to $FUZZ_WORK (default build-fuzz/ at the top of the tree): the binaries,
# corpus/ (kept between runs, so later runs start where earlier ones stopped) and crash-*,
# timeout-*, oom-* files for anything that failed.
set -euo pipefail

seconds=${1:-120}
here=$(cd "$(dirname "$0")" && pwd)
root=$(dirname "$here")
work=${FUZZ_WORK:-$root/build-fuzz}
cxx=${CXX_FUZZ:-clang++}

mkdir -p "$work/corpus" "$work/seeds" "$work/artifacts"

codec=("$root"/src/memories/workbook/*.cpp)
cflags=(-std=c++20 -g -O1 -fPIC -fno-omit-frame-pointer -I"$root/src")
read -r -a pkgflags <<<"$(pkg-config --cflags Qt6Core freexl libgsf-1)"
read -r -a pkglibs <<<"$(pkg-config --libs Qt6Core freexl libgsf-1)"

echo "== building the fuzz target and the seed generator"
"$cxx" "${cflags[@]}" -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=undefined \
    "${pkgflags[@]}" "$here/workbook_fuzz.cpp" "${codec[@]}" "${pkglibs[@]}" \
    -o "$work/workbook_fuzz"
"$cxx" "${cflags[@]}" "${pkgflags[@]}" "$here/workbook_seeds.cpp" "${codec[@]}" "${pkglibs[@]}" \
    -o "$work/workbook_seeds"

echo "== seeds"
"$work/workbook_seeds" "$work/seeds"
if command -v ssconvert >/dev/null; then
    # Files from an independent writer, in both formats the reader takes.
    tmp=$(mktemp -d)
    printf 'Frequency,Note,Extra\n7,Wien \xe2\x80\x93 caf\xc3\xa9,1\n7.05,net,2024-01-05\n-3.5,"a, b",0.125\n' >"$tmp/Sheet1"
    (cd "$tmp" && ssconvert -T Gnumeric_Excel:excel_biff8 Sheet1 "$work/seeds/ssconvert8.xls" \
        && ssconvert -T Gnumeric_Excel:excel_biff7 Sheet1 "$work/seeds/ssconvert5.xls") >/dev/null 2>&1 \
        || echo "ssconvert failed; going on without its seeds"
    rm -rf "$tmp"
fi
ls -l "$work/seeds"

echo "== fuzzing for $seconds s"
status=0
(cd "$work" && LSAN_OPTIONS="suppressions=$here/freexl-leaks.supp:print_suppressions=0" ./workbook_fuzz -max_total_time="$seconds" -timeout=20 -rss_limit_mb=2560 \
    -max_len=65536 -print_final_stats=1 -artifact_prefix="$work/artifacts/" \
    corpus seeds) >"$work/fuzz.log" 2>&1 || status=$?

echo "== report"
grep -E '^(#[0-9]+ +DONE|stat::number_of_executed_units|stat::peak_rss_mb|==[0-9]+==ERROR|SUMMARY)' \
    "$work/fuzz.log" || true
echo "corpus: $(find "$work/corpus" -type f | wc -l) inputs"
found=$(find "$work/artifacts" -type f | wc -l)
if [ "$status" -ne 0 ] || [ "$found" -ne 0 ]; then
    echo "FAILED: libFuzzer exit status $status, $found artifact(s) in $work/artifacts:"
    ls -l "$work/artifacts"
    echo "full log: $work/fuzz.log"
    exit 1
fi
echo "no crash, leak, timeout or sanitizer report in $seconds s"
