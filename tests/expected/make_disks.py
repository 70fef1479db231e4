#!/usr/bin/env python3
"""The disk files whose reports are on record: one of each shape the image tests make (each
container format and subformat, chains, refusals, 4Kn, a file system over the whole disk,
noise), small, made with every random value fixed: GUIDs and ids given to sfdisk, sgdisk and
fdisk, a frozen clock for mkntfs, mkfs.fat and mkfs.exfat (their serial numbers come from
it), and the ids qemu-img draws (a VHD's unique id and time, a VHDX's GUIDs, a VDI's UUIDs, a
VMDK's CID) written over with fixed ones.

The files themselves are committed, as tests/expected/disks.tar.xz (sparse, compressed) with
tests/expected/disks.sha256: the recorded outputs come from those bytes whatever tools a
machine has. This recipe makes them again:

  make_disks.py write   make the files and write the archive and its manifest
  make_disks.py check   make the files and say which differ from the manifest (another
                        version of a tool writes other bytes; the archive still holds)
"""
import hashlib
import os
import random
import re
import shutil
import struct
import subprocess
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(os.path.dirname(HERE), "images"))
import disk_recipes as r  # noqa: E402
from disk_recipes import MIB, blank, edited, fixed_uuid, path, place, sh  # noqa: E402

ARCHIVE = os.path.join(HERE, "disks.tar.xz")
MANIFEST = os.path.join(HERE, "disks.sha256")
CLOCK = "2026-01-01 00:00:00"
NTFS, EFI, LINUX = "0700", "ef00", "8300"


# --- the ids qemu-img draws, made fixed -----------------------------------------------------

def fixed_vhd(name):
    data = bytearray(open(path(name), "rb").read())
    for at in (0, len(data) - 512):  # a dynamic disk keeps a copy of its footer at 0
        footer = data[at:at + 512]
        if footer[:8] != b"conectix":
            continue
        footer[24:28] = struct.pack(">I", 0x31000000)  # 2026, in seconds since 2000
        footer[68:84] = fixed_uuid(name, "unique id").bytes
        footer[64:68] = struct.pack(">I", r.vhd_footer_checksum(footer))
        data[at:at + 512] = footer
    open(path(name), "wb").write(data)


def fixed_vhdx(name):
    """The two headers' GUIDs and sequence numbers (the current one stays current), the page
    83 id, and the log: qemu leaves its replayed entries there, each with a drawn GUID, but
    a header whose log GUID is zero says the log holds nothing."""
    data = bytearray(open(path(name), "rb").read(4 * MIB))
    current = max((64 * 1024, 128 * 1024), key=lambda at: struct.unpack("<Q", data[at + 8:at + 16])[0])
    for at in (64 * 1024, 128 * 1024):
        header = data[at:at + 4096]
        header[8:16] = struct.pack("<Q", 2 if at == current else 1)
        header[16:32] = fixed_uuid(name, "file write").bytes_le
        header[32:48] = fixed_uuid(name, "data write").bytes_le
        if not header[48:64].strip(b"\0"):
            length, log = struct.unpack("<IQ", header[68:80])
            data[log:log + length] = bytes(length)
        header[4:8] = b"\0\0\0\0"
        header[4:8] = struct.pack("<I", r.crc32c(header))
        data[at:at + 4096] = header
    at = r.vhdx_metadata_item(data, "BECA12AB-B2E6-4523-93EF-C309E000C746")  # page 83 data
    data[at:at + 16] = fixed_uuid(name, "page 83").bytes_le
    with open(path(name), "r+b") as f:
        f.write(data)


def fixed_vdi(name):
    with open(path(name), "r+b") as f:
        for at, what in ((0x188, "create"), (0x198, "modify")):  # version 1.1's header
            f.seek(at)
            f.write(fixed_uuid(name, what).bytes_le)


