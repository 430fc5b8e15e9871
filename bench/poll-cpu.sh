#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# CPU cost of Rxdeck while it polls the simulated receiver.
# Usage: bench/poll-cpu.sh [seconds] [--signal-watch]   (default 60; needs a built tree, Xvfb, xdotool)
# With --signal-watch two more copies, each on its own simulator, poll side by side with
# the first over the same seconds: one records the signal log, one records it and shows
# the signal history chart. The first has neither (its history ring runs, as it always
# does while Rxdeck runs).
set -euo pipefail
. "$(dirname "$0")/lib.sh"
seconds="${1:-60}"
watch="${2:-}"

if [ "$watch" = --signal-watch ] && [ -z "${DISPLAY:-}" ]; then
  # Room for three windows side by side, none covering another.
  export DISPLAY=":$((500 + RANDOM % 400))"
  Xvfb "$DISPLAY" -screen 0 3000x2000x24 -nolisten tcp >/dev/null 2>&1 &
  pids+=($!)
  sleep 1
fi
start_x
start_sim
start_rxdeck
choose_comm1
# start_copy NAME [rxdeck arguments]: one more Rxdeck on its own simulator in $work/NAME,
# with Comm1 open from the start; its pid in copy_pid[NAME].
declare -A copy_pid
start_copy() {
  local name="$1" main_work="$work"
  shift
  work="$main_work/$name"
  mkdir -p "$work"
  start_sim
  RXDECK_COMM1="$work/tty" "$build/src/rxdeck" --port 1 "$@" >/dev/null 2>&1 &
  copy_pid[$name]=$!
  pids+=($!)
  work="$main_work"
}
if [ "$watch" = --signal-watch ]; then
  start_copy log --signal-log "$work/log/signal.csv"
  start_copy chart --signal-log "$work/chart/signal.csv"
  window="$(xdotool search --sync --onlyvisible --pid "${copy_pid[log]}" --name 'Rxdeck' | head -n 1)"
  xdotool windowmove --sync "$window" 960 0
  window="$(xdotool search --sync --onlyvisible --pid "${copy_pid[chart]}" --name 'Rxdeck' | head -n 1)"
  xdotool windowmove --sync "$window" 1920 0
  sleep 0.5
  # Signal > Signal history…
  xdotool mousemove --window "$window" 100 10 click 1
  sleep 0.4
  xdotool mousemove --window "$window" 130 28 click 1
  sleep 0.5
  history_window="$(xdotool search --onlyvisible --pid "${copy_pid[chart]}" --name '^Signal history$' | head -n 1)"
  [ -n "$history_window" ] || { echo "the signal history window did not open" >&2; exit 1; }
  xdotool windowmove --sync "$history_window" 1920 660
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
measure_start "$rxdeck_pid" "$work/sim.log"
if [ "$watch" = --signal-watch ]; then
  measure_start "${copy_pid[log]}" "$work/log/sim.log"
  measure_start "${copy_pid[chart]}" "$work/chart/sim.log"
fi
sleep "$seconds"
measure_end "$rxdeck_pid" "$work/sim.log" "${watch:+no log, chart closed: }"
if [ "$watch" = --signal-watch ]; then
  measure_end "${copy_pid[log]}" "$work/log/sim.log" "log on, chart closed: "
  measure_end "${copy_pid[chart]}" "$work/chart/sim.log" "log on, chart open:   "
  for name in log chart; do
    echo "$name: log rows written: $(($(wc -l <"$work/$name/signal.csv") - 1))"
  done
fi
