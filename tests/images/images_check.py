#!/usr/bin/env python3
"""Disk images made at test time by Linux's own tools (sfdisk, sgdisk, fdisk, mkfs.fat,
mkfs.exfat, mkntfs, qemu-img), checked by the report and compared with what those tools,
fsck.fat, dump.exfat, ntfsinfo and libvhdi's vhdiinfo say of them. Hand-edited copies stand
for what no tool makes on purpose: a differencing disk, a VHDX whose log waits, one with
4096-byte physical sectors, broken checksums, a block table that points outside the file,
a damaged primary GPT header. Last, the advice is acted on: an NTFS partition shrunk and
moved as the report says, then called aligned, clean, its file intact.

Usage: images_check.py [--wine] REPORT...
  REPORT: the command that runs the console report; with --wine, the paths it is given
  are the host's seen from Wine (Z:\\...).
"""
import json
import os
import re
import shutil
import struct
import subprocess
import sys
import tempfile

import jsonschema

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import disk_recipes  # noqa: E402
from disk_recipes import *  # noqa: E402,F401,F403

NTFS_GUID = "EBD0A0A2-B9E5-4433-87C0-68B6B72699C7"
EFI_GUID = "C12A7328-F81F-11D2-BA4B-00A0C93EC93B"
LINUX_GUID = "0FC63DAF-8483-4772-8E79-3D69D8477DE4"

wine = sys.argv[1] == "--wine"
report_command = [os.path.abspath(a) if os.path.exists(a) else a
                  for a in (sys.argv[2:] if wine else sys.argv[1:])]
work = disk_recipes.work = tempfile.mkdtemp(prefix="tessarel-images-")
SCHEMA = jsonschema.Draft202012Validator(json.load(open(os.path.join(
    os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__)))), "docs",
    "report.schema.json"))))
failures = []


def seen(name):  # how the report is given the file
    return "Z:" + path(name).replace("/", "\\") if wine else path(name)


def report(names, *options):
    """The report's JSON for these images, valid against the schema, and its exit status."""
    args = list(report_command) + ["--json"] + list(options)
    for name in names:
        args += ["--image", seen(name)]
    done = subprocess.run(args, capture_output=True, text=True,
                          env=dict(os.environ, TESSAREL_HOST_ROOT=work))
    doc = json.loads(done.stdout)
    for error in list(SCHEMA.iter_errors(doc))[:3]:
        failures.append("schema: %s at %s" % (error.message[:200], "/".join(map(str, error.path))))
    return doc, done.returncode


def output(names, *options):
    """The report's standard output in another form, and its exit status."""
    args = list(report_command) + list(options)
    for name in names:
        args += ["--image", seen(name)]
    done = subprocess.run(args, capture_output=True)
    return done.stdout.decode("utf-8"), done.returncode


checked = []


def check(what, got, expected):
    checked.append(what)
    if got != expected:
        failures.append("%s: got %r, expected %r" % (what, got, expected))


# --- file systems, each made in a file of its own and asked of by its own tools -----------

# --- the expected verdict, computed here from the tools' facts alone ----------------------

def expected_verdict(data_start, sector, cluster, grid, efi):
    if data_start * sector % grid:
        return "misaligned"
    if not efi and cluster is not None and cluster < max(sector, min(grid, 4096)):
        return "misaligned"
    return "aligned"


def compare_partitions(what, image, table, facts, sector, grid=4096):
    """The report's partitions against the table's tool and the file systems' tools."""
    got = {p["number"]: p for p in image["partitions"]}
    listed = {n: t for n, t in table.items() if t[2] not in ("5", "F", "85")}  # containers
    check(what + ": partitions", sorted(got), sorted(listed))
    for number, (start, size, kind) in listed.items():
        p = got.get(number)
        if p is None:
            continue
        where = "%s partition %d" % (what, number)
        check(where + " start and length", (p["start"], p["length"]), (start, size))
        check(where + " type", str(p["type"]).upper(),
              kind if "-" in kind else str(int(kind, 16)))
        fs = facts.get(number)
        if fs is None:
            check(where + " file system", p["fileSystem"], None)
            check(where + " verdict", p["verdict"],
                  "aligned" if start * sector % grid == 0 else "misaligned")
            continue
        data = start + fs["dataOffset"]
        efi = kind in (EFI_GUID, "EF")
        check(where + " file system", (p["fileSystem"], p["clusterBytes"], p["dataStart"]),
              (fs["fileSystem"], fs["clusterBytes"], data))
        check(where + " verdict", p["verdict"],
              expected_verdict(data, sector, fs["clusterBytes"], grid, efi))
        advice = p["advice"]
        if p["verdict"] == "misaligned" and advice["moveTo"] is not None:
            # Formatting again lays the data area out from the partition's start.
            offset = 0 if advice["format"] else fs["dataOffset"]
            check(where + " advised start puts its data on the grid",
                  (advice["moveTo"] + offset) * sector % grid, 0)


# --- the images -----------------------------------------------------------------------

def mbr_at_63():
    """An XP-era disk: NTFS at 63, and an extended chain with FAT32, exFAT and Linux."""
    name = "mbr63.img"
    blank(name, 160 * MIB)
    sh("sfdisk", "-q", path(name), stdin="label: dos\n"
       "start=63, size=60000, type=7\n"
       "start=61440, size=250000, type=5\n"
       "start=61503, size=140000, type=c\n"
       "start=201600, size=60000, type=7\n"
       "start=262144, size=40000, type=83\n")
    facts = {1: file_system("mbr63-1", "NTFS", 60000, hidden=63),
             5: file_system("mbr63-5", "FAT32", 140000, hidden=61503),
             6: file_system("mbr63-6", "exFAT", 60000)}
    place(name, "mbr63-1", 63)
    place(name, "mbr63-5", 61503)
    place(name, "mbr63-6", 201600)
    return name, sfdisk_partitions(name), facts, 512


def gpt_by_sgdisk():
    """GPT as sgdisk writes it: an EFI system partition at 34, NTFS at 2048 multiples, Linux
    off the grid, and a FAT16 with small clusters on the grid."""
    name = "gpt.img"
    blank(name, 128 * MIB)
    sh("sgdisk", "-a", "1", "-n", "1:34:+40M", "-t", "1:ef00", "-n", "2:83968:+30M",
       "-t", "2:0700", "-n", "3:147457:+10M", "-t", "3:8300", "-n", "4:172032:+20M",
       "-t", "4:0700", path(name))
    table = sfdisk_partitions(name)
    facts = {1: file_system("gpt-1", "FAT32", table[1][1], cluster=512, hidden=34),
             2: file_system("gpt-2", "NTFS", table[2][1], cluster=4096, hidden=83968),
             4: file_system("gpt-4", "FAT16", table[4][1], cluster=2048, hidden=172032)}
    for number in facts:
        place(name, "gpt-%d" % number, table[number][0])
    return name, table, facts, 512


def gpt_4k():
    """4096-byte sectors, as fdisk -b 4096 writes them: NTFS and FAT32 in 4 KiB sectors."""
    name = "gpt4k.img"
    blank(name, 96 * MIB)
    sh("fdisk", "-b", "4096", path(name), stdin="g\nn\n1\n256\n+16M\nn\n2\n4353\n+40M\nw\n")
    table = fdisk_4k_partitions(name, "Type-UUID")
    facts = {1: file_system("gpt4k-1", "NTFS", table[1][1], sector=4096, hidden=256),
             2: file_system("gpt4k-2", "FAT32", table[2][1], sector=4096, cluster=4096,
                            hidden=4353)}
    place(name, "gpt4k-1", table[1][0], 4096)
    place(name, "gpt4k-2", table[2][0], 4096)
    return name, table, facts, 4096


