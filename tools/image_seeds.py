#!/usr/bin/env python3
"""Writes the image fuzz target's seeds: small disks made by Linux's tools (an XP-era MBR
disk with NTFS at 63 and FAT, a GPT disk with an EFI system partition and exFAT, a 4Kn DOS
label with NTFS of 4096-byte sectors and 128 KiB clusters, FAT32 and exFAT over a whole
disk), raw and in the containers qemu-img writes (those it does not read among them), in the fuzz input format of tests/fuzz/fuzz_codec.h
(CodeImageFile): the file's size, then its runs of bytes that are not zeros.

Usage: tools/image_seeds.py DIRECTORY
"""
import os
import struct
import subprocess
import sys
import tempfile

SIZES = [4 << 20, 1 << 20, 64 << 20, 2 << 40, 513, 0]
OFFSETS = [0, 512, 4096, 64 << 10, 128 << 10, 192 << 10, 256 << 10, 1 << 20, 2 << 20, 3 << 20, 4 << 20]
MOST_RUNS, MOST_RUN = 24, 65024  # a run's length is 16 bits


def sh(*command, stdin=None):
    subprocess.run(command, input=stdin, check=True, capture_output=True, text=True)


def choice(value, table):
    return bytes([table.index(value)]) if value in table else b"\xff" + struct.pack("<Q", value)


def runs(data):
    """The file's bytes that are not zeros, as runs of whole 512-byte sectors that bridge
    gaps of a sector or two, each under 64 KiB; the first ones and the file's last."""
    found, at = [], 0
    while at < len(data):
        if data[at:at + 512].strip(b"\0"):
            end = at + 512
            while end < len(data) and end - at < MOST_RUN and data[end:end + 1536].strip(b"\0"):
                end += 512
            found.append((at, data[at:end].rstrip(b"\0")))
            at = end
        else:
            at += 512
    return found if len(found) <= MOST_RUNS else found[:MOST_RUNS - 1] + found[-1:]


def keep_boot_region(path):
    """A file system's first 16 KiB and zeros after: its boot sector is what is read, and a
    seed holds few runs."""
    data = open(path, "rb").read()
    open(path, "wb").write(data[:16384] + bytes(len(data) - 16384))


def file_part(path):
    data = open(path, "rb").read()
    out = choice(len(data), SIZES)
    chosen = runs(data)
    out += bytes([len(chosen)])
    for at, chunk in chosen:
        out += b"\0" + choice(at, OFFSETS) + struct.pack("<H", len(chunk)) + chunk
    return out


def seed(path, parent=None):
    """The file, the default grid, and the file beside it named `parent`, where given."""
    return file_part(path) + b"\0" + (file_part(parent) if parent else b"")


