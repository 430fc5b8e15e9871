# SPDX-License-Identifier: GPL-3.0-or-later
# Shared pieces of the measuring scripts: an X server, the simulator, and the
# program connected to it through the "Serial port" menu, driven with xdotool.

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="${RXDECK_BUILD_DIR:-$root/build}"
work="$(mktemp -d)"
pids=()

cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  wait 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

start_x() {
  if [ -z "${DISPLAY:-}" ]; then
    export DISPLAY=":$((500 + RANDOM % 400))"
    Xvfb "$DISPLAY" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
    pids+=($!)
    sleep 1
  fi
}

# start_sim [extra simulator arguments]: the simulator on $work/tty, logging to $work/sim.log
start_sim() {
  "$build/tools/rxdeck-sim" --seed 1 --link "$work/tty" --log "$work/sim.log" "$@" >/dev/null &
  pids+=($!)
  for _ in $(seq 50); do [ -e "$work/tty" ] && break; sleep 0.1; done
}

# CPU seconds (user + system) a process has used so far.
cpu_seconds() {
  awk -v hz="$(getconf CLK_TCK)" '{ printf "%.3f", ($14 + $15) / hz }' "/proc/$1/stat"
}

# Resident memory of a process in kB.
rss_kb() {
  awk '/^VmRSS/ { print $2 }' "/proc/$1/status"
}

# start_rxdeck [COMM1 [ARGUMENTS...]]: the program ($program, or the one built) with Comm1
# on COMM1 (the simulator by default), its pid in $rxdeck_pid and its window in
# $rxdeck_window. Its settings and memories live in $work, its output in $work/rxdeck.out.
start_rxdeck() {
  local comm1="${1:-$work/tty}"
  [ $# -gt 0 ] && shift
  RXDECK_COMM1="$comm1" XDG_DATA_HOME="$work/data" XDG_CONFIG_HOME="$work/config" \
    "${program:-$build/src/rxdeck}" "$@" >"$work/rxdeck.out" 2>&1 &
  rxdeck_pid=$!
  pids+=("$rxdeck_pid")
  rxdeck_window="$(xdotool search --sync --onlyvisible --pid "$rxdeck_pid" --name 'Rxdeck' | head -n 1)"
  xdotool windowmove --sync "$rxdeck_window" 0 0
  sleep 0.5
}

# Chooses Serial port > Comm1 with the mouse.
choose_comm1() {
  xdotool mousemove --window "$rxdeck_window" 40 10 click 1
  sleep 0.4
  xdotool mousemove --window "$rxdeck_window" 40 34 click 1
  sleep 0.5
}

# The panel's offset inside the window (the menu bar's height), found as the first
# row of the window whose left edge shows the panel's dark green.
panel_offset() {
  import -window "$rxdeck_window" png:- 2>/dev/null |
    convert png:- -crop 1x80+2+0 txt:- 2>/dev/null |
    awk -F'[,:]' '/#004000/ { print $2; exit }'
}

# Clicks or presses at panel coordinates (pixels), e.g. a control's centre.
panel_click() {
  xdotool mousemove --window "$rxdeck_window" "$1" "$(($2 + offset))" click 1
}
