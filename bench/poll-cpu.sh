#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# CPU cost of Rxdeck while it polls the simulated receiver.
# Usage: bench/poll-cpu.sh [seconds]   (default 60; needs a built tree, Xvfb, xdotool)
set -euo pipefail
. "$(dirname "$0")/lib.sh"
seconds="${1:-60}"

start_x
start_sim
start_rxdeck
choose_comm1
sleep 2 # let the snapshot finish and the poll settle

before="$(cpu_seconds "$rxdeck_pid")"
polls_before="$(grep -c 'FRQ?;DET?;SGV?;BWS?' "$work/sim.log" || true)"
sleep "$seconds"
after="$(cpu_seconds "$rxdeck_pid")"
polls_after="$(grep -c 'FRQ?;DET?;SGV?;BWS?' "$work/sim.log" || true)"

awk -v b="$before" -v a="$after" -v s="$seconds" -v p=$((polls_after - polls_before)) \
    -v rss="$(rss_kb "$rxdeck_pid")" 'BEGIN {
  printf "polling for %d s: %d status queries (%.1f per second)\n", s, p, p / s
  printf "CPU: %.3f s, %.3f%% of one core; resident memory %d kB\n", a - b, 100 * (a - b) / s, rss
}'