def vmdk_cid(name, cid=None):
    """The descriptor's CID line (embedded, or a file of its own) set to `cid`, or to one of
    eight digits made from the name; a parentCID stays the parent's. qemu writes a CID in as
    few digits as it takes, so the line may grow: an embedded descriptor gives up as many of
    the zeros after it."""
    cid = cid if cid is not None else (fixed_uuid(name).int & 0x0FFFFFFF) | 0x10000000
    with open(path(name), "r+b") as f:
        data = f.read(64 * 1024)
        match = re.search(rb"(?m)^CID=[0-9a-f]{1,8}$", data)
        if not match:
            return
        text = data[:match.start()] + b"CID=%08x" % cid + data[match.end():]
        if b"\0" in data:
            pad = text.index(b"\0", match.start())
            text = text[:pad] + text[pad + len(text) - len(data):]
        f.seek(0)
        f.write(text)
        if b"\0" not in data:
            f.truncate(len(text))


FIXERS = {".vhd": fixed_vhd, ".vhdx": fixed_vhdx, ".avhdx": fixed_vhdx, ".vdi": fixed_vdi,
          ".vmdk": vmdk_cid}


def qemu(*command):
    """qemu-img or qemu-io, and the ids of what it wrote made fixed."""
    sh(*command)
    if command[0] == "qemu-io":  # a VMDK written to draws a new CID
        vmdk_cid(os.path.relpath(command[-1], r.work)) if command[-1].endswith(".vmdk") else None
    if command[0] == "qemu-img" and command[1] in ("convert", "create"):
        made = [c for c in command[2:] if c.startswith(r.work)][-1]
        name = os.path.relpath(made, r.work)
        fix = FIXERS.get(os.path.splitext(name)[1])
        if fix:
            fix(name)
        for extent in sorted(os.listdir(os.path.dirname(made))):  # a split disk's extents
            if extent != os.path.basename(made) and extent.startswith(os.path.basename(made)[:-5] + "-"):
                vmdk_cid(os.path.join(os.path.dirname(name), extent))


def fs(name, kind, sectors, sector=512, cluster=None, hidden=0, extra=()):
    return r.file_system(name, kind, sectors, sector, cluster, hidden, extra)


# --- the guests -----------------------------------------------------------------------------

def mbr_at_63():
    """An XP-era disk: NTFS at 63; an extended chain with FAT16 of 1 KiB clusters, exFAT and
    Linux, each 63 sectors after its boot record."""
    blank("mbr63.img", 24 * MIB)
    sh("sfdisk", "-q", path("mbr63.img"), stdin="label: dos\nlabel-id: 0x7e55a4e1\n"
       "start=63, size=10177, type=7\nstart=10240, size=38912, type=5\n"
       "start=10303, size=16321, type=6\nstart=26687, size=16321, type=7\n"
       "start=43071, size=6081, type=83\n")
    for number, kind, start, extra in ((1, "NTFS", 63, {}), (5, "FAT16", 10303, {"cluster": 1024}),
                                       (6, "exFAT", 26687, {})):
        sectors = 10177 if number == 1 else 16321
        fs("mbr63-%d" % number, kind, sectors, hidden=start, **extra)
        place("mbr63.img", "mbr63-%d" % number, start)
        os.remove(path("mbr63-%d" % number))


def gpt_by_sgdisk():
    """sgdisk's GPT: an EFI system partition at 34, NTFS on 1 MiB, Linux off the grid, FAT16
    of 2 KiB clusters on the grid."""
    blank("gpt.img", 32 * MIB)
    parts = [(1, 34, 16384, EFI), (2, 18432, 16384, NTFS), (3, 36865, 4096, LINUX),
             (4, 43008, 20480, NTFS)]
    command = ["sgdisk", "-a", "1", "-U", str(fixed_uuid("gpt.img"))]
    for n, start, sectors, kind in parts:
        command += ["-n", "%d:%d:%d" % (n, start, start + sectors - 1), "-t", "%d:%s" % (n, kind),
                    "-u", "%d:%s" % (n, fixed_uuid("gpt.img", n))]
    sh(*command, path("gpt.img"))
    for n, kind, cluster in ((1, "FAT16", 512), (2, "NTFS", 4096), (4, "FAT16", 2048)):
        start, sectors = parts[n - 1][1:3]
        fs("gpt-%d" % n, kind, sectors, cluster=cluster, hidden=start)
        place("gpt.img", "gpt-%d" % n, start)
        os.remove(path("gpt-%d" % n))


