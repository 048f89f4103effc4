#!/usr/bin/env python3
"""Writes a 140 KB ProDOS volume twice: NAME.po in ProDOS order and NAME.dsk in DOS 3.3
sector order, both of random bytes (a misplaced sector cannot pass for correct) around a
volume directory key block at block 2, which is what makes the share take the .dsk.

usage: dos_disk.py FOLDER NAME
"""
import os
import sys

# Where each 256-byte sector of a track lies on the physical track, as ProDOS and DOS 3.3
# count them.
PRODOS_SKEW = [0, 2, 4, 6, 8, 10, 12, 14, 1, 3, 5, 7, 9, 11, 13, 15]
DOS_SKEW = [0, 13, 11, 9, 7, 5, 3, 1, 14, 12, 10, 8, 6, 4, 2, 15]


def volume():
    disk = bytearray(os.urandom(143360))
    key = bytearray(512)
    key[4] = 0xF0 | 5
    key[5:10] = b"BENCH"
    key[0x23] = 0x27
    key[0x24] = 13
    disk[1024:1536] = key
    return bytes(disk)


def dos_ordered(prodos):
    dos = bytearray(len(prodos))
    for track in range(35):
        for sector in range(16):
            to = track * 4096 + DOS_SKEW.index(PRODOS_SKEW[sector]) * 256
            at = track * 4096 + sector * 256
            dos[to:to + 256] = prodos[at:at + 256]
    return bytes(dos)


def main():
    folder, name = sys.argv[1], sys.argv[2]
    prodos = volume()
    with open(os.path.join(folder, name + ".po"), "wb") as out:
        out.write(prodos)
    with open(os.path.join(folder, name + ".dsk"), "wb") as out:
        out.write(dos_ordered(prodos))


if __name__ == "__main__":
    main()
