#!/usr/bin/env python3
"""The outputs fleets gather, read by the engines that gather them: every --prom file
through promtool's checks and docs/console.md's alert rules (promtool test rules), every
--jsonl line against docs/record.schema.json and back against the JSON report, and each
--intune-compliance line through docs/tessarel-compliance.json's rules as Intune applies
them.

  fleet_check.py REPORT
      natively: REPORT is build/native/host_report (the lab, a standard user, every trace
      fixture, two images)
  fleet_check.py --exporter REPORT
      the lab's file read back through node_exporter's textfile collector; exits 77
      (skipped) where the exporter cannot start
  fleet_check.py --wine WINE_RUN PREFIX DEMO
      the Windows demo under Wine: the file renamed over one there before, and left whole
      where the new one cannot be written
"""
import json
import os
import re
import shutil
import socket
import subprocess
import sys
import tempfile
import time
import urllib.request

import jsonschema

from sample_images import write_sample_images

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
DOCS = os.path.join(ROOT, "docs")
TRACES = os.path.join(ROOT, "tests", "traces")
STAMP = ("kind", "computer", "runId", "time")
failures = []
work = tempfile.mkdtemp(prefix="tessarel-fleet-")


def check(what, got, expected):
    if got != expected:
        failures.append("%s: got %r, expected %r" % (what, got, expected))


def finish(name):
    shutil.rmtree(work, ignore_errors=True)
    for failure in failures:
        print(failure)
    print("%s: %d differences" % (name, len(failures)))
    sys.exit(1 if failures else 0)


def report(args, lab=True):
    """stdout as text, stderr, exit status of host_report."""
    command = [sys.argv[-1]] + (["--lab"] if lab else []) + args
    done = subprocess.run(command, capture_output=True)
    return done.stdout.decode("utf-8"), done.stderr.decode("latin-1"), done.returncode


# --- Prometheus --------------------------------------------------------------------------

SAMPLE = re.compile(r'([a-z_]+)(\{(?:[a-z_]+="(?:[^"\\\n]|\\[\\"n])*",?)*\})? (-?[0-9]+)')
# What the exporter serves: values as Go formats floats (2.56e+12).
SERVED = re.compile(r'([a-z_]+)(\{.*\})? ([-+0-9.e]+)')


def parse_metrics(what, data):
    """{(name, ((label, value), ...)): value} from the file's bytes, checking the bytes."""
    check(what + ": no byte-order mark", data[:3] == b"\xef\xbb\xbf", False)
    check(what + ": no CR", b"\r" in data, False)
    check(what + ": ends with a line feed", data.endswith(b"\n"), True)
    series, described = {}, set()
    for line in data.decode("utf-8").splitlines():
        if line.startswith("# HELP ") or line.startswith("# TYPE "):
            described.add((line[2:6], line.split(" ")[2]))
            continue
        m = SAMPLE.fullmatch(line)
        if not m:
            failures.append("%s: not a sample: %r" % (what, line))
            continue
        labels = tuple(re.findall(r'([a-z]+)="((?:[^"\\]|\\.)*)"', m.group(2) or ""))
        labels = tuple((k, v.replace("\\n", "\n").replace('\\"', '"').replace("\\\\", "\\"))
                       for k, v in labels)
        check("%s: %s has HELP and TYPE" % (what, m.group(1)),
              {("HELP", m.group(1)), ("TYPE", m.group(1))} <= described, True)
        series[(m.group(1), labels)] = int(m.group(3))
    return series


def promtool_metrics(what, path):
    done = subprocess.run(["promtool", "check", "metrics"], stdin=open(path, "rb"),
                          capture_output=True, text=True)
    check(what + ": promtool check metrics", (done.returncode, done.stdout + done.stderr), (0, ""))


