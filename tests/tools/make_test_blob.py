#!/usr/bin/env python3
"""Writes SIZE bytes of a fixed pseudo-random pattern to PATH (no two chunks alike)."""
import random
import sys

path, size = sys.argv[1], int(sys.argv[2])
with open(path, "wb") as f:
    f.write(random.Random(0x6B6F7661).randbytes(size))
