#!/usr/bin/env python3
"""Reads random 512-byte blocks of an image over one keep-alive connection at a steady
pace, the way a card reads a mounted drive, for SECONDS; prints one line of figures.

Each latency counts from the moment its read was due, not from when it was sent: a
server that stalls for 200 ms delays every read due meanwhile, and all of them count.
(A closed-loop tool such as wrk waits too, and so records only the one read it was
waiting for: a stall of a quarter second every half second hardly moves its p99.)

usage: paced_reads.py PORT PATH SIZE SECONDS [READS_PER_SECOND]
"""
import random
import socket
import sys
import time

from idle_connections import read_answer


def percentile(values, p):
    ordered = sorted(values)
    return ordered[min(len(ordered) - 1, int(len(ordered) * p / 100))] if ordered else 0


def main():
    port, path, size, seconds = int(sys.argv[1]), sys.argv[2], int(sys.argv[3]), float(sys.argv[4])
    rate = float(sys.argv[5]) if len(sys.argv) > 5 else 500.0
    sock = socket.create_connection(("127.0.0.1", port), timeout=10)
    sock.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
    latencies, bad = [], 0
    start = time.monotonic()
    for n in range(int(seconds * rate)):
        due = start + n / rate
        wait = due - time.monotonic()
        if wait > 0:
            time.sleep(wait)
        first = random.randrange(size // 512) * 512
        sock.sendall(f"GET {path} HTTP/1.1\r\nHost: 127.0.0.1:{port}\r\n"
                     f"Range: bytes={first}-{first + 511}\r\n\r\n".encode())
        bad += b" 206 " not in read_answer(sock)
        latencies.append(time.monotonic() - due)
    duration = time.monotonic() - start
    us = [int(x * 1e6) for x in latencies]
    print(f"BENCH requests={len(us)} duration_us={int(duration * 1e6)} bytes={len(us) * 512} "
          f"p50_us={percentile(us, 50)} p99_us={percentile(us, 99)} "
          f"p999_us={percentile(us, 99.9)} max_us={max(us, default=0)} bad={bad}")


if __name__ == "__main__":
    main()
