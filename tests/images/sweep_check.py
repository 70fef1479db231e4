#!/usr/bin/env python3
"""A host's folder of disk files, made by qemu-img and qemu-io, swept in one run: every disk
file `find` (without -L) sees is examined once, folded into the disk that holds it, or listed
as no disk; what the sweep reaches through a link is said; each disk's verdict and reason
are its own --image run's; every output counts what the JSON counts; a list of the same files
in each encoding PowerShell and Windows write gives one report. Under Wine, a file held by a
running program (tests/win/hold_file.exe, share 0) is refused in use and holds its
checkpoint's base unexamined, and progress shows on a console (a pseudo-terminal) only.

Usage: sweep_check.py [--wine] [--hold HOLD_EXE] REPORT...
"""
import json
import os
import re
import shutil
import subprocess
import sys
import tempfile
import time

import jsonschema

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import disk_recipes  # noqa: E402
from disk_recipes import MIB, blank, path, sh, vhdx_child, vhdx_data_write_guid  # noqa: E402

args = sys.argv[1:]
wine = args[:1] == ["--wine"]
args = args[1:] if wine else args
hold = None
if args[:1] == ["--hold"]:
    hold, args = args[1], args[2:]
report_command = [os.path.abspath(a) if os.path.exists(a) else a for a in args]
work = disk_recipes.work = tempfile.mkdtemp(prefix="tessarel-sweep-")
DOCS = os.path.join(os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__)))),
                    "docs")
SCHEMA = jsonschema.Draft202012Validator(json.load(open(os.path.join(DOCS, "report.schema.json"))))
RECORD = jsonschema.Draft202012Validator(
    json.load(open(os.path.join(DOCS, "record.schema.json"))),
    registry=__import__("referencing").Registry().with_resource(
        "report.schema.json",
        __import__("referencing").Resource.from_contents(
            json.load(open(os.path.join(DOCS, "report.schema.json"))))))
failures = []
CHECKPOINT = "vm_6F1E2D3C-4B5A-4978-8695-A4B3C2D1E0F9.avhdx"


def check(what, got, want):
    if got != want:
        failures.append("%s: got %r, want %r" % (what, got, want))


def seen(name):
    """A path under the tree as the report is given it."""
    return "Z:" + path(name).replace("/", "\\") if wine else path(name)


def unseen(shown):
    """The tree's relative name of a path the report shows."""
    host = shown[2:].replace("\\", "/") if wine else shown
    if not wine:  # the simulated machine reads the host's UTF-8 names in its code page, 1252
        try:
            host = host.encode("cp1252").decode("utf-8")
        except UnicodeError:
            pass
    return os.path.relpath(host, work)


def run(*options, env=None):
    done = subprocess.run(report_command + [os.fsdecode(o) for o in options], capture_output=True,
                          env=dict(os.environ, TESSAREL_HOST_ROOT=work, **(env or {})))
    return done.stdout.decode("latin-1"), done.stderr.decode("latin-1"), done.returncode


def sweep_json(*options):
    out, err, status = run("--json", *options)
    doc = json.loads(out)
    for error in list(SCHEMA.iter_errors(doc))[:3]:
        failures.append("schema: %s at %s" % (error.message[:200], "/".join(map(str, error.path))))
    return doc, status


