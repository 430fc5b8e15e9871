#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Rxdeck's running costs beside bare floor programs measured in the same run:
# poll cost, start-up, command latency, poll regularity and large memory lists.
# Usage: bench/measure.sh [poll seconds]   (default 60; needs a built tree)
set -euo pipefail
. "$(dirname "$0")/lib.sh"
seconds="${1:-60}"
floor="$build/bench/floor"
start_x

stats() { # median, 99th percentile and maximum of numbers on stdin
  python3 -c '
import statistics, sys
v = sorted(float(x) for x in sys.stdin if x.strip())
p99 = v[min(len(v) - 1, int(round(0.99 * (len(v) - 1))))]
print(f"{statistics.median(v):.1f} {p99:.1f} {v[-1]:.1f} {len(v)}")'
}

echo "== Poll cost over $seconds s (CPU seconds per minute, resident memory)"
start_sim
start_rxdeck
choose_comm1
# The floor polls a receiver of its own: a port opens for one program at a time.
"$build/tools/rxdeck-sim" --seed 1 --link "$work/tty-floor" >/dev/null &
pids+=($!)
for _ in $(seq 50); do [ -e "$work/tty-floor" ] && break; sleep 0.1; done
RXDECK_COMM1="$work/tty-floor" "$floor/floor_poll" >/dev/null 2>&1 &
floor_pid=$!
pids+=("$floor_pid")
sleep 3
r0="$(cpu_seconds "$rxdeck_pid")"; f0="$(cpu_seconds "$floor_pid")"
sleep "$seconds"
r1="$(cpu_seconds "$rxdeck_pid")"; f1="$(cpu_seconds "$floor_pid")"
rrss="$(rss_kb "$rxdeck_pid")"; frss="$(rss_kb "$floor_pid")"
awk -v r0="$r0" -v r1="$r1" -v f0="$f0" -v f1="$f1" -v s="$seconds" \
    -v rr="$rrss" -v fr="$frss" 'BEGIN { r = r1 - r0; f = f1 - f0
  printf "rxdeck %.3f s/min (%.2f%% of a core), floor %.3f s/min: ratio %.2f\n",
         60 * r / s, 100 * r / s, 60 * f / s, (f > 0 ? r / f : 0)
  printf "resident memory: rxdeck %d kB, floor %d kB: ratio %.2f\n", rr, fr, rr / fr }'
kill "$floor_pid"

echo "== Poll regularity while a person acts (status query spacing, ms)"
offset="$(panel_offset)"
mark="$(wc -l < "$work/sim.log")"
end=$((SECONDS + seconds))
while [ $SECONDS -lt $end ]; do
  panel_click 152 220   # "+1k"
  panel_click 504 112   # "USB"
  xdotool mousemove --window "$rxdeck_window" 360 $((532 + offset)) mousedown 1 \
          mousemove --window "$rxdeck_window" 480 $((532 + offset)) mouseup 1 # squelch drag
  sleep 0.3
done
tail -n +"$((mark + 1))" "$work/sim.log" | awk '/FRQ\?;DET\?;SGV\?;BWS\?/ {
  if (last) printf "%.3f\n", 1000 * ($1 - last); last = $1 }' | stats |
  awk '{ printf "median %s ms, 99th percentile %s ms, maximum %s ms over %d spacings\n", $1, $2, $3, $4 }'

echo "== Command latency: mouse press on +1k to the FRQ line at the receiver (ms)"
for _ in $(seq 50); do
  before="$(date +%s.%N)"
  xdotool mousemove --window "$rxdeck_window" 152 $((220 + offset)) mousedown 1 mouseup 1
  sleep 0.25
  awk -v t="$before" '$1 >= t && $2 ~ /^FRQ[0-9]/ { printf "%.3f\n", 1000 * ($1 - t); exit }' \
      "$work/sim.log"
done | stats | awk '{ printf "median %s ms, maximum %s ms over %d presses\n", $1, $3, $4 }'
# What starting xdotool itself costs, included in the figures above.
for _ in $(seq 20); do
  t0="$(date +%s%N)"
  xdotool mousemove --window "$rxdeck_window" 152 $((220 + offset))
  echo "$(( ($(date +%s%N) - t0) / 1000 ))" | awk '{ printf "%.3f\n", $1 / 1000 }'
done | stats | awk '{ printf "(one xdotool run alone: median %s ms)\n", $1 }'

echo "== Start-up: exec to window mapped (ms, median of 10)"
startup() { # startup NAME COMMAND...: milliseconds until a visible window named NAME
  local name="$1"; shift
  local t0 pid
  t0="$(date +%s%N)"
  "$@" >/dev/null 2>&1 &
  pid=$!
  until xdotool search --all --onlyvisible --pid "$pid" --name "$name" >/dev/null 2>&1; do :; done
  echo "$(( ($(date +%s%N) - t0) / 1000000 ))"
  kill "$pid"; wait "$pid" 2>/dev/null || true
}
rx="$(for _ in $(seq 10); do startup Rxdeck env XDG_DATA_HOME="$work" "$build/src/rxdeck"; done | stats)"
fl="$(for _ in $(seq 10); do startup Floor "$floor/floor_window"; done | stats)"
awk -v rx="$rx" -v fl="$fl" 'BEGIN { split(rx, a, " "); split(fl, b, " ")
  printf "rxdeck %d ms, bare window %d ms: ratio %.2f\n", a[1], b[1], a[1] / b[1] }'

echo "== Large memory list: 10,000 rows (Google Benchmark medians)"
QT_QPA_PLATFORM=offscreen "$build/bench/memorylist_bench" \
  --benchmark_repetitions=5 --benchmark_report_aggregates_only=true 2>/dev/null |
  awk '/_median/ { printf "%s %s %s wall, %s %s CPU\n", $1, $2, $3, $4, $5 }'
