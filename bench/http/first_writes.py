#!/usr/bin/env python3
"""Times the first block write of each write session against the writes after it, over
one keep-alive connection, as a card writes a file after a quiet spell.

Each round waits out the share's version gap (GAP seconds, plus a quarter of a second),
so the next write begins a new session and keeps a version; it then writes one block at a
random place (the session's first write) and LATER blocks after it, one after the other.
Every write is a 512-byte PUT with the card's Content-Range, timed from before it is sent
to the end of its answer.

usage: first_writes.py PORT PATH SIZE ROUNDS GAP [LATER]
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


def main():
    port, path, size = int(sys.argv[1]), sys.argv[2], int(sys.argv[3])
    rounds, gap = int(sys.argv[4]), float(sys.argv[5])
    later_count = int(sys.argv[6]) if len(sys.argv) > 6 else 20
    sock = socket.create_connection(("127.0.0.1", port), timeout=10)
    sock.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
    body = bytes(random.randrange(256) for _ in range(512))
    first, later, bad = [], [], 0
    for _ in range(rounds):
        time.sleep(gap + 0.25)
        for n in range(1 + later_count):
            us, ok = put(sock, port, path, size, random.randrange(size // 512), body)
            bad += not ok
            (later if n else first).append(us)
    print(f"BENCH first_p50_us={percentile(first, 50)} first_p99_us={percentile(first, 99)} "
          f"first_max_us={max(first)} later_p50_us={percentile(later, 50)} "
          f"later_p99_us={percentile(later, 99)} later_max_us={max(later)} "
          f"first_n={len(first)} later_n={len(later)} bad={bad}")


if __name__ == "__main__":
    main()