def expected_metrics(doc, status):
    """The series the JSON report implies, and each value."""
    def count(items, words, key=lambda x: x["verdict"]):
        return {w: sum((key(i) or "none") == w for i in items) for w in words}
    want = {}
    verdicts = ("aligned", "misaligned", "undetermined")
    if "images" in doc:
        for w, n in count(doc["images"], verdicts).items():
            want[("tessarel_images", (("verdict", w),))] = n
        parts = [p for i in doc["images"] for p in i["partitions"]]
        for w, n in count(parts, verdicts + ("none",)).items():
            want[("tessarel_image_partitions", (("verdict", w),))] = n
    else:
        for w, n in count(doc["volumes"], verdicts).items():
            want[("tessarel_volumes", (("verdict", w),))] = n
        want[("tessarel_volumes", (("verdict", "not_examined"),))] = len(doc["skipped"])
        sizes = {d["number"]: d["logicalSectorSize"] for d in doc["drives"]}
        for v in doc["volumes"]:
            seen = set()
            for e in v["extents"] or [{"drive": v["drive"], "dataStart": v["dataStart"]}]:
                disk = "" if e["drive"] is None else str(e["drive"])
                if disk in seen:
                    continue
                seen.add(disk)
                want[("tessarel_volume_info", (("name", v["name"]), ("disk", disk),
                                               ("verdict", v["verdict"])))] = 1
                if e["dataStart"] is not None and sizes.get(e["drive"]):
                    want[("tessarel_volume_start_bytes", (("name", v["name"]), ("disk", disk)))] = \
                        e["dataStart"] * sizes[e["drive"]]
        rowless = [p for d in doc["drives"] for p in d["partitions"] if p["row"] is None]
        for w, n in count(rowless, verdicts + ("none",)).items():
            want[("tessarel_partitions_without_row", (("verdict", w),))] = n
        for d in doc["drives"]:
            if d["physicalSectorSize"] is not None:
                want[("tessarel_drive_physical_sector_bytes", (("disk", str(d["number"])),))] = \
                    d["physicalSectorSize"]
    want[("tessarel_scan_complete", ())] = int(doc.get("volumeListComplete", True))
    if doc["elevated"] is not None:
        want[("tessarel_elevated", ())] = int(doc["elevated"])
    want[("tessarel_exit_status", ())] = status
    want[("tessarel_build_info", (("version", doc["version"]),))] = 1
    return want


def check_metrics(what, args, lab=True):
    """--prom alone prints nothing; its file says what the JSON says, with the run's status
    (the text's, where a replay holds every answer the outputs ask)."""
    path = os.path.join(work, re.sub(r"[^a-z0-9]+", "-", what) + ".prom")
    out, _, status = report(args + ["--prom", path], lab)
    check(what + ": --prom alone prints nothing", out, "")
    if lab:
        check(what + ": --prom's status is the text's", status, report(args, lab)[2])
    doc = json.loads(report(args + ["--json"], lab)[0])
    data = open(path, "rb").read()
    promtool_metrics(what, path)
    got = parse_metrics(what, data)
    got.pop(("tessarel_last_run_timestamp_seconds", ()), None)
    check(what + ": series", got, expected_metrics(doc, status))
    return path


# --- JSON lines --------------------------------------------------------------------------

def record_validator():
    report_schema = json.load(open(os.path.join(DOCS, "report.schema.json")))
    record_schema = json.load(open(os.path.join(DOCS, "record.schema.json")))
    jsonschema.Draft202012Validator.check_schema(record_schema)
    try:  # jsonschema 4.18 and later resolve through a registry
        from referencing import Registry, Resource
        registry = Registry().with_resource(report_schema["$id"], Resource.from_contents(report_schema))
        return jsonschema.Draft202012Validator(record_schema, registry=registry)
    except ImportError:  # Debian 12's 4.10
        resolver = jsonschema.RefResolver.from_schema(
            record_schema, store={report_schema["$id"]: report_schema})
        return jsonschema.Draft202012Validator(record_schema, resolver=resolver)


RECORDS = record_validator()


