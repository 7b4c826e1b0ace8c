#!/usr/bin/env python3
"""Writes the hostile files kept as regression cases, one per fault class,
under fuzz/regressions/<target>/. Each must be refused by the program in well
under two seconds and a few hundred megabytes. Run from anywhere:
    python3 fuzz/make_regressions.py
"""
import gzip
import zlib
import os
import struct
import subprocess
import tempfile

ROOT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "regressions")


def write(target, name, data):
    folder = os.path.join(ROOT, target)
    os.makedirs(folder, exist_ok=True)
    with open(os.path.join(folder, name), "wb") as f:
        f.write(data)


def rect(top, left, bottom, right):
    return struct.pack(">hhhh", top, left, bottom, right)


def picture(frame, drawn, rows):
    """A version 2 picture with one DirectBitsRect of 32-bit pixels, PackBits
    rows (packType 4); frame and drawn are (top, left, bottom, right); rows is
    the row data as stored (counts included)."""
    t, l, b, r = drawn
    width = r - l
    row_bytes = 4 * width
    v = struct.pack(">H", 0) + rect(*frame)
    v += struct.pack(">HHH", 0x0011, 0x02FF, 0x0C00)
    v += struct.pack(">hHII", -2, 0, 0x00480000, 0x00480000) + rect(*frame) + struct.pack(">I", 0)
    v += struct.pack(">H", 0x009A) + struct.pack(">I", 0x000000FF)
    v += struct.pack(">H", 0x8000 | row_bytes) + rect(0, 0, b - t, width)
    v += struct.pack(">HHI", 0, 4, 0) + struct.pack(">II", 0x00480000, 0x00480000)
    v += struct.pack(">HHHH", 16, 32, 3, 8) + struct.pack(">III", 0, 0, 0)
    v += rect(0, 0, b - t, width) + rect(*drawn) + struct.pack(">H", 0x0040)
    v += rows
    if len(v) % 2:
        v += b"\0"
    return v + struct.pack(">H", 0x00FF)


def pict_file(pic):
    return bytes(512) + pic


def empty_rows(height, width):
    """Rows of a zero count: each takes only its count (two bytes when the
    row length is above 250)."""
    return (b"\0\0" if 4 * width > 250 else b"\0") * height


# pict: a drawn rect of 4095 × 16400 in 16400 two-byte empty rows (33 KB)
# lets a 32767 × 32767 frame (4.29 GB) pass a one-byte-a-row check. The rows
# cannot fill the rect: refused before the frame is allocated.
huge = picture((0, 0, 32767, 32767), (0, 0, 16400, 4095), empty_rows(16400, 4095))
write("pict", "frame-beyond-its-rows.pict", pict_file(huge))

# calibration: the same picture offered as a dark or flat frame.
write("calibration", "frame-beyond-its-rows.pict", pict_file(huge))

# picture: a 1.5 KB picture whose frame (0, -30000, 10, 100) has a small
# right edge but gives a 30100-wide document: the width warning must come
# from the width the document takes. It draws 10 rows of 1900 grey pixels at
# the frame's right end (a sixteenth of the frame, as the decoder requires);
# each row's 5700 component bytes are 44 runs of 128 and one of 68.
packed = bytes([257 - 128, 0x80]) * 44 + bytes([257 - 68, 0x80])
wide_rows = (struct.pack(">H", len(packed)) + packed) * 10
write("picture", "frame-left-of-origin.pict",
      pict_file(picture((0, -30000, 10, 100), (0, -1800, 10, 100), wide_rows)))

# workspace: a picture-mode workspace of 1 × 1 clips whose dark frame says
# 4095 × 32767 (int16 sides) and holds a picture of that frame with 2048
# drawn rows of no data: the block's length cannot fill it, so nothing of
# that size is allocated.
block = picture((0, 0, 32767, 4095), (0, 0, 2048, 4095), empty_rows(2048, 4095))
header = struct.pack("<i", -1) + b"\1" + struct.pack("<iiii", 0, 1, 1, 0) + b"\1\0" + struct.pack("<ii", 256, 0)
assert len(header) == 31
workspace = header + b"\0" + struct.pack("<hh", 4095, 32767) + struct.pack("<i", len(block)) + block
write("workspace", "dark-frame-beyond-its-block.vws", workspace)

