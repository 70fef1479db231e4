#!/bin/sh
# TessarelReportDemo.exe --json, run whole under Wine as the administrator and as a
# standard user: one JSON document (checked by python3's own parser) that says what the
# text report says, volume for volume and drive for drive, with the same exit status. The
# text itself is checked against the lab's expected report by report_e2e_tests.
# Usage: report_json_check.sh WINE_RUN PREFIX PROGRAM
set -u
json=$(mktemp)
text=$(mktemp)
trap 'rm -f "$json" "$text"' EXIT
for user in "" standard; do
TESSAREL_DEMO_USER=$user "$1" "$2" "$3" --json >"$json"
status=$?
TESSAREL_DEMO_USER=$user "$1" "$2" "$3" --drives >"$text"
[ "$status" -eq $? ] || { echo "exit status $status, not the text report's"; exit 1; }
python3 -m json.tool "$json" >/dev/null || { echo "not JSON:"; cat "$json"; exit 1; }
python3 - "$json" "$text" "$user" <<'PY' || exit 1
import json, sys
doc = json.load(open(sys.argv[1], encoding="utf-8"))
report = open(sys.argv[2], encoding="ascii").read()
# A standard user's report says so first, and its JSON says how it ran.
standard = sys.argv[3] == "standard"
assert (doc["elevated"], doc["rawAccess"]) == ((False, False) if standard else (True, True)), doc
assert report.startswith("Not elevated: ") == standard, report[:80]
if standard:
    report = report.split("\n", 1)[1]
parts = report.split("\n\n")
# The volumes, then (where there are any) the partitions without a row, the drives, and
# (where there is room for one) the free space: each told by its heading.
volumes = parts[0]
drives = next(p for p in parts if p.startswith("Drv No  Drive Name"))
rowless = [p for p in parts if p.startswith("Partitions without")]
section = [l for l in (rowless[0].splitlines()[2:] if rowless else [])
           if not l.startswith("    ")]  # advice lines follow their partition's
def cells(line, widths):
    out, at = [], 0
    for w in widths:
        out.append(line[at:at + w].rstrip())
        at += w
    return out
lines = volumes.splitlines()[1:]
skipped = [l.split("  not examined: ") for l in lines if "  not examined: " in l]
first = volumes.splitlines()[0].index("Drv No")  # the first column fits the longest name
def row(line):
    return [line[:first].rstrip()] + cells(line[first:], (8, 32, 12, 12))
why = "    undetermined: "  # under a row, why it could not be judged
move = "    move to sector "  # and what would align a misaligned one, each start with its room
noroom = "    no room at sector "
fmt = "    format "
windows = "    Windows calls "  # where Windows' own view differs from the verdict
import re
def room(words):
    """fits, shrinkBy of one start's words: None where it fits or is unknown"""
    m = re.search(r"after shrinking it by (\d+) sectors?", words)
    return (False, int(m.group(1))) if m else (None, None)
def starts(line):
    """[moveTo, fits, shrinkBy, moveToMiB, miBFits, miBShrinkBy] as the line says them"""
    parts = re.split(r"(, or to |; move to |; no room at )", line)
    head = parts[0]
    to = int(re.search(r"sector (\d+)", head).group(1))
    fits, shrink = (False, None) if head.startswith(noroom) else room(head)
    mib = fitsMiB = shrinkMiB = None
    if ", on 1 MiB" in head:
        mib, fitsMiB, shrinkMiB = to, fits, shrink
    if len(parts) > 1:
        mib = int(re.match(r"(\d+)", parts[2]).group(1))
        fitsMiB, shrinkMiB = (False, None) if parts[1] == "; no room at " else room(parts[2])
    return [to, fits, shrink, mib, fitsMiB, shrinkMiB]
def under(l):
    if l.startswith(why): return [why, l[len(why):]]
    if l.startswith(move) or l.startswith(noroom): return [move] + starts(l)
    if l.startswith(fmt):
        m = re.match(r"    format with clusters of (\d+) bytes$", l)
        return [fmt, int(m.group(1)) if m else None]
    if l.startswith(windows): return [windows, " misaligned" not in l.split(":")[0]]
    return row(l)
rows = [under(l) for l in lines if "  not examined: " not in l]
names = {d["number"]: d["name"] for d in doc["drives"]}
text = lambda n: "" if n is None else str(n)
# The text names the reason, and what Windows said where a call failed.
assert len(doc["skipped"]) == len(skipped), (doc["skipped"], skipped)
for s, (name, said) in zip(doc["skipped"], skipped):
    expected = s["reason"] if s["error"] is None else "%s (Windows error %d" % (s["reason"], s["error"])
    assert s["name"] == name and said.startswith(expected), (s, said)
assert doc["volumeListComplete"] is True
got = []
for v in doc["volumes"]:
    got.append([v["name"], text(v["drive"]), v["driveName"], text(v["dataStart"]),
                v["verdict"]])
    pieces = v["extents"]
    if len(pieces) > 1:  # the text gives each piece a line of its own
        got += [["  %d/%d" % (i + 1, len(pieces)), text(p["drive"]), names.get(p["drive"], ""),
                 text(p["dataStart"]), p["verdict"]] for i, p in enumerate(pieces)]
    if v["reason"] is not None:
        got.append([why, v["reason"]])
    a = v["advice"]
    if a and a["format"]:
        got.append([fmt, a["clusterBytes"]])
    if a and a["moveTo"] is not None:
        known = lambda fits: None if fits in (True, None) else False
        got.append([move, a["moveTo"], known(a["fits"]), a["shrinkBy"], a["moveToMiB"],
                    known(a["moveToMiBFits"]), a["moveToMiBShrinkBy"]])
    w = v["windows"]  # Windows' "aligned" against any other verdict, its "misaligned" against "aligned"
    if w and v["extents"] and w["partitionAligned"] != (v["verdict"] == "aligned") and (
            w["partitionAligned"] or v["verdict"] == "aligned"):
        got.append([windows, w["partitionAligned"]])
assert got == rows, (got, rows)
# The partitions without a row: the text's section, line for line.
mine = [[str(d["number"]), str(p["number"]), p["typeName"], str(p["start"]), str(p["length"]),
         p["verdict"] or ""] for d in doc["drives"] for p in d["partitions"] if p["row"] is None]
listed = [cells(l, (8, 6, 20, 12, 12, 13)) for l in section]
assert mine == listed, (mine, listed)
numbers = [int(l[:8]) for l in drives.splitlines()[1:]]
assert [d["number"] for d in doc["drives"]] == numbers, doc["drives"]
media = [cells(l, (8, 32, 22, 10, 10, 18, 19, 5))[7] for l in drives.splitlines()[1:]]
assert [d["media"] or "" for d in doc["drives"]] == media, media
assert doc["program"] == "Tessarel" and doc["version"] == "1.02", doc
print("report JSON (%s): %d lines, %d partitions without a row, %d drives, as the text"
      % (sys.argv[3] or "administrator", len(rows), len(listed), len(numbers)))
PY
done
