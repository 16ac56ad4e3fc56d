#!/usr/bin/env python3
"""Writes the corpus of odd and broken BMP files that tests/image/bmp_corpus_test.cpp runs through texsynth.

Usage: scripts/make-bmp-corpus.py [output-folder]   (default: tests/corpus/bmp)

The files are committed, so neither the tests nor CI need this script or ImageMagick; run it again only to
change the corpus, and update the table in the test to match. Everything is derived from one picture, a
17 x 13 crop of demo/cork.bmp (CC0): 17 pixels make 51 bytes a row, so every row carries one padding byte.

Two kinds of file:
  * written by a real tool, ImageMagick's convert (/usr/bin/convert; an earlier `convert` on the PATH may
    be something else), in the variants real files come in: other depths, palettes, RLE, bigger headers;
  * made here by hand, by changing a few bytes of the plain 24-bit file, for what no tool writes on purpose:
    truncations, impossible sizes, offsets that point nowhere.
"""

import os
import shutil
import struct
import subprocess
import sys
import tempfile

CONVERT = "/usr/bin/convert"
ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
WIDTH, HEIGHT = 17, 13


def convert(*arguments):
    subprocess.run([CONVERT, *arguments], check=True)


def put(data, offset, fmt, *values):
    """Returns `data` with struct `fmt` values stored at `offset` (little-endian)."""
    data = bytearray(data)
    struct.pack_into("<" + fmt, data, offset, *values)
    return bytes(data)


def rows(plain):
    """The stored rows of the plain 24-bit file (bottom row first), each with its padding."""
    stride = (WIDTH * 3 + 3) & ~3
    return [plain[54 + r * stride:54 + (r + 1) * stride] for r in range(HEIGHT)]


def with_header(plain, info_bytes, gap=b""):
    """The plain file's pixels behind an info header of `info_bytes` bytes (the extra bytes zero) and `gap`."""
    info = plain[14:54] + bytes(info_bytes - 40)
    info = put(info, 0, "I", info_bytes)
    offset = 14 + info_bytes + len(gap)
    pixels = plain[54:]
    header = b"BM" + struct.pack("<IHHI", offset + len(pixels), 0, 0, offset)
    return header + info + gap + pixels


