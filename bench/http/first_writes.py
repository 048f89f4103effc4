#!/usr/bin/env python3
"""Times the first block write of each write session against the writes after it, over
one keep-alive connection per share, as a card writes a file after a quiet spell.

Each round waits out the shares' version gap (GAP seconds, plus a quarter of a second),
so the next write begins a new session and keeps a version; it then writes one block at a
random place (the session's first write) and LATER blocks after it, one after the other.
With several PORTs the rounds take turns between the shares, so that all of them meet the
same spells of noise from the rest of the machine. Every write is a 512-byte PUT with the
card's Content-Range, timed from before it is sent to the end of its answer. One line of
figures per port.

usage: first_writes.py PATH SIZE ROUNDS GAP LATER PORT...
"""
import random
import socket
import sys
import time

from idle_connections import read_answer


def percentile(values, p):
    ordered = sorted(values)
    return ordered[min(len(ordered) - 1, int(len(ordered) * p / 100))] if ordered else 0


def put(sock, port, path, size, block, body):
    start = block * 512
    began = time.monotonic()
    sock.sendall(f"PUT {path} HTTP/1.1\r\nHost: 127.0.0.1:{port}\r\n"
                 f"Content-Range: bytes {start}-{start + 511}/{size}\r\n"
                 f"Content-Length: 512\r\n\r\n".encode() + body)
    ok = b" 200 " in read_answer(sock)
    return int((time.monotonic() - began) * 1e6), ok


def session(sock, port, path, size, later_count, body, first, later):
    bad = 0
    for n in range(1 + later_count):
        us, ok = put(sock, port, path, size, random.randrange(size // 512), body)
        bad += not ok
        (later if n else first).append(us)
    return bad


def main():
    path, size, rounds = sys.argv[1], int(sys.argv[2]), int(sys.argv[3])
    gap, later_count = float(sys.argv[4]), int(sys.argv[5])
    ports = [int(p) for p in sys.argv[6:]]
    socks = []
    for port in ports:
        sock = socket.create_connection(("127.0.0.1", port), timeout=10)
        sock.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
        socks.append(sock)
    body = bytes(random.randrange(256) for _ in range(512))
    figures = [([], [], [0]) for _ in ports]
    for _ in range(rounds):
        for port, sock, (first, later, bad) in zip(ports, socks, figures):
            time.sleep(gap + 0.25)
            bad[0] += session(sock, port, path, size, later_count, body, first, later)
    for port, (first, later, bad) in zip(ports, figures):
        print(f"BENCH port={port} first_p50_us={percentile(first, 50)} "
              f"first_p99_us={percentile(first, 99)} first_max_us={max(first)} "
              f"later_p50_us={percentile(later, 50)} later_p99_us={percentile(later, 99)} "
              f"later_max_us={max(later)} first_n={len(first)} later_n={len(later)} bad={bad[0]}")


if __name__ == "__main__":
    main()