def fdisk_4k(name, size, commands, ids):
    """A label in 4096-byte sectors, as `fdisk -b 4096` writes it, its ids set in fdisk's
    expert menu."""
    blank(name, size)
    expert = "x\ni\n%s\n" % ids[0] + "".join("u\n%d\n%s\n" % (n, i) for n, i in enumerate(ids[1:], 1))
    sh("fdisk", "-b", "4096", path(name), stdin=commands + expert + "r\nw\n")


def gpt_4k():
    """NTFS and FAT32 in 4096-byte sectors on a GPT of 4096-byte sectors."""
    fdisk_4k("gpt4k.img", 24 * MIB, "g\nn\n1\n256\n+8M\nn\n2\n2305\n+8M\n",
             [str(fixed_uuid("gpt4k.img", n)) for n in range(3)])
    for n, kind, start, extra in ((1, "NTFS", 256, {}), (2, "FAT32", 2305, {"cluster": 4096})):
        fs("gpt4k-%d" % n, kind, 2048, sector=4096, hidden=start, **extra)
        place("gpt4k.img", "gpt4k-%d" % n, start, 4096)
        os.remove(path("gpt4k-%d" % n))


def dos_4k():
    """A 4Kn DOS label with NTFS at 256 and 4097: the second on the grid only counted in
    4096-byte sectors."""
    fdisk_4k("dos4k.img", 32 * MIB, "o\nn\np\n1\n256\n+8M\nn\np\n2\n4097\n+8M\n", ["0x4b4e0001"])
    for n, start in ((1, 256), (2, 4097)):
        fs("dos4k-%d" % n, "NTFS", 2048, sector=4096, hidden=start)
        place("dos4k.img", "dos4k-%d" % n, start, 4096)
        os.remove(path("dos4k-%d" % n))


def small_labels():
    for name, size, script in [
            ("linux.img", 8 * MIB, "start=2048, size=8000, type=83\nstart=10111, type=82\n"),
            ("aligned.img", 8 * MIB, "start=2048, type=83\n"),
            ("empty.img", 1 * MIB, ""),
            ("ready.img", 64 * MIB, "start=2048, type=83\n"),
            ("small.img", 19 * MIB, "start=2048, type=83\n")]:
        blank(name, size)
        sh("sfdisk", "-q", path(name), stdin="label: dos\nlabel-id: 0x%08x\n%s" % (
            fixed_uuid(name).int & 0xFFFFFFFF, script))
    blank("ntfs-64k.img", 64 * MIB)
    sh("sfdisk", "-q", path("ntfs-64k.img"), stdin="label: dos\nlabel-id: 0x6400000a\nstart=2048, type=7\n")
    fs("ntfs-64k-1", "NTFS", 129024, cluster=65536, hidden=2048)
    place("ntfs-64k.img", "ntfs-64k-1", 2048)
    os.remove(path("ntfs-64k-1"))


def whole_disks():
    """File systems over the whole disk, as USB sticks hold them; zeros and noise."""
    fs("whole-fat32.img", "FAT32", 65536)
    fs("whole-fat32-r33.img", "FAT32", 65536, extra=("-s", "8", "-R", "33"))
    fs("whole-exfat.img", "exFAT", 16384)
    fs("whole-ntfs4k.img", "NTFS", 2048, sector=4096)
    blank("zeros.img", 1 * MIB)
    noise = bytearray(random.Random(34).randbytes(64 * 1024))
    noise[510:512] = b"\x12\x34"
    open(path("noise.img"), "wb").write(noise)


