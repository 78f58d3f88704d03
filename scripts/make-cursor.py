#!/usr/bin/env python3
"""Writes assets/HAND-M.CUR (or the file named on the command line), the pointer both programs
show over the main window's buttons: a pointing hand, 32 x 32, 32 bits with alpha plus an AND
mask, hotspot at the tip of the finger. The output is committed; rerun after a change."""
import os
import struct
import sys

ART = [
    "      ##                        ",
    "     #..#                       ",
    "     #..#                       ",
    "     #..#                       ",
    "     #..#                       ",
    "     #..###                     ",
    "     #..#..###                  ",
    "     #..#..#..##                ",
    "     #..#..#..#.#               ",
    " ### #..#..#..#..#              ",
    " #..##........#..#              ",
    " #...#...........#              ",
    "  #..#...........#              ",
    "   #.............#              ",
    "   #.............#              ",
    "    #...........#               ",
    "    #...........#               ",
    "     #.........#                ",
    "     #.........#                ",
    "     ###########                ",
]
W = H = 32
HOT = (6, 0)


def main(out):
    rows = [r.ljust(W) for r in ART] + [" " * W] * (H - len(ART))
    xor = bytearray()
    mask = bytearray()
    for row in reversed(rows):  # bottom-up
        bits = 0
        for x, ch in enumerate(row):
            if ch == "#":
                xor += bytes((0, 0, 0, 255))
            elif ch == ".":
                xor += bytes((255, 255, 255, 255))
            else:
                xor += bytes((0, 0, 0, 0))
                bits |= 1 << (31 - x)
        mask += struct.pack(">I", bits)
    header = struct.pack("<IiiHHIIiiII", 40, W, H * 2, 1, 32, 0, len(xor) + len(mask), 0, 0, 0, 0)
    image = header + xor + mask
    directory = struct.pack("<HHH", 0, 2, 1)
    entry = struct.pack("<BBBBHHII", W, H, 0, 0, HOT[0], HOT[1], len(image), 6 + 16)
    with open(out, "wb") as f:
        f.write(directory + entry + image)


if __name__ == "__main__":
    default = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "assets", "HAND-M.CUR")
    main(sys.argv[1] if len(sys.argv) > 1 else default)