# fits: a gzip file whose header declares 32767 × 32767 16-bit values
# (2 GB) over a stream of a few hundred bytes: refused from the header,
# before anything is inflated.
cards = [
    "SIMPLE  =                    T",
    "BITPIX  =                   16",
    "NAXIS   =                    2",
    "NAXIS1  =                32767",
    "NAXIS2  =                32767",
    "END",
]
fits_header = b"".join(c.ljust(80).encode() for c in cards).ljust(2880, b" ")
write("fits", "gzip-declares-2gb.fits.gz", gzip.compress(fits_header + bytes(2880 * 4), mtime=0))

# picture: a 35-byte GIF whose logical screen is 11621 × 14081 and whose one
# image is a single pixel. The size the probe reports is the size decoded,
# and the decoder may allocate no more than that size needs.
gif = b"GIF89a" + struct.pack("<HHBBB", 11621, 14081, 0x80, 0, 0) + bytes([0, 0, 0, 255, 255, 255])
gif += b"\x2c" + struct.pack("<HHHHB", 0, 0, 1, 1, 0)
gif += bytes([2, 2, 0x44, 0x01, 0]) + b"\x3b"  # LZW: clear, index 0, end in 3-bit codes
for target in ("picture", "movie"):
    write(target, "huge-logical-screen.gif", gif)

# calibration: a 712-byte SGI picture (a format left to FFmpeg) whose header
# claims 16000 × 16000 RGB pixels over 200 bytes of data. Found by fuzzing
# the dark and flat frame files: FFmpeg allocated its frame while probing
# (768 MB) and the decode its own and the target image (1.7 GB, 4 s), to
# fail on the missing rows. A still picture may hold at most 1024 pixels for
# each byte of its file: refused before the decoder allocates anything.
sgi = struct.pack(">HBBHHHHII", 474, 0, 1, 3, 16000, 16000, 3, 0, 255)
write("calibration", "sgi-claims-more-than-its-file.sgi", sgi.ljust(712, b"\0"))

# calibration: an 8 x 8 grey JPEG (made by ffmpeg) whose frame header then
# claims 14656 x 12289. Found by fuzzing the dark and flat frame files: its
# end marker is present, so libjpeg made up the missing rows of a 720 MB
# picture (1.4 GB and 3 s in all). A JPEG holds at most 512 pixels a byte of
# its file (a bit of Huffman code for each block of each component): one
# claiming more than 1024 is taken for cut short, before anything is decoded.
with tempfile.TemporaryDirectory() as scratch:
    small = os.path.join(scratch, "grey.jpg")
    subprocess.run(["ffmpeg", "-v", "error", "-y", "-f", "lavfi", "-i", "color=gray:size=8x8", "-frames:v", "1",
                    "-pix_fmt", "gray", "-fflags", "+bitexact", "-flags:v", "+bitexact", "-map_metadata", "-1",
                    small], check=True)
    with open(small, "rb") as f:
        jpeg = bytearray(f.read())
frame_header = jpeg.index(b"\xff\xc0")
jpeg[frame_header + 5:frame_header + 9] = struct.pack(">HH", 12289, 14656)
write("calibration", "jpeg-claims-more-than-its-file.jpg", bytes(jpeg))

# picture and calibration: a 26-byte GIF whose logical screen is 11621 x
# 14081 and whose first image (11621 x 1000 at row 28890) has no data at
# all. Qt's size, taken from the first image where the screen is more than
# ten times its height, is 11621 x 29890; its decoder keeps the screen and
# allocated and cleared 654 MB of it before finding no data. The probe and
# the decode both refuse it from its header and its data's length.
gif = b"GIF89a" + struct.pack("<HHBBB", 11621, 14081, 0, 0, 0)
gif += b"\x2c" + struct.pack("<HHHHB", 0, 28890, 11621, 1000, 0)
gif += bytes([2, 0]) + b"\x3b"  # LZW code size, no data sub-block, trailer
assert len(gif) == 26
for target in ("picture", "calibration", "movie"):
    write(target, "screen-without-image-data.gif", gif)
