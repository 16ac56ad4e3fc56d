#!/usr/bin/python3
"""Block pattern figures of a BMP: for blocks of 2 and 4 pixels, the mean absolute step (over R, G, B) across
the block edges (x to x + 1 where x + 1 is a multiple of the block size, likewise rows) divided by the mean
step inside the blocks. Near 1: no block pattern. Prints block_ratio_2=... block_ratio_4=...
Usage: bench/block-ratio.py IMAGE.bmp"""
import sys

import numpy as np
from PIL import Image


def ratio(image, block):
    a = image.astype(np.int32)
    dx = np.abs(a[:, 1:] - a[:, :-1]).mean(axis=(0, 2))  # step from column x to x + 1
    dy = np.abs(a[1:] - a[:-1]).mean(axis=(1, 2))
    def split(steps):
        x = np.arange(len(steps))
        edge = (x + 1) % block == 0
        return steps[edge], steps[~edge]
    ex, ix = split(dx)
    ey, iy = split(dy)
    across = np.concatenate([ex, ey]).mean()
    inside = np.concatenate([ix, iy]).mean()
    return across / inside


image = np.asarray(Image.open(sys.argv[1]).convert("RGB"))
print(f"block_ratio_2={ratio(image, 2):.3f} block_ratio_4={ratio(image, 4):.3f}")
