#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""Clients of Rxdeck's network control: each asks f, m and l STRENGTH every 100 ms
and times every reply. Prints the reply count and latency median and 99th percentile.

With the mode "gpredict" each round is Gpredict's instead: F with the frequency, f, t
and the one-byte get_dcd (0x8B), the frequency moving 1 kHz every round. With "levels"
each round reads every level and function the receiver has, as a remote front end would.

Usage: netcontrol_clients.py PORT SECONDS [CLIENTS] [read|gpredict|levels]
"""
import selectors
import socket
import sys
import time

REQUESTS = [(b"f\n", 1), (b"m\n", 2), (b"l STRENGTH\n", 1)]
GPREDICT = [(None, 1), (b"f\n", 1), (b"t\n", 1), (b"\x8b\n", 1)]
LEVELS = [(b"l %s\n" % name, 1) for name in
          (b"PREAMP", b"ATT", b"RF", b"SQL", b"PBT_IN", b"CWPITCH", b"AGC", b"STRENGTH", b"NB")]
LEVELS.append((b"u NB\n", 1))


class Client:
    def __init__(self, port, start):
        self.sock = socket.create_connection(("127.0.0.1", port))
        self.sock.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
        self.sock.setblocking(False)
        self.next_round = start
        self.step = None  # index into REQUESTS while a round runs
        self.buffer = b""
        self.sent_at = 0
        self.round = 0

    def send(self, latencies, now):
        request, _ = REQUESTS[self.step]
        if request is None:  # Gpredict's set, as it formats it
            request = b"F %10.0f\n" % (7000000 + 1000 * (self.round % 100))
        self.sent_at = time.perf_counter_ns()
        self.sock.sendall(request)

    def receive(self, latencies, errors):
        data = self.sock.recv(4096)
        if not data:
            raise ConnectionError("server closed the connection")
        self.buffer += data
        _, lines = REQUESTS[self.step]
        report = self.buffer.startswith(b"RPRT") and self.buffer.endswith(b"\n")
        failed = report and not self.buffer.startswith(b"RPRT 0\n")
        if self.buffer.count(b"\n") < lines and not report:
            return
        latencies.append(time.perf_counter_ns() - self.sent_at)
        if failed:
            errors[0] += 1
        self.buffer = b""
        self.step += 1
        if self.step == len(REQUESTS):
            self.step = None
            self.round += 1
        else:
            self.send(latencies, None)


def main():
    global REQUESTS
    port, seconds = int(sys.argv[1]), float(sys.argv[2])
    count = int(sys.argv[3]) if len(sys.argv) > 3 else 8
    mode = sys.argv[4] if len(sys.argv) > 4 else "read"
    REQUESTS = {"read": REQUESTS, "gpredict": GPREDICT, "levels": LEVELS}[mode]
    selector = selectors.DefaultSelector()
    start = time.monotonic()
    # Spread the clients over the 100 ms period, as independent programs would be.
    clients = [Client(port, start + i * 0.1 / count) for i in range(count)]
    for c in clients:
        selector.register(c.sock, selectors.EVENT_READ, c)
    latencies, errors = [], [0]
    end = start + seconds
    while True:
        now = time.monotonic()
        if now >= end:
            break
        for c in clients:
            if c.step is None and now >= c.next_round:
                c.next_round += 0.1
                c.step = 0
                c.send(latencies, now)
        timeout = max(0.0, min(c.next_round for c in clients) - time.monotonic())
        for key, _ in selector.select(timeout):
            key.data.receive(latencies, errors)
    latencies.sort()
    if not latencies:
        print("no replies")
        return 1
    median = latencies[len(latencies) // 2] / 1e6
    p99 = latencies[min(len(latencies) - 1, int(len(latencies) * 0.99))] / 1e6
    print(f"{count} clients, {seconds:.0f} s: {len(latencies)} replies "
          f"({len(latencies) / seconds:.0f} per second), {errors[0]} errors; "
          f"latency median {median:.3f} ms, 99th percentile {p99:.3f} ms, "
          f"max {latencies[-1] / 1e6:.3f} ms")
    return 0


if __name__ == "__main__":
    sys.exit(main())