def main():
    out = sys.argv[1] if len(sys.argv) > 1 else os.path.join(ROOT, "tests", "corpus", "bmp")
    os.makedirs(out, exist_ok=True)
    for name in os.listdir(out):
        if name.endswith(".bmp"):
            os.remove(os.path.join(out, name))
    work = tempfile.mkdtemp()
    try:
        source = os.path.join(work, "source.png")
        convert(os.path.join(ROOT, "demo", "cork.bmp"), "-crop", f"{WIDTH}x{HEIGHT}+40+40", "+repage", source)

        def written(kind, name, *options):
            convert(source, *options, kind + ":" + os.path.join(out, name))

        # Written by the tool. The twin every readable file is compared with: 24 bits, 40-byte info header,
        # pixels at byte 54.
        written("BMP3", "plain-24.bmp", "-type", "TrueColor")
        # The same pixels behind a 124-byte BITMAPV5HEADER, pixels at byte 138: what editors usually write.
        written("BMP", "v5-header-24.bmp", "-type", "TrueColor")
        # 32 bits with alpha: V5 header with bit-field masks, and the plain header with no compression.
        written("BMP", "alpha-32-v5.bmp", "-alpha", "set")
        written("BMP3", "alpha-32.bmp", "-alpha", "set", "-define", "bmp3:alpha=true")
        # 16 bits, 5-6-5 bit fields.
        written("BMP", "rgb565-16.bmp", "-type", "TrueColor", "-define", "bmp:subtype=RGB565")
        # Palettes: 8, 4 and 1 bits, uncompressed; 8 bits run-length encoded; 8 bits behind a V5 header.
        written("BMP3", "palette-8.bmp", "-type", "Palette", "-compress", "None")
        written("BMP", "palette-8-v5.bmp", "-type", "Palette", "-compress", "None")
        written("BMP3", "rle-8.bmp", "-type", "Palette", "-compress", "RLE")
        written("BMP3", "palette-4.bmp", "-colors", "12", "-type", "Palette", "-compress", "None")
        written("BMP3", "mono-1.bmp", "-monochrome", "-compress", "None")
        # The old OS/2 layout: a 12-byte core header.
        written("BMP2", "os2-core-header.bmp", "-type", "TrueColor")
        # Other formats under a .bmp name.
        written("PNG", "png-renamed.bmp")
        written("JPEG", "jpeg-renamed.bmp")
        written("GIF", "gif-renamed.bmp")

        with open(os.path.join(out, "plain-24.bmp"), "rb") as f:
            plain = f.read()
        assert plain[14:18] == struct.pack("<I", 40) and plain[10:14] == struct.pack("<I", 54)

        def made(name, data):
            with open(os.path.join(out, name), "wb") as f:
                f.write(data)

        # Made by hand, read correctly: the same pixels as plain-24.bmp.
        # A 108-byte BITMAPV4HEADER, pixels at byte 122.
        made("v4-header-24.bmp", with_header(plain, 108))
        # A colour table the file does not need (4 entries, counted in biClrUsed) between header and pixels.
        made("colour-table-24.bmp", put(with_header(plain, 40, bytes(range(16))), 46, "I", 4))
        # Rows stored top-down, as a negative height says.
        made("top-down-24.bmp", put(plain[:54], 22, "i", -HEIGHT) + b"".join(reversed(rows(plain))))
        # The padding after the last row left out.
        made("no-last-padding-24.bmp", plain[:-1])
        # Bytes after the pixels.
        made("trailing-bytes-24.bmp", plain + b"\x00\xff" * 50)
        # The file size and image size fields 0, as some writers leave them.
        made("size-fields-zero-24.bmp", put(put(plain, 2, "I", 0), 34, "I", 0))
        # A pixel offset of 0 with the plain header: the rows follow the header.
        made("offset-zero-24.bmp", put(plain, 10, "I", 0))

        # Made by hand, refused.
        made("empty.bmp", b"")
        made("one-byte.bmp", b"B")
        made("signature-only.bmp", b"BM")
        made("header-cut.bmp", plain[:30])
        made("header-only.bmp", plain[:54])
        made("pixels-cut.bmp", plain[:54 + len(plain[54:]) // 2])
        made("last-row-short.bmp", plain[:-2])  # the padding and one pixel byte of the last row
        made("not-bmp-signature.bmp", b"BA" + plain[2:])  # an OS/2 bitmap array
        made("text.bmp", b"this is not a picture\n")
        made("all-ff.bmp", b"\xff" * 200)
        made("info-size-zero.bmp", put(plain, 14, "I", 0))
        made("info-size-huge.bmp", put(plain, 14, "I", 0xFFFFFFFF))
        made("bits-0.bmp", put(plain, 28, "H", 0))
        made("bits-48.bmp", put(plain, 28, "H", 48))
        made("compression-bitfields-24.bmp", put(plain, 30, "I", 3))
        made("compression-png-24.bmp", put(plain, 30, "I", 5))
        made("width-zero.bmp", put(plain, 18, "i", 0))
        made("width-negative.bmp", put(plain, 18, "i", -WIDTH))
        made("height-zero.bmp", put(plain, 22, "i", 0))
        made("height-most-negative.bmp", put(plain, 22, "i", -2**31))
        made("claims-100000x100000.bmp", put(plain, 18, "ii", 100000, 100000))
        made("claims-65536x65536.bmp", put(plain, 18, "ii", 65536, 65536))  # 2^32 pixels
        # Rows wider than any buffer: 2^31 - 1 pixels; 3 x width just past 2^32 (2 in 32-bit arithmetic);
        # 3 x width + 3 past 2^32 (a 32-bit padded stride of 0).
        made("row-too-wide.bmp", put(plain, 18, "ii", 0x7FFFFFFF, 1))
        made("row-bytes-wrap.bmp", put(plain, 18, "ii", 0x55555556, 1))
        made("row-stride-wraps.bmp", put(plain, 18, "ii", 0x55555555, 1))
        made("offset-past-end.bmp", put(plain, 10, "I", 0xFFFFFFFF))
        made("offset-at-end.bmp", put(plain, 10, "I", len(plain)))
        made("offset-inside-v5-header.bmp", put(with_header(plain, 124), 10, "I", 54))
    finally:
        shutil.rmtree(work)


if __name__ == "__main__":
    main()