def expected_records(doc):
    """Each record after the run's, as (kind, object) from the JSON report."""
    want = []
    if "images" in doc:
        for image in doc["images"]:
            want.append(("image", image))
            want += [("image-partition", dict(p, image=image["path"])) for p in image["partitions"]]
            want += [("free", dict(r, image=image["path"])) for r in image["free"] or []]
        return want
    for v in doc["volumes"]:
        want.append(("volume", v))
        if len(v["extents"]) > 1:
            want += [("piece", dict(e, volume=v["name"])) for e in v["extents"]]
    want += [("skipped", s) for s in doc["skipped"]]
    want += [("partition", dict(p, drive=d["number"])) for d in doc["drives"]
             for p in d["partitions"] if p["row"] is None]
    want += [("free", dict(r, drive=d["number"])) for d in doc["drives"] for r in d["free"] or []]
    want += [("sector-size-move", {"drive": d["number"], "sectorSizeMove": d["sectorSizeMove"],
                                   "targets": d["targets"]})
             for d in doc["drives"] if d["sectorSizeMove"] is not None]
    return want


def check_records(what, args, lab=True, time_said=None):
    out, _, status = report(args + ["--jsonl"], lab)
    check(what + ": LF only, a final one", ("\r" in out, out.endswith("\n")), (False, True))
    lines = [json.loads(line) for line in out.splitlines()]
    for line in lines:
        for e in list(RECORDS.iter_errors(line))[:3]:
            failures.append("%s: %s record: %s at %s" % (what, line.get("kind"), e.message[:160],
                                                          "/".join(map(str, e.path))))
    doc = json.loads(report(args + ["--json"], lab)[0])
    run = lines[0]
    check(what + ": the run record", {k: run[k] for k in ("kind", "exitStatus", "elevated", "complete")},
          {"kind": "run", "exitStatus": status, "elevated": doc["elevated"],
           "complete": doc.get("volumeListComplete", True)})
    if lab:
        check(what + ": --jsonl's status is the text's", status, report(args, lab)[2])
    check(what + ": one run, one id, one time, one computer",
          {(l["runId"], l["time"], l["computer"]) for l in lines}, {(run["runId"], run["time"], doc["computer"])})
    if time_said:
        check(what + ": time", run["time"], time_said)
    got = [(l["kind"], {k: v for k, v in l.items() if k not in STAMP}) for l in lines[1:]]
    check(what + ": records equal the JSON report's objects", got, expected_records(doc))
    return run


# --- Intune ------------------------------------------------------------------------------

def typed(data_type, value):
    if data_type == "Boolean":
        return value if isinstance(value, bool) else str(value).lower() == "true"
    if data_type == "Int64":
        return int(value)
    if data_type == "Double":
        return float(value)
    if data_type == "Version":
        return tuple(int(x) for x in str(value).split("."))
    return str(value)


OPERATORS = {"IsEquals": lambda a, b: a == b, "NotEquals": lambda a, b: a != b,
             "GreaterThan": lambda a, b: a > b, "GreaterEquals": lambda a, b: a >= b,
             "LessThan": lambda a, b: a < b, "LessEquals": lambda a, b: a <= b}


def failed_rules(rules, line):
    """The settings whose rule the discovered line fails; a setting the line lacks fails."""
    found = json.loads(line)
    failed = []
    for rule in rules["Rules"]:
        name, kind = rule["SettingName"], rule["DataType"]
        if name not in found or not OPERATORS[rule["Operator"]](typed(kind, found[name]),
                                                                 typed(kind, rule["Operand"])):
            failed.append(name)
    return failed


