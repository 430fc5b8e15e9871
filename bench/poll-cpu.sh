#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# CPU cost of Rxdeck while it polls the simulated receiver.
# Usage: bench/poll-cpu.sh [seconds] [--signal-watch]   (default 60; needs a built tree, Xvfb, xdotool)
# With --signal-watch a second Rxdeck on its own simulator polls side by side with the
# first over the same seconds, with the signal log recording and the signal history
# chart open; the first has neither (its history ring runs, as it always does).
set -euo pipefail
. "$(dirname "$0")/lib.sh"
seconds="${1:-60}"
watch="${2:-}"

start_x
start_sim
start_rxdeck
choose_comm1
if [ "$watch" = --signal-watch ]; then
  plain_pid="$rxdeck_pid"
  plain_log="$work/sim.log"
  work_plain="$work"
  work="$work/watch"
  mkdir -p "$work"
  start_sim
  RXDECK_COMM1="$work/tty" "$build/src/rxdeck" --port 1 --signal-log "$work/signal.csv" \
    >/dev/null 2>&1 &
  rxdeck_pid=$!
  pids+=("$rxdeck_pid")
  rxdeck_window="$(xdotool search --sync --onlyvisible --pid "$rxdeck_pid" --name 'Rxdeck' | head -n 1)"
  xdotool windowmove --sync "$rxdeck_window" 300 400
  sleep 0.5
  # Signal > Signal history…
  xdotool mousemove --window "$rxdeck_window" 100 10 click 1
  sleep 0.4
  xdotool mousemove --window "$rxdeck_window" 130 28 click 1
  sleep 0.5
  history_window="$(xdotool search --onlyvisible --pid "$rxdeck_pid" --name '^Signal history$' | head -n 1)"
  [ -n "$history_window" ] || { echo "the signal history window did not open" >&2; exit 1; }
  xdotool windowmove --sync "$history_window" 560 0 windowraise "$history_window"
fi
sleep 2 # let the snapshot finish and the poll settle
[ -n "${RXDECK_BENCH_SHOT:-}" ] && import -window root "$RXDECK_BENCH_SHOT"

# measure PID SIMLOG LABEL: prints what PID used over the seconds
measure_start() { before["$1"]="$(cpu_seconds "$1")"; polls["$1"]="$(grep -c 'FRQ?;DET?;SGV?;BWS?' "$2" || true)"; }
measure_end() {
  local after polls_after
  after="$(cpu_seconds "$1")"
  polls_after="$(grep -c 'FRQ?;DET?;SGV?;BWS?' "$2" || true)"
  awk -v b="${before[$1]}" -v a="$after" -v s="$seconds" -v p=$((polls_after - ${polls[$1]})) \
      -v rss="$(rss_kb "$1")" -v label="$3" 'BEGIN {
    printf "%spolling for %d s: %d status queries (%.1f per second)\n", label, s, p, p / s
    printf "%sCPU: %.3f s, %.3f%% of one core; resident memory %d kB\n", label, a - b, 100 * (a - b) / s, rss
  }'
}
declare -A before polls
if [ "$watch" = --signal-watch ]; then
  measure_start "$plain_pid" "$plain_log"
  measure_start "$rxdeck_pid" "$work/sim.log"
  sleep "$seconds"
  measure_end "$plain_pid" "$plain_log" "history closed, no log: "
  measure_end "$rxdeck_pid" "$work/sim.log" "history open, log on:  "
  echo "log rows written: $(($(wc -l <"$work/signal.csv") - 1))"
  work="$work_plain"
else
  measure_start "$rxdeck_pid" "$work/sim.log"
  sleep "$seconds"
  measure_end "$rxdeck_pid" "$work/sim.log" ""
fi
