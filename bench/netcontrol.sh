#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Cost of network control: two copies of Rxdeck poll their own simulated receiver side
# by side; one also serves eight clients that each ask f, m and l STRENGTH every 100 ms.
# Prints both CPU figures, the difference, and the clients' reply latency; then the
# same load on Hamlib's own rigctld (dummy rig) for comparison, when it is installed.
# Usage: bench/netcontrol.sh [seconds]   (default 60; needs a built tree, Xvfb, xdotool, python3)
set -euo pipefail
. "$(dirname "$0")/lib.sh"
seconds="${1:-60}"
port="$((20000 + RANDOM % 20000))"

start_x

# start_pair NAME [rxdeck options]: a simulator and a Rxdeck on it with Comm1 chosen;
# the program's pid in ${NAME}_pid.
start_pair() {
  local name="$1"
  shift
  "$build/tools/rxdeck-sim" --seed 1 --link "$work/$name.tty" --log "$work/$name.log" >/dev/null &
  pids+=($!)
  for _ in $(seq 50); do [ -e "$work/$name.tty" ] && break; sleep 0.1; done
  XDG_DATA_HOME="$work/$name.data" RXDECK_COMM1="$work/$name.tty" \
    "$build/src/rxdeck" "$@" >"$work/$name.out" 2>&1 &
  local pid=$!
  pids+=("$pid")
  local window
  window="$(xdotool search --sync --onlyvisible --pid "$pid" --name 'Rxdeck' | head -n 1)"
  xdotool windowmove --sync "$window" 0 0
  sleep 0.5
  xdotool mousemove --window "$window" 40 10 click 1
  sleep 0.4
  xdotool mousemove --window "$window" 40 34 click 1
  sleep 0.5
  xdotool windowminimize "$window" 2>/dev/null || true
  printf -v "${name}_pid" '%s' "$pid"
}

start_pair alone
start_pair served "--rigctld=$port"
sleep 2 # the snapshots finish and the polls settle
grep -q 'FRQ?;DET?;SGV?;BWS?' "$work/alone.log" "$work/served.log" ||
  { echo "a program is not polling" >&2; exit 1; }

alone_before="$(cpu_seconds "$alone_pid")"
served_before="$(cpu_seconds "$served_pid")"
python3 "$root/bench/netcontrol_clients.py" "$port" "$seconds" 8
alone_after="$(cpu_seconds "$alone_pid")"
served_after="$(cpu_seconds "$served_pid")"

awk -v a0="$alone_before" -v a1="$alone_after" -v s0="$served_before" -v s1="$served_after" \
    -v s="$seconds" 'BEGIN {
  a = 100 * (a1 - a0) / s; v = 100 * (s1 - s0) / s
  printf "CPU over %d s: polling alone %.3f%% of one core, polling and serving %.3f%%, extra %.3f%%\n", s, a, v, v - a
}'

# For comparison: Hamlib's own rigctld with its dummy rig under the same load.
if command -v rigctld >/dev/null; then
  reference_port=$((port + 1))
  rigctld -m 1 -T 127.0.0.1 -t "$reference_port" >/dev/null 2>&1 &
  reference_pid=$!
  pids+=("$reference_pid")
  sleep 1
  echo "Hamlib rigctld -m 1 (dummy rig) under the same load:"
  before="$(cpu_seconds "$reference_pid")"
  python3 "$root/bench/netcontrol_clients.py" "$reference_port" "$seconds" 8
  after="$(cpu_seconds "$reference_pid")"
  awk -v b="$before" -v a="$after" -v s="$seconds" \
      'BEGIN { printf "CPU: %.3f%% of one core\n", 100 * (a - b) / s }'
fi