def check_compliance(fixture_incomplete, images):
    rules = json.load(open(os.path.join(DOCS, "tessarel-compliance.json")))
    for rule in rules["Rules"]:
        check(rule["SettingName"] + ": a rule Intune takes",
              (rule["Operator"] in OPERATORS, rule["DataType"] in ("Boolean", "Int64", "Double", "String", "DateTime", "Version"),
               bool(rule["MoreInfoUrl"]), any(s["Language"] == "en_US" and "{ActualValue}" in s["Title"] + s["Description"]
                                               or s["Language"] == "en_US" for s in rule["RemediationStrings"])),
              (True, True, True, True))
    aligned = os.path.join(TRACES, "past-2tib-encrypted.jsonl")
    for what, args, lab, failing in [
            ("the lab", [], True, ["TessarelMisaligned", "TessarelUndetermined", "TessarelNotExamined"]),
            ("an aligned machine", ["--replay", aligned], False, []),
            ("an incomplete list", ["--replay", fixture_incomplete], False, ["TessarelComplete"]),
            # The sample images: one misaligned, two undetermined, one refused (not
            # examined, counted apart from both).
            ("the sample images", images, True,
             ["TessarelMisaligned", "TessarelUndetermined", "TessarelNotExamined"])]:
        out, _, status = report(args + ["--intune-compliance"], lab)
        check(what + ": one compressed line", (out.count("\n"), out.endswith("\n"), ": " in out), (1, True, False))
        check(what + ": exit 0 whenever the scan ran", status, 0)
        check(what + ": rules failed", failed_rules(rules, out), failing)
        if what == "the sample images":
            check(what + ": counts", {k: v for k, v in json.loads(out).items() if type(v) is int},
                  {"TessarelVolumes": 4, "TessarelMisaligned": 1, "TessarelUndetermined": 2,
                   "TessarelNotExamined": 1})
    # The evaluator itself: each operator on each side of its operand.
    for op, results in [("IsEquals", (False, True, False)), ("NotEquals", (True, False, True)),
                        ("GreaterThan", (False, False, True)), ("GreaterEquals", (False, True, True)),
                        ("LessThan", (True, False, False)), ("LessEquals", (True, True, False))]:
        rule = {"Rules": [{"SettingName": "N", "Operator": op, "DataType": "Int64", "Operand": "5"}]}
        check("operator " + op, tuple(not failed_rules(rule, '{"N":%d}' % n) for n in (4, 5, 6)), results)


def incomplete_fixture():
    """A fixture whose volume list ends in access denied instead of ERROR_NO_MORE_FILES."""
    lines = open(os.path.join(TRACES, "past-2tib-encrypted.jsonl")).read().splitlines(True)
    last = max(i for i, l in enumerate(lines) if '"FindNextVolumeA"' in l)
    lines[last] = lines[last].replace('"error": 18', '"error": 5')
    path = os.path.join(work, "incomplete.jsonl")
    open(path, "w").write("".join(lines))
    return path


# --- The alert rules ---------------------------------------------------------------------

def check_alert_rules(lab_file, aligned_file):
    console = open(os.path.join(DOCS, "console.md")).read()
    rules = re.search(r"<!-- alert rules -->\n```yaml\n(.*?)```", console, re.S).group(1)
    open(os.path.join(work, "rules.yml"), "w").write(rules)

    def series_of(path, instance):
        out = []
        for (name, labels), value in parse_metrics(path, open(path, "rb").read()).items():
            if name == "tessarel_last_run_timestamp_seconds":
                value = 0  # the run happened at the test's time 0
            text = ",".join('%s="%s"' % (k, v.replace("\\", "\\\\").replace('"', '\\"')) for k, v in labels)
            out.append({"series": '%s{%sinstance="%s"}' % (name, text + "," if text else "", instance),
                        "values": "%dx1500" % value})
        return out

    misaligned = {"alertname": "TessarelVolumeMisaligned", "severity": "warning",
                  "verdict": "misaligned", "instance": "lab"}
    stale = lambda instance: {
        "exp_labels": {"alertname": "TessarelRunStale", "severity": "warning", "instance": instance},
        "exp_annotations": {"summary": instance + ": Tessarel last ran more than a day ago"}}
    tests = {"rule_files": ["rules.yml"], "evaluation_interval": "1m", "tests": [{
        "interval": "1m",
        "input_series": series_of(lab_file, "lab") + series_of(aligned_file, "aligned"),
        "alert_rule_test": [
            {"eval_time": "10m", "alertname": "TessarelVolumeMisaligned",
             "exp_alerts": [{"exp_labels": misaligned,
                             "exp_annotations": {"summary": "lab: 8 volumes misaligned"}}]},
            {"eval_time": "10m", "alertname": "TessarelRunStale", "exp_alerts": []},
            {"eval_time": "1470m", "alertname": "TessarelRunStale",
             "exp_alerts": [stale("aligned"), stale("lab")]},
        ]}]}
    # JSON is YAML: promtool reads it as it is.
    open(os.path.join(work, "rules_test.yml"), "w").write(json.dumps(tests))
    done = subprocess.run(["promtool", "test", "rules", "rules_test.yml"], cwd=work,
                          capture_output=True, text=True)
    check("promtool test rules", (done.returncode, done.stderr.strip()), (0, ""))
    if done.returncode:
        print(done.stdout[-2000:])