def edits():
    edited("mbr63.img", "loop.img", r.ebr_chain_loops)
    edited("mbr63.img", "backup.img", r.gpt_primary_damaged)  # an MBR disk: nothing to fall back on
    edited("gpt.img", "gpt-backup.img", r.gpt_primary_damaged)
    edited("gpt-backup.img", "gpt-neither.img",
           lambda d: d.__setitem__(len(d) - 512 + 40, d[len(d) - 512 + 40] ^ 0xFF))
    edited("mbr63.img", "disk.dmg", lambda d: d.extend(b"koly" + bytes(508)))
    qemu("qemu-img", "create", "-q", "-f", "parallels", path("disk.hds"), "64M")


# --- containers -----------------------------------------------------------------------------

VHD_KINDS = [("fixed.vhd", "vpc", "subformat=fixed"), ("dynamic.vhd", "vpc", "subformat=dynamic"),
             ("forced.vhd", "vpc", "subformat=dynamic,force_size=on"),
             ("fixed.vhdx", "vhdx", "subformat=fixed"),
             ("dynamic-1m.vhdx", "vhdx", "subformat=dynamic,block_size=1M"),
             ("dynamic-32m.vhdx", "vhdx", "subformat=dynamic,block_size=32M")]


def containers():
    for name, driver, options in VHD_KINDS:
        qemu("qemu-img", "convert", "-f", "raw", "-O", driver, "-o", options, path("mbr63.img"), path(name))
    for raw, kinds in (("mbr63.img", None), ("gpt4k.img", ("c64k.qcow2", "sparse.vmdk", "dynamic.vdi")),
                       ("gpt.img", ("c512.qcow2",))):
        for name, driver, options, _ in r.OTHER_FORMATS:
            if kinds is None or name in kinds:
                qemu("qemu-img", "convert", "-f", "raw", "-O", driver, *options, path(raw),
                     path(raw.split(".")[0] + "-" + name))
    qemu("qemu-img", "convert", "-f", "raw", "-O", "qcow2", "-c", "-o", "compression_type=zstd",
         path("mbr63.img"), path("zstd.qcow2"))
    for name, driver, options in [("geometry.vhd", "vpc", "subformat=fixed"),
                                  ("whole.vhd", "vpc", "subformat=fixed,force_size=on"),
                                  ("ready-dynamic.vhd", "vpc", "subformat=dynamic,force_size=on"),
                                  ("ready.vhdx", "vhdx", "subformat=dynamic")]:
        qemu("qemu-img", "convert", "-f", "raw", "-O", driver, "-o", options, path("ready.img"), path(name))
    qemu("qemu-img", "convert", "-f", "raw", "-O", "vpc", "-o", "subformat=fixed,force_size=on",
         path("small.img"), path("small.vhd"))
    qemu("qemu-img", "convert", "-f", "raw", "-O", "vpc", "-o", "subformat=dynamic",
         path("aligned.img"), path("aligned.vhd"))


