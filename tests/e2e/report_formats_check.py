#!/usr/bin/env python3
"""The outputs other tools read, read by those tools' rules: every JSON document valid
against docs/report.schema.json (with Debian's python3-jsonschema), the CSV read back with
Python's csv module and compared with the JSON field by field, the summary one line, the
plugin line as monitoring servers parse it; each output's exit status.

  report_formats_check.py REPORT
      natively: REPORT is build/native/host_report (the lab, traces, a small image); also
      checks that the keys docs/console.md names are the schema's
  report_formats_check.py --wine WINE_RUN PREFIX DEMO
      the Windows demo under Wine, run as the recipes of docs/console.md run it (the CSV
      through cmd's redirection to a file)
"""
import csv
import io
import json
import os
import re
import subprocess
import sys
import tempfile

import jsonschema

from sample_images import write_sample_images

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
SCHEMA = json.load(open(os.path.join(ROOT, "docs", "report.schema.json")))
jsonschema.Draft202012Validator.check_schema(SCHEMA)
VALIDATOR = jsonschema.Draft202012Validator(SCHEMA)
COLUMNS = ["computer", "kind", "name", "drive", "partition", "partitionStart", "dataStart",
           "verdict", "reason", "onMiB", "moveTo", "fits", "shrinkBy", "moveToMiB",
           "moveToMiBFits", "moveToMiBShrinkBy", "clusterBytes", "format", "targetReady",
           "targetFix", "alignedTo", "regionStart", "regionLength", "onGrid", "firstOnGrid",
           "roomAtGrid", "firstOnMiB", "roomAtMiB", "canCreate", "sectorSizeTo",
           "sectorSizeMove", "sectorSizeMoveItems"]
ADVICE = COLUMNS[10:18]

wine = sys.argv[1] == "--wine"
failures = []
work = tempfile.mkdtemp(prefix="tessarel-formats-")


def check(what, got, expected):
    if got != expected:
        failures.append("%s: got %r, expected %r" % (what, got, expected))


def run(args, standard=False):
    """stdout as bytes, stderr as text, exit status."""
    if wine:
        wine_run, prefix, demo = sys.argv[2:5]
        command = [wine_run, prefix, demo] + args
        env = dict(os.environ, TESSAREL_DEMO_USER="standard" if standard else "")
    else:
        command = [sys.argv[1], "--lab"] + (["--standard"] if standard else []) + args
        env = None
    done = subprocess.run(command, capture_output=True, env=env)
    return done.stdout, done.stderr.decode("latin-1"), done.returncode


def csv_through_cmd(standard):
    """What the remoting recipe reads: the file cmd's redirection writes."""
    if not wine:
        return run(["--csv"], standard)[0]
    wine_run, prefix, demo = sys.argv[2:5]
    target = os.path.join(work, "report.csv")
    windows = lambda p: "Z:" + p.replace("/", "\\")
    subprocess.run([wine_run, prefix, "cmd", "/c", "%s --csv > %s" % (windows(demo), windows(target))],
                   capture_output=True, env=dict(os.environ, TESSAREL_DEMO_USER="standard" if standard else ""))
    return open(target, "rb").read()


def valid(what, document):
    errors = sorted(VALIDATOR.iter_errors(document), key=lambda e: list(e.path))
    for e in errors[:5]:
        failures.append("%s: %s at %s" % (what, e.message[:200], "/".join(map(str, e.path))))


def text(value):
    """A JSON value as the CSV writes it."""
    if value is None:
        return ""
    if value is True or value is False:
        return "true" if value else "false"
    return str(value)


def advice_fields(advice, aligned_to=None):
    """The advice's columns, the target's two (empty but on an image's own line), and
    where the partition's start lies aligned to."""
    return [text((advice or {}).get(k)) if advice else "" for k in ADVICE] + ["", "", text(aligned_to)]


def free_lines(computer, name, drive, regions):
    """A free region's line: its reason and onMiB, then its own eight columns."""
    return [[computer, "free", name, drive, "", "", "", "", text(r["reason"]), text(r["onMiB"])] +
            [""] * (len(ADVICE) + 3) +
            [text(r["start"]), text(r["length"]), text(r["onGrid"]), text(r["gridStart"]),
             text(r["gridRoom"]) if r["gridStart"] is not None else "", text(r["mibStart"]),
             text(r["mibRoom"]) if r["mibStart"] is not None else "", text(r["canCreate"])]
            for r in regions or []]


def move_fields(move):
    """A drive's or an image's sector-size move: its size, verdict and items' words."""
    if move is None:
        return ["", "", ""]
    return [text(move["to"]), move["verdict"], "; ".join(i["words"] for i in move["items"])]