def make_tree():
    """Every format qemu-img writes, split and flat VMDKs, a chain three deep, a base under
    two heads, a checkpoint beside its parent, a link back up, a .img that is no disk."""
    for folder in ("host/raw", "host/vmware/split", "host/kvm/chain", "host/kvm/clones/a",
                   "host/kvm/clones/b", "host/hyperv", "host/deep/er"):
        os.makedirs(path(folder), exist_ok=True)
    blank("host/raw/disk.raw", 64 * MIB)
    sh("sfdisk", "-q", path("host/raw/disk.raw"), stdin="label: dos\nstart=63, size=65536, type=7\n"
       "start=67584, size=40960, type=83\n")
    for fmt, name in (("vpc", "disk.vhd"), ("vhdx", "disk.vhdx"), ("vmdk", "disk.vmdk"),
                      ("qcow2", "disk.qcow2"), ("vdi", "disk.vdi")):
        sh("qemu-img", "convert", "-O", fmt, path("host/raw/disk.raw"), path("host/raw/" + name))
    sh("qemu-img", "convert", "-O", "vmdk", "-o", "subformat=twoGbMaxExtentSparse",
       path("host/raw/disk.raw"), path("host/vmware/split/split.vmdk"))
    sh("qemu-img", "convert", "-O", "vmdk", "-o", "subformat=monolithicFlat",
       path("host/raw/disk.raw"), path("host/vmware/flat.vmdk"))
    descriptor = open(path("host/vmware/flat.vmdk"), "rb").read().rstrip(b"\0")
    with open(path("host/vmware/flat.vmdk"), "wb") as out:  # as ESXi names its tracker
        out.write(descriptor + b'changeTrackPath="flat-ctk.vmdk"\n')
    with open(path("host/vmware/flat-ctk.vmdk"), "wb") as tracker:
        tracker.write(b"CTK\x00" + bytes(508))
    chain = "host/kvm/chain/"
    sh("qemu-img", "convert", "-O", "qcow2", path("host/raw/disk.raw"), path(chain + "base.qcow2"))
    for child, parent in (("mid.qcow2", "base.qcow2"), ("top.qcow2", "mid.qcow2")):
        time.sleep(0.02)  # a child is written after its parent, as on any host
        sh("qemu-img", "create", "-q", "-f", "qcow2", "-b", parent, "-F", "qcow2", path(chain + child))
        sh("qemu-io", "-c", "write -P 0x5a 1M 64k", path(chain + child))
    shutil.copy(path("host/raw/disk.qcow2"), path("host/kvm/clones/golden.qcow2"))
    for head in ("a", "b"):
        sh("qemu-img", "create", "-q", "-f", "qcow2", "-b", "../golden.qcow2", "-F", "qcow2",
           path("host/kvm/clones/%s/clone.qcow2" % head))
    shutil.copy(path("host/raw/disk.vhdx"), path("host/hyperv/vm.vhdx"))
    boot = bytearray(open(path("host/raw/disk.raw"), "rb").read()[63 * 512:64 * 512])
    size = os.path.getsize(path("host/raw/disk.raw"))
    vhdx_child("host/hyperv/" + CHECKPOINT, "vm.vhdx", vhdx_data_write_guid("host/hyperv/vm.vhdx"),
               size, boot, 63)
    with open(path("host/data.img"), "wb") as noise:
        noise.write(os.urandom(MIB))
    os.symlink("../..", path("host/deep/er/up"))  # back to host/
    os.symlink("../raw/disk.qcow2", path("host/kvm/same.qcow2"))  # a link to a file
    sh("qemu-img", "convert", "-O", "qcow2", path("host/raw/disk.raw"), path("host/caf\u00e9.qcow2"))
    if wine:  # no name of Windows-1252: it reaches the A functions with '?'
        shutil.copy(path("host/raw/disk.qcow2"), path("host/\u0434\u0438\u0441\u043a.qcow2"))


def found_by_find():
    """Every disk file find(1) lists without following links: the names a sweep must
    account for, each once."""
    listing = subprocess.run(["find", path("host"), "-type", "f"], capture_output=True,
                             text=True).stdout.split()
    ext = re.compile(r"\.(vhdx?|avhdx?|vmdk|qcow2?|vdi|img|raw)$", re.I)
    # Under Wine, a name 1252 cannot hold reaches the A functions with '?' for each character.
    spelled = [f if not wine else "".join(c if c.encode("cp1252", "ignore") else "?" for c in f)
               for f in listing]
    return sorted(os.path.relpath(f, work) for f in spelled if ext.search(f))


