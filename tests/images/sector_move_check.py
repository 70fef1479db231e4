#!/usr/bin/env python3
"""The move to the other logical sector size, in disk files made by real tools: tables by
sfdisk, sgdisk and fdisk -b 4096; file systems by mkntfs, mkfs.fat, mkfs.exfat, mkfs.ext4
and mkfs.xfs at both sizes; the containers qemu-img writes of them; a VHDX of 4096-byte
sectors edited from qemu-img's by [MS-VHDX]'s metadata. Every value an item names is the one
the tools report: starts and ends from sfdisk --json, sgdisk -p and fdisk -b 4096 -l, the
recorded sizes from ntfsinfo, fsck.fat -v, dump.exfat, dumpe2fs -h and xfs_db.

Usage: sector_move_check.py [--wine] REPORT...
"""
import os
import re
import struct
import sys
import tempfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import disk_recipes  # noqa: E402
from disk_recipes import MIB, blank, fdisk_4k_partitions, path, place, sfdisk_partitions, sh  # noqa: E402

wine, report_command = disk_recipes.console(sys.argv[1:])
work = disk_recipes.work = tempfile.mkdtemp(prefix="tessarel-move-")
failures = []
reports = []
ESP, BIOS_BOOT = "EF00", "EF02"


def check(what, got, want):
    if got != want:
        failures.append("%s: got %r, want %r" % (what, got, want))


def report(name, *options):
    reports.append(name)
    return disk_recipes.image_json(report_command, wine, name, *options)


def file_system(name, kind, size, unit):
    """A file of `size` bytes holding `kind` made in units of `unit` bytes (its sector, or
    ext's block), and what the tool's own report says it records: (Tessarel's name, bytes)."""
    f = path(name)
    blank(name, size)
    if kind == "NTFS":
        sh("mkntfs", "-Q", "-F", "-q", "-s", str(unit), "-c", "4096", f)
        return "NTFS", int(re.search(r"Sector Size: (\d+)", sh("ntfsinfo", "-m", f)).group(1))
    if kind == "FAT":
        sh("mkfs.fat", "-F", "32", "-S", str(unit), f)
        return "FAT", int(re.search(r"(\d+) bytes per logical sector", sh("fsck.fat", "-v", "-n", f)).group(1))
    if kind == "exFAT":
        sh("mkfs.exfat", f)
        return "exFAT", 1 << int(re.search(r"Sector Size Bits:\s+(\d+)", sh("dump.exfat", f)).group(1))
    if kind == "ext":
        sh("mkfs.ext4", "-q", "-F", "-b", str(unit), f)
        return "ext", int(re.search(r"Block size:\s+(\d+)", sh("dumpe2fs", "-h", f)).group(1))
    sh("mkfs.xfs", "-q", "-f", "-s", "size=%d" % unit, f)
    return "XFS", int(re.search(r"sectsize = (\d+)", sh("xfs_db", "-r", "-c", "sb 0", "-c", "p sectsize", f)).group(1))


def sgdisk_partitions(name):
    """number -> (first, last, code) as sgdisk -p lists them."""
    table = {}
    for line in sh("sgdisk", "-p", path(name)).splitlines():
        m = re.match(r"\s*(\d+)\s+(\d+)\s+(\d+)\s+\S+ \S+\s+([0-9A-F]{4})", line)
        if m:
            table[int(m.group(1))] = (int(m.group(2)), int(m.group(3)), m.group(4))
    return table


def filled(name, table, kinds, sector):
    """Each partition of `table` (number -> (start, sectors)) given its file system; the
    items each records, in the table's order."""
    items = []
    for number, (kind, unit) in kinds.items():
        start, sectors = table[number]
        fs_name, recorded = file_system("%s-%d" % (name, number), kind, sectors * sector, unit)
        place(name, "%s-%d" % (name, number), start, sector)
        items.append((number, fs_name, recorded))
    return items


def records(items, to):
    """The file-system items of a move to `to`: those recording the old size (or ext below 4096)."""
    if to == 4096:
        return [("file-system-records", n, b, fs) for n, fs, b in items if b < 4096]
    return [("file-system-records", n, b, fs) for n, fs, b in items if b == 4096 and fs != "ext"]


def mbr_512():
    """sfdisk at 512: NTFS at sector 63, FAT32 of an odd length, the first marked active, and
    a disk a sector longer than 4 KiB's multiple."""
    name = "mbr63.img"
    blank(name, 120 * MIB + 512)
    sh("sfdisk", "-q", path(name),
       stdin="label: dos\nstart=63, size=81920, type=7, bootable\nstart=83968, size=155649, type=c\n")
    t = {n: (s, c) for n, (s, c, _) in sfdisk_partitions(name).items()}
    fs = filled(name, t, {1: ("NTFS", 512), 2: ("FAT", 512)}, 512)
    first = [("start-off-4k", 1, t[1][0] * 512, None), ("size-off-4k", None, 120 * MIB + 512, None),
             ("table-rewrite", None, None, None)] + records(fs, 4096)
    return name, "not-ready", first, first + [("boots-through-bios", None, None, None)]


