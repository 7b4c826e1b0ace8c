#!/usr/bin/env python3
"""Writes the seed corpora of the fuzz targets under fuzz/seeds/<target>/:
what the program's own writers make (workspaces, pictures, raw and FITS
stacks, by the fuzz_write_seeds program of a build), and small files of other
programs (PNG, GIF and JPEG pictures and short movies, by ffmpeg). Each seed
is a few kilobytes at most, so that the fuzzer mutates them quickly.
    python3 fuzz/make_seeds.py [BUILD-DIR]   (default build/test-plain)
"""
import gzip
import os
import shutil
import subprocess
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
SEEDS = os.path.join(HERE, "seeds")
BUILD = sys.argv[1] if len(sys.argv) > 1 else os.path.join(HERE, "..", "build", "test-plain")


def ffmpeg(*args):
    # Bit-exact output without metadata, so that the files do not change
    # from one run to the next.
    subprocess.run(["ffmpeg", "-v", "error", "-y", *args], check=True)


def source(size, frames=1, rate=5):
    return ["-f", "lavfi", "-i", f"testsrc2=size={size}:rate={rate}", "-frames:v", str(frames),
            "-fflags", "+bitexact", "-flags:v", "+bitexact", "-map_metadata", "-1"]


def main():
    shutil.rmtree(SEEDS, ignore_errors=True)
    writer = os.path.join(BUILD, "fuzz", "fuzz_write_seeds")
    subprocess.run([writer, SEEDS], check=True)

    # raw: geometry 0 (4 x 4 pixels of one byte a sample), which the Save
    # Raw encoder never writes; the first byte chooses the geometry.
    with open(os.path.join(SEEDS, "raw", "4x4-8bit.raw"), "wb") as f:
        f.write(bytes([0]) + bytes((i * 37) & 0xFF for i in range(48)))

    # fits: the 16-bit seed compressed, as gzip files reach the reader.
    with open(os.path.join(SEEDS, "fits", "9x7-16bit.fit"), "rb") as f:
        plain = f.read()
    with open(os.path.join(SEEDS, "fits", "9x7-16bit.fit.gz"), "wb") as f:
        f.write(gzip.compress(plain, mtime=0))

    # picture and calibration: pictures of other programs.
    for target, size in (("picture", "16x12"), ("calibration", "64x48")):
        folder = os.path.join(SEEDS, target)
        ffmpeg(*source(size), "-pix_fmt", "rgb24", os.path.join(folder, "testsrc.png"))
        ffmpeg(*source(size), "-pix_fmt", "rgb8", os.path.join(folder, "testsrc.gif"))
        ffmpeg(*source(size), "-q:v", "8", os.path.join(folder, "testsrc.jpg"))

    # movie: a few frames in the containers and codecs cameras write.
    movie = os.path.join(SEEDS, "movie")
    os.makedirs(movie, exist_ok=True)
    ffmpeg(*source("16x12", 6), "-c:v", "mjpeg", "-q:v", "8", "-f", "mov", os.path.join(movie, "mjpeg.mov"))
    ffmpeg(*source("16x12", 4), "-c:v", "rawvideo", "-pix_fmt", "bgr24", "-f", "avi", os.path.join(movie, "raw.avi"))
    ffmpeg(*source("16x12", 6), "-c:v", "mpeg4", "-g", "3", "-q:v", "10", "-f", "mp4", os.path.join(movie, "mpeg4.mp4"))
    ffmpeg(*source("16x12", 4), "-c:v", "ffv1", "-f", "matroska", os.path.join(movie, "ffv1.mkv"))

    for folder, _, files in sorted(os.walk(SEEDS)):
        for name in sorted(files):
            path = os.path.join(folder, name)
            size = os.path.getsize(path)
            assert size <= 8192, f"{path} is {size} bytes: seeds stay small"
            print(f"{os.path.relpath(path, HERE)}: {size} bytes")


if __name__ == "__main__":
    main()