def check_sweep():
    doc, status = sweep_json("--image-dir", seen("host"), "--recurse")
    sweep = doc["sweep"]
    places = {}
    for image in doc["images"]:
        places.setdefault(unseen(image["path"]), []).append("image")
    for folded in sweep["folded"]:
        places.setdefault(unseen(folded["path"]), []).append("folded " + folded["as"])
    for name in sweep["notDisks"]:
        places.setdefault(unseen(name), []).append("no disk")
    for note in sweep["notExamined"]:
        places.setdefault(unseen(note["path"]), []).append("not examined")
    links = {unseen(link["path"]): link["sameAs"] and unseen(link["sameAs"]) for link in sweep["links"]}
    # A link to a file is its target: one of the two is examined, the other said to be it
    # (Wine shows a Unix link to a file as a plain file, so either may come first).
    pair = ("host/kvm/same.qcow2", "host/raw/disk.qcow2")
    examined = [n for n in pair if n in places]
    check("the link to a file, once", len(examined), 1)
    other = [n for n in pair if n not in places]
    check("the link to a file, said", [links.get(n) for n in other], examined)
    check("every file find sees, once",
          sorted(set(places) - set(pair)), sorted(set(found_by_find()) - set(pair)))
    check("none twice", [n for n, p in places.items() if len(p) != 1], [])
    want = {
        "host/kvm/chain/base.qcow2": ["folded parent"], "host/kvm/chain/mid.qcow2": ["folded parent"],
        "host/kvm/chain/top.qcow2": ["image"], "host/kvm/clones/golden.qcow2": ["folded parent"],
        "host/vmware/split/split-s001.vmdk": ["folded extent"],
        "host/vmware/flat-flat.vmdk": ["folded extent"],
        "host/vmware/flat-ctk.vmdk": ["folded change-tracking"],
        "host/hyperv/vm.vhdx": ["folded parent"], "host/hyperv/" + CHECKPOINT: ["image"],
        "host/data.img": ["no disk"], "host/raw/disk.raw": ["image"],
        "host/caf\u00e9.qcow2": ["image"],
    }
    for name, where in want.items():
        check(name, places.get(name), where)
    golden = [f for f in sweep["folded"] if f["path"].endswith("golden.qcow2")]
    check("a base under two heads, under each",
          [unseen(p) for p in golden[0]["into"]] if golden else None,
          ["host/kvm/clones/a/clone.qcow2", "host/kvm/clones/b/clone.qcow2"])
    check("the link back up", links.get("host/deep/er/up"), "host")
    if wine:
        check("a name 1252 cannot spell", [n["reason"] for n in sweep["notExamined"]],
              ["its name cannot be spelled in this system's code page"])
    check("complete", sweep["complete"], True)
    check("counted", sweep["filesFound"], len(places))
    # Each disk as its own run judges it.
    for image in doc["images"]:
        own, _ = sweep_json("--image", image["path"] if wine else image["path"].encode("cp1252"))
        check(image["path"] + ": as its own run", (image["verdict"], image["reason"]),
              (own["images"][0]["verdict"], own["images"][0]["reason"]))
    check_outputs(doc, status, ["--image-dir", seen("host"), "--recurse"])
    return doc


def check_outputs(doc, status, sweep_args):
    """The counts of every output, against the JSON's."""
    verdicts = [i["verdict"] for i in doc["images"]] + ["undetermined"] * sum(
        1 for n in doc["sweep"]["notExamined"] if n["kind"] == "file")
    mis, und = verdicts.count("misaligned"), verdicts.count("undetermined")
    out, _, summary_status = run("--summary", *sweep_args)
    check("summary's status", summary_status, status)
    first = "MISALIGNED" if mis else "UNDETERMINED" if und else "OK"
    check("summary", out.split(":")[0], first)
    if mis or und:
        check("summary's count", re.search(r"(\d+) of (\d+) images?", out).groups(),
              (str(mis if mis else und), str(len(verdicts))))
    out, _, _ = run("--nagios", *sweep_args)
    check("plugin's images", re.search(r"images=(\d+)", out).group(1) if "images=" in out else str(len(verdicts)),
          str(len(verdicts)))
    out, _, _ = run("--csv", *sweep_args)
    check("CSV's images", sum(1 for line in out.splitlines() if line.split(",")[1:2] == ["image"]),
          len(doc["images"]))
    out, _, _ = run("--jsonl", *sweep_args)
    records = [json.loads(line) for line in out.splitlines()]
    for record in records:
        for error in list(RECORD.iter_errors(record))[:2]:
            failures.append("record schema: %s" % error.message[:200])
    check("records", ([r["kind"] for r in records].count("image"), records[-1]["kind"]),
          (len(doc["images"]), "sweep"))
    prom = path("sweep.prom")
    run("--prom", seen("sweep.prom"), *sweep_args)
    text = open(prom).read() if os.path.exists(prom) else ""
    samples = {m.group(1): int(m.group(2)) for m in
               re.finditer(r'tessarel_images\{[^}]*verdict="(\w+)"\} (\d+)', text)}
    check("metrics", (samples.get("misaligned"), samples.get("undetermined")), (mis, und))
    out, _, _ = run("--intune-compliance", *sweep_args)
    check("compliance complete", json.loads(out).get("TessarelComplete"), doc["sweep"]["complete"])