def refusals():
    """Hand-edited copies for what no tool makes on purpose, each refused by name."""
    for source, name, edit in [
            ("dynamic.vhd", "differencing.vhd", lambda d: r.vhd_disk_type(d, 4)),
            ("dynamic-1m.vhdx", "differencing.vhdx", r.vhdx_has_parent),
            ("dynamic-1m.vhdx", "log.vhdx", r.vhdx_log_waiting),
            ("fixed.vhd", "footer.vhd", lambda d: d.__setitem__(len(d) - 500, d[-500] ^ 1)),
            ("dynamic-1m.vhdx", "headers.vhdx",
             lambda d: [d.__setitem__(at, d[at] ^ 1) for at in (64 * 1024 + 200, 128 * 1024 + 200)]),
            ("dynamic.vhd", "outside.vhd", r.vhd_first_block_outside),
            ("dynamic.vhd", "truncated.vhd", lambda d: d.__delitem__(slice(len(d) - 512, None))),
            ("dynamic-1m.vhdx", "physical4k.vhdx", r.vhdx_physical_4096),
            ("dynamic-1m.vhdx", "unknown-item.vhdx",
             lambda d: r.vhdx_metadata_entry(d, "11111111-2222-3333-4444-555555555555", 4)),
            ("dynamic-1m.vhdx", "unknown-optional.vhdx",
             lambda d: r.vhdx_metadata_entry(d, "11111111-2222-3333-4444-555555555555", 0)),
            ("dynamic-1m.vhdx", "checkpoint.avhdx", lambda d: (r.vhdx_has_parent(d), r.vhdx_metadata_entry(
                d, "A8D35F2D-B30B-454D-ABF7-D3D84834AB0C", 4))),
            ("dynamic-1m.vhdx", "partly.vhdx", r.vhdx_block_partly_present),
            ("dynamic-1m.vhdx", "version2.vhdx", r.vhdx_header_versions((2, 2))),
            ("dynamic-1m.vhdx", "one-version1.vhdx", r.vhdx_header_versions((2, 1))),
            ("mbr63-sparse.vmdk", "delta.vmdk", r.vmdk_parent_cid),
            ("mbr63-sparse.vmdk", "vmfssparse.vmdk", lambda d: r.vmdk_extent_type(d, b"VMFSSPARSE")),
            ("mbr63-sparse.vmdk", "gd.vmdk", r.vmdk_directory_outside),
            ("mbr63-c64k.qcow2", "l2.qcow2", r.qcow2_l2_outside),
            ("mbr63-dynamic.vdi", "diff.vdi", lambda d: d.__setitem__(slice(0x4C, 0x50), struct.pack("<I", 4)))]:
        edited(source, name, edit)
    with open(path("missing.vmdk"), "w") as f:
        f.write(open(path("mbr63-flat.vmdk")).read().replace("mbr63-flat-flat.vmdk", "gone-flat.vmdk"))


def chains():
    """Chains three deep in two folders, with data written at each level by qemu-io; a QCOW2
    over a raw disk; a replaced VMDK parent, a missing one and a loop; differencing VHD and
    VHDX files over qemu's, each with a wrong id and a missing parent beside it."""
    for folder in ("chain/base", "chain/vm", "vpc/base", "vpc/vm", "hv/base", "hv/vm"):
        os.makedirs(path(folder), exist_ok=True)
    shutil.copy(path("mbr63.img"), path("chain/base/disk.img"))
    boot = bytearray(open(path("mbr63.img"), "rb").read()[63 * 512:64 * 512])
    boot[13] = 1  # clusters of one sector: read from the child, not the base
    open(path("boot.bin"), "wb").write(boot)
    for driver in ("qcow2", "vmdk"):
        r.chain_three_deep("mbr63.img", driver, "8M", qemu)
    os.remove(path("boot.bin"))
    qemu("qemu-img", "create", "-q", "-f", "qcow2", "-b", "disk.img", "-F", "raw", path("chain/base/over-raw.qcow2"))
    qemu("qemu-img", "create", "-q", "-f", "vmdk", path("chain/base/other.vmdk"), "24M")
    qemu("qemu-img", "create", "-q", "-f", "vmdk", "-b", "../base/other.vmdk", "-F", "vmdk", path("chain/vm/moved.vmdk"))
    os.remove(path("chain/base/other.vmdk"))
    qemu("qemu-img", "create", "-q", "-f", "vmdk", path("chain/base/other.vmdk"), "24M")
    vmdk_cid("chain/base/other.vmdk", 0x0DDBA11D)  # the new disk: another CID
    qemu("qemu-img", "create", "-q", "-f", "qcow2", "-b", "../base/gone.qcow2", "-F", "qcow2", "-u",
         path("chain/vm/orphan.qcow2"), "24M")
    qemu("qemu-img", "create", "-q", "-f", "qcow2", "-b", "loop-b.qcow2", "-F", "qcow2", "-u",
         path("chain/vm/loop-a.qcow2"), "24M")
    qemu("qemu-img", "create", "-q", "-f", "qcow2", "-b", "loop-a.qcow2", "-F", "qcow2", "-u",
         path("chain/vm/loop-b.qcow2"), "24M")
    size = os.path.getsize(path("mbr63.img"))
    shutil.copy(path("dynamic.vhd"), path("vpc/base/parent.vhd"))
    parent_id = open(path("dynamic.vhd"), "rb").read()[-512:][68:84].hex()
    r.vhd_child("vpc/vm/child.vhd", "..\\base\\parent.vhd", parent_id, size, boot, 63)
    r.vhd_child("vpc/vm/wrong.vhd", "..\\base\\parent.vhd", "00" * 16, size, boot, 63)
    r.vhd_child("vpc/vm/orphan.vhd", "..\\base\\gone.vhd", parent_id, size, boot, 63)
    shutil.copy(path("dynamic-1m.vhdx"), path("hv/base/parent.vhdx"))
    guid = r.vhdx_data_write_guid("hv/base/parent.vhdx")
    r.vhdx_child("hv/vm/child.avhdx", "..\\base\\parent.vhdx", guid, size, boot, 63)
    r.vhdx_child("hv/vm/wrong.avhdx", "..\\base\\parent.vhdx", "{00000000-0000-0000-0000-000000000001}",
                 size, boot, 63)
    r.vhdx_child("hv/vm/orphan.avhdx", "..\\base\\gone.vhdx", guid, size, boot, 63)