def one_target(disk):
    """The CSV's target: the one of azure and hyperv, else the only one named."""
    if "target" in disk:
        return disk["target"]
    return disk["targets"][0] if len(disk["targets"]) == 1 else None


def expected_csv(doc):
    """The CSV's lines from the JSON, field by field; the free regions' eight columns and
    the move's three empty on every other line."""
    lines = []
    for line in expected_rows(doc):
        if len(line) < 29:
            line = line + [""] * (29 - len(line))
        lines.append(line if len(line) == 32 else line + [""] * 3)
    return lines


def expected_rows(doc):
    lines = []
    if "images" in doc:
        for image in doc["images"]:
            # Each image's own line first; a refused one's reason is its refusal.
            error = image["error"]
            reason = ("refused (%s): %s" % (error["code"], error["words"]) if error
                      else text(image["reason"]))
            lines.append([doc["computer"] or "", "image", image["path"], "", "", "", "",
                          image["verdict"], reason, ""] + [""] * len(ADVICE) +
                         ([text(one_target(image)["ready"]), one_target(image)["fix"] or ""]
                          if one_target(image) else ["", ""]) + [""] * 9 +
                         move_fields(image["sectorSizeMove"]))
            for p in image["partitions"]:
                lines.append([doc["computer"] or "", "image-partition", image["path"], "",
                              text(p["number"]), text(p["start"]), text(p["dataStart"]),
                              text(p["verdict"]), text(p["reason"]), text(p["onMiB"])] +
                             advice_fields(p["advice"], p["alignedTo"]))
            lines += free_lines(doc["computer"] or "", image["path"], "", image["free"])
        return lines
    computer = doc["computer"] or ""
    partitions = {(d["number"], p["start"]): p["number"] for d in doc["drives"] for p in d["partitions"]}
    for v in doc["volumes"]:
        first = v["extents"][0]
        lines.append([computer, "volume", v["name"], text(v["drive"]),
                      text(partitions.get((first["drive"], first["start"]))), text(first["start"]),
                      text(v["dataStart"]), v["verdict"], text(v["reason"]), text(v["onMiB"])] +
                     advice_fields(v["advice"], v["alignedTo"]))
        if len(v["extents"]) > 1:
            for e in v["extents"]:
                lines.append([computer, "piece", v["name"], text(e["drive"]),
                              text(partitions.get((e["drive"], e["start"]))), text(e["start"]),
                              text(e["dataStart"]), e["verdict"], "", ""] + [""] * (len(ADVICE) + 3))
    for s in doc["skipped"]:
        reason = s["reason"] + ("" if s["error"] is None else " (Windows error %d" % s["error"])
        lines.append([computer, "skipped", s["name"], "", "", "", "", "", reason, ""] + [""] * (len(ADVICE) + 3))
    for d in doc["drives"]:
        for p in d["partitions"]:
            if p["row"] is not None:
                continue
            lines.append([computer, "partition", p["volume"] or "", text(d["number"]), text(p["number"]),
                          text(p["start"]), None, text(p["verdict"]), text(p["reason"]),
                          text(p["onMiB"])] + advice_fields(p["advice"], p["alignedTo"]))
    for d in doc["drives"]:
        lines += free_lines(computer, d["name"], text(d["number"]), d["free"])
    for d in doc["drives"]:
        ready = [text(t["ready"]) for t in d["targets"]] or [""]
        lines.append([computer, "drive", d["name"], text(d["number"])] + [""] * 14 + ready +
                     [""] * 10 + move_fields(d["sectorSizeMove"]))
    return lines


def compare_csv(what, data, doc):
    check(what + ": byte-order mark", data[:3], b"\xef\xbb\xbf")
    check(what + ": every line ends with CRLF",
          (data.replace(b"\r\n", b"").count(b"\n"), data.count(b"\r\r")), (0, 0))
    rows = list(csv.reader(io.StringIO(data.decode("utf-8-sig"), newline="")))
    check(what + ": header", rows[0], COLUMNS)
    expected = expected_csv(doc)
    check(what + ": lines", len(rows) - 1, len(expected))
    for got, want in zip(rows[1:], expected):
        # What the JSON has no field for is not compared: a partition's data start; a
        # skipped volume's error words after its number; a named partition's name
        # (a volume not examined is named by its letter).
        for i, (g, w) in enumerate(zip(got, want)):
            if w is None:
                continue
            if COLUMNS[i] == "reason" and want[1] == "skipped":
                check("%s: %s %s" % (what, want[2], COLUMNS[i]), g[:len(w)], w)
            elif COLUMNS[i] == "name" and want[1] == "partition" and g and not w:
                continue
            else:
                check("%s: %s %s %s" % (what, want[1], want[2], COLUMNS[i]), g, w)


