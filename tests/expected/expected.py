#!/usr/bin/env python3
"""Every answer on record: each output of the console report (the text, --drives, --json,
--csv, --summary, --nagios with and without --critical, --jsonl, --intune-compliance, the
--prom file, --help), with its exit status and standard error, for every simulated machine
the tests build, every trace fixture replayed and every disk file of tests/expected/disks
(with --target azure and hyperv on the virtual disks and one of each other format), held
whole in tests/expected/<case>.txt and compared byte for byte.

  expected.py check HOST_REPORT      natively, through build/native/host_report
  expected.py write HOST_REPORT      write the expected files again (make expected)
  expected.py wine PREFIX REPORT_EXE DEMO_EXE
                                     under Wine, the real TessarelReport.exe on the traces,
                                     the disk files and --help; the demo on the lab

A file holds one block per run: "$ " and the arguments, "exit N", then "stdout", "stderr"
and, for --prom, "prom", each with its length in bytes and those bytes. What a run cannot
hold still (the run id, and under Wine the computer's name and the time of an image run,
which the simulated machine fixes) is written as the simulated machine's. Under Wine the
text outputs are in text mode: each of their line feeds must come as CR LF, and is compared
as LF.
"""
import concurrent.futures
import difflib
import os
import re
import shutil
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
SOURCE = os.path.dirname(os.path.dirname(HERE))
TRACES = os.path.join(SOURCE, "tests", "traces")
sys.path.insert(0, HERE)
import make_disks  # noqa: E402

PROM = "tessarel.prom"
MACHINE_FORMS = [[], ["--drives"], ["--json"], ["--csv"], ["--summary"], ["--nagios"],
                 ["--nagios", "--critical"], ["--jsonl"], ["--intune-compliance"], ["--prom", PROM]]
IMAGE_FORMS = [f for f in MACHINE_FORMS if f != ["--drives"]]
TARGET_FORMS = [[], ["--json"], ["--csv"], ["--summary"], ["--nagios"]]
MACHINES = ["lab", "lab-standard", "lab-blocked", "empty", "lab-cp1251", "lab-cp1250", "lab-cp932", "lab-cp936",
            "lab-cp1252", "volumes-40", "volumes-64"]
ON_WINE = {"lab": {}, "lab-standard": {"TESSAREL_DEMO_USER": "standard"},
           "lab-blocked": {"TESSAREL_DEMO_USER": "blocked"}}
# Beside the virtual disks, one file of each other format is also asked about each target.
TARGETED = {"mbr63.img", "mbr63-c64k.qcow2", "mbr63-sparse.vmdk", "mbr63-dynamic.vdi", "big.img"}
# What the tests ask of some files besides: the person's sector size, another grid.
OPTIONS = [("dos4k.img", ["--sector-size", "512"]), ("whole-ntfs4k.img", ["--sector-size", "512"]),
           ("fixed.vhd", ["--sector-size", "4096"]), ("mbr63.img", ["--grid", "512"]),
           ("gpt.img", ["--grid", "1048576"])]
MIXED = ["gpt4k.img", "mbr63.img", "aligned.vhd", "empty.img", "missing.vhd", "gpt-neither.img"]
# The mixed set as a list, in each encoding a list may come in: the same report from each.
LISTS = {"mixed-utf16.txt": ("utf-16", "\r\n"), "mixed-utf8.txt": ("utf-8", "\n"),
         "mixed-ansi.txt": ("cp1252", "\r\n")}
SIMULATED = {"computer": "SIMULATED", "time": "2026-03-02T09:30:00Z", "seconds": "1772443800"}
RUN_ID = "00000000-0000-4000-8000-000000000000"


class Case:
    """One expected file: its name, the folder its runs start in, and its runs."""

    def __init__(self, name, where, runs, machine=None):
        self.name, self.where, self.runs, self.machine = name, where, runs, machine