def hostile():
    """Parents named where Tessarel never goes (another computer, a device, a stream, a
    device's name, a climb past the root), and tables a format forbids."""
    os.makedirs(path("names/deep/a/b"), exist_ok=True)
    for name, parent in [("names/unc.qcow2", "\\\\server\\share\\base.img"),
                         ("names/slashes.qcow2", "//server/share/base.img"),
                         ("names/webdav.qcow2", "\\\\host@SSL\\DavWWWRoot\\base.img"),
                         ("names/device.qcow2", "\\\\.\\PhysicalDrive0"),
                         ("names/stream.qcow2", "base.img:hidden"),
                         ("names/devname.qcow2", "CON"),
                         ("names/deep/a/b/climb.qcow2", "../../../../../../../../../x.qcow2")]:
        qemu("qemu-img", "create", "-q", "-f", "qcow2", "-u", "-b", parent, "-F", "raw", path(name), "24M")
    r.vhd_child("names/device.vhd", "\\\\.\\PhysicalDrive0", "00" * 16, 24 * MIB, bytes(512), 63)
    os.makedirs(path("costs"), exist_ok=True)
    qemu("qemu-img", "create", "-q", "-f", "vmdk", path("costs/one.vmdk"), "64K")
    open(path("costs/again.vmdk"), "w").write(
        "# Disk DescriptorFile\nversion=1\nCID=12345678\nparentCID=ffffffff\n"
        "createType=\"twoGbMaxExtentSparse\"\n" + 'RW 128 SPARSE "one.vmdk"\n' * 64)
    qemu("qemu-img", "create", "-q", "-f", "vmdk", path("costs/two-tables.vmdk"), "64M")
    edited("costs/two-tables.vmdk", "costs/overlap.vmdk", r.vmdk_tables_overlap)
    edited("costs/two-tables.vmdk", "costs/sector-grains.vmdk", r.vmdk_sector_grains)
    r.qcow2_of_many_tables("costs/tables.qcow2", 1 << 12)


