#!/usr/bin/env python3
"""Writes the seed corpus of packtool-fuzz into corpus/.

Each seed is one frame byte (see packtool_fuzz.cpp) and the bytes that follow
the launcher image: a package header and its segments, whole or broken.
Run it again only when the seeds should change; the files are kept in the tree.
"""
import os
import struct

HERE = os.path.dirname(os.path.abspath(__file__))
PLAYER = bytes((i * 7) & 0xFF for i in range(17408))


def header(music=0, projector=0, song=0, placement=0, x=0, y=0, maximize=0,
           title=b"", reserved=b"\0" * 13):
    fixed = struct.pack("<BIIBBBiiB", music, projector, song, reserved[0], reserved[1],
                        placement, x, y, maximize)
    fixed += reserved[2:13]  # offsets 21..31
    return fixed + title.ljust(256, b"\0")[:256]


def frame(kind, code_page=0):
    return bytes([kind | (code_page << 2)])


SEEDS = {
    "six-no-music": frame(1) + header(projector=16, title=b"Seed") + b"P" * 16,
    "nine-once": frame(2) + header(music=1, projector=8, song=4, title=b"Once")
                 + b"P" * 8 + b"MThd" + PLAYER,
    "six-loop-cut-in-player": frame(1) + header(music=2, projector=8, song=4, placement=2, x=-1, y=5)
                              + b"P" * 8 + b"MThd" + PLAYER[:1000],
    "no-launcher-short": frame(0) + bytes(range(256)) + bytes(44),
    "forced-title-without-nul": frame(3) + header(projector=1, title=b"A" * 256) + b"P",
    "huge-projector-length": frame(1) + header(projector=0xFFFFFFFF, maximize=1),
    "zero-song": frame(2) + header(music=255, projector=4, song=0) + b"PPPP" + PLAYER,
    "cp1251-title-reserved": frame(1, 2) + header(projector=2, placement=7, title=bytes(range(0xC0, 0xE0)),
                                                 reserved=bytes(range(1, 14))) + b"PP" + b"trailing",
    "header-cut": frame(1) + header(projector=3)[:100],
}

os.makedirs(os.path.join(HERE, "corpus"), exist_ok=True)
for name, data in SEEDS.items():
    with open(os.path.join(HERE, "corpus", name), "wb") as out:
        out.write(data)