def cases(disks):
    found = []
    for machine in MACHINES:
        found.append(Case("machines/" + machine, None, MACHINE_FORMS, machine))
    # The lab's 512e, 4Kn and 16 KiB NVMe drives, each moved to the other sector size.
    found.append(Case("machines/lab-target-4kn", None,
                      [["--target", "4kn"] + f for f in TARGET_FORMS + [["--jsonl"]]], "lab"))
    for trace in sorted(f[:-6] for f in os.listdir(TRACES) if f.endswith(".jsonl")):
        found.append(Case("traces/" + trace, "traces",
                          [["--replay", trace + ".jsonl"] + f for f in MACHINE_FORMS]))
    images = sorted(line.split("  ", 1)[1] for line in open(make_disks.MANIFEST).read().splitlines())
    for image in images + ["missing.vhd"]:
        runs = [["--image", image] + f for f in IMAGE_FORMS]
        if image.endswith((".vhd", ".vhdx", ".avhdx")) or image in TARGETED:
            runs += [["--image", image, "--target", t] + f for t in ("azure", "hyperv")
                     for f in TARGET_FORMS]
        runs += [["--image", image] + o + f for i, o in OPTIONS if i == image for f in ([], ["--json"])]
        found.append(Case("images/" + image, "disks", runs))
    mixed = [a for image in MIXED for a in ("--image", image)]
    found.append(Case("images/a-mixed-set", "disks", [mixed + f for f in IMAGE_FORMS] +
                      [mixed + ["--target", "azure"] + f for f in TARGET_FORMS] +
                      [mixed + ["--target", "4kn", "--target", "azure"] + f for f in TARGET_FORMS]))
    found.append(Case("images/a-mixed-list", "disks",
                      [["--image-list", name] + f for name in LISTS for f in ([], ["--json"])]))
    found.append(Case("images/a-sweep-of-chains", "disks",
                      [["--image-dir", folder, "--recurse"] + f for folder in ("chain", "hv", "vpc")
                       for f in IMAGE_FORMS] + [["--image-dir", "chain"]]))
    found.append(Case("images/a-list-of-none", "disks",
                      [["--image-list", "none.txt"] + f for f in IMAGE_FORMS]))
    found.append(Case("program/usage", None, [["--help"], ["--version"], ["--bogus"],
                                               ["--image"], ["--summary", "--image"],
                                               ["--drives", "--image", "x.img"]]))
    return found


def write_lists(folder):
    """The mixed set's lists, with a comment, a blank line and (in the ANSI one) a byte no
    UTF-8 holds; Python's utf-16 writes the byte-order mark PowerShell's does."""
    for name, (encoding, end) in LISTS.items():
        lines = ["# disques d'\u00e9t\u00e9", ""] + MIXED
        with open(os.path.join(folder, name), "wb") as f:
            f.write(end.join(lines + [""]).encode(encoding))
    with open(os.path.join(folder, "none.txt"), "wb") as f:  # comments only: nothing to check
        f.write(b"# Get-VM found no disk\r\n\r\n")


# --- running ----------------------------------------------------------------------------------

class Native:
    """host_report on the simulated machine: a case's machine by name, the disk files served
    from the host's."""
    wine = False

    def __init__(self, host_report):
        self.host_report = host_report

    def command(self, case, args):
        machine = ["--machine", case.machine] if case.machine else []
        return [self.host_report] + machine + args, {"TESSAREL_HOST_ROOT": "."}

    def applies(self, case):
        return True

    def path(self, name):
        return name


class Wine:
    """The real TessarelReport.exe, and the demo for the lab, with one wineserver kept
    running (tools/wine-session.sh)."""
    wine = True

    def __init__(self, report, demo):
        self.report, self.demo = report, demo

    def command(self, case, args):
        if case.machine:
            return ["wine", self.demo] + args, ON_WINE[case.machine]
        return ["wine", self.report] + args, {}

    def applies(self, case):
        return case.machine is None or case.machine in ON_WINE

    def path(self, name):
        return "Z:" + name.replace("/", "\\")


# Windows writes these outputs in text mode; the CSV and the JSON lines in binary.
def text_mode(args):
    return "--csv" not in args and "--jsonl" not in args


def from_text_mode(data):
    """A text-mode output as written on Linux: each CR LF as LF. Bytes that are not
    exactly that stay, so that the comparison shows them."""
    if data.count(b"\r\n") == data.count(b"\n") == data.count(b"\r"):
        return data.replace(b"\r\n", b"\n")
    return data


def steady(data, wine, image_run):
    """The run id as the simulated machine's; under Wine, an image run's computer and time."""
    data = re.sub(rb'("runId": ?")[0-9a-f]{8}-[0-9a-f]{4}-4[0-9a-f]{3}-[89ab][0-9a-f]{3}-[0-9a-f]{12}"',
                  lambda m: m.group(1) + RUN_ID.encode() + b'"', data)
    if wine and image_run:
        data = re.sub(rb'("computer": ?")[^"]*"', lambda m: m.group(1) + SIMULATED["computer"].encode() + b'"', data)
        data = re.sub(rb'(?m)^(\xef\xbb\xbf)?[^,\r\n]+,(image|image-partition|free),',
                      lambda m: (m.group(1) or b"") + SIMULATED["computer"].encode() + b"," + m.group(2) + b",", data)
        data = re.sub(rb'("time": ?")[0-9T:-]+Z"', lambda m: m.group(1) + SIMULATED["time"].encode() + b'"', data)
        data = re.sub(rb"(?m)^(tessarel_last_run_timestamp_seconds) \d+$",
                      lambda m: m.group(1) + b" " + SIMULATED["seconds"].encode(), data)
    return data