def gpt_512():
    """sgdisk at 512: a 100 MiB ESP in FAT32, NTFS of 4 KiB sectors marked legacy BIOS
    bootable (attribute bit 2, as syslinux's GPT boot code wants), ext4 of 1 KiB blocks, XFS
    of 512-byte sectors, exFAT."""
    name = "gpt512.img"
    blank(name, 700 * MIB)
    sh("sgdisk", "-n", "1:2048:+100M", "-t", "1:" + ESP, "-n", "2:0:+64M", "-t", "2:0700",
       "-n", "3:0:+64M", "-t", "3:8300", "-n", "4:0:+300M", "-t", "4:8300", "-n", "5:0:+64M",
       "-t", "5:0700", "-A", "2:set:2", path(name))
    g = sgdisk_partitions(name)
    t = {n: (a, b - a + 1) for n, (a, b, _) in g.items()}
    fs = filled(name, t, {1: ("FAT", 512), 2: ("NTFS", 4096), 3: ("ext", 1024), 4: ("XFS", 512),
                          5: ("exFAT", 512)}, 512)
    items = [("table-rewrite", None, None, None)] + records(fs, 4096)
    return name, "needs-reformat", items, items + [("esp-too-small", 1, t[1][1] * 512, None),
                                                   ("boots-through-bios", None, None, None)]


