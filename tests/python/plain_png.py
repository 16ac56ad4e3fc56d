"""A plain PNG decoder for the tests: non-interlaced files of 8- or 16-bit samples, decoded the obvious
way (chunks, zlib, the five row filters), as a twin of the program's libpng reader and writer."""
import struct
import zlib

import numpy as np

CHANNELS = {0: 1, 2: 3, 4: 2, 6: 4}


def _paeth(a, b, c):
    p = a + b - c
    pa, pb, pc = abs(p - a), abs(p - b), abs(p - c)
    return a if pa <= pb and pa <= pc else b if pb <= pc else c


def decode(path):
    """The samples of a PNG file as an array (height, width, channels) of uint8 or uint16."""
    data = open(path, "rb").read()
    assert data[:8] == b"\x89PNG\r\n\x1a\n", "not a PNG file"
    at, idat, header = 8, b"", None
    while at < len(data):
        length, kind = struct.unpack(">I4s", data[at:at + 8])
        body = data[at + 8:at + 8 + length]
        if kind == b"IHDR":
            header = struct.unpack(">IIBBBBB", body)
        elif kind == b"IDAT":
            idat += body
        at += 12 + length
    width, height, depth, colour, _, _, interlace = header
    assert depth in (8, 16) and colour in CHANNELS and interlace == 0, "a PNG file this decoder does not read"
    channels = CHANNELS[colour]
    step = channels * depth // 8
    stride = width * step
    raw = zlib.decompress(idat)
    rows, previous = [], bytearray(stride)
    for y in range(height):
        kind, row = raw[y * (stride + 1)], bytearray(raw[y * (stride + 1) + 1:(y + 1) * (stride + 1)])
        for i in range(stride):
            a = row[i - step] if i >= step else 0
            b = previous[i]
            c = previous[i - step] if i >= step else 0
            row[i] = (row[i] + (0, a, b, (a + b) // 2, _paeth(a, b, c))[kind]) & 0xFF
        rows.append(bytes(row))
        previous = row
    samples = np.frombuffer(b"".join(rows), dtype=">u2" if depth == 16 else np.uint8)
    return samples.reshape(height, width, channels).astype(np.uint16 if depth == 16 else np.uint8)
