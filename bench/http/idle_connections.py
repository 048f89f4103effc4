#!/usr/bin/env python3
"""Opens COUNT keep-alive connections to a server on loopback, sends one block read on
each and reads its answer, then holds them all idle for HOLD seconds (or until it is
terminated), so the server's resident memory can be read meanwhile.

usage: idle_connections.py PORT PATH [COUNT] [HOLD]
"""
import socket
import sys
import time


def read_answer(sock):
    data = b""
    while b"\r\n\r\n" not in data:
        chunk = sock.recv(65536)
        if not chunk:
            raise ConnectionError("closed before the answer's head")
        data += chunk
    head, _, body = data.partition(b"\r\n\r\n")
    length = 0
    for line in head.split(b"\r\n")[1:]:
        name, _, value = line.partition(b":")
        if name.strip().lower() == b"content-length":
            length = int(value)
    while len(body) < length:
        chunk = sock.recv(65536)
        if not chunk:
            raise ConnectionError("closed inside the answer's body")
        body += chunk
    return head.split(b"\r\n")[0]


def main():
    port, path = int(sys.argv[1]), sys.argv[2]
    count = int(sys.argv[3]) if len(sys.argv) > 3 else 1000
    hold = float(sys.argv[4]) if len(sys.argv) > 4 else 60.0
    request = (f"GET {path} HTTP/1.1\r\nHost: 127.0.0.1:{port}\r\n"
               "Range: bytes=0-511\r\nConnection: keep-alive\r\n\r\n").encode()
    held = []
    for _ in range(count):
        sock = socket.create_connection(("127.0.0.1", port), timeout=10)
        sock.sendall(request)
        status = read_answer(sock)
        if b" 206 " not in status:
            sys.exit(f"unexpected answer: {status!r}")
        held.append(sock)
    print(f"ready {len(held)}", flush=True)
    time.sleep(hold)
    for sock in held:
        sock.close()


if __name__ == "__main__":
    main()
