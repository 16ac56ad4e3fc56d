#!/usr/bin/env python3
"""Writes the corpus of odd and broken PNG and JPEG files, and of files in formats texsynth does not read, that
tests/image/image_corpus_test.cpp runs through texsynth.

Usage: scripts/make-image-corpus.py [corpus-folder]   (default: tests/corpus)

Writes <corpus>/png/, <corpus>/jpeg/ and <corpus>/other/, and for every plain file (one the test compares the
others with) its twin in <corpus>/twins/<folder>/: <name>.bmp, its colours as a 24-bit BMP, and for files with
alpha <name>.alpha, the alpha samples as raw bytes, both written by ImageMagick. The files are committed, so
neither the tests nor CI need this script or its tools; run it again only to change the corpus, and update the
tables in the test to match.

Tools: ImageMagick's convert (/usr/bin/convert; an earlier `convert` on the PATH may be something else),
libjpeg-turbo's jpegtran, cjpeg and djpeg (Debian: libjpeg-turbo-progs), Pillow (python3-pil), and an ICC
profile from Ghostscript (libgs10-common). Everything comes from one picture, a 17 x 13 crop of demo/cork.bmp
(CC0), as in scripts/make-bmp-corpus.py; 17 and 13 are no multiples of 8, so every JPEG has partial blocks.

Three kinds of file:
  * written by real tools in the variants real files come in: ImageMagick, Pillow, jpegtran's lossless
    rewrites (progressive, restart markers, arithmetic coding), which keep every DCT coefficient;
  * PNG files written here by a small encoder, for every colour type, bit depth, interlacing and chunk the
    format has, with exactly the samples chosen;
  * broken files, made here by changing a few bytes of a good one: truncations, bad checksums, impossible
    sizes.

The script checks what it claims: every file that must read like a plain one decodes to the same pixels in
ImageMagick, and every JPEG twin is also what djpeg and Pillow decode (all three use libjpeg-turbo's defaults).
"""

import glob
import io
import os
import random
import shutil
import struct
import subprocess
import sys
import tempfile
import zlib

from PIL import Image

CONVERT = "/usr/bin/convert"
ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
WIDTH, HEIGHT = 17, 13
PNG_SIGNATURE = b"\x89PNG\r\n\x1a\n"


def run(*arguments, stdin=None):
    return subprocess.run(arguments, check=True, input=stdin, stdout=subprocess.PIPE).stdout


def convert(*arguments):
    return run(CONVERT, *arguments)


# PNG, by hand ---------------------------------------------------------------------------------------------------

def chunk(kind, data):
    return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))


def pack_row(samples, depth):
    """One row of samples as PNG stores them: big-endian, below 8 bits packed from the high bits down."""
    if depth == 16:
        return b"".join(struct.pack(">H", s) for s in samples)
    if depth == 8:
        return bytes(samples)
    per_byte = 8 // depth
    packed = bytearray()
    for i in range(0, len(samples), per_byte):
        byte = 0
        group = samples[i:i + per_byte]
        for j, s in enumerate(group):
            byte |= s << (8 - depth * (j + 1))
        packed.append(byte)
    return bytes(packed)


def paeth(a, b, c):
    p = a + b - c
    pa, pb, pc = abs(p - a), abs(p - b), abs(p - c)
    if pa <= pb and pa <= pc:
        return a
    return b if pb <= pc else c


