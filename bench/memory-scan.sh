#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Speed of the memory scan against the simulator at its 9600-baud pacing: memories a
# second while nothing is heard, the median and slowest gap between two frequency
# commands, and the time from tuning a memory that carries a signal to the scan
# holding there (the reply that tells of the signal has reached the program).
# Usage: bench/memory-scan.sh [seconds] [memories] [settle-ms] [dwell-ms]
#   (default 30 s, 40 memories, no settling at the receiver, no dwell; needs a built
#   tree, Xvfb, xdotool and gnumeric's ssconvert)
set -euo pipefail
. "$(dirname "$0")/lib.sh"
seconds="${1:-30}"
count="${2:-40}"
settle="${3:-0}"
dwell="${4:-0}"
port="$((20000 + RANDOM % 20000))"

start_x

# count memories 5 kHz apart from 7.000 MHz, none of them heard yet; ssconvert names
# the sheet after the file.
mkdir -p "$work/data/Rxdeck" "$work/config/Rxdeck"
{
  echo "Frequency,Note"
  for i in $(seq 0 $((count - 1))); do
    awk -v i="$i" 'BEGIN { printf "%.3f,Channel %d\n", 7 + i * 0.005, i }'
  done
} >"$work/Sheet1"
ssconvert -I Gnumeric_stf:stf_csvtab -T Gnumeric_Excel:excel_biff8 "$work/Sheet1" \
  "$work/data/Rxdeck/Memories.xls" >/dev/null 2>&1
printf '[memoryScan]\nthreshold=level\nlevelDbm=-90\nhangMs=2000\ndwellMs=%d\n' "$dwell" \
  >"$work/config/Rxdeck/Rxdeck.conf"
: >"$work/signals.txt"

start_sim --log-replies --signals "$work/signals.txt" --settle "$settle"
start_rxdeck "$work/tty" "--rigctld=$port"
choose_comm1
sleep 2 # the snapshot is over and the poll runs

exec 3<>"/dev/tcp/127.0.0.1/$port"
echo "g MEM 0" >&3
read -r -t 5 answer <&3
[ "$answer" = "RPRT 0" ] || { echo "the scan did not start: $answer" >&2; exit 1; }
sleep "$seconds"

# Silent scanning: the gaps between frequency commands, in milliseconds.
awk '$2 ~ /^FRQ[0-9]/ { if (last) print int(($1 - last) * 1000 + 0.5); last = $1 }' \
  "$work/sim.log" | sort -n >"$work/gaps"
n="$(wc -l <"$work/gaps")"
[ "$n" -gt 10 ] || { echo "only $n frequency commands" >&2; exit 1; }
awk -v n="$n" '{ g[NR] = $1; sum += $1 } END {
  printf "silent: %d frequency commands, %.2f memories/s, gap median %d ms, slowest %d ms\n",
    n, 1000 * n / sum, g[int((n + 1) / 2)], g[n]
}' "$work/gaps"

# A signal on a memory a few steps ahead of the one being tried.
last="$(awk '$2 ~ /^FRQ[0-9]/ { f = substr($2, 4) } END { print f }' "$work/sim.log")"
target="$(awk -v f="$last" -v c="$count" 'BEGIN {
  i = int((f - 7) / 0.005 + 0.5); printf "%.3f", 7 + ((i + 5) % c) * 0.005 }')"
echo "$target=-60" >"$work/signals.txt"
mark="$(wc -l <"$work/sim.log")"
sleep 4
# From the command tuning the target to the end of the first reply after it that
# carries the signal (its line time at 9600 baud added: 10 bits a character), and to
# the next status query heard: the program read that reply just before writing it.
tail -n +"$mark" "$work/sim.log" | awk -v t="$target" '
  $2 ~ /^FRQ[0-9]/ && substr($2, 4) + 0 == t + 0 && !tuned { tuned = $1; next }
  tuned && $2 == ">" && /SGV  -60.0/ && !arrived {
    arrived = $1 + (length($0) - length($1) - 3) * 10 / 9600
  }
  arrived && $2 == "FRQ?;DET?;SGV?;BWS?" && !read { read = $1 }
  tuned && $2 ~ /^FRQ[0-9]/ && !arrived { moved = 1 }
  END {
    if (!tuned || !read || moved) { print "the scan did not hold on " t; exit 1 }
    printf "signal: tuned %s MHz; the reply telling of it complete %d ms later, read by %d ms\n",
      t, (arrived - tuned) * 1000 + 0.5, (read - tuned) * 1000 + 0.5
  }'
after="$(tail -n +"$mark" "$work/sim.log" | awk -v t="$target" '
  $2 ~ /^FRQ[0-9]/ { f = substr($2, 4) } END { print f }')"
[ "$after" = "$target" ] || [ "$(awk -v a="$after" -v t="$target" 'BEGIN { print (a + 0 == t + 0) }')" = 1 ] ||
  echo "warning: the scan went on to $after after the signal" >&2
echo "g STOP 0" >&3