def check_lists(doc):
    """The files the sweep found, in a list in each encoding: one report."""
    # Natively the machine holds the host's UTF-8 bytes, which no list can name in Unicode.
    names = [unseen(i["path"]) for i in doc["images"] if wine or unseen(i["path"]).isascii()]
    lines = ["# the host's disks", ""] + [seen(n) if i % 2 else os.path.relpath(path(n), path("lists"))
                                         .replace("/", "\\" if wine else "/")
                                         for i, n in enumerate(names)]
    text = "\r\n".join(lines) + "\r\n"
    os.makedirs(path("lists"), exist_ok=True)
    encodings = {"utf16.txt": b"\xff\xfe" + text.encode("utf-16-le"),
                 "utf8bom.txt": b"\xef\xbb\xbf" + text.encode("utf-8"),
                 "utf8.txt": text.encode("utf-8")}
    if wine:  # natively the machine's names are the host's bytes, which 1252 does not hold
        encodings["ansi.txt"] = text.encode("cp1252")
    reports = {}
    for name, data in encodings.items():
        with open(path("lists/" + name), "wb") as f:
            f.write(data)
        listed, _ = sweep_json("--image-list", seen("lists/" + name))
        listed["sweep"]["lists"] = []
        reports[name] = ([(i["verdict"], i["reason"], re.split(r"[\\/]", i["path"])[-1]) for i in listed["images"]],
                         listed["sweep"])
    first = reports["utf16.txt"]
    for name, got in reports.items():
        check("the list in " + name, got, first)
    check("the list's disks, the sweep's", sorted(r[2] for r in first[0]),
          sorted(os.path.basename(n) for n in names))


def check_wine_only():
    """A disk held open by a running program, and progress on a console."""
    env = {}
    if hold:
        held = path("host/hyperv/" + CHECKPOINT)
        holder = subprocess.Popen(["wine", hold, seen("host/hyperv/" + CHECKPOINT), seen("held.flag")])
        for _ in range(200):
            if os.path.exists(path("held.flag")):
                break
            time.sleep(0.05)
        doc, status = sweep_json("--image-dir", seen("host/hyperv"))
        holder.kill()
        holder.wait()
        image = [i for i in doc["images"] if i["path"].endswith(".avhdx")]
        check("held: refused in use", image and (image[0]["error"] or {}).get("code"), "in-use")
        check("held: its base under it, not examined",
              [(unseen(f["path"]), f["as"]) for f in doc["sweep"]["folded"]],
              [("host/hyperv/vm.vhdx", "in-use-parent")])
        check("held: exit status", status, 2)
        del held
    command = " ".join("'%s'" % a for a in report_command + ["--image-dir", seen("host/kvm"), "--recurse", "--summary"])
    console = subprocess.run(["script", "-qec", command, "/dev/null"], capture_output=True, env=dict(os.environ, **env))
    # Wine's console draws a character at a time, moving the cursor over blanks.
    shown = re.sub(r"\x1b\[[0-9;?]*[A-Za-z]|\s", "", console.stdout.decode("latin-1"))
    check("progress on a console", "Checking1of" in shown, True)
    _, err, _ = run("--image-dir", seen("host/kvm"), "--recurse", "--summary")
    check("no progress in a pipe", err, "")
    with open(path("err.txt"), "wb") as to_file:
        subprocess.run(report_command + ["--image-dir", seen("host/kvm"), "--recurse"], stdout=subprocess.DEVNULL,
                       stderr=to_file)
    check("no progress in a file", open(path("err.txt"), "rb").read(), b"")


def main():
    make_tree()
    doc = check_sweep()
    check_lists(doc)
    if wine:
        check_wine_only()
    if failures:
        print("\n".join(failures))
        print("%d failures (the tree is kept in %s)" % (len(failures), work))
        return 1
    shutil.rmtree(work)
    print("sweep: %d disks, %d folded, every check passed" % (len(doc["images"]), len(doc["sweep"]["folded"])))
    return 0


if __name__ == "__main__":
    sys.exit(main())