# --- node_exporter -----------------------------------------------------------------------

def exporter():
    folder = os.path.join(work, "textfile")
    os.mkdir(folder)
    lab = check_metrics("lab for the exporter", [])
    shutil.copy(lab, os.path.join(folder, "tessarel.prom"))
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        port = s.getsockname()[1]
    binary = shutil.which("prometheus-node-exporter") or shutil.which("node_exporter")
    if not binary:
        print("SKIPPED: no node_exporter installed")
        sys.exit(77)
    process = subprocess.Popen([binary, "--web.listen-address=127.0.0.1:%d" % port,
                                "--collector.disable-defaults", "--collector.textfile",
                                "--collector.textfile.directory=" + folder],
                               stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
    try:
        page = None
        deadline = time.monotonic() + 30
        while page is None and process.poll() is None and time.monotonic() < deadline:
            try:
                page = urllib.request.urlopen("http://127.0.0.1:%d/metrics" % port, timeout=2).read()
            except OSError:
                time.sleep(0.1)
        if page is None:
            print("SKIPPED: node_exporter did not answer on port %d: %s" %
                  (port, process.stderr.read().decode()[-500:] if process.poll() is not None else "no answer in 30 s"))
            sys.exit(77)
        scraped = {}
        for line in page.decode().splitlines():
            m = SERVED.fullmatch(line)
            if m and not line.startswith("#"):
                labels = tuple(re.findall(r'([a-z_]+)="((?:[^"\\]|\\.)*)"', m.group(2) or ""))
                scraped[(m.group(1), tuple(sorted(labels)))] = float(m.group(3))
            elif line.startswith("node_textfile_scrape_error "):
                check("node_textfile_scrape_error", line.split(" ")[1], "0")
        written = {}
        for line in open(lab).read().splitlines():
            m = SAMPLE.fullmatch(line)
            if m:
                labels = re.findall(r'([a-z_]+)="((?:[^"\\]|\\.)*)"', m.group(2) or "")
                written[(m.group(1), tuple(sorted(labels)))] = float(m.group(3))
        check("every tessarel series through the exporter",
              {k: v for k, v in scraped.items() if k[0].startswith("tessarel_")}, written)
        check("node_textfile_scrape_error present", b"node_textfile_scrape_error 0" in page, True)
    finally:
        process.terminate()
        process.wait(10)
    finish("exporter")


# --- Under Wine --------------------------------------------------------------------------

def wine():
    wine_run, prefix, demo = sys.argv[2:5]
    windows = lambda p: "Z:" + p.replace("/", "\\")
    path = os.path.join(work, "tessarel.prom")
    open(path, "w").write("old\n")
    run = lambda target: subprocess.run([wine_run, prefix, demo, "--prom", windows(target)],
                                        capture_output=True)
    done = run(path)
    check("Wine: exit status (the lab has misaligned volumes)", done.returncode, 1)
    check("Wine: nothing printed", done.stdout, b"")
    promtool_metrics("Wine", path)
    parse_metrics("Wine", open(path, "rb").read())
    check("Wine: no .tmp left", os.path.exists(path + ".tmp"), False)
    # A folder where the new file cannot go: FILE.tmp is a folder; the old file stays.
    os.mkdir(path + ".tmp")
    before = open(path, "rb").read()
    done = run(path)
    check("Wine: cannot write: status", done.returncode, 3)
    check("Wine: cannot write: said", b"cannot write the metrics to" in done.stderr, True)
    check("Wine: the file there before is whole", open(path, "rb").read(), before)
    # JSON lines end with LF alone on Windows too, every one a JSON object.
    done = subprocess.run([wine_run, prefix, demo, "--jsonl"], capture_output=True)
    check("Wine: --jsonl has no CR", b"\r" in done.stdout, False)
    lines = done.stdout.decode("utf-8").splitlines()
    check("Wine: --jsonl's records", (len(lines) > 20, [json.loads(l)["kind"] for l in lines[:2]]),
          (True, ["run", "volume"]))
    finish("fleet (Wine)")


if sys.argv[1] == "--wine":
    wine()
if sys.argv[1] == "--exporter":
    exporter()

lab_prom = check_metrics("lab", [])
check_metrics("standard user", ["--standard"])
aligned_prom = None
for name in sorted(os.listdir(TRACES)):
    if not name.endswith(".jsonl"):
        continue
    replay = ["--replay", os.path.join(TRACES, name)]
    written = check_metrics(name, replay, lab=False)
    if name == "past-2tib-encrypted.jsonl":
        aligned_prom = written
    # Older traces record no time: the epoch; the fixtures recorded now, the simulated time.
    first = json.loads(open(os.path.join(TRACES, name)).readline())
    check_records(name, replay, lab=False,
                  time_said="2026-03-02T09:30:00Z" if first.get("format", 1) >= 7 else "1970-01-01T00:00:00Z")
first = check_records("lab", [], time_said="2026-03-02T09:30:00Z")
check_records("standard user", ["--standard"])
check("two runs, two ids", check_records("lab again", [])["runId"] != first["runId"], True)
check("escapes: a folder mount's name", b'name="C:\\\\SQL\\\\Data\\\\"' in open(lab_prom, "rb").read(), True)

# Images: a raw disk with a partition at 63, random bytes, a PNG and a file that is none.
samples = write_sample_images(work)
images = [a for path in samples for a in ("--image", path)]
# Bytes that hold no table and no boot sector never pass: each alone is undetermined in
# every output (the status 2, the metrics' status, the compliance line).
for path in samples[1:3]:
    name = os.path.basename(path)
    _, _, status = report(["--image", path])
    check(name + ": status", status, 2)
    check(name + ": summary", report(["--image", path, "--summary"])[0].split(":")[0], "UNDETERMINED")
    check(name + ": compliance", json.loads(report(["--image", path, "--intune-compliance"])[0])["TessarelVerdict"],
          "undetermined")
check_metrics("images", images)
check_records("images", images)

check_alert_rules(lab_prom, aligned_prom)
check_compliance(incomplete_fixture(), images)

# --prom with another output: that output as usual; a file that cannot be written: status 3,
# the old file whole, no .tmp left.
out, _, _ = report(["--summary", "--prom", os.path.join(work, "with.prom")])
check("--prom with --summary prints the summary", out.startswith("MISALIGNED: "), True)
blocked = os.path.join(work, "blocked.prom")
open(blocked, "w").write("before\n")
os.mkdir(blocked + ".tmp")
for args in ([], ["--json"], ["--nagios"]):
    out, err, status = report(args + ["--prom", blocked])
    check("%s: unwritable: status" % args, status, 3)
    said = out if args == ["--nagios"] else err
    check("%s: unwritable: said" % args, "cannot write the metrics to " + blocked in said, True)
check("unwritable: the file there before", open(blocked).read(), "before\n")
finish("fleet")
