#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Builds the libFuzzer targets for the pure link and status logic (number texts, command lines,
# reply decoding) with AddressSanitizer and UBSan, seeds them with example replies and number
# texts, fuzzes each for a bounded time and reports what they found.
#
#   fuzz/run-logic-fuzz.sh [SECONDS]      (default 60, per target)
#
# An input that takes longer than FUZZ_TIMEOUT seconds (default 5) is a fault.
#
# Work files go to $FUZZ_WORK (default build-fuzz-logic/ at the top of the tree): the binaries,
# corpus-<target>/ (kept between runs), seeds-<target>/, and artifacts-<target>/ with a
# crash-* or timeout-* file for every input that broke a property, made a sanitizer report or
# took too long (also kept, and reported again while they still fail). Fuzzing goes on after a
# failure until the time is up, so one run finds more than one fault.
set -euo pipefail

seconds=${1:-60}
timeout=${FUZZ_TIMEOUT:-5}
here=$(cd "$(dirname "$0")" && pwd)
root=$(dirname "$here")
# shellcheck source=fuzz/report.sh
. "$root/fuzz/report.sh"
work=${FUZZ_WORK:-$root/build-fuzz-logic}
cxx=${CXX_FUZZ:-clang++}
targets=(replies_fuzz numbertext_fuzz)

logic=("$root/src/link/numbertext.cpp" "$root/src/link/commands.cpp"
    "$root/src/status/replies.cpp")
cflags=(-std=c++20 -g -O1 -fPIC -fno-omit-frame-pointer -I"$root/src")
read -r -a qtflags <<<"$(pkg-config --cflags Qt6Core)"
read -r -a qtlibs <<<"$(pkg-config --libs Qt6Core)"

echo "== building"
mkdir -p "$work"
builds=()
for target in "${targets[@]}"; do
    "$cxx" "${cflags[@]}" -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=all \
        "${qtflags[@]}" "$here/$target.cpp" "${logic[@]}" "${qtlibs[@]}" -o "$work/$target" &
    builds+=($!)
done
for pid in "${builds[@]}"; do wait "$pid"; done

echo "== seeds"
# seed DIR NAME TEXT: one seed file; backslash escapes in TEXT (\r, \n, \t, \xNN) are expanded.
seed() { mkdir -p "$work/$1"; printf %b "$3" >"$work/$1/$2"; }
settings='RFP 1;AGC 1;RFG 100;FRA 07.000000;FRB 07.300000;SQL 100;BLK 05;SDW 02.5;INC 10.000;PBT +1000;BFO -0500'
status='FRQ 14.200000;DET 4;SGV -100.0;BWS 2'
seed seeds-replies_fuzz settings "$settings"
seed seeds-replies_fuzz settings-crlf "$settings\r\n"
seed seeds-replies_fuzz settings-other 'RFP 2;AGC 0;RFG 055;FRA 00.500000;FRB 30.000000;SQL 136;BLK 10;SDW 00.7;INC 25.000;PBT -2000;BFO +8000\n'
seed seeds-replies_fuzz settings-short "${settings:0:60}"
seed seeds-replies_fuzz status "$status"
seed seeds-replies_fuzz status-lf "$status\n"
seed seeds-replies_fuzz status-twice "$status\n$status\n"
seed seeds-replies_fuzz status-weak 'FRQ 07.123456;DET 7;SGV  -60.0;BWS 0\n'
seed seeds-replies_fuzz short 'FRQ'
for text in '14.200000' ' 14.200000' '7.05 MHz' '-0.001' '+1000' '-0500' '02.5' '0.7' '1.25' \
    '10.000' '1e3' '1E-2x' '1 4.2' '\t7\n.1' '1.2.3' '.5' '5.' '1e999' '1e-999' '-100.0' \
    '32767.5' '-32768.5' '123456789.123456789' '0.000000001' '1.7976931348623157e308' \
    '4.9e-324' "1$(printf '%0300d' 0)" "0.$(printf '%0300d' 0)1"; do
    seed seeds-numbertext_fuzz "text-$(printf '%s' "$text" | md5sum | cut -c1-8)" "$text"
done
# Numbers as the fuzzer spells them: a dictionary of the pieces of a number text.
printf '%s\n' '"e"' '"E"' '"e-"' '"e+"' '"."' '"-"' '"+"' '"0"' '"000000"' '"\x09"' '"\x0a"' \
    '"\x0d"' '"\xa0"' '" "' '"0x"' '"inf"' '"nan"' '"999999999999999"' >"$work/number.dict"

status=0
for target in "${targets[@]}"; do
    echo "== fuzzing $target for $seconds s"
    mkdir -p "$work/corpus-$target" "$work/artifacts-$target"
    dict=()
    if [ "$target" = numbertext_fuzz ]; then dict=(-dict="$work/number.dict"); fi
    (cd "$work" && "./$target" -fork=1 -ignore_crashes=1 -max_total_time="$seconds" -timeout="$timeout" \
        -rss_limit_mb=2048 -max_len=2048 -print_final_stats=1 "${dict[@]}" \
        -artifact_prefix="$work/artifacts-$target/" "corpus-$target" "seeds-$target") \
        >"$work/$target.log" 2>&1 || status=1
done

fuzz_report "${targets[@]}"