def sector_sizes_and_pools():
    """Where NTFS, FAT and exFAT are absent: Linux at 256 and ext4 at 4353 in 4096-byte
    sectors; labels that no witness speaks for, judged alike at 512 and 4096 or not; a
    dynamic disk's (MBR and GPT), a storage pool's, Linux LVM and RAID (judged by their
    start), and a Windows-like GPT (EFI system, Microsoft reserved, NTFS: judged)."""
    fdisk_4k("linux4k.img", 32 * MIB, "o\nn\np\n1\n256\n+8M\nn\np\n2\n4353\n+8M\n", ["0x4b4e0002"])
    blank("linux4k-2.fs", 8 * MIB)
    sh("mkfs.ext4", "-q", "-F", "-U", str(fixed_uuid("linux4k.img")), "-E",
       "hash_seed=%s" % fixed_uuid("linux4k.img", "hash"), path("linux4k-2.fs"))
    place("linux4k.img", "linux4k-2.fs", 4353, 4096)
    os.remove(path("linux4k-2.fs"))
    # Disks large enough that every entry fits read in either size (a witness otherwise).
    for name, script in [("alike.img", "start=2048, size=4096, type=83\nstart=8192, size=4096, type=83\n"),
                         ("unshown.img", "start=256, size=2048, type=83\nstart=4353, size=2048, type=83\n"),
                         ("mbr-ldm.img", "start=63, type=42\n")]:
        blank(name, 64 * MIB)
        sh("sfdisk", "-q", path(name), stdin="label: dos\nlabel-id: 0x%08x\n%s" % (
            fixed_uuid(name).int & 0xFFFFFFFF, script))
    for name, parts in [("gpt-ldm.img", [(1, 34, 2014, "4201"), (2, 2049, 20480, "4200")]),
                        ("gpt-spaces.img", [(1, 2048, 20480, "4202")]),
                        ("gpt-lvm.img", [(1, 2049, 20480, "8e00")]),
                        ("gpt-raid.img", [(1, 2048, 20480, "fd00")]),
                        ("gpt-windows.img", [(1, 2048, 8192, "ef00"), (2, 10240, 32768, "0c01"),
                                             (3, 43008, 20480, "0700")])]:
        blank(name, 32 * MIB)
        command = ["sgdisk", "-a", "1", "-U", str(fixed_uuid(name))]
        for n, start, sectors, code in parts:
            command += ["-n", "%d:%d:%d" % (n, start, start + sectors - 1), "-t", "%d:%s" % (n, code),
                        "-u", "%d:%s" % (n, fixed_uuid(name, n))]
        sh(*command, path(name))
    fs("gpt-windows-3", "NTFS", 20480, hidden=43008)
    place("gpt-windows.img", "gpt-windows-3", 43008)
    os.remove(path("gpt-windows-3"))


def compressed_qcow2():
    """A disk with 64 KiB of random bytes, converted with -c: clusters that do not compress
    stay plain beside the compressed ones, with and without extended L2 entries."""
    blank("noisy.img", 8 * MIB)
    sh("sfdisk", "-q", path("noisy.img"), stdin="label: dos\nlabel-id: 0x4e015e00\nstart=2048, type=83\n")
    with open(path("noisy.img"), "r+b") as f:
        f.seek(2 * MIB)
        f.write(random.Random(45).randbytes(64 * 1024))
    for name, options in [("mixed.qcow2", "cluster_size=512"),
                          ("mixed-l2x.qcow2", "cluster_size=65536,extended_l2=on")]:
        qemu("qemu-img", "convert", "-c", "-f", "raw", "-O", "qcow2", "-o", options, path("noisy.img"),
             path(name))


def two_terabytes():
    """A 2 TB sparse disk with a partition past 1 TiB: raw, and in four containers."""
    blank("big.img", 2 << 40)
    sh("sfdisk", "-q", path("big.img"), stdin="label: gpt\nlabel-id: %s\nstart=2147483711, size=1000000, "
       "uuid=%s\n" % (fixed_uuid("big.img"), fixed_uuid("big.img", 1)))
    for name, driver in [("big.vhdx", "vhdx"), ("big.qcow2", "qcow2"), ("big.vdi", "vdi"), ("big.vmdk", "vmdk")]:
        qemu("qemu-img", "convert", "-f", "raw", "-O", driver, path("big.img"), path(name))