# picture and calibration: a screen of 4091 x 32767 (as wide as the width
# rule lets through) over a first image of 4091 x 3277, which Qt's size
# believes, again with no data: sized alike by the probe and the decoder,
# it is refused for its data's length alone.
gif = b"GIF89a" + struct.pack("<HHBBB", 4091, 32767, 0, 0, 0)
gif += b"\x2c" + struct.pack("<HHHHB", 0, 0, 4091, 3277, 0) + bytes([2, 0]) + b"\x3b"
for target in ("picture", "calibration", "movie"):
    write(target, "tall-screen-without-image-data.gif", gif)
# movie: the three GIFs above opened as movies (by Open Movie, or by a name
# ending in "mov"). FFmpeg's GIF decoder allocates the logical screen from
# the header, so they cost 1267, 641 and 528 MB there. A movie stream of a
# picture codec may have no more pixels than its file's bytes could fill:
# refused before anything is decoded.

# pict, picture, calibration and workspace: a 397 KB picture whose frame is
# 4095 x 32767 and whose drawn rect is 4095 x 2048 (within the sixteenfold
# rule), followed by zeros as long as its rows can be at their shortest:
# every row's count is zero, so not one row unpacks. It cost 518 MB (the
# frame allocated and erased) before the first row was refused; the rows are
# now checked before any frame larger than them exists, and the probe
# checks them too, so the import never makes a clip of that frame.
zero_rows = bytes(2048 * (2 + 2 * ((3 * 4095 + 127) // 128)))
zeros = picture((0, 0, 32767, 4095), (0, 0, 2048, 4095), zero_rows)
for target in ("pict", "calibration"):
    write(target, "frame-over-rows-of-zeros.pict", pict_file(zeros))
# picture: the same at 4091 wide, which the width rule lets through to a
# clip of the probed frame.
narrow_rows = bytes(2048 * (2 + 2 * ((3 * 4091 + 127) // 128)))
narrow = picture((0, 0, 32767, 4091), (0, 0, 2048, 4091), narrow_rows)
write("picture", "frame-over-rows-of-zeros.pict", pict_file(narrow))
workspace = header + b"\0" + struct.pack("<hh", 4095, 32767) + struct.pack("<i", len(zeros)) + zeros
write("workspace", "dark-frame-over-rows-of-zeros.vws", workspace)


def png_chunk(kind, data):
    return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))


# movie: a 127-byte APNG whose canvas is 16000 x 16000 RGBA and whose one
# frame's data is 64 zeros deflated; and a 91-byte icon holding a PNG of the
# same header. FFmpeg's PNG decoders allocated the 1 GB canvas from the
# header (994 MB, 1 and 2 s), to fail on the missing rows.
side = 16000
ihdr = png_chunk(b"IHDR", struct.pack(">IIBBBBB", side, side, 8, 6, 0, 0, 0))
idat = png_chunk(b"IDAT", zlib.compress(bytes(64)))
signature = b"\x89PNG\r\n\x1a\n"
apng = signature + ihdr + png_chunk(b"acTL", struct.pack(">II", 2, 0))
apng += png_chunk(b"fcTL", struct.pack(">IIIIIHHBB", 0, side, side, 0, 0, 1, 25, 0, 0)) + idat
apng += png_chunk(b"IEND", b"")
write("movie", "canvas-beyond-its-data.apng", apng)
icon_png = signature + ihdr + idat + png_chunk(b"IEND", b"")
icon = struct.pack("<HHH", 0, 1, 1) + struct.pack("<BBBBHHII", 0, 0, 0, 0, 1, 32, len(icon_png), 22) + icon_png
write("movie", "icon-png-beyond-its-data.ico", icon)


def plain_png(width, height, colour_type, data):
    ihdr = png_chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, colour_type, 0, 0, 0))
    return signature + ihdr + png_chunk(b"IDAT", data) + png_chunk(b"IEND", b"")


# picture, calibration and movie: 69-byte PNGs whose data is 64 zeros
# deflated, under headers of 16000 x 16000 RGBA, 11621 x 14081 grey and
# 4091 x 32767 grey (as wide as the width rule lets through). Qt's reader
# made the picture from the header before finding the data short (1012 and
# 660 MB as a dark or flat frame; 542 MB as a picture, for the clip of the
# probed size). Deflate makes at most 1032 bytes of each byte, so data that
# cannot fill the header's rows is refused by the probe and the decode alike.
short_pngs = {
    "rgba-png-beyond-its-data.png": plain_png(16000, 16000, 6, zlib.compress(bytes(64))),
    "grey-png-beyond-its-data.png": plain_png(11621, 14081, 0, zlib.compress(bytes(64))),
    "tall-png-beyond-its-data.png": plain_png(4091, 32767, 0, zlib.compress(bytes(64))),
}
for name, data in short_pngs.items():
    for target in ("picture", "calibration", "movie"):
        write(target, name, data)

# calibration and picture: a 248 KB PNG of 16000 x 16000 grey with as much
# data as deflate's best ratio needs for its rows, but data that does not
# inflate (a block of a type deflate does not have). As a dark or flat frame
# of another size its 1 GB picture was made before Qt read a row (1016 MB,
# 2.9 s); it is now made only once the picture has decoded.
undecodable = b"\x78\x01\x07" + b"\x5a" * (16000 * 16001 // 1032 + 1)
for target in ("calibration", "picture"):
    write(target, "png-data-that-does-not-inflate.png", plain_png(16000, 16000, 0, undecodable))

# picture and calibration: a 70-byte BMP of 4091 x 32767 24-bit rows with 16
# bytes of them. The decode found it cut short, but the probe did not, so
# the import made a 536 MB clip of its size first; the probe now refuses
# what the decode finds cut short.
bmp_rows = bytes(16)
bmp = b"BM" + struct.pack("<IHHI", 54 + len(bmp_rows), 0, 0, 54)
bmp += struct.pack("<IiiHHIIiiII", 40, 4091, 32767, 1, 24, 0, len(bmp_rows), 2835, 2835, 0, 0) + bmp_rows
for target in ("picture", "calibration"):
    write(target, "bmp-rows-beyond-its-file.bmp", bmp)

# movie, picture and calibration: flat black frames of real video codecs,
# which code them in a few bytes: one 16000 x 16000 FFV1 frame in Matroska
# (62 KB) and one 8000 x 8000 MPEG-4 frame in AVI (693 KB). Opened as movies
# they cost 1734 MB and 4.9 s, and 557 MB, decoding the frame (FFmpeg's
# stream information already decodes one). The movie route now puts the
# stream's declared size to the width rule of the pictures first; its
# warning declined, nothing is decoded.
with tempfile.TemporaryDirectory() as scratch:
    for name, side, codec in (("flat-16000-ffv1.mkv", 16000, ["-c:v", "ffv1"]),
                              ("flat-8000-mpeg4.avi", 8000, ["-c:v", "mpeg4"])):
        movie = os.path.join(scratch, name)
        subprocess.run(["ffmpeg", "-v", "error", "-y", "-f", "lavfi", "-i", "color=black:size=%dx%d" % (side, side),
                        "-frames:v", "1"] + codec + ["-fflags", "+bitexact", "-flags:v", "+bitexact",
                                                     "-map_metadata", "-1", movie], check=True)
        with open(movie, "rb") as f:
            data = f.read()
        for target in ("movie", "picture", "calibration"):
            write(target, name, data)


def tiff(width, height, compression, data, samples=1, rows=None, counts=None, tile=None, big=False):
    """A little-endian TIFF (a big TIFF if big) of one directory of 8-bit
    samples in strips of rows (by default one strip) or in tiles of tile =
    (width, height); data, the strips' or tiles' bytes as stored, follows the
    directory and its arrays. counts are the byte counts the directory
    declares, the strips or tiles lying one after another from data's start
    (by default one of data's length)."""
    counts = counts or [len(data)]
    word = 8 if big else 4
    value = "<Q" if big else "<I"
    entries = [(256, 4, [width]), (257, 4, [height]), (258, 3, [8]), (259, 3, [compression]),
               (262, 3, [1 if samples == 1 else 2]), (277, 3, [samples])]
    if tile:
        entries += [(322, 4, [tile[0]]), (323, 4, [tile[1]])]
        tags = (324, 325)
    else:
        entries += [(278, 4, [rows or height])]
        tags = (273, 279)
    first = 16 if big else 8
    directory = (8 if big else 2) + (len(entries) + 2) * (4 + 2 * word) + word
    arrays_at = first + directory
    array_kind, array_format = (16, "Q") if big else (4, "I")
    array_bytes = 0 if len(counts) == 1 else 2 * len(counts) * struct.calcsize(array_format)
    offsets = [arrays_at + array_bytes]
    for count in counts[:-1]:
        offsets.append(offsets[-1] + count)
    entries += [(tags[0], array_kind, offsets), (tags[1], array_kind, counts)]
    arrays = b""
    fields = b""
    for tag, kind, values in sorted(entries):
        fields += struct.pack("<HH", tag, kind) + struct.pack(value, len(values))
        if len(values) == 1:
            fields += struct.pack("<" + {3: "H", 4: "I", 16: "Q"}[kind], values[0]).ljust(word, b"\0")
        else:
            fields += struct.pack(value, arrays_at + len(arrays))
            arrays += struct.pack("<%d%s" % (len(values), array_format), *values)
    head = b"II" + (struct.pack("<HHHQ", 43, 8, 0, 16) if big else struct.pack("<HI", 42, 8))
    table = struct.pack("<Q" if big else "<H", len(entries)) + fields + struct.pack(value, 0)
    assert len(table) == directory and len(arrays) == array_bytes
    return head + table + arrays + data


# picture and calibration: TIFFs whose strips or tiles cannot fill their
# first directory's sizes. Qt's reader (libtiff's) made the picture from the
# directory before reading a strip, and the import a clip of the probed size:
# 4091 x 32767 grey as stored in 512 strips of 64 rows, the file ending 1 KB
# into the first (542 MB as a picture); 16000 x 16000 RGB in one strip of 64
# zeros deflated (764 MB as a dark or flat frame, libtiff's buffer for the
# strip) and the same in PackBits (764 MB); 4091 x 32767 grey in one deflated
# strip alike, and in 2048 tiles of 256 x 256 of a big TIFF, four of them
# holding 64 zeros deflated and the others empty (542 MB and 1.5 s each as a
# picture). Strips and tiles decode to at most their coding's best ratio (as
# stored 1, PackBits 128, deflate 1032, LZW 4096 bytes a byte), so a
# directory asking for more than the data present can give is refused by the
# probe and the decode alike. FFmpeg does not open a TIFF as a movie.
deflated = zlib.compress(bytes(64))
stored_counts = [4091 * 64] * 511 + [4091 * (32767 - 64 * 511)]
short_tiffs = {
    "tiff-strips-beyond-its-file.tif": tiff(4091, 32767, 1, bytes(1024), rows=64, counts=stored_counts),
    "deflate-tiff-beyond-its-data.tif": tiff(16000, 16000, 8, deflated, samples=3),
    "packbits-tiff-beyond-its-data.tif": tiff(16000, 16000, 32773, bytes([257 - 128, 0]) * 32, samples=3),
    "tiled-big-tiff-beyond-its-data.tif": tiff(4091, 32767, 8, deflated * 4, tile=(256, 256),
                                               counts=[len(deflated)] * 4 + [0] * (16 * 128 - 4), big=True),
    "tall-deflate-tiff-beyond-its-data.tif": tiff(4091, 32767, 8, deflated),
}
for name, data in short_tiffs.items():
    for target in ("picture", "calibration"):
        write(target, name, data)