def filtered(rows, bytes_per_pixel, filters):
    """The rows with a filter byte each; `filters` gives each row's filter type (0 to 4)."""
    out = bytearray()
    previous = bytes(len(rows[0])) if rows else b""
    for y, row in enumerate(rows):
        kind = filters[y % len(filters)]
        out.append(kind)
        for x, value in enumerate(row):
            a = row[x - bytes_per_pixel] if x >= bytes_per_pixel else 0
            b = previous[x]
            c = previous[x - bytes_per_pixel] if x >= bytes_per_pixel else 0
            predictor = [0, a, b, (a + b) // 2, paeth(a, b, c)][kind]
            out.append((value - predictor) & 0xFF)
        previous = row
    return bytes(out)


ADAM7 = [(0, 0, 8, 8), (4, 0, 8, 8), (0, 4, 4, 8), (2, 0, 4, 4), (0, 2, 2, 4), (1, 0, 2, 2), (0, 1, 1, 2)]


def image_data(pixels, width, height, channels, depth, interlaced, filters):
    """The uncompressed image data: rows (or Adam7's passes of rows) with their filter bytes."""
    bytes_per_pixel = max(1, channels * depth // 8)

    def rows_of(xs, ys):
        return [pack_row([s for x in xs for s in pixels[y][x * channels:(x + 1) * channels]], depth) for y in ys]

    if not interlaced:
        return filtered(rows_of(range(width), range(height)), bytes_per_pixel, filters)
    data = b""
    for x0, y0, dx, dy in ADAM7:
        xs, ys = range(x0, width, dx), range(y0, height, dy)
        if len(xs) and len(ys):
            data += filtered(rows_of(xs, ys), bytes_per_pixel, filters)
    return data


def png(pixels, colour_type, depth, interlaced=False, before=(), after=(), filters=(0,), level=9, idat_size=None,
        width=WIDTH, height=HEIGHT):
    """A PNG file of `pixels` (rows of samples); `before` and `after` are chunks placed before and after the
    image data, `idat_size` splits the compressed data into chunks of that many bytes."""
    channels = {0: 1, 2: 3, 3: 1, 4: 2, 6: 4}[colour_type]
    header = struct.pack(">IIBBBBB", width, height, depth, colour_type, 0, 0, 1 if interlaced else 0)
    compressed = zlib.compress(image_data(pixels, width, height, channels, depth, interlaced, filters), level)
    size = idat_size or len(compressed)
    idats = b"".join(chunk(b"IDAT", compressed[i:i + size]) for i in range(0, len(compressed), size))
    return PNG_SIGNATURE + chunk(b"IHDR", header) + b"".join(before) + idats + b"".join(after) + chunk(b"IEND", b"")


def chunks_of(data):
    """(offset, kind, body) of every chunk of a PNG file."""
    found, at = [], 8
    while at + 8 <= len(data):
        length, kind = struct.unpack(">I4s", data[at:at + 8])
        found.append((at, kind, data[at + 8:at + 8 + length]))
        at += 12 + length
    return found


def replace_chunk(data, kind, body, fix_crc=True):
    """The file with the body of its first `kind` chunk replaced (same length or not)."""
    for at, found, old in chunks_of(data):
        if found == kind:
            new = chunk(kind, body)
            if not fix_crc:
                new = new[:-4] + data[at + 8 + len(old):at + 12 + len(old)]
            return data[:at] + new + data[at + 12 + len(old):]
    raise ValueError(kind)


def end_of_chunk(data, kind, last=False):
    ends = [at + 12 + len(body) for at, found, body in chunks_of(data) if found == kind]
    return ends[-1] if last else ends[0]


def flip_crc(data, kind):
    for at, found, body in chunks_of(data):
        if found == kind:
            crc_at = at + 8 + len(body)
            return data[:crc_at] + bytes([data[crc_at] ^ 0x01]) + data[crc_at + 1:]
    raise ValueError(kind)


def with_ihdr(data, width=None, height=None, depth=None, colour_type=None, compression=None, filter_method=None,
              interlace=None):
    old = list(struct.unpack(">IIBBBBB", chunks_of(data)[0][2]))
    for i, value in enumerate([width, height, depth, colour_type, compression, filter_method, interlace]):
        if value is not None:
            old[i] = value
    return replace_chunk(data, b"IHDR", struct.pack(">IIBBBBB", *old))


# JPEG, by hand --------------------------------------------------------------------------------------------------

def segments_of(data):
    """(offset, marker, length including the marker) of the segments before the first scan's data."""
    found, at = [], 2
    while at < len(data):
        marker = data[at + 1]
        length = struct.unpack(">H", data[at + 2:at + 4])[0]
        found.append((at, marker, length + 2))
        if marker == 0xDA:
            break
        at += length + 2
    return found


def segment(data, marker):
    for at, found, length in segments_of(data):
        if found == marker:
            return at, length
    raise ValueError(hex(marker))


def after_app0(data):
    at, length = segment(data, 0xE0)
    return at + length


def insert_at(data, offset, extra):
    return data[:offset] + extra + data[offset:]


def app_segment(marker, body):
    return bytes([0xFF, marker]) + struct.pack(">H", len(body) + 2) + body


def exif_orientation(value):
    """An APP1 Exif segment holding one tag, Orientation (0x0112), in a little-endian TIFF structure."""
    tiff = b"II*\x00" + struct.pack("<I", 8) + struct.pack("<H", 1) + struct.pack("<HHIHH", 0x0112, 3, 1, value, 0)
    tiff += struct.pack("<I", 0)
    return app_segment(0xE1, b"Exif\x00\x00" + tiff)


def scan_data_range(data):
    """Where the first scan's entropy-coded data starts and ends (the next marker that is not RST or stuffing)."""
    at, length = segment(data, 0xDA)
    start = at + length
    end = start
    while True:
        end = data.index(b"\xFF", end)
        if data[end + 1] == 0x00 or 0xD0 <= data[end + 1] <= 0xD7:
            end += 2
            continue
        return start, end


def with_sof(data, width=None, height=None, precision=None, marker=None):
    """The file with fields of its frame header (SOF0, SOF1 or SOF2) changed."""
    at, length = next((at, length) for at, found, length in segments_of(data) if found in (0xC0, 0xC1, 0xC2))
    sof = bytearray(data[at:at + length])
    if precision is not None:
        sof[4] = precision
    if height is not None:
        sof[5:7] = struct.pack(">H", height)
    if width is not None:
        sof[7:9] = struct.pack(">H", width)
    if marker is not None:
        sof[1] = marker
    return data[:at] + bytes(sof) + data[at + length:]


# Twins and checks -----------------------------------------------------------------------------------------------

def as_bmp(path, *options):
    """RGB bytes of ImageMagick's 24-bit BMP of a file. Its BMP writer rounds 16-bit samples to v / 257, where its
    raw "-depth 8" output does not."""
    bmp = convert(path, *options, "-type", "TrueColor", "BMP3:-")
    return Image.open(io.BytesIO(bmp)).convert("RGB").tobytes()


def decoded(path):
    """What ImageMagick makes of a file: (RGB bytes, alpha bytes or None)."""
    rgb = as_bmp(path, "-alpha", "off")
    has_alpha = convert(path, "-format", "%A", "info:").strip().lower() not in (b"false", b"undefined")
    alpha = as_bmp(path, "-alpha", "extract")[0::3] if has_alpha else None
    return rgb, alpha


def make_twin(path, twin_folder, name):
    stem = os.path.join(twin_folder, os.path.splitext(name)[0])
    convert(path, "-alpha", "off", "-type", "TrueColor", "BMP3:" + stem + ".bmp")
    rgb, alpha = decoded(path)
    if alpha is not None:
        with open(stem + ".alpha", "wb") as f:
            f.write(alpha)
    return rgb, alpha


def check_jpeg_twin(path, rgb):
    """The twin must be libjpeg-turbo's default decoding, as djpeg and Pillow give it."""
    ppm = run("djpeg", "-pnm", path)
    djpeg = Image.open(io.BytesIO(ppm)).convert("RGB").tobytes()
    pillow = Image.open(path).convert("RGB").tobytes()
    assert djpeg == rgb, path + ": djpeg decodes it differently"
    assert pillow == rgb, path + ": Pillow decodes it differently"


def main():
    corpus = sys.argv[1] if len(sys.argv) > 1 else os.path.join(ROOT, "tests", "corpus")
    folders = {name: os.path.join(corpus, name) for name in ("png", "jpeg", "other")}
    twins = {name: os.path.join(corpus, "twins", name) for name in ("png", "jpeg")}
    for folder in list(folders.values()) + list(twins.values()):
        shutil.rmtree(folder, ignore_errors=True)
        os.makedirs(folder)
    icc_profiles = sorted(glob.glob("/usr/share/ghostscript/*/iccprofiles/a98.icc"))
    if not icc_profiles:
        sys.exit("no ICC profile found: install libgs10-common (Ghostscript's data)")
    with open(icc_profiles[0], "rb") as f:
        icc_profile = f.read()

    work = tempfile.mkdtemp()
    try:
        source = os.path.join(work, "source.png")
        convert(os.path.join(ROOT, "demo", "cork.bmp"), "-crop", f"{WIDTH}x{HEIGHT}+40+40", "+repage", source)
        flat = convert(source, "-depth", "8", "RGB:-")
        rgb = [list(flat[y * WIDTH * 3:(y + 1) * WIDTH * 3]) for y in range(HEIGHT)]
        # Grey and alpha samples derived from the picture; 16-bit samples with low bytes of their own, so that
        # a reader that drops the low byte instead of rounding is caught.
        grey = [[(299 * r[3 * x] + 587 * r[3 * x + 1] + 114 * r[3 * x + 2]) // 1000 for x in range(WIDTH)] for r in rgb]
        alpha = [[(x * 15 + y * 20) % 256 for x in range(WIDTH)] for y in range(HEIGHT)]
        noise = random.Random(7)

        def deepen(rows):
            return [[min(65535, max(0, v * 257 + noise.randint(-128, 128))) for v in row] for row in rows]

        def interleave(*planes):
            return [[plane[y][x] for x in range(WIDTH) for plane in planes] for y in range(HEIGHT)]

        def plane(rows, c, channels=3):
            return [row[c::channels] for row in rows]

        rgba = [[v for x in range(WIDTH) for v in row[3 * x:3 * x + 3] + [alpha[y][x]]] for y, row in enumerate(rgb)]
        grey_alpha = interleave(grey, alpha)
        rgb16 = deepen(rgb)
        grey16 = deepen(grey)
        rgba16 = deepen(rgba)
        grey_alpha16 = deepen(grey_alpha)
        colours = sorted({tuple(row[3 * x:3 * x + 3]) for row in rgb for x in range(WIDTH)})
        assert len(colours) <= 256
        index_of = {c: i for i, c in enumerate(colours)}
        indices = [[index_of[tuple(row[3 * x:3 * x + 3])] for x in range(WIDTH)] for row in rgb]
        palette = chunk(b"PLTE", b"".join(bytes(c) for c in colours))
        palette_alpha = chunk(b"tRNS", bytes((i * 37) % 256 for i in range(len(colours))))

        def low_depth_palette(depth):
            count = 1 << depth
            entries = [((i * 97) % 256, (i * 53 + 40) % 256, 255 - (i * 29) % 256) for i in range(count)]
            return chunk(b"PLTE", b"".join(bytes(e) for e in entries))

        def shifted(rows, depth):
            return [[v >> (8 - depth) for v in row] for row in rows]

        png_files = {}

        def made_png(name, data):
            png_files[name] = data

        # Plain files (twins in twins/png/): every colour type and depth.
        made_png("rgb-8.png", png(rgb, 2, 8))
        made_png("rgb-16.png", png(rgb16, 2, 16))
        made_png("rgba-8.png", png(rgba, 6, 8))
        made_png("rgba-16.png", png(rgba16, 6, 16))
        for depth in (1, 2, 4, 8):
            made_png(f"grey-{depth}.png", png(shifted(grey, depth), 0, depth))
        made_png("grey-16.png", png(grey16, 0, 16))
        made_png("grey-alpha-8.png", png(grey_alpha, 4, 8))
        made_png("grey-alpha-16.png", png(grey_alpha16, 4, 16))
        for depth in (1, 2, 4):
            made_png(f"palette-{depth}.png", png(shifted(grey, depth), 3, depth, before=[low_depth_palette(depth)]))
        made_png("palette-8-alpha.png", png(indices, 3, 8, before=[palette, palette_alpha]))
        # A transparency table on grey or RGB names one colour that is fully transparent.
        made_png("grey-8-trns.png", png(grey, 0, 8, before=[chunk(b"tRNS", struct.pack(">H", grey[6][8]))]))
        made_png("grey-2-trns.png", png(shifted(grey, 2), 0, 2, before=[chunk(b"tRNS", struct.pack(">H", 2))]))
        made_png("grey-16-trns.png", png(grey16, 0, 16, before=[chunk(b"tRNS", struct.pack(">H", grey16[3][4]))]))
        made_png("rgb-8-trns.png", png(rgb, 2, 8, before=[chunk(b"tRNS", struct.pack(">HHH", *rgb[6][24:27]))]))
        made_png("rgb-16-trns.png", png(rgb16, 2, 16, before=[chunk(b"tRNS", struct.pack(">HHH", *rgb16[2][6:9]))]))
        plain_pngs = list(png_files)

        # Odd but valid: the same pixels as a plain file.
        same_as = {}

        def odd_png(name, plain, data):
            made_png(name, data)
            same_as[name] = plain

        odd_png("rgb-8-interlaced.png", "rgb-8.png", png(rgb, 2, 8, interlaced=True))
        odd_png("rgb-16-interlaced.png", "rgb-16.png", png(rgb16, 2, 16, interlaced=True))
        odd_png("rgba-8-interlaced.png", "rgba-8.png", png(rgba, 6, 8, interlaced=True))
        odd_png("grey-2-interlaced.png", "grey-2.png", png(shifted(grey, 2), 0, 2, interlaced=True))
        odd_png("grey-alpha-16-interlaced.png", "grey-alpha-16.png", png(grey_alpha16, 4, 16, interlaced=True))
        odd_png("palette-4-interlaced.png", "palette-4.png",
                png(shifted(grey, 4), 3, 4, interlaced=True, before=[low_depth_palette(4)]))
        odd_png("rgb-16-exact.png", "rgb-8.png", png([[v * 257 for v in row] for row in rgb], 2, 16))
        odd_png("palette-8.png", "rgb-8.png", png(indices, 3, 8, before=[palette]))
        odd_png("palette-8-interlaced.png", "rgb-8.png", png(indices, 3, 8, interlaced=True, before=[palette]))
        odd_png("rgb-8-every-filter.png", "rgb-8.png", png(rgb, 2, 8, filters=(0, 1, 2, 3, 4)))
        odd_png("rgb-8-interlaced-every-filter.png", "rgb-8.png", png(rgb, 2, 8, interlaced=True, filters=(4, 3, 2, 1, 0)))
        odd_png("grey-4-every-filter.png", "grey-4.png", png(shifted(grey, 4), 0, 4, filters=(1, 2, 3, 4, 0)))
        odd_png("rgba-16-every-filter.png", "rgba-16.png", png(rgba16, 6, 16, filters=(3, 4, 1, 2)))
        odd_png("rgb-8-stored.png", "rgb-8.png", png(rgb, 2, 8, level=0))
        odd_png("rgb-8-idat-split.png", "rgb-8.png", png(rgb, 2, 8, idat_size=7))
        odd_png("rgb-8-empty-idat.png", "rgb-8.png", png(rgb, 2, 8, before=[chunk(b"IDAT", b"")]))
        odd_png("rgb-8-gamma-1.png", "rgb-8.png", png(rgb, 2, 8, before=[chunk(b"gAMA", struct.pack(">I", 100000))]))
        odd_png("rgb-8-gamma-srgb-chrm.png", "rgb-8.png", png(rgb, 2, 8, before=[
            chunk(b"gAMA", struct.pack(">I", 45455)), chunk(b"sRGB", b"\x00"),
            chunk(b"cHRM", struct.pack(">8I", 31270, 32900, 64000, 33000, 30000, 60000, 15000, 6000))]))
        odd_png("rgb-8-iccp.png", "rgb-8.png",
                png(rgb, 2, 8, before=[chunk(b"iCCP", b"Adobe RGB\x00\x00" + zlib.compress(icc_profile))]))
        odd_png("rgb-8-iccp-broken.png", "rgb-8.png",
                png(rgb, 2, 8, before=[chunk(b"iCCP", b"broken\x00\x00" + b"\x78\x9c not a profile")]))
        odd_png("rgb-8-sbit.png", "rgb-8.png", png(rgb, 2, 8, before=[chunk(b"sBIT", b"\x05\x06\x05")]))
        odd_png("rgb-8-text.png", "rgb-8.png", png(rgb, 2, 8, before=[
            chunk(b"tEXt", b"Comment\x00cork"), chunk(b"zTXt", b"Title\x00\x00" + zlib.compress(b"cork board")),
            chunk(b"iTXt", b"Author\x00\x00\x00en\x00Autor\x00someone")],
            after=[chunk(b"tEXt", b"After\x00the image data")]))
        odd_png("rgb-8-unknown-chunk.png", "rgb-8.png", png(rgb, 2, 8, before=[chunk(b"prVt", b"\x00" * 40)],
                                                            after=[chunk(b"zzZz", b"later")]))
        odd_png("rgb-8-trailing-bytes.png", "rgb-8.png", png(rgb, 2, 8) + b"bytes after the end\x00\xff")

        plain = png_files["rgb-8.png"]
        # Broken: refused.
        made_png("cut-in-signature.png", plain[:4])
        made_png("cut-after-signature.png", plain[:8])
        made_png("cut-in-ihdr.png", plain[:20])
        made_png("cut-after-ihdr.png", plain[:33])
        idat_end = end_of_chunk(plain, b"IDAT")
        made_png("cut-in-idat.png", plain[:(33 + idat_end) // 2])
        made_png("cut-before-iend.png", plain[:idat_end])
        made_png("cut-in-iend.png", plain[:-4])
        made_png("signature-text-mode.png", plain.replace(b"\r\n", b"\n", 1))
        made_png("crc-ihdr.png", flip_crc(plain, b"IHDR"))
        made_png("crc-idat.png", flip_crc(plain, b"IDAT"))
        made_png("crc-iend.png", flip_crc(plain, b"IEND"))
        made_png("crc-text.png", flip_crc(png(rgb, 2, 8, before=[chunk(b"tEXt", b"Comment\x00cork")]), b"tEXt"))
        made_png("crc-gamma.png", flip_crc(png(rgb, 2, 8, before=[chunk(b"gAMA", struct.pack(">I", 45455))]), b"gAMA"))
        idat = chunks_of(plain)[1][2]
        made_png("zlib-header.png", replace_chunk(plain, b"IDAT", b"\x78\x00" + idat[2:]))
        made_png("zlib-data.png", replace_chunk(plain, b"IDAT", idat[:40] + bytes(b ^ 0x5A for b in idat[40:80]) + idat[80:]))
        made_png("zlib-checksum.png", replace_chunk(plain, b"IDAT", idat[:-4] + bytes(b ^ 0xFF for b in idat[-4:])))
        made_png("zlib-cut.png", replace_chunk(plain, b"IDAT", idat[:len(idat) // 2]))
        raw = image_data(rgb, WIDTH, HEIGHT, 3, 8, False, (0,))
        made_png("rows-missing.png", replace_chunk(plain, b"IDAT", zlib.compress(raw[:len(raw) * 10 // 13])))
        made_png("rows-extra.png", replace_chunk(plain, b"IDAT", zlib.compress(raw + raw[:52 * 2])))
        made_png("filter-type-5.png", replace_chunk(plain, b"IDAT", zlib.compress(raw[:52 * 4] + b"\x05" + raw[52 * 4 + 1:])))
        made_png("idat-missing.png", plain[:33] + chunk(b"IEND", b""))
        made_png("width-zero.png", with_ihdr(plain, width=0))
        made_png("height-zero.png", with_ihdr(plain, height=0))
        made_png("width-2147483648.png", with_ihdr(plain, width=2**31))
        made_png("claims-100000x100000.png", with_ihdr(plain, width=100000, height=100000))
        made_png("claims-2147483647x2147483647.png", with_ihdr(plain, width=2**31 - 1, height=2**31 - 1))
        made_png("claims-20000x20000.png", with_ihdr(plain, width=20000, height=20000))
        made_png("claims-300000000x1-rgba-16.png", with_ihdr(png(rgba16, 6, 16), width=300000000, height=1))
        made_png("depth-4-rgb.png", with_ihdr(plain, depth=4))
        made_png("depth-3.png", with_ihdr(png(grey, 0, 8), depth=3))
        made_png("colour-type-5.png", with_ihdr(plain, colour_type=5))
        made_png("interlace-method-2.png", with_ihdr(plain, interlace=2))
        made_png("compression-method-1.png", with_ihdr(plain, compression=1))
        made_png("filter-method-1.png", with_ihdr(plain, filter_method=1))
        made_png("palette-missing.png", png(indices, 3, 8))
        made_png("palette-index-too-large.png", png(indices, 3, 8, before=[chunk(b"PLTE", b"".join(bytes(c) for c in colours[:100]))]))
        made_png("palette-too-long.png", png(indices, 3, 8, before=[chunk(b"PLTE", bytes(3 * 300))]))
        made_png("palette-in-grey.png", png(grey, 0, 8, before=[palette]))
        made_png("trns-wrong-length.png", png(rgb, 2, 8, before=[chunk(b"tRNS", b"\x00\x01")]))
        made_png("trns-on-alpha.png", png(rgba, 6, 8, before=[chunk(b"tRNS", struct.pack(">HHH", 1, 2, 3))]))
        made_png("critical-chunk-unknown.png", png(rgb, 2, 8, before=[chunk(b"CRIT", b"must be understood")]))
        made_png("chunk-length-huge.png", plain[:33] + struct.pack(">I", 0x7FFFFFF0) + b"tEXt" + b"x" * 100)
        made_png("chunk-length-too-large.png", plain[:33] + struct.pack(">I", 0x80000000) + b"IDAT" + b"x" * 100)
        made_png("ihdr-not-first.png", PNG_SIGNATURE + chunk(b"gAMA", struct.pack(">I", 45455)) + plain[8:])
        made_png("ihdr-twice.png", plain[:33] + plain[8:33] + plain[33:])
        made_png("ihdr-long.png", replace_chunk(plain, b"IHDR", chunks_of(plain)[0][2] + b"\x00"))
        made_png("iend-with-data.png", plain[:-12] + chunk(b"IEND", b"data"))
        # Nothing after IEND is read.
        odd_png("idat-after-iend.png", "rgb-8.png", plain + chunk(b"IDAT", idat))
        made_png("chunk-name-bad.png", replace_chunk(plain, b"IDAT", idat).replace(b"IDAT", b"ID\x00T", 1))

        for name, data in png_files.items():
            with open(os.path.join(folders["png"], name), "wb") as f:
                f.write(data)

        # Written by tools: the same pixels as a plain file.
        def tool_png(name, plain, input_path, kind, *options):
            # Without the time chunks, so that running the script again writes the same bytes.
            convert(input_path, *options, "-define", "png:exclude-chunk=date,time",
                    kind + ":" + os.path.join(folders["png"], name))
            same_as[name] = plain

        tool_png("imagemagick-rgb.png", "rgb-8.png", source, "PNG24", "-define", "png:color-type=2")
        tool_png("imagemagick-palette.png", "rgb-8.png", source, "PNG8")
        tool_png("imagemagick-interlaced.png", "rgb-8.png", source, "PNG24", "-interlace", "PNG")
        tool_png("imagemagick-48.png", "rgb-8.png", source, "PNG48", "-depth", "16")
        tool_png("imagemagick-rgba.png", "rgba-8.png", os.path.join(folders["png"], "rgba-8.png"), "PNG32")
        tool_png("imagemagick-grey.png", "grey-8.png", os.path.join(folders["png"], "grey-8.png"), "PNG",
                 "-define", "png:color-type=0", "-define", "png:bit-depth=8")
        Image.open(source).convert("RGB").save(os.path.join(folders["png"], "pillow-rgb.png"), optimize=True)
        same_as["pillow-rgb.png"] = "rgb-8.png"

        gamma_applied = ["rgb-8-gamma-1.png"]
        for name in plain_pngs:
            path = os.path.join(folders["png"], name)
            make_twin(path, twins["png"], name)
        # The 16-bit twins are what rounding gives, v / 257, not the high bytes.
        for name, samples, channels, alpha_at in (("rgb-16.png", rgb16, 3, None), ("grey-16.png", grey16, 1, None),
                                                  ("rgba-16.png", rgba16, 4, 3), ("grey-alpha-16.png", grey_alpha16, 2, 1)):
            rounded = [round(v / 257) for row in samples for v in row]
            colours_only = [v for i, v in enumerate(rounded) if alpha_at is None or i % channels != alpha_at]
            if channels <= 2:
                colours_only = [v for v in colours_only for _ in range(3)]
            rgb_twin, alpha_twin = decoded(os.path.join(folders["png"], name))
            assert rgb_twin == bytes(colours_only), name
            if alpha_at is not None:
                assert alpha_twin == bytes(rounded[alpha_at::channels]), name
        for name, plain in same_as.items():
            if name in gamma_applied:
                continue
            assert decoded(os.path.join(folders["png"], name)) == decoded(os.path.join(folders["png"], plain)), name
        # ImageMagick takes a gamma of 1.0 to mean linear light and converts; Pillow leaves the samples alone.
        for name in gamma_applied:
            assert (Image.open(os.path.join(folders["png"], name)).convert("RGB").tobytes() ==
                    decoded(os.path.join(folders["png"], same_as[name]))[0]), name

        # JPEG ---------------------------------------------------------------------------------------------------
        def jpeg_path(name):
            return os.path.join(folders["jpeg"], name)

        def written_jpeg(name, *options, input_path=source):
            convert(input_path, "-quality", "90", *options, "JPEG:" + jpeg_path(name))

        written_jpeg("baseline-420.jpg", "-sampling-factor", "2x2")
        written_jpeg("baseline-422.jpg", "-sampling-factor", "2x1")
        written_jpeg("baseline-444.jpg", "-sampling-factor", "1x1")
        written_jpeg("grey.jpg", "-colorspace", "Gray")
        with open(os.path.join(work, "source.ppm"), "wb") as f:
            f.write(convert(source, "PPM:-"))
        with open(jpeg_path("rgb-no-transform.jpg"), "wb") as f:
            f.write(run("cjpeg", "-rgb", "-quality", "90", os.path.join(work, "source.ppm")))
        plain_jpegs = ["baseline-420.jpg", "baseline-422.jpg", "baseline-444.jpg", "grey.jpg", "rgb-no-transform.jpg"]

        def read_jpeg(name):
            with open(jpeg_path(name), "rb") as f:
                return f.read()

        def made_jpeg(name, data):
            with open(jpeg_path(name), "wb") as f:
                f.write(data)

        def transformed(name, plain, *options):
            made_jpeg(name, run("jpegtran", *options, jpeg_path(plain)))
            same_as[name] = plain

        transformed("progressive-420.jpg", "baseline-420.jpg", "-progressive")
        transformed("progressive-444.jpg", "baseline-444.jpg", "-progressive")
        transformed("progressive-grey.jpg", "grey.jpg", "-progressive")
        transformed("restart-every-mcu-420.jpg", "baseline-420.jpg", "-restart", "1B")
        transformed("restart-every-row-444.jpg", "baseline-444.jpg", "-restart", "1")
        transformed("arithmetic-420.jpg", "baseline-420.jpg", "-arithmetic")
        transformed("arithmetic-progressive-422.jpg", "baseline-422.jpg", "-arithmetic", "-progressive")
        transformed("optimized-420.jpg", "baseline-420.jpg", "-optimize")
        base = read_jpeg("baseline-420.jpg")
        made_jpeg("exif-rotated-420.jpg", insert_at(base, after_app0(base), exif_orientation(6)))
        same_as["exif-rotated-420.jpg"] = "baseline-420.jpg"
        made_jpeg("comment-420.jpg", insert_at(base, after_app0(base), app_segment(0xFE, b"a comment")))
        same_as["comment-420.jpg"] = "baseline-420.jpg"
        made_jpeg("icc-420.jpg", insert_at(base, after_app0(base),
                                            app_segment(0xE2, b"ICC_PROFILE\x00\x01\x01" + icc_profile)))
        same_as["icc-420.jpg"] = "baseline-420.jpg"
        at, length = segment(base, 0xE0)
        made_jpeg("no-jfif-420.jpg", base[:at] + base[at + length:])
        same_as["no-jfif-420.jpg"] = "baseline-420.jpg"
        dqt_at, _ = segment(base, 0xDB)
        made_jpeg("fill-bytes-420.jpg", base[:dqt_at] + b"\xFF\xFF\xFF" + base[dqt_at:])
        same_as["fill-bytes-420.jpg"] = "baseline-420.jpg"
        made_jpeg("trailing-bytes-420.jpg", base + b"bytes after the end\x00\xff")
        same_as["trailing-bytes-420.jpg"] = "baseline-420.jpg"
        shutil.copy(os.path.join(folders["png"], "rgb-8.png"), os.path.join(folders["other"], "png-named.jpg"))
        shutil.copy(jpeg_path("baseline-420.jpg"), os.path.join(folders["other"], "jpeg-named.png"))

        # Broken JPEG files.
        scan_start, scan_end = scan_data_range(base)
        made_jpeg("cut-after-soi.jpg", base[:2])
        made_jpeg("cut-in-header.jpg", base[:dqt_at + 30])
        made_jpeg("cut-after-header.jpg", base[:scan_start])
        made_jpeg("cut-mid-scan.jpg", base[:(scan_start + scan_end) // 2])
        made_jpeg("cut-before-eoi.jpg", base[:-2])
        progressive = read_jpeg("progressive-420.jpg")
        made_jpeg("cut-progressive.jpg", progressive[:len(progressive) * 2 // 3])
        made_jpeg("width-zero.jpg", with_sof(base, width=0))
        made_jpeg("height-zero.jpg", with_sof(base, height=0))
        made_jpeg("claims-65500x65500.jpg", with_sof(base, width=65500, height=65500))
        made_jpeg("claims-65535x65535.jpg", with_sof(base, width=65535, height=65535))
        made_jpeg("claims-20000x20000.jpg", with_sof(base, width=20000, height=20000))
        made_jpeg("claims-20000x20000-progressive.jpg", with_sof(progressive, width=20000, height=20000))
        made_jpeg("precision-12.jpg", with_sof(base, precision=12))
        made_jpeg("lossless.jpg", with_sof(base, marker=0xC3))
        middle = (scan_start + scan_end) // 2
        made_jpeg("huffman-bad.jpg", base[:middle] + b"\xFF\x00" * 8 + base[middle + 16:])
        made_jpeg("marker-mid-scan.jpg", base[:middle] + b"\xFF\xD3" + base[middle:])
        restarts = read_jpeg("restart-every-mcu-420.jpg")
        first_rst = restarts.index(b"\xFF\xD0", scan_data_range(restarts)[0])
        made_jpeg("restart-out-of-order.jpg", restarts[:first_rst] + b"\xFF\xD5" + restarts[first_rst + 2:])
        sof_at = next(at for at, found, _ in segments_of(base) if found in (0xC0, 0xC1))
        made_jpeg("extraneous-bytes.jpg", base[:sof_at] + b"junk" + base[sof_at:])
        made_jpeg("no-image.jpg", base[:sof_at] + b"\xFF\xD9")
        made_jpeg("marker-length-bad.jpg", base[:dqt_at + 2] + b"\x00\x01" + base[dqt_at + 4:])
        made_jpeg("sampling-bad.jpg", base[:sof_at + 11] + b"\x33" + base[sof_at + 12:])
        made_jpeg("scan-before-frame.jpg", base[:sof_at] + base[segment(base, 0xC4)[0]:])
        made_jpeg("not-jpeg-after-soi.jpg", b"\xFF\xD8" + b"this is not a JPEG stream" * 4)
        # ImageMagick writes CMYK as YCCK (Adobe transform 2), Pillow as plain CMYK (transform 0).
        written_jpeg("ycck.jpg", "-colorspace", "CMYK")
        Image.open(source).convert("CMYK").save(jpeg_path("cmyk.jpg"), quality=90)
        for name, transform in (("ycck.jpg", 2), ("cmyk.jpg", 0)):
            data = read_jpeg(name)
            adobe_at, adobe_length = segment(data, 0xEE)
            assert data[adobe_at + adobe_length - 1] == transform, name
        # A progressive file of 100 scans (jpegtran's most): every AC coefficient of the first component on its
        # own, the first 12 of them sent bit by bit.
        script = os.path.join(work, "scans.txt")
        with open(script, "w") as f:
            f.write("0 1 2: 0-0, 0, 0;\n1: 1-63, 0, 0;\n2: 1-63, 0, 0;\n")
            for k in range(1, 13):
                f.write(f"0: {k}-{k}, 0, 2;\n0: {k}-{k}, 2, 1;\n0: {k}-{k}, 1, 0;\n")
            for k in range(13, 64):
                f.write(f"0: {k}-{k}, 0, 0;\n")
        made_jpeg("scans-100.jpg", run("jpegtran", "-scans", script, jpeg_path("baseline-444.jpg")))
        same_as["scans-100.jpg"] = "baseline-444.jpg"

        for name in plain_jpegs:
            rgb_decoded, _ = make_twin(jpeg_path(name), twins["jpeg"], name)
            check_jpeg_twin(jpeg_path(name), rgb_decoded)
        for name, plain in same_as.items():
            if name.endswith(".jpg"):
                assert decoded(jpeg_path(name)) == decoded(jpeg_path(plain)), name

        # Other formats ------------------------------------------------------------------------------------------
        def other(name, data):
            with open(os.path.join(folders["other"], name), "wb") as f:
                f.write(data)

        for name, kind, options in (("gif-89a.gif", "GIF", []), ("gif-87a.gif", "GIF87", []),
                                    ("tiff-little-endian.tif", "TIFF", ["-endian", "LSB"]),
                                    ("tiff-big-endian.tif", "TIFF", ["-endian", "MSB"]), ("webp.webp", "WEBP", []),
                                    ("heic.heic", "HEIC", []), ("avif.avif", "AVIF", [])):
            convert(source, *options, kind + ":" + os.path.join(folders["other"], name))
        other("empty.png", b"")
        other("text.png", b"this is not a picture\n")
        other("utf8-text.jpg", "café, naïve, Größe\n".encode())
        other("binary.png", bytes(range(256)))
        other("one-byte.jpg", b"\xFF")
        other("png-signature-start.png", b"\x89P")
    finally:
        shutil.rmtree(work)


if __name__ == "__main__":
    main()
