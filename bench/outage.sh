#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# A serial server behind a bad path: Rxdeck on socket:// through ser2net on loopback and a
# relay that can hold all traffic (an outage) or delay each piece with jitter.
#   stall: holds everything for 10 s, then for 60 s, with a +1k click 2 s into each; prints
#          how long after the end the first status query reached the receiver, how many
#          lines it got in the first second, and when the click arrived.
#   jitter: 150 +/- 50 ms each way for 60 s; prints the seconds Label1 did not show the
#          frequency (it shows "No serial" then), from screen grabs.
# Usage: bench/outage.sh stall|jitter [program]   (default program: the built tree's;
# needs Xvfb, xdotool, ImageMagick, ser2net, python3)
set -euo pipefail
. "$(dirname "$0")/lib.sh"
mode="${1:-stall}"
program="${2:-$build/src/rxdeck}"
ser2net="$(command -v ser2net || echo /usr/sbin/ser2net)"
start_x

free_port() {
  python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])'
}
now() { date +%s.%N; }

start_sim
server_port="$(free_port)"
relay_port="$(free_port)"
cat >"$work/ser2net.yaml" <<YAML
connection: &raw
  accepter: tcp,127.0.0.1,$server_port
  connector: serialdev,$work/tty,9600n81,local
YAML
"$ser2net" -d -u -c "$work/ser2net.yaml" >"$work/ser2net.out" 2>&1 &
pids+=($!)
sleep 1

# The relay: one connection at a time (a newer one replaces it); while $work/stall exists
# nothing is read, written or connected, and what was held for a replaced connection is lost.
delay=0 jitter=0
[ "$mode" = jitter ] && delay=150 jitter=50
python3 - "$relay_port" "$server_port" "$delay" "$jitter" "$work/stall" 2>/dev/null <<'PY' &
import asyncio, os, random, sys, time
listen, target, delay, jitter, flag = int(sys.argv[1]), int(sys.argv[2]), float(sys.argv[3]), float(sys.argv[4]), sys.argv[5]
current, closers = None, []
async def held():
    while os.path.exists(flag):
        await asyncio.sleep(0.005)
async def pump(me, reader, writer):
    queue, last = asyncio.Queue(), 0.0
    async def send():
        while True:
            due, data = await queue.get()
            await asyncio.sleep(max(0, due - time.monotonic()))
            await held()
            if current is not me: return
            writer.write(data)
    task = asyncio.create_task(send())
    try:
        while True:
            await held()
            data = await reader.read(4096)
            await held()
            if not data or current is not me: break
            last = max(last, time.monotonic() + (delay + random.uniform(-jitter, jitter)) / 1000)
            queue.put_nowait((last, data))
    finally:
        task.cancel(); writer.close()
async def accept(creader, cwriter):
    global current, closers
    await held()
    for w in closers: w.close()
    me = object(); current = me
    sreader, swriter = await asyncio.open_connection("127.0.0.1", target)
    closers = [cwriter, swriter]
    await asyncio.gather(pump(me, creader, swriter), pump(me, sreader, cwriter), return_exceptions=True)
async def main():
    server = await asyncio.start_server(accept, "127.0.0.1", listen)
    await server.serve_forever()
asyncio.run(main())
PY

pids+=($!)
sleep 0.5

start_rxdeck "socket://127.0.0.1:$relay_port"
choose_comm1
sleep 3
offset="$(panel_offset)"

if [ "$mode" = stall ]; then
  for seconds in 10 60; do
    touch "$work/stall"
    sleep 2
    clicked="$(now)"
    panel_click 152 220
    sleep "$((seconds - 2))"
    rm "$work/stall"
    ended="$(now)"
    sleep 5
    awk -v end="$ended" -v click="$clicked" -v s="$seconds" '
      $1 > end && $2 == "FRQ?;DET?;SGV?;BWS?" && !back { back = $1 - end }
      $1 >= end && $1 < end + 1 { first++ }
      $1 > click && $2 ~ /^FRQ[0-9]/ { late = $1 - click }
      END { printf "%d s outage: link back after %.2f s, %d lines in the first second, click %s\n",
                   s, back, first, late ? sprintf("arrived %.2f s after it was made", late) : "never sent" }
    ' "$work/sim.log"
  done
else
  crop="159x97+138+$((8 + offset))"
  end=$((SECONDS + 60))
  while [ "$SECONDS" -lt "$end" ]; do
    printf '%s %s\n' "$(now)" "$(import -window "$rxdeck_window" -crop "$crop" rgb:- 2>/dev/null | md5sum | cut -c1-8)"
  done >"$work/grabs"
  # The picture most grabs show is the frequency; each other grab stands until the next.
  sort -k2 "$work/grabs" | awk '{ print $2 }' | uniq -c | sort -rn | head -n 1 | awk '{ print $2 }' >"$work/usual"
  awk -v usual="$(cat "$work/usual")" '
    NR > 1 && prev != usual { away += $1 - at }
    { at = $1; prev = $2; n++ }
    END { printf "jitter 150 +/- 50 ms: Label1 not showing the frequency for %.1f s of 60 (%d grabs)\n", away, n }
  ' "$work/grabs"
fi
