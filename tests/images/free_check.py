#!/usr/bin/env python3
"""Free space in disk files made by sfdisk, sgdisk and fdisk, checked against what the files
hold and what the tools say: the regions computed here from the tables (sfdisk --json, the
EBR chain read from the file, sgdisk -p's and fdisk -l -x's first and last usable), the
primary gaps against `parted -s IMG unit s print free`, each region's first 1 MiB start
against `sfdisk -F`. Each known difference between the tools is written where it is met.

Usage: free_check.py [--wine] REPORT...
"""
import json
import os
import re
import struct
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import disk_recipes  # noqa: E402
from disk_recipes import MIB, blank, path, sh  # noqa: E402

wine, report_command = disk_recipes.console(sys.argv[1:])
work = disk_recipes.work = tempfile.mkdtemp(prefix="tessarel-free-")
failures = []
EXTENDED = ("5", "f", "85")


def check(what, got, want):
    if got != want:
        failures.append("%s: got %r, want %r" % (what, got, want))


def report(name, *options):
    """The image's JSON; a table of partitions without file systems says no sector size,
    so the 512-byte ones are named (a guess never decides, and one untold has no regions)."""
    return disk_recipes.image_json(report_command, wine, name, *options)


def gaps(used, start, end):
    """The runs of [start, end) that no (start, end) of `used` covers."""
    out, at = [], start
    for a, b in sorted(used):
        if b <= at or a >= end:
            continue
        if a > at:
            out.append((at, a))
        at = max(at, b)
    if at < end:
        out.append((at, end))
    return out


def ebr_chain(name, extended):
    """Where each extended boot record lies, read from the file."""
    data, records, at = open(path(name), "rb").read(), [], extended
    while at not in records:
        records.append(at)
        entry = data[at * 512 + 446 + 16:at * 512 + 446 + 32]
        if entry[4] == 0:
            break
        at = extended + struct.unpack("<I", entry[8:12])[0]
    return records


def dos_regions(name):
    """(start, length, logical, full) from sfdisk's table and the EBR chain."""
    table = json.loads(sh("sfdisk", "--json", path(name)))["partitiontable"]
    sectors = os.path.getsize(path(name)) // 512
    parts = [(p["start"], p["start"] + p["size"], int(re.search(r"(\d+)$", p["node"]).group(1)),
              p["type"].lower()) for p in table["partitions"]]
    primaries = [(a, b) for a, b, n, _ in parts if n <= 4]
    full = len(primaries) == 4
    regions = [(a, b - a, False, full) for a, b in gaps(primaries, 1, min(sectors, 1 << 32))]
    for a, b, n, kind in parts:
        if n <= 4 and kind in EXTENDED:
            used = [(r, r + 1) for r in ebr_chain(name, a)]
            used += [(x, y) for x, y, m, _ in parts if m > 4]
            regions += [(x, y - x, True, False) for x, y in gaps(used, a, b)]
    return sorted(regions)


def gpt_regions(name, first, last):
    """(start, length, logical, full) from the partitions sfdisk lists and the usable area."""
    table = json.loads(sh("sfdisk", "--json", path(name)))["partitiontable"]
    used = [(p["start"], p["start"] + p["size"]) for p in table.get("partitions", [])]
    slots = int(re.search(r"holds up to (\d+) entries", sh("sgdisk", "-p", path(name))).group(1))
    return [(a, b - a, False, len(used) == slots) for a, b in gaps(used, first, last + 1)]


def usable(name):
    m = re.search(r"First usable sector is (\d+), last usable sector is (\d+)", sh("sgdisk", "-p", path(name)))
    return int(m.group(1)), int(m.group(2))


def ours(image):
    return sorted((r["start"], r["length"], r["logical"], not r["canCreate"]) for r in image["free"])


def parted_free(name):
    """parted's Free Space rows, (start, end) inclusive."""
    out = sh("parted", "-s", path(name), "unit", "s", "print", "free")
    return [(int(a), int(b)) for a, b in re.findall(r"^\s+(\d+)s\s+(\d+)s\s+\d+s\s+Free Space", out, re.M)]


def sfdisk_free(name, regions):
    """sfdisk -F's rows (start, end, sectors). It lists a region of at least 1 MiB from its
    first 1 MiB start where 1 MiB is left there, else from its own start (a known
    difference: Tessarel then has no MiB start); those are checked against the region."""
    out = sh("sfdisk", "-F", path(name))
    rows = [tuple(int(x) for x in m) for m in re.findall(r"^\s*(\d+)\s+(\d+)\s+(\d+)\s+\S+$", out, re.M)]
    for start, end, count in [row for row in rows if row[0] % 2048]:
        check(name + ": sfdisk -F's unaligned row %d" % start,
              [(r["start"] + r["length"] - 1, r["mibRoom"] < 2048) for r in regions if r["start"] == start],
              [(end, True)])
    return [row for row in rows if row[0] % 2048 == 0]


def make(name, label, script=None, tool="sfdisk", size=64 * MIB):
    blank(name, size)
    if tool == "sfdisk":
        sh("sfdisk", "-q", path(name), stdin="label: %s\n%s" % (label, script))
    elif tool == "sgdisk":
        sh("sgdisk", *script, path(name))
    return name