def check_plugin(what, line, status, doc, critical):
    m = re.fullmatch(r"TESSAREL (OK|WARNING|CRITICAL|UNKNOWN) - (.+) \| (.+)\n", line)
    if not m:
        failures.append("%s: not a plugin line: %r" % (what, line))
        return
    check(what + ": status", status, {"OK": 0, "WARNING": 1, "CRITICAL": 2, "UNKNOWN": 3}[m.group(1)])
    perf = dict(re.fullmatch(r"([a-z]+)=(.+)", item).groups() for item in m.group(3).split(" "))
    misaligned = sum(v["verdict"] == "misaligned" for v in doc["volumes"])
    undetermined = sum(v["verdict"] == "undetermined" for v in doc["volumes"]) + len(doc["skipped"])
    check(what + ": performance data", perf, {
        "misaligned": "%d;%s;0;" % (misaligned, ";0" if critical else "0;"),
        "undetermined": "%d;;;0;" % undetermined,
        "volumes": "%d;;;0;" % (len(doc["volumes"]) + len(doc["skipped"]))})
    expected = ("CRITICAL" if critical else "WARNING") if misaligned else "UNKNOWN" if undetermined else "OK"
    check(what + ": state", m.group(1), expected)


for standard in (False, True):
    who = "standard user" if standard else "administrator"
    out, err, status = run(["--json"], standard)
    doc = json.loads(out)
    valid(who + " JSON", doc)
    for where, change in [("a verdict", lambda d: d["volumes"][0].update(verdict="sideways")),
                          ("a key", lambda d: d["drives"][0].update(surprise=1)),
                          ("a null", lambda d: d["volumes"][0].update(onMiB=None))]:
        wrong = json.loads(out)
        change(wrong)
        check("%s: the schema refuses %s the program never writes" % (who, where),
              VALIDATOR.is_valid(wrong), False)
    _, _, text_status = run([], standard)
    check(who + ": JSON status", status, text_status)
    compare_csv(who + " CSV", csv_through_cmd(standard), doc)
    out, err, status = run(["--summary"], standard)
    line = out.decode("latin-1")
    check(who + " summary: one line", (line.count("\n"), line.endswith("\n")), (1, True))
    check(who + " summary: at most 2,048 characters", len(line.rstrip("\r\n")) <= 2048, True)
    check(who + " summary: nothing on standard error", err, "")
    check(who + " summary: status", status, text_status)
    check(who + " summary: verdict word", line.split(":")[0],
          {0: "OK", 1: "MISALIGNED", 2: "UNDETERMINED"}[text_status])
    for critical in (False, True):
        out, err, status = run(["--nagios"] + (["--critical"] if critical else []), standard)
        check_plugin("%s plugin%s" % (who, " --critical" if critical else ""),
                     out.decode("latin-1").replace("\r\n", "\n"), status, doc, critical)

if not wine:
    # Every trace fixture, replayed as JSON.
    traces = os.path.join(ROOT, "tests", "traces")
    for name in sorted(os.listdir(traces)):
        if name.endswith(".jsonl"):
            out, _, _ = run(["--json", "--replay", os.path.join(traces, name)])
            valid(name + " JSON", json.loads(out))
    # Images: a raw disk with NTFS's partition at 63 (no file system), random bytes, a PNG,
    # and one refused.
    args = [a for path in write_sample_images(work) for a in ("--image", path)]
    out, _, _ = run(args + ["--json"])
    doc = json.loads(out)
    valid("images JSON", doc)
    compare_csv("images CSV", run(args + ["--csv"])[0], doc)
    # The keys docs/console.md names are the schema's: each key of its JSON examples is one,
    # and each of the schema's is named there.
    def keys(node):
        if isinstance(node, dict):
            for k, v in node.items():
                if k == "properties":
                    yield from v
                yield from keys(v)
        elif isinstance(node, list):
            for v in node:
                yield from keys(v)
    schema_keys = set(keys(SCHEMA))
    console = open(os.path.join(ROOT, "docs", "console.md")).read()
    blocks = "".join(re.findall(r"```\n(.*?)```", console, re.S))
    shown = set(re.findall(r'"([A-Za-z0-9]+)": ', blocks))
    check("keys in docs/console.md's JSON examples that the schema lacks", sorted(shown - schema_keys), [])
    named = set(re.findall(r"`([A-Za-z0-9]+)`", console))
    check("schema keys docs/console.md does not name", sorted(schema_keys - named - shown), [])

for failure in failures:
    print(failure)
print("formats (%s): %d differences" % ("Wine" if wine else "native", len(failures)))
sys.exit(1 if failures else 0)