def containers(raw):
    """The raw disk in every container qemu-img writes: name -> (format, qemu's driver)."""
    made = {}
    for name, driver, options, fmt in [
            ("fixed.vhd", "vpc", "subformat=fixed", "vhd-fixed"),
            ("dynamic.vhd", "vpc", "subformat=dynamic", "vhd-dynamic"),
            ("forced.vhd", "vpc", "subformat=dynamic,force_size=on", "vhd-dynamic"),
            ("fixed.vhdx", "vhdx", "subformat=fixed", "vhdx-fixed"),
            ("dynamic-1m.vhdx", "vhdx", "subformat=dynamic,block_size=1M", "vhdx-dynamic"),
            ("dynamic-32m.vhdx", "vhdx", "subformat=dynamic,block_size=32M", "vhdx-dynamic")]:
        sh("qemu-img", "convert", "-f", "raw", "-O", driver, "-o", options, path(raw), path(name))
        made[name] = (fmt, driver)
    return made


# --- a small reader of the containers' block tables, to know where the data blocks lie --

def vhd_blocks_aligned(name):
    data = open(path(name), "rb").read()
    footer = data[-512:]
    header = data[struct.unpack(">Q", footer[16:24])[0]:][:1024]
    if header[:8] != b"cxsparse":
        return None
    table, entries, block = struct.unpack(">QII", header[16:32])
    bitmap = -(-block // 512 // 8) // 512 * 512 or 512
    offsets = [e * 512 + bitmap for e in struct.unpack(">%dI" % entries, data[table:table + 4 * entries])
               if e != 0xFFFFFFFF]
    return all(o % 4096 == 0 for o in offsets) if offsets else None


def vhdx_blocks_aligned(name):
    data = open(path(name), "rb").read()
    at, length = vhdx_region(data, "2DC27766-F623-4200-9D64-115E9BFD4A08")
    entries = struct.unpack("<%dQ" % (length // 8), data[at:at + length])
    offsets = [(e >> 20) * MIB for e in entries if e & 7 in (6, 7)]
    return all(o % 4096 == 0 for o in offsets) if offsets else None


def vhdiinfo_size(name):
    return int(re.search(r"Media size\s*:.*\((\d+) bytes\)", sh("vhdiinfo", path(name))).group(1))


# --- hand-edited copies ---------------------------------------------------------------

# --- the checks -----------------------------------------------------------------------

def main():
    disks = [mbr_at_63(), gpt_by_sgdisk(), gpt_4k()]
    raw = disks[0][0]
    made = containers(raw)
    refusals = {
        edited("dynamic.vhd", "differencing.vhd", lambda d: vhd_disk_type(d, 4)): "differencing",
        edited("dynamic-1m.vhdx", "differencing.vhdx", vhdx_has_parent): "differencing",
        edited("dynamic-1m.vhdx", "log.vhdx", vhdx_log_waiting): "log-not-empty",
        edited("fixed.vhd", "footer.vhd", lambda d: d.__setitem__(len(d) - 500, d[-500] ^ 1)): "checksum",
        edited("dynamic-1m.vhdx", "headers.vhdx",
               lambda d: [d.__setitem__(at, d[at] ^ 1) for at in (64 * 1024 + 200, 128 * 1024 + 200)]): "checksum",
        edited("dynamic.vhd", "outside.vhd", vhd_first_block_outside): "outside-file",
        edited("dynamic.vhd", "truncated.vhd", lambda d: d.__delitem__(slice(len(d) - 512, None))): "unknown-format",
        "missing.vhd": "cannot-open",
    }
    edited("dynamic-1m.vhdx", "physical4k.vhdx", vhdx_physical_4096)
    edited(raw, "backup.img", gpt_primary_damaged)  # an MBR disk: nothing to fall back on
    edited(disks[1][0], "gpt-backup.img", gpt_primary_damaged)
    edited(raw, "loop.img", ebr_chain_loops)
    big = two_terabytes()

    names = ([d[0] for d in disks] + list(made) + list(refusals) + big +
             ["physical4k.vhdx", "gpt-backup.img", "loop.img"])
    doc, status = report(names)
    by = {os.path.basename(i["path"].replace("\\", "/")): i for i in doc["images"]}
    check("images reported", sorted(by), sorted(names))
    check("exit status over all", status, 1)

    for name, table, facts, sector in disks:
        image = by[name]
        check(name + " format", (image["imageFormat"], image["logicalSectorSize"], image["error"]),
              ("raw", sector, None))
        check(name + " grid", (image["grid"], image["gridSource"]), (4096, "default"))
        compare_partitions(name, image, table, facts, sector)

    guest = by[raw]["partitions"]
    for name, (fmt, driver) in made.items():
        image = by[name]
        info = json.loads(sh("qemu-img", "info", "-f", driver, "--output=json", path(name)))
        check(name + " format", image["imageFormat"], fmt)
        check(name + " virtual size (qemu-img)", image["virtualSize"], info["virtual-size"])
        check(name + " virtual size (vhdiinfo)", image["virtualSize"], vhdiinfo_size(name))
        check(name + " partitions as the raw disk's", image["partitions"], guest)
        if fmt == "vhd-fixed":
            check(name + " container", image["container"], None)
            continue
        aligned = vhd_blocks_aligned(name) if driver == "vpc" else vhdx_blocks_aligned(name)
        check(name + " container", image["container"],
              {"blockSize": info["cluster-size"], "blocksAligned": aligned, "transport": False, "compressedBlocks": 0})
        if driver == "vhdx":
            check(name + " sectors", (image["logicalSectorSize"], image["physicalSectorSize"]),
                  (512, 512))

    for name, code in refusals.items():
        check(name + " refused", (by[name]["error"] or {}).get("code"), code)
        check(name + " nothing read", (by[name]["imageFormat"], by[name]["partitions"]), (None, []))
    check("physical4k.vhdx sectors", (by["physical4k.vhdx"]["physicalSectorSize"],
                                      by["physical4k.vhdx"]["partitions"]), (4096, guest))
    check("gpt-backup.img", (by["gpt-backup.img"]["gptHeader"], by["gpt-backup.img"]["partitions"]),
          ("backup", by[disks[1][0]]["partitions"]))

    check("loop.img: each logical partition once", by["loop.img"]["partitions"], guest)
    for name in big:
        check(name + " partition past 1 TiB", [(p["start"], p["length"]) for p in by[name]["partitions"]],
              [(2147483711, 1000000)])
        if not wine:  # what the check costs, as the simulated machine counts its reads
            reads, size = reads_of(name)
            most_reads, most_bytes = BIG_READS[name]
            check(name + " costs a few reads", (reads <= most_reads, size <= most_bytes), (True, True))
            print("%s: %d reads, %d bytes" % (name, reads, size))

    # Exit status: one image at a time.
    for names_, expected in [(["gpt4k.img"], 0), (["fixed.vhd"], 1), (["log.vhdx"], 2),
                             (["gpt4k.img", "missing.vhd"], 2), (["gpt4k.img", "fixed.vhd"], 1)]:
        check("exit status of %s" % names_, report(names_)[1], expected)
    # A grid the person names: 512 bytes, where sector 63 is on it.
    doc, status = report([raw], "--grid", "512")
    check("--grid 512", (doc["images"][0]["grid"], doc["images"][0]["gridSource"],
                         doc["images"][0]["partitions"][0]["verdict"]), (512, "option", "aligned"))

    act_on_the_advice()
    unread_formats(raw)
    other_formats([raw, disks[1][0], disks[2][0]])
    chains(raw)
    vhdx_chains(raw)
    vhd_chains(raw)
    big_clusters()
    large_disks()
    hostile_names()
    hostile_costs()
    witnesses()
    compressed_qcow2()
    dos_label_4k()
    linux_only()
    whole_disk_file_systems()
    nothing_to_read()
    vhdx_refusals()
    mixed_sets()
    readiness()
    every_file()


def two_terabytes():
    """A 2 TB disk, sparse, with a GPT and a partition past 1 TiB: raw, and in a dynamic VHDX,
    a QCOW2, a dynamic VDI and a sparse VMDK."""
    blank("big.img", 2 << 40)
    sh("sfdisk", "-q", path("big.img"), stdin="label: gpt\nstart=2147483711, size=1000000\n")
    for name, driver in [("big.vhdx", "vhdx"), ("big.qcow2", "qcow2"), ("big.vdi", "vdi"),
                         ("big.vmdk", "vmdk")]:
        sh("qemu-img", "convert", "-f", "raw", "-O", driver, path("big.img"), path(name))
    return ["big.img", "big.vhdx", "big.qcow2", "big.vdi", "big.vmdk"]


# What each costs: a few reads and little for the tables of the raw disk, the VHDX, the
# QCOW2 and the VDI (whose 8 MiB block map is read a page at a time); the VMDK's grain
# tables, which qemu writes whole (128 MiB at 2 TB), in 1 MiB pages and nothing else.
BIG_READS = {"big.img": (16, 8 * MIB), "big.vhdx": (16, 8 * MIB), "big.qcow2": (20, MIB),
             "big.vdi": (16, MIB), "big.vmdk": (160, 160 * MIB)}


def reads_of(name):
    """The reads one image's check makes, and their bytes, as the host tool counts them."""
    return costs_of(name)[:2]


def costs_of(name):
    """The reads, their bytes, and the most memory the report held at once."""
    done = subprocess.run(list(report_command) + ["--image", seen(name)], capture_output=True,
                          text=True, env=dict(os.environ, TESSAREL_COUNT_READS="1",
                                              TESSAREL_HOST_ROOT=work))
    m = re.search(r"reads (\d+) bytes (\d+) memory (\d+)", done.stderr)
    return int(m.group(1)), int(m.group(2)), int(m.group(3))


def large_disks():
    """LARGE's files: each reads its partition where sfdisk put it, at the cost it may have."""
    starts = large_raw_disks()
    for name, raw, (driver, *options), most_reads, most_bytes, most_memory in LARGE:
        sh("qemu-img", "convert", "-f", "raw", "-O", driver, *options, path(raw), path(name))
        image, _ = one(name)
        check(name + " its partition near the end",
              [(p["start"], p["length"]) for p in image["partitions"]], [(starts[raw], 1000000)])
        if not wine:
            reads, size, memory = costs_of(name)
            check(name + " costs", (reads <= most_reads, size <= most_bytes, memory <= most_memory),
                  (True, True, True))
            print("%s: %d reads, %d bytes, %d bytes of memory at most" % (name, reads, size, memory))
        remove_large(name)


def act_on_the_advice():
    """An NTFS partition at 63 with another right after it: shrunk where the report says,
    moved to its advised start with sfdisk, then aligned, clean, and its file intact."""
    name = "move.img"
    blank(name, 64 * MIB)
    sh("sfdisk", "-q", path(name), stdin="label: dos\nstart=63, size=40897, type=7\n"
       "start=40960, size=20480, type=83\n")
    file_system("move-1", "NTFS", 40897, hidden=63)
    note = path("note.txt")
    open(note, "w").write("written before the move\n" * 100)
    sh("ntfscp", "-f", path("move-1"), note, "note.txt")
    place(name, "move-1", 63)
    doc, _ = report([name])
    advice = doc["images"][0]["partitions"][0]["advice"]
    check("move: advice", (advice["moveTo"], advice["fits"], advice["shrinkBy"]), (64, False, 1))
    # sfdisk 2.38 will not move a partition to end on the last free sector before the next
    # (it writes that layout when asked for it whole): one sector more leaves it room.
    size = 40897 - advice["shrinkBy"] - 1
    # The file system first, to fit its new partition; then the partition, moved by sfdisk.
    sh("dd", "if=" + path(name), "of=" + path("move-1"), "bs=512", "skip=63", "count=40897",
       "status=none")
    sh("ntfsresize", "-f", "-f", "-s", str(size * 512), path("move-1"), stdin="y\n")
    place(name, "move-1", 63)
    sh("sfdisk", "-q", "-N", "1", path(name), stdin=",%d\n" % size)
    advice = report([name])[0]["images"][0]["partitions"][0]["advice"]
    check("move: advice once shrunk", (advice["moveTo"], advice["fits"]), (64, True))
    sh("sfdisk", "-q", "-N", "1", "--move-data=" + path("move.log"), path(name),
       stdin="%d,\n" % advice["moveTo"])
    doc, status = report([name])
    p = doc["images"][0]["partitions"][0]
    check("moved: start and verdict", (p["start"], p["verdict"], p["fileSystem"]),
          (advice["moveTo"], "aligned", "NTFS"))
    sh("dd", "if=" + path(name), "of=" + path("moved-1"), "bs=512", "skip=%d" % p["start"],
       "count=%d" % p["length"], "status=none")
    sh("ntfsfix", "-n", path("moved-1"))
    # ntfsresize leaves the volume marked for Windows' check, which ntfscat respects.
    check("moved: the file", sh("ntfscat", "-f", path("moved-1"), "note.txt"), open(note).read())


# --- images that must never pass unread -----------------------------------------------

def one(name, *options):
    doc, status = report([name], *options)
    return doc["images"][0], status


def unread_formats(raw):
    """Containers this reader does not take apart, refused naming the format as qemu-img
    names it; a DMG's trailer stands for Apple's tools, which Debian lacks."""
    sh("qemu-img", "create", "-q", "-f", "parallels", path("disk.hds"), "64M")
    check("disk.hds qemu-img's format",
          json.loads(sh("qemu-img", "info", "--output=json", path("disk.hds")))["format"], "parallels")
    edited(raw, "disk.dmg", lambda d: d.extend(b"koly" + bytes(508)))
    for name, word in [("disk.hds", "parallels"), ("disk.dmg", "dmg")]:
        image, status = one(name)
        error = image["error"] or {}
        check(name + " refused, naming its format",
              (error.get("code"), word in error.get("words", "").lower(), image["verdict"],
               image["partitions"], status), ("unknown-format", True, "undetermined", [], 2))
    text, status = output(["disk.hds"], "--summary")
    check("a Parallels disk's summary", (text.split(":")[0], status), ("UNDETERMINED", 2))


# --- VMDK, QCOW2 and VDI, as qemu-img writes them ----------------------------------------

def map_aligned(name, driver):
    """Whether every data extent qemu-img maps keeps the guest's 4 KiB in the file; None
    where none has a place in the file."""
    extents = json.loads(sh("qemu-img", "map", "-f", driver, "--output=json", path(name)))
    placed = [e for e in extents if e.get("data") and "offset" in e]
    return all((e["offset"] - e["start"]) % 4096 == 0 for e in placed) if placed else None


def other_formats(raws):
    """Each raw disk in each container qemu-img writes, read as the raw disk is, the
    container's verdict as `qemu-img map` places the guest in the file."""
    for raw in raws:
        guest, sector = (lambda i: (i["partitions"], i["logicalSectorSize"]))(one(raw)[0])
        for name, driver, options, fmt in OTHER_FORMATS:
            name = raw.split(".")[0] + "-" + name
            sh("qemu-img", "convert", "-f", "raw", "-O", driver, *options, path(raw), path(name))
            info = json.loads(sh("qemu-img", "info", "-f", driver, "--output=json", path(name)))
            image, status = one(name)
            check(name + " format, size and sectors",
                  (image["imageFormat"], image["virtualSize"], image["logicalSectorSize"], image["error"]),
                  (fmt, info["virtual-size"], sector, None))
            check(name + " partitions as the raw disk's", image["partitions"], guest)
            container = image["container"]
            if fmt == "vmdk-flat":
                check(name + " container", container, None)
                continue
            compressed = fmt == "vmdk-stream" or "-c" in options
            counted = container.pop("compressedBlocks")
            check(name + " container", container,
                  {"blockSize": info.get("cluster-size"), "transport": compressed,
                   "blocksAligned": None if compressed else map_aligned(name, driver)})
            if driver == "qcow2":  # every cluster qemu compressed, and no other
                check(name + " compressed clusters", counted,
                      json.loads(sh("qemu-img", "check", "--output=json", path(name))).get("compressed-clusters", 0))
            if driver == "vmdk":
                check(name + " create type", info["format-specific"]["data"]["create-type"],
                      options[1].split("=")[1].split(",")[0])
                size = re.search(r"Media size:\s+.*\((\d+) bytes\)", sh("vmdkinfo", path(name)))
                check(name + " size (vmdkinfo)", int(size.group(1)), image["virtualSize"])
            elif driver == "qcow2" and "extended_l2" not in options[-1]:
                size = re.search(r"Media size\s+:.*\((\d+) bytes\)", sh("qcowinfo", path(name)))
                check(name + " size (qcowinfo)", int(size.group(1)), image["virtualSize"])
    # What no reader here reads yet, or must not guess at: each refused naming it.
    sh("qemu-img", "convert", "-f", "raw", "-O", "qcow2", "-c", "-o", "compression_type=zstd",
       path(raws[0]), path("zstd.qcow2"))
    first = raws[0].split(".")[0]
    refusals = {
        "zstd.qcow2": ("unknown-format", "zstd"),
        edited(first + "-sparse.vmdk", "delta.vmdk", vmdk_parent_cid): ("differencing", "parent"),
        edited(first + "-sparse.vmdk", "vmfssparse.vmdk", lambda d: vmdk_extent_type(d, b"VMFSSPARSE")):
            ("unknown-format", "VMFSSPARSE"),
        edited(first + "-sparse.vmdk", "gd.vmdk", vmdk_directory_outside): ("outside-file", "directory"),
        edited(first + "-c64k.qcow2", "l2.qcow2", qcow2_l2_outside): ("outside-file", "past"),
        edited(first + "-dynamic.vdi", "diff.vdi", lambda d: d.__setitem__(slice(0x4C, 0x50), struct.pack("<I", 4))):
            ("differencing", "parent"),
    }
    with open(path("missing.vmdk"), "w") as f:
        f.write(open(path(first + "-flat.vmdk")).read().replace(first + "-flat-flat.vmdk", "gone-flat.vmdk"))
    refusals["missing.vmdk"] = ("cannot-open", "gone-flat.vmdk")
    for name, (code, word) in refusals.items():
        image, status = one(name)
        error = image["error"] or {}
        check(name + " refused", (error.get("code"), word in error.get("words", ""), status), (code, True, 2))


def chains(raw):
    """Chains three deep as qemu-img makes them, each parent in another folder named by a
    relative path, data written at each level with qemu-io: the guest's table comes from
    the base, a boot sector from the child; a QCOW2 over a raw parent; a replaced VMDK
    parent, a missing parent and a loop refused."""
    os.makedirs(path("chain/base"), exist_ok=True)
    os.makedirs(path("chain/vm"), exist_ok=True)
    expected = one(raw)[0]["partitions"]
    shutil.copy(path(raw), path("chain/base/disk.img"))
    # The child holds the first NTFS boot sector again, with clusters of one sector: the
    # report must read it from the child, where qemu-io wrote it, and call them 512 bytes.
    boot = bytearray(open(path(raw), "rb").read()[63 * 512:64 * 512])
    boot[13] = 1
    open(path("boot.bin"), "wb").write(boot)
    for driver in ("qcow2", "vmdk"):
        chain_three_deep(raw, driver, "40M")
        image, status = one("chain/vm/top." + driver)
        check(driver + " chain: partitions as the base's", image["partitions"][1:], expected[1:])
        check(driver + " chain: the child's boot sector", image["partitions"][0]["clusterBytes"], 512)
        check(driver + " chain: parents nearest first",
              [(os.path.basename(p["path"].replace("\\", "/")), p["imageFormat"], p["error"])
               for p in image["parents"]],
              [("mid." + driver, image["imageFormat"], None), ("base." + driver, image["imageFormat"], None)])
        map_ = json.loads(sh("qemu-img", "map", "--output=json", path("chain/vm/top." + driver)))
        check(driver + " chain: the boot sector from the child (qemu-img map's depth 0)",
              [m["depth"] for m in map_ if m["start"] <= 32256 < m["start"] + m["length"]], [0])
    sh("qemu-img", "create", "-q", "-f", "qcow2", "-b", "disk.img", "-F", "raw", path("chain/base/over-raw.qcow2"))
    image, _ = one("chain/base/over-raw.qcow2")
    check("QCOW2 over raw", (image["partitions"], [p["imageFormat"] for p in image["parents"]]),
          (expected, ["raw"]))
    # A VMDK parent replaced by another disk: its CID is not the one the delta names.
    sh("qemu-img", "create", "-q", "-f", "vmdk", path("chain/base/other.vmdk"), "64M")
    sh("qemu-img", "create", "-q", "-f", "vmdk", "-b", "../base/other.vmdk", "-F", "vmdk", path("chain/vm/moved.vmdk"))
    sh("qemu-img", "create", "-q", "-f", "vmdk", path("chain/base/other.vmdk"), "64M")
    sh("qemu-img", "create", "-q", "-f", "qcow2", "-b", "../base/gone.qcow2", "-F", "qcow2", "-u",
       path("chain/vm/orphan.qcow2"), "64M")
    sh("qemu-img", "create", "-q", "-f", "qcow2", "-b", "loop-b.qcow2", "-F", "qcow2", "-u", path("chain/vm/loop-a.qcow2"), "64M")
    sh("qemu-img", "create", "-q", "-f", "qcow2", "-b", "loop-a.qcow2", "-F", "qcow2", "-u", path("chain/vm/loop-b.qcow2"), "64M")
    for name, word in [("moved.vmdk", "CID"), ("orphan.qcow2", "gone.qcow2"), ("loop-a.qcow2", "comes back")]:
        image, status = one("chain/vm/" + name)
        error = image["error"] or {}
        check(name + " refused", (error.get("code"), word in error.get("words", ""), status),
              ("differencing", True, 2))


def vhd_chains(raw):
    """A differencing VHD over qemu's dynamic VHD, in another folder: the table from the
    parent, a boot sector from the child; vhdiinfo reads its parent as the report does; a
    wrong unique id and a missing parent refused."""
    os.makedirs(path("vpc/base"), exist_ok=True)
    os.makedirs(path("vpc/vm"), exist_ok=True)
    shutil.copy(path("dynamic.vhd"), path("vpc/base/parent.vhd"))
    parent = one("vpc/base/parent.vhd")[0]
    parent_id = open(path("dynamic.vhd"), "rb").read()[-512:][68:84].hex()
    boot = bytearray(open(path(raw), "rb").read()[63 * 512:64 * 512])
    boot[13] = 1
    vhd_child("vpc/vm/child.vhd", "..\\base\\parent.vhd", parent_id, parent["virtualSize"], boot, 63)
    image, status = one("vpc/vm/child.vhd")
    check("vhd chain: partitions as the parent's", image["partitions"][1:], parent["partitions"][1:])
    check("vhd chain: the child's boot sector",
          image["partitions"][0]["clusterBytes"] if image["partitions"] else None, 512)
    check("vhd chain: its parent", [(os.path.basename(p["path"].replace("\\", "/")), p["imageFormat"])
                                    for p in image["parents"]], [("parent.vhd", "vhd-dynamic")])
    facts = sh("vhdiinfo", path("vpc/vm/child.vhd"))
    check("vhd chain: vhdiinfo's parent identifier",
          re.search(r"Parent identifier\s*:\s*(\S+)", facts).group(1).replace("-", ""), parent_id)
    vhd_child("vpc/vm/wrong.vhd", "..\\base\\parent.vhd", "00" * 16, parent["virtualSize"], boot, 63)
    vhd_child("vpc/vm/orphan.vhd", "..\\base\\gone.vhd", parent_id, parent["virtualSize"], boot, 63)
    for name, word in [("wrong.vhd", "unique id"), ("orphan.vhd", "gone.vhd")]:
        image, status = one("vpc/vm/" + name)
        error = image["error"] or {}
        check(name + " refused", (error.get("code"), word in error.get("words", ""), status),
              ("differencing", True, 2))


def vhdx_chains(raw):
    """A checkpoint over qemu's dynamic VHDX, in another folder: the guest's table from the
    parent, a boot sector from the child; vhdiinfo reads the child as differencing; a wrong
    linkage and a missing parent refused."""
    os.makedirs(path("hv/base"), exist_ok=True)
    os.makedirs(path("hv/vm"), exist_ok=True)
    shutil.copy(path("dynamic-1m.vhdx"), path("hv/base/parent.vhdx"))
    expected = one("dynamic-1m.vhdx")[0]["partitions"]
    boot = bytearray(open(path(raw), "rb").read()[63 * 512:64 * 512])
    boot[13] = 1
    guid = vhdx_data_write_guid("hv/base/parent.vhdx")
    size = one("dynamic-1m.vhdx")[0]["virtualSize"]
    vhdx_child("hv/vm/child.avhdx", "..\\base\\parent.vhdx", guid, size, boot, 63)
    image, status = one("hv/vm/child.avhdx")
    check("avhdx: partitions as the parent's", image["partitions"][1:], expected[1:])
    check("avhdx: the child's boot sector", image["partitions"][0]["clusterBytes"] if image["partitions"] else None, 512)
    check("avhdx: its parent", [(os.path.basename(p["path"].replace("\\", "/")), p["imageFormat"]) for p in image["parents"]],
          [("parent.vhdx", "vhdx-dynamic")])
    # Debian's vhdiinfo (20210425) reads a VHDX's kind and size, not yet its parent locator.
    facts = sh("vhdiinfo", path("hv/vm/child.avhdx"))
    check("avhdx: vhdiinfo's kind and size",
          (re.search(r"Disk type\s*:\s*(\S+)", facts).group(1), vhdiinfo_size("hv/vm/child.avhdx")),
          ("Differential", image["virtualSize"]))
    vhdx_child("hv/vm/wrong.avhdx", "..\\base\\parent.vhdx", "{00000000-0000-0000-0000-000000000001}",
               size, boot, 63)
    vhdx_child("hv/vm/orphan.avhdx", "..\\base\\gone.vhdx", guid, size, boot, 63)
    for name, word in [("wrong.avhdx", "data write GUID"), ("orphan.avhdx", "gone.vhdx")]:
        image, status = one("hv/vm/" + name)
        error = image["error"] or {}
        check(name + " refused", (error.get("code"), word in error.get("words", ""), status),
              ("differencing", True, 2))


def readiness():
    """Upload readiness against what qemu-img writes: a fixed VHD of a 64 MiB disk without
    force_size (its footer's size rounded to a CHS geometry is not whole MiB), with it
    (ready), a VHDX and a dynamic VHD (not fixed), a 19 MiB fixed VHD (too small); hyperv
    against qemu-img map's alignment of the same containers. The exit status stays the
    alignment's."""
    blank("ready.img", 64 * MIB)
    sh("sfdisk", "-q", path("ready.img"), stdin="label: dos\nstart=2048, type=83\n")
    blank("small.img", 19 * MIB)
    sh("sfdisk", "-q", path("small.img"), stdin="label: dos\nstart=2048, type=83\n")
    for name, source, options in [("geometry.vhd", "ready.img", "subformat=fixed"),
                                  ("whole.vhd", "ready.img", "subformat=fixed,force_size=on"),
                                  ("small.vhd", "small.img", "subformat=fixed,force_size=on"),
                                  ("ready-dynamic.vhd", "ready.img", "subformat=dynamic,force_size=on")]:
        sh("qemu-img", "convert", "-f", "raw", "-O", "vpc", "-o", options, path(source), path(name))
    sh("qemu-img", "convert", "-f", "raw", "-O", "vhdx", path("ready.img"), path("ready.vhdx"))
    for name, ready, fix in [("geometry.vhd", False, "Resize-VHD -SizeBytes 68157440"),
                             ("whole.vhd", True, None),
                             ("small.vhd", False, "Resize-VHD -SizeBytes 20971520"),
                             ("ready-dynamic.vhd", False, "convert it with Convert-VHD -VHDType Fixed to a .vhd; "
                              "or upload it with Add-AzVhd, which does both"),
                             ("ready.vhdx", False, "convert it with Convert-VHD -VHDType Fixed to a .vhd; "
                              "or upload it with Add-AzVhd, which does both")]:
        image, status = one(name, "--target", "azure")
        # vhdiinfo reads the footer's current size (qemu-img info counts a fixed VHD's footer
        # in); the file's own size is the upload size.
        size = vhdiinfo_size(name)
        target = image.get("target") or {}
        check(name + " for azure", (target.get("ready"), target.get("fix"), image["virtualSize"]),
              (ready, fix, size))
        check(name + " exit status as without --target", status, one(name)[1])
    for name in ("ready.vhdx", "ready-dynamic.vhd", "aligned.vhd"):
        image, _ = one(name, "--target", "hyperv")
        aligned = map_aligned(name, "vhdx" if name.endswith("x") else "vpc")
        check(name + " for hyperv", image["target"]["ready"], aligned is not False)
    # The fix for the other formats, run as it says: the VHD it makes is ready.
    for source in ("ready.img", "small.img"):
        name = source.replace(".img", ".qcow2")
        sh("qemu-img", "convert", "-f", "raw", "-O", "qcow2", path(source), path(name))
        fix = one(name, "--target", "azure")[0]["target"]["fix"]
        for step in fix.split(", then "):
            words = step.replace("FILE", path(name)).replace("disk.raw", path(name + ".raw"))
            sh(*words.replace("disk.vhd", path(name + ".vhd")).split())
        image, _ = one(name + ".vhd", "--target", "azure")
        check(name + ": its fix, run, makes a VHD Azure takes",
              (image["target"]["ready"], image["virtualSize"] % MIB, image["virtualSize"] >= 20 * MIB),
              (True, 0, True))
    text, _ = output(["geometry.vhd", "whole.vhd"], "--summary", "--target", "azure")
    check("the summary's clause", "; 1 of 2 images not ready for azure" in text, True)
    text, _ = output(["geometry.vhd", "whole.vhd"], "--nagios", "--target", "azure")
    check("the plugin's count", "target_not_ready=1;;;0;" in text, True)


def big_clusters():
    """NTFS clusters of 64 KiB, 128 KiB and 2 MiB, on 1 MiB: as ntfsinfo counts them, aligned."""
    for cluster, size in [(65536, 256 * MIB), (131072, 256 * MIB), (2097152, 1024 * MIB)]:
        name = "ntfs-%d.img" % cluster
        blank(name, size)
        sh("sfdisk", "-q", path(name), stdin="label: dos\nstart=2048, type=7\n")
        table = sfdisk_partitions(name)
        facts = {1: file_system(name + "-1", "NTFS", table[1][1], cluster=cluster, hidden=2048)}
        place(name, name + "-1", 2048)
        os.remove(path(name + "-1"))
        image, _ = one(name)
        compare_partitions(name, image, table, facts, 512)
        check(name + " clusters as ntfsinfo says", image["partitions"][0]["clusterBytes"],
              facts[1]["clusterBytes"])


def dos_label_4k():
    """A 4Kn disk's DOS label, as fdisk -b 4096 writes it, with NTFS of 4096-byte sectors at
    256 and at 16385: the second lies on the 4 KiB grid only counted in 4096-byte sectors."""
    name = "dos4k.img"
    blank(name, 160 * MIB)
    sh("fdisk", "-b", "4096", path(name), stdin="o\nn\np\n1\n256\n+40M\nn\np\n2\n16385\n+40M\nw\n")
    table = fdisk_4k_partitions(name, "Id")
    facts = {}
    for n, (start, sectors, _) in table.items():
        facts[n] = file_system("dos4k-%d" % n, "NTFS", sectors, sector=4096, hidden=start)
        place(name, "dos4k-%d" % n, start, 4096)
    image, _ = one(name)
    check(name + " sectors", (image["logicalSectorSize"], image["partitionStyle"]), (4096, "MBR"))
    compare_partitions(name, image, table, facts, 4096)
    check(name + " verdict", (image["verdict"], sorted(table)), ("aligned", [1, 2]))
    # The person's word holds over the witnesses: counted in 512s, 16385 lies off the grid.
    image, _ = one(name, "--sector-size", "512")
    check(name + " named 512", [(p["start"], p["verdict"]) for p in image["partitions"]],
          [(256, "aligned"), (16385, "misaligned")])
    # A boot sector read in another unit than it counts says so, and judges nothing.
    file_system("whole-ntfs4k.img", "NTFS", 16384, sector=4096)
    for options, expected in [((), (4096, "aligned", None)),
                              (("--sector-size", "512"), (512, "undetermined",
                               "its boot sector counts sectors of another size than the disk's"))]:
        image, _ = one("whole-ntfs4k.img", *options)
        p = image["partitions"][0]
        check("whole-ntfs4k.img %s" % (options,), (image["logicalSectorSize"], p["verdict"], p["reason"]),
              expected)
    # A VHD's sectors are 512 by definition: the person's word is not used there.
    check("--sector-size over a VHD", one("fixed.vhd", "--sector-size", "4096")[0]["logicalSectorSize"], 512)


def linux_only():
    """A DOS label of Linux and swap partitions: 512, told by where its entries end."""
    name = "linux.img"
    blank(name, 64 * MIB)
    sh("sfdisk", "-q", path(name), stdin="label: dos\nstart=2048, size=100000, type=83\n"
       "start=102463, type=82\n")
    image, _ = one(name)
    check(name + " sectors", image["logicalSectorSize"], 512)
    compare_partitions(name, image, sfdisk_partitions(name), {}, 512)


def whole_disk_file_systems():
    """FAT32 and exFAT over a whole image, as USB sticks are: judged as partition 0."""
    for name, kind, extra in [("whole-fat32.img", "FAT32", ()), ("whole-exfat.img", "exFAT", ()),
                              ("whole-fat32-r33.img", "FAT32", ("-s", "8", "-R", "33"))]:
        fs = file_system(name, kind, 65536, extra=extra)
        image, status = one(name)
        p = image["partitions"][0] if image["partitions"] else {}
        expected = expected_verdict(fs["dataOffset"], 512, fs["clusterBytes"], 4096, False)
        check(name + " judged as the whole disk",
              (len(image["partitions"]), p.get("number"), p.get("type"), p.get("typeName"),
               p.get("start"), p.get("length"), p.get("fileSystem"), p.get("clusterBytes"),
               p.get("dataStart"), p.get("verdict"), image["verdict"]),
              (1, 0, None, None, 0, 65536, kind, fs["clusterBytes"], fs["dataOffset"], expected,
               expected))
        advice = p.get("advice") or {}
        check(name + " advice formats and moves nothing",
              (advice.get("moveTo"), advice.get("moveToMiB"), advice.get("format", False)),
              (None, None, expected == "misaligned"))


def nothing_to_read():
    """A zeroed image and random bytes: no table, no file system, never aligned."""
    blank("zeros.img", 8 * MIB)
    import random
    noise = bytearray(random.Random(34).randbytes(8 * MIB))
    noise[510:512] = b"\x12\x34"
    open(path("noise.img"), "wb").write(noise)
    for name in ("zeros.img", "noise.img"):
        image, status = one(name)
        check(name, (image["verdict"], image["reason"], image["partitions"], status),
              ("undetermined", "no partition table and no file system in its first sector", [], 2))


def vhdx_refusals():
    """What the format demands of a reader: qemu marks its every metadata item required;
    an item this reader does not know, marked so, refuses the file; a checkpoint's parent
    locator is known, and the disk is refused as differencing; a block partly present needs
    a parent; a header of another version is not read."""
    base = "dynamic-1m.vhdx"
    flags = {}
    data = open(path(base), "rb").read()
    at, _ = vhdx_region(data, "8B7CA206-4790-4B9A-B8FE-575F050F886E")
    for i in range(struct.unpack("<H", data[at + 10:at + 12])[0]):
        flags[i] = struct.unpack("<I", data[at + 32 + 32 * i + 24:at + 32 + 32 * i + 28])[0] & 4
    check("qemu marks its metadata items required", set(flags.values()), {4})
    cases = {
        "unknown-item.vhdx": (lambda d: vhdx_metadata_entry(d, "11111111-2222-3333-4444-555555555555", 4),
                              "unknown-format"),
        "unknown-optional.vhdx": (lambda d: vhdx_metadata_entry(d, "11111111-2222-3333-4444-555555555555", 0),
                                  None),
        "checkpoint.avhdx": (lambda d: (vhdx_has_parent(d), vhdx_metadata_entry(
            d, "A8D35F2D-B30B-454D-ABF7-D3D84834AB0C", 4)), "differencing"),
        "partly.vhdx": (vhdx_block_partly_present, "unknown-format"),
        "version2.vhdx": (vhdx_header_versions((2, 2)), "unknown-format"),
        "one-version1.vhdx": (vhdx_header_versions((2, 1)), None),
    }
    for name, (edit, code) in cases.items():
        edited(base, name, edit)
        image, _ = one(name)
        check(name, (image["error"] or {}).get("code"), code)
    check("version2.vhdx words", (one("version2.vhdx")[0]["error"] or {}).get("words"),
          "a VHDX version Tessarel does not know")


def mixed_sets():
    """The one-line outputs and the CSV over sets of images of every kind: the counts add up
    to the JSON's verdicts, every image has its line, the plugin's numbers hold together."""
    blank("aligned.img", 32 * MIB)
    sh("sfdisk", "-q", path("aligned.img"), stdin="label: dos\nstart=2048, type=83\n")
    sh("qemu-img", "convert", "-f", "raw", "-O", "vpc", "-o", "subformat=dynamic",
       path("aligned.img"), path("aligned.vhd"))
    check("aligned.vhd's blocks lie off 4 KiB", vhd_blocks_aligned("aligned.vhd"), False)
    blank("empty.img", 8 * MIB)
    sh("sfdisk", "-q", path("empty.img"), stdin="label: dos\n")
    edited("gpt-backup.img", "gpt-neither.img",
           lambda d: d.__setitem__(len(d) - 512 + 40, d[len(d) - 512 + 40] ^ 0xFF))
    kinds = ["gpt4k.img", "mbr63.img", "aligned.vhd", "empty.img", "missing.vhd", "gpt-neither.img"]
    for names in [[k] for k in kinds] + [kinds, kinds[::-1][:3], ["gpt4k.img", "empty.img"]]:
        mixed_set(names)


# Forms of a name this computer never opens for a name inside a file (image/parent_name.h).
FORBIDDEN = re.compile(r"""^(?:[\\/]{2}(?![?]\\[A-Za-z]:\\|[?]\\Volume\{)|\\[?][?]\\)|.:.*:|^[^A-Za-z]:"""
                       r"""|(?:^|[\\/:])(?:CON|PRN|AUX|NUL|COM\d|LPT\d|CONIN\$|CONOUT\$|CLOCK\$)(?:\.[^\\/]*)?$""",
                       re.IGNORECASE)


def opened_by(names, cwd=None):
    """The report's JSON for these images, and every path it asked the door to open."""
    args = list(report_command) + ["--json"]
    for name in names:
        args += ["--image", name if cwd else seen(name)]
    done = subprocess.run(args, capture_output=True, text=True, cwd=cwd,
                          env=dict(os.environ, TESSAREL_LIST_OPENS="1", TESSAREL_HOST_ROOT="." if cwd else work))
    return json.loads(done.stdout), re.findall(r"(?m)^opened (.*)$", done.stderr)


def hostile_names():
    """Parents named where Tessarel never goes, as qemu-img writes them (-u: the names do not
    exist here) or as the VHD format lays a locator out, for the every-file check (what each
    says is on record in tests/expected/images/names/); a relative name that climbs past the
    root, with a file of that name in the folder the report runs from, which must not be
    taken for the parent."""
    os.makedirs(path("names/deep/a/b"), exist_ok=True)
    for name, parent in [("names/unc.qcow2", "\\\\server\\share\\base.img"),
                         ("names/slashes.qcow2", "//server/share/base.img"),
                         ("names/device.qcow2", "\\\\.\\PhysicalDrive0"),
                         ("names/devname.qcow2", "CON")]:
        sh("qemu-img", "create", "-q", "-f", "qcow2", "-u", "-b", parent, "-F", "raw", path(name), "64M")
    vhd_child("names/device.vhd", "\\\\.\\PhysicalDrive0", "00" * 16, 64 * MIB, bytes(512), 63)
    # The climb: from deep/a/b/, nine ".." pass the report's folder; the file x.qcow2 there
    # is not the parent.
    sh("qemu-img", "create", "-q", "-f", "qcow2", "-u", "-b", "../../../../../../../../../x.qcow2",
       "-F", "qcow2", path("names/deep/a/b/climb.qcow2"), "64M")
    sh("qemu-img", "create", "-q", "-f", "qcow2", path("names/x.qcow2"), "64M")
    if not wine:
        doc, opens = opened_by(["deep/a/b/climb.qcow2"], cwd=path("names"))
        check("a climb is not cut at the report's folder",
              (opens, (doc["images"][0]["error"] or {}).get("code")),
              (["deep/a/b/climb.qcow2", "../../../../../../x.qcow2"], "differencing"))


def hostile_costs():
    """What a large or hostile file may cost: each read, or refused where its format forbids
    it, within the bounds LARGE's files keep."""
    os.makedirs(path("costs"), exist_ok=True)
    # Thousands of sparse extents, one file each; and one file named again and again.
    sh("qemu-img", "create", "-q", "-f", "vmdk", path("costs/one.vmdk"), "64K")
    lines = ["# Disk DescriptorFile", "version=1", "CID=12345678", "parentCID=ffffffff",
             'createType="twoGbMaxExtentSparse"']
    for i in range(4000):
        shutil.copy(path("costs/one.vmdk"), path("costs/e%04d.vmdk" % i))
    open(path("costs/many.vmdk"), "w").write("\n".join(
        lines + ['RW 128 SPARSE "e%04d.vmdk"' % i for i in range(4000)]) + "\n")
    open(path("costs/again.vmdk"), "w").write("\n".join(
        lines + ['RW 128 SPARSE "one.vmdk"'] * 3990) + "\n")
    # qemu's own split of a 4 TB disk: 2,048 extents, a descriptor of some 73 KB.
    sh("qemu-img", "create", "-q", "-f", "vmdk", "-o", "subformat=twoGbMaxExtentSparse",
       path("costs/split4t.vmdk"), "4T")
    # Grain tables that overlap, grains of one sector: what VMware's format forbids.
    sh("qemu-img", "create", "-q", "-f", "vmdk", path("costs/two-tables.vmdk"), "64M")
    edited("costs/two-tables.vmdk", "costs/overlap.vmdk", vmdk_tables_overlap)
    edited("costs/two-tables.vmdk", "costs/sector-grains.vmdk", vmdk_sector_grains)
    qcow2_of_many_tables("costs/tables.qcow2", 1 << 16)
    expected = {"costs/many.vmdk": None, "costs/split4t.vmdk": None, "costs/tables.qcow2": None,
                "costs/again.vmdk": ("unknown-format", "twice"),
                "costs/overlap.vmdk": ("unknown-format", "overlap"),
                "costs/sector-grains.vmdk": ("unknown-format", "sizes")}
    for name, refusal in expected.items():
        image, _ = one(name)
        error = image["error"]
        check(name, (error or {}).get("code") if refusal else error,
              refusal[0] if refusal else None)
        if refusal:
            check(name + " says why", refusal[1] in error["words"], True)
        if not wine:
            reads, size, memory = costs_of(name)
            check(name + " memory", memory <= 8 * MIB, True)
            print("%s: %d reads, %d bytes, %d bytes of memory at most" % (name, reads, size, memory))
    if not wine:  # each of the 65,536 tables read once, in large pages
        reads, size, _ = costs_of("costs/tables.qcow2")
        check("costs/tables.qcow2 reads its tables once", (reads <= 64, size <= 40 * MIB), (True, True))
    shutil.rmtree(path("costs"))


# File systems and signatures that say where a partition starts, each made by its own tool
# on a plain file (or, where no Debian tool makes one, written at its published place).
def made_by(command, stdin=None):
    return lambda f: sh(*command, f, stdin=stdin)


def written(at, data):
    def write(f):
        with open(path(f), "r+b") as out:
            out.seek(at)
            out.write(data)
    return write


WITNESSES = [
    # name, size in MiB, how it is made
    ("ext4", 8, made_by(["mkfs.ext4", "-q", "-F"])),
    ("xfs", 300, made_by(["mkfs.xfs", "-q", "-f", "-s", "size=4096"])),
    ("btrfs", 128, made_by(["mkfs.btrfs", "-q", "-f"])),
    ("swap", 8, made_by(["mkswap"])),
    ("luks", 16, lambda f: sh("cryptsetup", "luksFormat", "--batch-mode", "--type", "luks2",
                              "--pbkdf", "pbkdf2", "--pbkdf-force-iterations", "1000",
                              "--key-file", "-", f, stdin="tessarel")),
    ("lvm2", 8, written(512, b"LABELONE" + bytes(24) + b"LVM2 001")),
    ("bitlocker", 8, written(0, b"\xeb\x58\x90-FVE-FS-\x00\x10\x08")),
    # ReFS's boot sector: "ReFS" at 3, "FSRS" at 16, bytes per sector at 32.
    ("refs", 8, written(0, b"\x00\x00\x00ReFS" + bytes(9) + b"FSRS" + bytes(12) +
                        struct.pack("<II", 4096, 16))),
]


def witnesses():
    """Linux's and other file systems say the sector size where NTFS, FAT and exFAT are
    absent: each at 4353 in a 4Kn DOS label (fdisk -b 4096, checked with fdisk -b 4096 -l)
    is read in 4096-byte sectors and aligned; each at 4353 in a 512-byte label (sfdisk) in
    512-byte sectors and misaligned. (Labels no witness speaks for, the issue's own 4Kn Linux
    label and the dynamic disks are among the files on record: tests/expected.)"""
    for kind, mib, make in WITNESSES:
        fs = "w-%s.fs" % kind
        blank(fs, mib * MIB)
        make(fs)
        for unit in (4096, 512):
            name = "w-%s-%d.img" % (kind, unit)
            blank(name, 4353 * unit + (mib + 1) * MIB)
            if unit == 4096:
                sh("fdisk", "-b", "4096", path(name), stdin="o\nn\np\n1\n4353\n+%dM\nw\n" % mib)
                check(name + " fdisk's start", fdisk_4k_partitions(name, "Id")[1][0], 4353)
            else:
                sh("sfdisk", "-q", path(name), stdin="label: dos\nstart=4353, size=%d, type=83\n" % (mib * 2048))
            place(name, fs, 4353, unit)
            image, _ = one(name)
            check(name + " read in its own sectors, judged there",
                  (image["logicalSectorSize"], [(p["start"], p["verdict"]) for p in image["partitions"]]),
                  (unit, [(4353, "aligned" if unit == 4096 else "misaligned")]))
            os.remove(path(name))
        os.remove(path(fs))


def compressed_qcow2():
    """qemu runs a compressed QCOW2 as it is, and keeps a cluster that does not compress
    plain: a disk with 1 MiB of random bytes converted with -c holds both. Its plain clusters
    are judged as qemu-img map places them, the compressed ones counted; only a file of
    compressed clusters alone is a transport format. With extended L2 entries (qemu-img check
    clean) its compressed clusters are read whole."""
    import random
    blank("noisy.img", 8 * MIB)
    sh("sfdisk", "-q", path("noisy.img"), stdin="label: dos\nstart=2048, type=83\n")
    with open(path("noisy.img"), "r+b") as f:
        f.seek(2 * MIB)
        f.write(random.Random(45).randbytes(MIB))
    for name, options in [("mixed.qcow2", ["-o", "cluster_size=512"]),
                          ("mixed-l2x.qcow2", ["-o", "cluster_size=65536,extended_l2=on"])]:
        sh("qemu-img", "convert", "-c", "-f", "raw", "-O", "qcow2", *options, path("noisy.img"), path(name))
        checked_by_qemu = json.loads(sh("qemu-img", "check", "--output=json", path(name)))
        image, status = one(name)
        container = image["container"] or {}
        check(name + " judged over its plain clusters",
              (image["error"], container.get("transport"), container.get("compressedBlocks"),
               container.get("blocksAligned"), image["partitions"] == one("noisy.img")[0]["partitions"]),
              (None, False, checked_by_qemu.get("compressed-clusters", 0), map_aligned(name, "qcow2"), True))
    check("mixed.qcow2 is misaligned, as qemu-img map places it", one("mixed.qcow2")[0]["verdict"], "misaligned")


# The partition types whose volumes lie where a database of their own says.
OTHER_VOLUMES = {"LDM", "LDM metadata", "LDM data", "Storage Spaces"}


def every_file():
    """Every file this run made, in one check, as a hostile reviewer would feed it: each
    container of each kind, each file system alone, the parents, the extents, the edited
    copies. An image is aligned only where a partition table or a boot sector was read
    (a file system over the whole disk), and the one-line outputs and the CSV count what the
    JSON says."""
    names = sorted(os.path.relpath(os.path.join(d, f), work)
                   for d, _, files in os.walk(work) for f in files)
    doc, status = report(names)
    if not wine:  # no name from inside a file opened outside the rule
        _, opens = opened_by(names)
        check("every file: nothing opened in a form a name inside a file may not take",
              [o for o in opens if FORBIDDEN.search(o)], [])
    for image in doc["images"]:
        whole_disk = image["partitionStyle"] == "RAW" and len(image["partitions"]) > 0
        read = image["error"] is None and (image["partitionStyle"] in ("MBR", "GPT") or whole_disk)
        if image["verdict"] == "aligned":
            check(image["path"] + " aligned only after a table or a boot sector was read", read, True)
            holds = [p["typeName"] for p in image["partitions"] if p["typeName"] in OTHER_VOLUMES]
            unjudged = [p["number"] for p in image["partitions"]
                        if p["verdict"] is None and p["typeName"] != "Microsoft reserved"]
            check(image["path"] + " aligned only where every partition with data was judged",
                  (holds, unjudged), ([], []))
    check("every file reported", len(doc["images"]), len(names))
    mixed_set(names)


def mixed_set(names):
    what = "set %s" % ",".join(names)
    doc, status = report(names)
    images = doc["images"]
    verdicts = [i["verdict"] for i in images]
    judged = [p["verdict"] for i in images for p in i["partitions"] if p["verdict"]]
    counts = {v: (verdicts.count(v), judged.count(v)) for v in ("misaligned", "undetermined")}
    word = ("MISALIGNED" if counts["misaligned"][0] else
            "UNDETERMINED" if counts["undetermined"][0] else "OK")
    check(what + " exit status", status, {"MISALIGNED": 1, "UNDETERMINED": 2, "OK": 0}[word])
    summary, summary_status = output(names, "--summary")
    check(what + " summary's word and status", (summary.split(":")[0], summary_status),
          (word, status))
    plural = lambda n, one: "%d %s%s" % (n, one, "" if n == 1 else "s")
    if word != "OK":
        key = word.lower()
        check(what + " summary's counts", summary.split("; ")[:2] if ";" in summary else summary,
              ["%s: %d of %s" % (word, counts[key][0], plural(len(images), "image")),
               "%d of %s" % (counts[key][1], plural(len(judged), "partition"))])
    plugin, plugin_status = output(names, "--nagios")
    perf = dict(item.split("=") for item in plugin.split(" | ")[1].split())
    numbers = {k: int(v.split(";")[0]) for k, v in perf.items()}
    check(what + " perfdata", numbers,
          {"misaligned": counts["misaligned"][1], "undetermined": counts["undetermined"][1],
           "partitions": len(judged), "images_misaligned": counts["misaligned"][0],
           "images_undetermined": counts["undetermined"][0], "images": len(images)})
    check(what + " plugin status", plugin_status, {"MISALIGNED": 1, "UNDETERMINED": 3, "OK": 0}[word])
    import csv
    import io
    rows = list(csv.DictReader(io.StringIO(output(names, "--csv")[0].lstrip("\ufeff"))))
    image_rows = [(r["name"], r["verdict"], r["reason"]) for r in rows if r["kind"] == "image"]
    check(what + " CSV image lines", image_rows,
          [(i["path"], i["verdict"],
            "refused (%s): %s" % (i["error"]["code"], i["error"]["words"]) if i["error"]
            else i["reason"] or "") for i in images])
    check(what + " CSV partition lines", [(r["name"], r["verdict"]) for r in rows
                                          if r["kind"] == "image-partition"],
          [(i["path"], p["verdict"] or "") for i in images for p in i["partitions"]])


try:
    main()
except SystemExit as stopped:  # a tool failed: say which, with what was found before it
    failures.append(str(stopped))
finally:
    shutil.rmtree(work, ignore_errors=True)
for failure in failures:
    print(failure)
print("images: %d checks, %d differences from what the tools say" % (len(checked), len(failures)))
sys.exit(1 if failures else 0)
