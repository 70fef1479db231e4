"""Image files the output checks read: a raw disk whose MBR has one NTFS entry at sector 63
(no file system inside, so it is judged by its start: misaligned), 64 KiB of random bytes,
a PNG picture (a file of another format), and a path where no file is (refused)."""
import os
import random
import struct
import zlib


def write_sample_images(folder):
    """Writes the files into folder; returns their paths, the missing one last."""
    disk = bytearray(8 << 20)
    disk[446:462] = bytes([0, 0, 0, 0, 7, 0, 0, 0]) + (63).to_bytes(4, "little") + (4000).to_bytes(4, "little")
    disk[510:512] = b"\x55\xaa"
    raw = os.path.join(folder, "xp.img")
    open(raw, "wb").write(disk)
    noise = os.path.join(folder, "noise.bin")
    open(noise, "wb").write(random.Random(7).randbytes(64 << 10))
    # A 1x1 grey PNG: signature, IHDR, IDAT, IEND.
    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))
    png = os.path.join(folder, "picture.png")
    open(png, "wb").write(b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", 1, 1, 8, 0, 0, 0, 0)) +
                          chunk(b"IDAT", zlib.compress(b"\x00\x80")) + chunk(b"IEND", b""))
    return [raw, noise, png, os.path.join(folder, "missing.vhd")]