def gpt_bios():
    """sgdisk at 512 with 8-sector alignment: a BIOS boot partition at sector 40 (below the
    first usable at 4096), a 300 MiB ESP of 4 KiB sectors, NTFS of 4 KiB sectors ending on
    4 KiB in the backup table's place at 4096 (a disk 2 KiB past a whole MiB leaves room)."""
    name = "gptbios.img"
    size = 400 * MIB + 2048
    blank(name, size)
    last = size // 512 - 34  # sgdisk's last usable sector
    sh("sgdisk", "-a", "8", "-n", "1:40:+1M", "-t", "1:" + BIOS_BOOT, "-n", "2:4096:+300M",
       "-t", "2:" + ESP, "-n", "3:0:%d" % (last // 8 * 8 - 1), "-t", "3:0700", path(name))
    g = sgdisk_partitions(name)
    t = {n: (a, b - a + 1) for n, (a, b, _) in g.items()}
    filled(name, t, {2: ("FAT", 4096), 3: ("NTFS", 4096)}, 512)
    items = [("below-first-usable", 1, 40 * 512, None), ("in-backup-table", 3, (g[3][1] + 1) * 512, None),
             ("size-off-4k", None, size, None), ("table-rewrite", None, None, None)]
    return name, "not-ready", items, items + [("boots-through-bios", None, None, None)]


def logical_records():
    """sfdisk's logical partitions, each record on 4 KiB; then the second record moved off
    4 KiB, its partition left where it was (as tools that keep a track before each do)."""
    name = "logicals.img"
    blank(name, 64 * MIB)
    sh("sfdisk", "-q", path(name), stdin="label: dos\nstart=2048, size=100000, type=f\n"
       "start=4096, size=20480, type=7\nstart=26624, size=20480, type=83\n")
    t = {n: (s, c) for n, (s, c, _) in sfdisk_partitions(name).items()}
    fs = filled(name, t, {5: ("NTFS", 512), 6: ("ext", 4096)}, 512)
    data = bytearray(open(path(name), "rb").read())
    ext = 2048
    link = ext * 512 + 446 + 16
    second = ext + struct.unpack("<I", data[link + 8:link + 12])[0]
    logical = second + struct.unpack("<I", data[second * 512 + 446 + 8:second * 512 + 446 + 12])[0]
    moved = second + 4  # four sectors on: off 4 KiB, still before its partition
    data[moved * 512:moved * 512 + 512] = data[second * 512:second * 512 + 512]
    data[moved * 512 + 446 + 8:moved * 512 + 446 + 12] = struct.pack("<I", logical - moved)
    data[link + 8:link + 12] = struct.pack("<I", moved - ext)
    data[link + 12:link + 16] = struct.pack("<I", logical + 20480 - moved)
    open(path("logicals-off.img"), "wb").write(data)
    table = [("table-rewrite", None, None, None)] + records(fs, 4096)
    off = [("record-off-4k", None, moved * 512, None)] + table
    return [(name, "needs-reformat", table, table), ("logicals-off.img", "not-ready", off, off)]


def gpt_4k():
    """fdisk -b 4096: NTFS and FAT32 of 4 KiB sectors; to 512 each is named."""
    name = "gpt4k.img"
    blank(name, 96 * MIB)
    sh("fdisk", "-b", "4096", path(name), stdin="g\nn\n1\n256\n+16M\nn\n2\n4353\n+40M\nw\n")
    t = {n: (s, c) for n, (s, c, _) in fdisk_4k_partitions(name, "Type-UUID").items()}
    fs = filled(name, t, {1: ("NTFS", 4096), 2: ("FAT", 4096)}, 4096)
    items = [("table-rewrite", None, None, None)] + records(fs, 512)
    return name, "needs-table-rewrite", items, items


def whole_disks():
    """A file system from sector 0, no table: its own recorded size decides. XFS of 512-byte
    sectors says the disk's; one of 4096 (which fits either) and ext need --sector-size."""
    out = []
    for name, kind, unit, verdict, options in [
            ("xfs512.img", "XFS", 512, "needs-reformat", []),
            ("xfs4k.img", "XFS", 4096, "ready", ["--sector-size", "512"]),
            ("xfs4k.img", "XFS", 4096, "ready", ["--sector-size", "4096"]),
            ("ext1024.img", "ext", 1024, "needs-reformat", ["--sector-size", "512"]),
            ("ext4096.img", "ext", 4096, "ready", ["--sector-size", "512"])]:
        fs_name, recorded = file_system(name, kind, 300 * MIB if kind == "XFS" else 64 * MIB, unit)
        items = records([(0, fs_name, recorded)], 512 if options[-1:] == ["4096"] else 4096)
        out.append((name, verdict, items, items, options))
        if options and not os.path.exists(path(name + ".told")):
            open(path(name + ".told"), "w").close()
            check(name + " without --sector-size", report(name)["sectorSizeMove"], None)
    return out


def item_tuples(move):
    return [(i["kind"], i["partition"], i["value"], i["fileSystem"]) for i in move["items"]]


def check_move(name, verdict, items, items4kn, *options):
    for target, want in [([], items), (["--target", "4kn"], items4kn)]:
        image = report(name, *(list(options) + target))
        what = " ".join([name] + list(options) + target)
        move = image["sectorSizeMove"]
        if move is None:
            failures.append(what + ": no sectorSizeMove")
            continue
        check(what + ": verdict", move["verdict"], verdict)
        check(what + ": items", item_tuples(move), want)
        if target:
            ready = image["logicalSectorSize"] == 4096 or move["verdict"] == "ready"
            check(what + ": ready for 4kn", image["targets"], [
                {"name": "4kn", "ready": ready, "reasons": [] if ready else
                 ["its move to %d-byte sectors: %s" % (move["to"], move["verdict"])], "fix": None}])


def containers(raw, make_vhdx_4k=False):
    """qemu-img's containers of `raw`, each expected to move as the raw file does."""
    made = []
    for suffix, driver, opts in [("fixed.vhd", "vpc", "subformat=fixed,force_size=on"),
                                 ("dynamic.vhd", "vpc", "subformat=dynamic,force_size=on"),
                                 ("vhdx", "vhdx", ""), ("vmdk", "vmdk", ""), ("qcow2", "qcow2", ""),
                                 ("vdi", "vdi", "")]:
        name = raw.replace(".img", "." + suffix)
        sh("qemu-img", "convert", "-f", "raw", "-O", driver, *(["-o", opts] if opts else []),
           path(raw), path(name))
        made.append(name)
    return made


def vhdx_4096(source, name):
    """qemu-img's VHDX with its logical sector size set to 4096 ([MS-VHDX] 2.6.2.4): the
    guest's bytes are a 4Kn disk's."""
    data = bytearray(open(path(source), "rb").read())
    at = disk_recipes.vhdx_metadata_item(data, "8141BF1D-A96F-4709-BA47-F233A8FAAB5F")
    data[at:at + 4] = struct.pack("<I", 4096)
    open(path(name), "wb").write(data)


def main():
    cases = [c + ([],) for c in [mbr_512(), gpt_512(), gpt_bios(), gpt_4k()] + logical_records()]
    cases += whole_disks()
    for name, verdict, items, items4kn, options in cases:
        check_move(name, verdict, items, items4kn, *options)
    # Each container of the 512-byte disk moves as the raw file; those of the 4Kn disk are
    # already unreadable in their guest (VHD and qemu's VHDX name 512-byte sectors), unless
    # the VHDX names 4096.
    raw = report("gpt512.img")["sectorSizeMove"]
    for name in containers("gpt512.img"):
        check(name + ": moves as the raw disk", report(name)["sectorSizeMove"], raw)
    differ = {"to": 4096, "verdict": "not-ready", "items": [("guest-sectors-differ", None, 4096, None)]}
    for name in containers("gpt4k.img"):
        move = report(name)["sectorSizeMove"]
        if name.endswith((".vhd", ".vhdx")):
            check(name + ": unreadable in its guest", move and dict(move, items=item_tuples(move)), differ)
        else:
            check(name + ": moves as the raw 4Kn disk", move, report("gpt4k.img")["sectorSizeMove"])
    vhdx_4096("gpt4k.vhdx", "gpt4k-4096.vhdx")
    check("gpt4k-4096.vhdx: moves as the raw 4Kn disk", report("gpt4k-4096.vhdx")["sectorSizeMove"],
          report("gpt4k.img")["sectorSizeMove"])
    return disk_recipes.finish(failures, "sector size move: %d disk files in %d reports, every check passed" %
                               (len(set(reports)), len(reports)))


sys.exit(main())
