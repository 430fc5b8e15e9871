#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# What network clients cost the serial line: Rxdeck --rigctld polls the simulator while two
# clients poll it every 100 ms, first reading only (f, m, l STRENGTH), then as Gpredict does
# (F with the frequency, f, t and the one-byte get_dcd), then reading every level and function
# (l PREAMP … l NB, u NB). Prints the lines per second the simulator received beyond the status
# poll's 10 and the clients' reply latency.
# Usage: bench/netcontrol-traffic.sh [seconds]   (default 30; needs a built tree, Xvfb, xdotool)
set -euo pipefail
. "$(dirname "$0")/lib.sh"
seconds="${1:-30}"
port="$((20000 + RANDOM % 20000))"

start_x
start_sim
start_rxdeck "$work/tty" "--rigctld=$port"
choose_comm1
sleep 2

# lines_since START END: lines the simulator received between two epoch times.
lines_since() {
  awk -v a="$1" -v b="$2" '$1 >= a && $1 < b && $2 !~ /^>/ { n++ } END { print n + 0 }' "$work/sim.log"
}

for mode in read gpredict levels; do
  start="$(date +%s.%N)"
  python3 "$root/bench/netcontrol_clients.py" "$port" "$seconds" 2 "$mode"
  end="$(date +%s.%N)"
  lines="$(lines_since "$start" "$end")"
  awk -v n="$lines" -v a="$start" -v b="$end" -v m="$mode" 'BEGIN {
    s = b - a
    printf "%s: %d lines in %.1f s, %.2f lines/s, %.2f beyond the poll'"'"'s 10\n", m, n, s, n / s, n / s - 10
  }'
done