def main():
    target = sys.argv[1]
    os.makedirs(target, exist_ok=True)
    work = tempfile.mkdtemp()
    p = lambda name: os.path.join(work, name)
    # An XP-era disk: NTFS at 63, FAT in a logical partition.
    with open(p("xp.img"), "wb") as f:
        f.truncate(16 << 20)
    sh("sfdisk", "-q", p("xp.img"), stdin="label: dos\nstart=63, size=16321, type=7\n"
       "start=16384, size=16384, type=5\nstart=16447, size=16000, type=6\n")
    for name, sectors, command in [("ntfs", 16321, ["mkntfs", "-Q", "-F", "-q", "-p", "63"]),
                                   ("fat", 16000, ["mkfs.fat"])]:
        with open(p(name), "wb") as f:
            f.truncate(sectors * 512)
        sh(*command, p(name))
    for name in ("ntfs", "fat"):
        keep_boot_region(p(name))
    for name, at in [("ntfs", 63), ("fat", 16447)]:
        sh("dd", "if=" + p(name), "of=" + p("xp.img"), "bs=512", "seek=%d" % at, "conv=notrunc")
    # A GPT disk: an EFI system partition at 34 and exFAT on 1 MiB.
    with open(p("gpt.img"), "wb") as f:
        f.truncate(16 << 20)
    sh("sgdisk", "-a", "1", "-n", "1:34:+4M", "-t", "1:ef00", "-n", "2:10240:+4M", p("gpt.img"))
    with open(p("exfat"), "wb") as f:
        f.truncate(4 << 20)
    sh("mkfs.exfat", p("exfat"))
    keep_boot_region(p("exfat"))
    sh("dd", "if=" + p("exfat"), "of=" + p("gpt.img"), "bs=512", "seek=10240", "conv=notrunc")
    # A 4Kn disk's DOS label, NTFS of 4096-byte sectors and 128 KiB clusters at 256 and 2049.
    with open(p("dos4k.img"), "wb") as f:
        f.truncate(16 << 20)
    sh("fdisk", "-b", "4096", p("dos4k.img"), stdin="o\nn\np\n1\n256\n+4M\nn\np\n2\n2049\n+4M\nw\n")
    for at in (256, 2049):
        with open(p("ntfs4k"), "wb") as f:
            f.truncate(1025 * 4096)
        sh("mkntfs", "-Q", "-F", "-q", "-s", "4096", "-c", "131072", "-p", str(at), p("ntfs4k"))
        keep_boot_region(p("ntfs4k"))
        sh("dd", "if=" + p("ntfs4k"), "of=" + p("dos4k.img"), "bs=4096", "seek=%d" % at,
           "conv=notrunc")
    # File systems over a whole disk, as USB sticks hold them.
    for name, command in [("whole-fat32.img", ["mkfs.fat", "-F", "32"]),
                          ("whole-exfat.img", ["mkfs.exfat"])]:
        with open(p(name), "wb") as f:
            f.truncate(64 << 20)
        sh(*command, p(name))
        keep_boot_region(p(name))
    made = {name: p(name) for name in ("xp.img", "gpt.img", "dos4k.img", "whole-fat32.img",
                                       "whole-exfat.img")}
    for name, driver, options in [("xp-fixed.vhd", "vpc", "subformat=fixed"),
                                  ("xp-dynamic.vhd", "vpc", "subformat=dynamic"),
                                  ("xp.vhdx", "vhdx", "subformat=dynamic,block_size=1M"),
                                  ("gpt.vhdx", "vhdx", "subformat=dynamic,block_size=1M"),
                                  ("xp.qcow2", "qcow2", "cluster_size=65536"),
                                  ("xp-512.qcow2", "qcow2", "cluster_size=512"),
                                  ("xp-l2x.qcow2", "qcow2", "cluster_size=65536,extended_l2=on"),
                                  ("xp-deflate.qcow2", "qcow2", "compression_type=zlib"),
                                  ("xp.vdi", "vdi", "static=off"),
                                  ("xp-fixed.vdi", "vdi", "static=on"),
                                  ("xp.vmdk", "vmdk", "subformat=monolithicSparse"),
                                  ("xp-zeroed.vmdk", "vmdk", "subformat=monolithicSparse,zeroed_grain=on"),
                                  ("xp-stream.vmdk", "vmdk", "subformat=streamOptimized")]:
        source = p("gpt.img" if name.startswith("gpt") else "xp.img")
        compress = ["-c"] if name.endswith("deflate.qcow2") else []
        sh("qemu-img", "convert", "-f", "raw", "-O", driver, *compress, "-o", options, source, p(name))
        made[name] = p(name)
    # Chains: a QCOW2 over a raw parent and a VMDK delta over its parent, each named "parent"
    # as the fuzz target places the second file beside the first.
    parents = {}
    for name, driver, base in [("chain.qcow2", "qcow2", "xp.img"), ("chain.vmdk", "vmdk", "xp.vmdk")]:
        parent = p("chain-" + driver)
        os.makedirs(parent, exist_ok=True)
        sh("cp", p(base), os.path.join(parent, "parent"))
        sh("qemu-img", "create", "-q", "-f", driver, "-b", "parent", "-F",
           "raw" if base.endswith(".img") else driver, os.path.join(parent, "child"))
        made[name] = os.path.join(parent, "child")
        parents[name] = os.path.join(parent, "parent")
    for old in os.listdir(target):
        if old.startswith("seed-"):
            os.remove(os.path.join(target, old))
    for name, path in made.items():
        open(os.path.join(target, "seed-" + name), "wb").write(seed(path, parents.get(name)))
    print("wrote %d image seeds" % len(made))


main()
