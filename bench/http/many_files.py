#!/usr/bin/env python3
"""Adds COUNT files to a library folder, spread over fifty folders: a third disk images
(ProDOS volumes of 140 KB, 800 KB and 32 MB whose first 16 KB hold a volume directory,
the rest a hole), two thirds small files no catalog takes (the mix of bench/scan). Files
that would start a conversion (audio, pictures) are left out: the benchmark measures
rescans, not converters.

usage: many_files.py FOLDER [COUNT]
"""
import os
import struct
import sys

TOP = ["Adventure", "Arcade", "Business", "Demos", "Education",
       "Graphics", "Music", "Puzzle", "Sports", "Utilities"]
KINDS = [("po", 280), ("po", 1600), ("hdv", 65535)]  # extension, blocks
HEAD = 16384  # what the probe reads of an image


def leaf(n):
    return os.path.join(TOP[n % 50 // 5], f"Disk Set {n % 5 + 1}")


def volume_head(n, blocks):
    """Blocks 0 to 31 of a ProDOS volume: a boot block, the volume directory key block
    with its header and one file entry, every other byte zero."""
    head = bytearray(HEAD)
    head[0] = 0x01  # boot code follows
    name = f"VOL{n}".encode()
    entry = 1024 + 4
    head[entry] = 0xF0 | len(name)
    head[entry + 1:entry + 1 + len(name)] = name
    head[entry + 0x1F] = 0x27  # entry length
    head[entry + 0x20] = 0x0D  # entries per block
    head[entry + 0x21:entry + 0x23] = struct.pack("<H", 1)  # file count
    head[entry + 0x23:entry + 0x25] = struct.pack("<H", 6)  # bitmap pointer
    head[entry + 0x25:entry + 0x27] = struct.pack("<H", blocks)
    file_entry = entry + 0x27
    system = b"PRODOS" if n % 2 == 0 else b"STARTUP"
    head[file_entry] = 0x10 | len(system)
    head[file_entry + 1:file_entry + 1 + len(system)] = system
    head[file_entry + 0x10] = 0xFF if n % 2 == 0 else 0xFC
    return bytes(head)


def main():
    root = sys.argv[1]
    count = int(sys.argv[2]) if len(sys.argv) > 2 else 20000
    for n in range(50):
        os.makedirs(os.path.join(root, leaf(n)), exist_ok=True)
    images = count // 3
    for n in range(images):
        ext, blocks = KINDS[n % len(KINDS)]
        path = os.path.join(root, leaf(n), f"Title_{n:05d}.{ext}")
        with open(path, "wb") as out:
            out.write(volume_head(n, blocks))
            out.truncate(blocks * 512)
    for n in range(count - images):
        path = os.path.join(root, leaf(n * 7), f"Extra {n:05d}.txt")
        with open(path, "w") as out:
            out.write(f"file {n}\n")


if __name__ == "__main__":
    main()
