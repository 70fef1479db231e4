#!/usr/bin/env python3
"""What a disk file costs to check, for each format and subformat qemu-img writes at its
largest size, for the large or hostile shapes the tests bound, and for a sweep of 1,000
files against one of them: the reads, their bytes, the most memory the report held at once
(host_report's counting allocator), and the time.
A benchmark: it measures, it asserts nothing.

Usage: image_costs.py HOST_REPORT
"""
import os
import shutil
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.dirname(os.path.abspath(__file__))), "images"))
import disk_recipes as r  # noqa: E402

host_report = os.path.abspath(sys.argv[1])
r.work = tempfile.mkdtemp(prefix="tessarel-costs-")


def measure(name, *how):
    began = time.monotonic()
    done = subprocess.run([host_report] + list(how or ("--image", r.path(name))) + ["--summary"],
                          capture_output=True, text=True,
                          env=dict(os.environ, TESSAREL_COUNT_READS="1", TESSAREL_HOST_ROOT=r.work))
    seconds = time.monotonic() - began
    reads, size, memory = (int(w) for w in done.stderr.split()[1::2])
    print("%-22s %8d %14d %12d %9.2f s  %s" % (name, reads, size, memory, seconds,
                                                done.stdout.split(";")[0][:40]))


def sweep_of(count):
    """A folder of `count` dynamic VHDX files of a partitioned 64 MiB disk, a tenth of them
    checkpoints over one of the others: one file's cost, then the whole folder's."""
    os.makedirs(r.path("host"))
    r.blank("one.raw", 64 * r.MIB)
    r.sh("sfdisk", "-q", r.path("one.raw"), stdin="label: dos\nstart=2048, type=7\n")
    r.sh("qemu-img", "convert", "-O", "qcow2", r.path("one.raw"), r.path("one.qcow2"))
    measure("one.qcow2")
    for i in range(count):
        if i % 10 == 9:
            r.sh("qemu-img", "create", "-q", "-f", "qcow2", "-b", "disk-%04d.qcow2" % (i - 1),
                 "-F", "qcow2", r.path("host/disk-%04d.qcow2" % i))
        else:
            shutil.copy(r.path("one.qcow2"), r.path("host/disk-%04d.qcow2" % i))
    measure("a sweep of %d" % count, "--image-dir", r.path("host"))


try:
    print("%-22s %8s %14s %12s %11s" % ("file", "reads", "bytes read", "memory", "time"))
    r.large_raw_disks()
    for name, raw, (driver, *options), *_ in r.LARGE:
        r.sh("qemu-img", "convert", "-f", "raw", "-O", driver, *options, r.path(raw), r.path(name))
        measure(name)
        r.remove_large(name)
    r.qcow2_of_many_tables("tables-4m.qcow2", 1 << 22)
    measure("tables-4m.qcow2")
    sweep_of(1000)
finally:
    shutil.rmtree(r.work, ignore_errors=True)
