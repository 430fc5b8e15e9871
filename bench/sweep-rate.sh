#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Steps per second of the band sweep against the simulator at its default pacing
# (9600 baud): rxdeck-sweep, then the sweep in Rxdeck's window, over the same band.
# Usage: bench/sweep-rate.sh [steps]   (default 301; needs a built tree, Xvfb, xdotool)
set -euo pipefail
. "$(dirname "$0")/lib.sh"
steps="${1:-301}"
to="$(awk -v n="$steps" 'BEGIN { printf "%.3f", 14 + (n - 1) * 0.001 }')"

# Tune lines between the first tune to 14 MHz and the last sweep step, from the log's times.
rate() {
  awk -v last="FRQ$(awk -v t="$to" 'BEGIN { print t + 0 }')" '
    $2 == "FRQ14" && !start { start = $1 }
    start && $2 ~ /^FRQ[0-9]/ { n++ }
    start && $2 == last { printf "%d steps in %.2f s: %.1f steps per second\n", n, $1 - start, (n - 1) / ($1 - start); exit }
  ' "$1"
}

start_x
start_sim
"$build/src/sweep/rxdeck-sweep" --port "$work/tty" --from 14 --to "$to" --step 1 >/dev/null
printf "rxdeck-sweep: "
rate "$work/sim.log"
kill "${pids[-1]}"
wait "${pids[-1]}" 2>/dev/null || true
rm -f "$work/sim.log"

start_sim
start_rxdeck
choose_comm1
sleep 2
# The window takes the panel's scan limits and step (1 kHz here) as its band.
set_box() { xdotool mousemove --window "$rxdeck_window" "$1" "$2" click --repeat 3 1 key ctrl+a type "$3"; }
set_box 200 413 14
set_box 200 461 "$to"
# Signal > Band sweep…, then Start
xdotool mousemove --window "$rxdeck_window" 100 10 click 1
sleep 0.4
xdotool mousemove --window "$rxdeck_window" 150 73 click 1
sweep_window="$(xdotool search --sync --onlyvisible --pid "$rxdeck_pid" --name '^Band sweep$' | head -n 1)"
sleep 0.5
# The step box (the panel's step slider may stand elsewhere), then Start, by their
# places in the window's layout.
xdotool mousemove --window "$sweep_window" 760 80 click --repeat 3 1 key ctrl+a type "1"
xdotool key Tab
xdotool mousemove --window "$sweep_window" 744 137 click 1
for _ in $(seq 600); do grep -q "FRQ$(awk -v t="$to" 'BEGIN { print t + 0 }')\$" "$work/sim.log" 2>/dev/null && break; sleep 0.1; done
[ -n "${RXDECK_BENCH_SHOT:-}" ] && import -window root "$RXDECK_BENCH_SHOT"
printf "window sweep: "
rate "$work/sim.log"