def check_dos(name):
    image = report(name, "--sector-size", "512")
    check(name + ": regions from its table and EBR chain", ours(image), dos_regions(name))
    extended = [(r["start"], r["start"] + r["length"]) for r in image["free"] if r["logical"]]
    # parted starts an MBR's head at sector 63 (its own metadata before), and lists logical
    # room its own way (it hides each record's sector and the gaps around them): only the
    # primaries' gaps are compared, the head by its end.
    primary = [(max(r["start"], 63), r["start"] + r["length"] - 1) for r in image["free"]
               if not r["logical"] and r["start"] + r["length"] > 63]
    check(name + ": parted's primary gaps",
          [g for g in parted_free(name) if not any(a <= g[0] < b for a, b in extended)
           and not any(r["logical"] and r["start"] <= g[0] < r["start"] + r["length"]
                       for r in image["free"])],
          primary)
    # sfdisk -F gives the regions of at least 1 MiB from their first 1 MiB start; inside an
    # extended partition it starts a logical one 1 MiB past its record's own MiB, and ends
    # a region at the next logical partition's start: only the primaries' are compared.
    want = [(r["mibStart"], r["start"] + r["length"] - 1, r["mibRoom"]) for r in image["free"]
            if not r["logical"] and r["mibRoom"] >= 2048]
    got = [row for row in sfdisk_free(name, image["free"]) if not any(a <= row[0] < b for a, b in extended)
           and not any(r["logical"] and r["start"] <= row[0] < r["start"] + r["length"] for r in image["free"])]
    check(name + ": sfdisk -F's 1 MiB starts", got, want)
    return image


def check_gpt(name):
    image = report(name)
    first, last = usable(name)
    check(name + ": regions inside sgdisk's usable area", ours(image), gpt_regions(name, first, last))
    if first == 34:  # parted's own GPT, which it reads alike
        check(name + ": parted's gaps", parted_free(name),
              [(r["start"], r["start"] + r["length"] - 1) for r in image["free"]])
    check(name + ": sfdisk -F's 1 MiB starts", sfdisk_free(name, image["free"]),
          [(r["mibStart"], r["start"] + r["length"] - 1, r["mibRoom"]) for r in image["free"]
           if r["mibRoom"] >= 2048])
    return image


def check_4kn():
    """fdisk -b 4096's label, which parted and sfdisk do not read from a file: its first and
    last usable and its partitions as fdisk -l -x lists them."""
    name = "gpt4k.img"
    blank(name, 64 * MIB)
    subprocess.run(["fdisk", "-b", "4096", path(name)], input="g\nn\n1\n256\n+10M\nn\n2\n3000\n+5M\nw\n",
                   capture_output=True, text=True)
    listing = sh("fdisk", "-b", "4096", "-l", "-x", path(name))
    first = int(re.search(r"First usable LBA: (\d+)", listing).group(1))
    last = int(re.search(r"Last usable LBA: (\d+)", listing).group(1))
    used = [(int(a), int(b) + 1) for a, b in re.findall(r"^\S+\d\s+(\d+)\s+(\d+)\s+\d+\s", listing, re.M)]
    image = report(name)
    check(name + ": its sectors", image["logicalSectorSize"], 4096)
    check(name + ": regions inside fdisk's usable area", ours(image),
          [(a, b - a, False, False) for a, b in gaps(used, first, last + 1)])
    check(name + ": every start on the grid", {r["onGrid"] for r in image["free"]}, {True})


def main():
    dos = [
        make("odd-gaps.img", "dos", "start=2048, size=10001, type=7\nstart=20000, size=5000, type=83\n"
             "start=30001, size=2000, type=83\n"),
        make("full.img", "dos", "start=2048, size=2048, type=7\nstart=4096, size=2048, type=7\n"
             "start=8192, size=2048, type=7\nstart=12289, size=4000, type=83\n"),
        make("extended.img", "dos", "start=2048, size=4096, type=7\nstart=8192, size=4096, type=7\n"
             "start=12288, size=4096, type=7\nstart=16384, size=100000, type=5\n"
             "start=18432, size=5001, type=7\nstart=30000, size=7000, type=83\n"),
        make("logicals.img", "dos", "start=2048, size=2048, type=7\nstart=4096, size=120000, type=f\n"
             "start=6207, size=2001, type=7\nstart=20000, size=3000, type=83\nstart=40961, size=999, type=7\n"),
    ]
    for name in dos:
        check_dos(name)
    full = report("full.img", "--sector-size", "512")
    check("full.img without its sector size: no regions", report("full.img")["free"], None)
    check("full.img: no entry left", {r["reason"] for r in full["free"] if not r["logical"]},
          {"the table's four entries are used"})
    gpt = [
        make("gpt-short.img", None, ["-o", "-a", "1", "-n", "1:2048:+10001", "-n", "2:20000:100000"], "sgdisk"),
        make("gpt-empty.img", None, ["-o"], "sgdisk"),
        make("gpt-full.img", None, ["-o", "-S", "4", "-a", "1", "-n", "1:2048:+1000", "-n", "2:4000:+1000",
                                    "-n", "3:8000:+1000", "-n", "4:12001:+1000"], "sgdisk"),
    ]
    for name in gpt:
        check_gpt(name)
    check("gpt-full.img: no entry left", {r["reason"] for r in report("gpt-full.img")["free"]},
          {"every entry of its table is used"})
    short = report("gpt-short.img")
    check("gpt-short.img: the tail stops at the last usable sector",
          short["free"][-1]["start"] + short["free"][-1]["length"] - 1, usable("gpt-short.img")[1])
    check_4kn()
    return disk_recipes.finish(failures, "free space: %d disk files, every check passed" %
                               (len(dos) + len(gpt) + 1))


if __name__ == "__main__":
    sys.exit(main())