def run_one(runner, case, args, folder, prom):
    """One run's block. The metrics file goes to `prom`, a file of the case's own, whose
    name the block gives as PROM."""
    command, env = runner.command(case, [runner.path(prom) if a == PROM else a for a in args])
    if os.path.exists(prom):
        os.remove(prom)
    done = subprocess.run(command, cwd=folder, capture_output=True, env=dict(os.environ, **env))
    out, err = done.stdout, done.stderr
    if runner.wine:
        if text_mode(args):
            out = from_text_mode(out)
        err = from_text_mode(err)
    image_run = "--image" in args or "--image-list" in args or "--image-dir" in args
    block = b"$ " + " ".join(args).encode() + b"\nexit %d\n" % done.returncode
    parts = [(b"stdout", out), (b"stderr", err)]
    if "--prom" in args:
        parts.append((b"prom", open(prom, "rb").read() if os.path.exists(prom) else b""))
    for name, data in parts:
        data = steady(data, runner.wine, image_run)
        block += name + b" %d\n" % len(data) + data + b"\n"
    return block


def record(runner, case, folders, index):
    """The case's file as this run gives it."""
    folder = folders[case.where or "scratch"]
    prom = os.path.join(folders["scratch"], "%d.prom" % index)
    return b"".join(run_one(runner, case, args, folder, prom) for args in case.runs)


def main():
    mode = sys.argv[1] if len(sys.argv) > 1 else ""
    if mode in ("check", "write") and len(sys.argv) == 3:
        runner = Native(os.path.abspath(sys.argv[2]))
    elif mode == "wine" and len(sys.argv) == 4:
        runner = Wine(sys.argv[2], sys.argv[3])
    else:
        raise SystemExit(__doc__)
    began = time.monotonic()
    scratch = tempfile.mkdtemp(prefix="tessarel-expected-")
    try:
        folders = {"disks": os.path.join(scratch, "disks"), "traces": os.path.join(scratch, "traces"),
                   "scratch": scratch}
        os.makedirs(folders["disks"])
        shutil.copytree(TRACES, folders["traces"])
        damaged = make_disks.extract(folders["disks"])
        write_lists(folders["disks"])
        if damaged:  # the committed files are not what the manifest says: nothing to compare
            raise SystemExit("tests/expected/disks.tar.xz does not hold what disks.sha256 says:\n  " +
                             "\n  ".join(damaged))
        todo = [c for c in cases(folders["disks"]) if runner.applies(c)]
        with concurrent.futures.ThreadPoolExecutor(max_workers=os.cpu_count() or 2) as pool:
            made = list(pool.map(lambda i: record(runner, todo[i], folders, i), range(len(todo))))
        runs = sum(len(c.runs) for c in todo)
        differ = []
        for case, got in zip(todo, made):
            path = os.path.join(HERE, case.name + ".txt")
            if mode == "write":
                os.makedirs(os.path.dirname(path), exist_ok=True)
                open(path, "wb").write(got)
                continue
            want = open(path, "rb").read() if os.path.exists(path) else b""
            if got != want:
                differ.append(case.name)
                diff = difflib.unified_diff(want.decode("latin-1").splitlines(), got.decode("latin-1").splitlines(),
                                            "expected/" + case.name, "this run", lineterm="", n=1)
                print("\n".join(list(diff)[:60]))
        if mode == "write":
            known = {c.name + ".txt" for c in todo}
            for d, _, files in os.walk(HERE):
                for f in files:
                    rel = os.path.relpath(os.path.join(d, f), HERE)
                    if rel.split("/")[0] in ("machines", "traces", "images", "program") and rel not in known:
                        os.remove(os.path.join(d, f))  # a case no longer run
        print("%s: %d files, %d runs, %d differ (%.0f s)" % (
            mode, len(todo), runs, len(differ), time.monotonic() - began))
        sys.exit(1 if differ else 0)
    finally:
        shutil.rmtree(scratch, ignore_errors=True)


if __name__ == "__main__":
    main()
