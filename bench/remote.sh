#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Serial lines on the network: three copies of Rxdeck poll their own simulated receiver side
# by side, one on a local pseudo-terminal, one through ser2net on loopback raw (socket://) and
# one through ser2net with telnet and RFC 2217 (rfc2217://). Prints each one's poll spacing as
# the receiver sees it and its CPU, and ser2net's CPU. Then stops ser2net and starts it again,
# a few times, and prints how long after each start the link was back (settings query, then
# the first status query at the receiver).
# Usage: bench/remote.sh [seconds] [restarts]   (defaults 60 and 5; needs a built tree, Xvfb,
# xdotool, ser2net)
set -euo pipefail
. "$(dirname "$0")/lib.sh"
seconds="${1:-60}"
restarts="${2:-5}"
ser2net="$(command -v ser2net || echo /usr/sbin/ser2net)"
[ -x "$ser2net" ] || { echo "ser2net is not installed" >&2; exit 1; }

start_x

free_port() {
  python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])'
}

start_sim_named() {
  "$build/tools/rxdeck-sim" --seed 1 --link "$work/$1.tty" --log "$work/$1.log" >/dev/null &
  pids+=($!)
  for _ in $(seq 50); do [ -e "$work/$1.tty" ] && break; sleep 0.1; done
}

for name in local raw rfc2217; do start_sim_named "$name"; done
raw_port="$(free_port)"
rfc_port="$(free_port)"
cat >"$work/ser2net.yaml" <<YAML
connection: &raw
  accepter: tcp,127.0.0.1,$raw_port
  connector: serialdev,$work/raw.tty,9600n81,local
connection: &rfc2217
  accepter: telnet(rfc2217),tcp,127.0.0.1,$rfc_port
  connector: serialdev,$work/rfc2217.tty,9600n81,local
YAML

accepting() { (exec 3<>"/dev/tcp/127.0.0.1/$1") 2>/dev/null; }

start_ser2net() {
  "$ser2net" -d -u -c "$work/ser2net.yaml" >>"$work/ser2net.out" 2>&1 &
  ser2net_pid=$!
  pids+=("$ser2net_pid")
  for _ in $(seq 100); do accepting "$raw_port" && accepting "$rfc_port" && return; sleep 0.05; done
  echo "ser2net did not start" >&2
  exit 1
}

# start_program NAME DEVICE: Rxdeck with Comm1 on DEVICE and Comm1 chosen; pid in NAME_pid.
start_program() {
  XDG_DATA_HOME="$work/$1.data" RXDECK_COMM1="$2" "$build/src/rxdeck" >"$work/$1.out" 2>&1 &
  local pid=$!
  pids+=("$pid")
  local window
  window="$(xdotool search --sync --onlyvisible --pid "$pid" --name 'Rxdeck' | head -n 1)"
  xdotool windowmove --sync "$window" 0 0
  sleep 0.5
  # A click the busy machine loses is tried again, until the receiver hears the query.
  for _ in 1 2 3; do
    xdotool mousemove --window "$window" 40 10 click 1
    sleep 0.4
    xdotool mousemove --window "$window" 40 34 click 1
    sleep 2
    grep -q '^[0-9.]* RFP?' "$work/$1.log" 2>/dev/null && break
  done
  xdotool windowminimize "$window" 2>/dev/null || true
  printf -v "${1}_pid" '%s' "$pid"
}

start_ser2net
start_program local "$work/local.tty"
start_program raw "socket://127.0.0.1:$raw_port"
start_program rfc2217 "rfc2217://127.0.0.1:$rfc_port"
sleep 2 # the snapshots finish and the polls settle
for name in local raw rfc2217; do
  grep -q 'FRQ?;DET?;SGV?;BWS?' "$work/$name.log" || { echo "$name is not polling" >&2; exit 1; }
done

from="$(date +%s.%N)"
declare -A before
for name in local raw rfc2217; do pid_var="${name}_pid"; before[$name]="$(cpu_seconds "${!pid_var}")"; done
before[ser2net]="$(cpu_seconds "$ser2net_pid")"
sleep "$seconds"
to="$(date +%s.%N)"

echo "Over $seconds s, poll spacing at the receiver (ms) and CPU (% of one core):"
for name in local raw rfc2217; do
  pid_var="${name}_pid"
  cpu="$(cpu_seconds "${!pid_var}")"
  awk -v from="$from" -v to="$to" '
    $2 == "FRQ?;DET?;SGV?;BWS?" && $1 >= from && $1 <= to {
      if (last) printf "%.3f\n", 1000 * ($1 - last)
      last = $1
    }' "$work/$name.log" | sort -n |
    awk -v c0="${before[$name]}" -v c1="$cpu" -v s="$seconds" -v name="$name" '
      { gaps[++n] = $1; sum += $1 }
      END {
        printf "  %-8s polls %d  mean %.1f  median %.1f  p99 %.1f  max %.1f  CPU %.3f%%\n",
          name, n + 1, sum / n, gaps[int((n + 1) / 2)], gaps[int(n * 0.99 + 0.5)], gaps[n],
          100 * (c1 - c0) / s
      }'
done
awk -v c0="${before[ser2net]}" -v c1="$(cpu_seconds "$ser2net_pid")" -v s="$seconds" \
    'BEGIN { printf "  ser2net  CPU %.3f%% (both connections)\n", 100 * (c1 - c0) / s }'

echo "ser2net stopped for 3 s, then started again; time from the start until (ms):"
for run in $(seq "$restarts"); do
  kill "$ser2net_pid"
  wait "$ser2net_pid" 2>/dev/null || true
  sleep 3
  started="$(date +%s.%N)"
  start_ser2net
  listening="$(date +%s.%N)"
  sleep 3
  for name in raw rfc2217; do
    awk -v t="$started" -v l="$listening" -v name="$name" -v run="$run" '
      $1 > t && $2 ~ /^RFP\?/ && !q { q = $1 }
      $1 > t && $2 == "FRQ?;DET?;SGV?;BWS?" && !p { p = $1 }
      END {
        printf "  run %d %-8s listening %.0f  settings query %.0f  first poll %.0f\n",
          run, name, 1000 * (l - t), 1000 * (q - t), 1000 * (p - t)
      }' "$work/$name.log"
  done
done