def make(folder):
    r.work = folder
    r.prefix = ["faketime", "-f", CLOCK]  # a stopped clock
    mbr_at_63()
    gpt_by_sgdisk()
    gpt_4k()
    dos_4k()
    small_labels()
    whole_disks()
    edits()
    containers()
    refusals()
    chains()
    hostile()
    sector_sizes_and_pools()
    compressed_qcow2()
    two_terabytes()


# --- the manifest ---------------------------------------------------------------------------

def digest(file):
    """SHA-256 of a file's size and of each 64 KiB piece that holds a byte other than zero, with
    its place: the same for a file whose zeros are holes and one whose zeros were written,
    and read in the time its data takes, not its size (2 TB files are here)."""
    h = hashlib.sha256()
    size = os.path.getsize(file)
    h.update(struct.pack("<Q", size))
    chunk = 64 * 1024
    with open(file, "rb") as f:
        fd = f.fileno()
        at = 0
        while at < size:
            try:
                at = os.lseek(fd, at, os.SEEK_DATA)
            except OSError:  # no data past here
                break
            end = os.lseek(fd, at, os.SEEK_HOLE)
            at -= at % chunk
            while at < end:
                f.seek(at)
                piece = f.read(chunk)
                if piece.strip(b"\0"):
                    h.update(struct.pack("<Q", at) + piece)
                at += chunk
    return h.hexdigest()


def manifest(folder):
    lines = []
    for d, _, files in os.walk(folder):
        for f in files:
            full = os.path.join(d, f)
            lines.append("%s  %s\n" % (digest(full), os.path.relpath(full, folder)))
    return "".join(sorted(lines, key=lambda line: line.split("  ", 1)[1]))


def extract(folder):
    """The committed files in `folder`; what differs from the manifest, one line each."""
    subprocess.run(["tar", "-xJSf", ARCHIVE, "-C", folder], check=True)
    return differences(open(MANIFEST).read(), manifest(folder))


def differences(want, got):
    w = dict(reversed(line.split("  ", 1)) for line in want.splitlines())
    g = dict(reversed(line.split("  ", 1)) for line in got.splitlines())
    return (["%s: not made" % n for n in sorted(set(w) - set(g))] +
            ["%s: not in the manifest" % n for n in sorted(set(g) - set(w))] +
            ["%s: other bytes" % n for n in sorted(set(w) & set(g)) if w[n] != g[n]])


def main():
    if len(sys.argv) != 2 or sys.argv[1] not in ("write", "check"):
        raise SystemExit(__doc__)
    folder = tempfile.mkdtemp(prefix="tessarel-disks-")
    try:
        make(folder)
        made = manifest(folder)
        if sys.argv[1] == "write":
            for d, _, files in os.walk(folder):  # zeros as holes: less to pack and to unpack
                for f in files:
                    subprocess.run(["fallocate", "--dig-holes", os.path.join(d, f)], check=True)
            with open(ARCHIVE + ".tmp", "wb") as out:
                tar = subprocess.Popen(["tar", "-cS", "--sort=name", "--owner=0", "--group=0",
                                        "--numeric-owner", "--mtime=@0", "--format=gnu", "-C", folder, "."],
                                       stdout=subprocess.PIPE)
                subprocess.run(["xz", "-9e", "-T1"], stdin=tar.stdout, stdout=out, check=True)
                if tar.wait() != 0:
                    raise SystemExit("tar failed")
            os.replace(ARCHIVE + ".tmp", ARCHIVE)
            open(MANIFEST, "w").write(made)
            print("%d files, %d bytes compressed" % (made.count("\n"), os.path.getsize(ARCHIVE)))
            return
        versions = [sh(tool, "--version").splitlines()[0] for tool in ("qemu-img", "sfdisk", "mkntfs")]
        found = differences(open(MANIFEST).read(), made)
        for line in found:
            print(line)
        print("%d of %d files as recorded (%s)" % (made.count("\n") - len(found), made.count("\n"),
                                                    "; ".join(versions)))
    finally:
        shutil.rmtree(folder, ignore_errors=True)


if __name__ == "__main__":
    main()
