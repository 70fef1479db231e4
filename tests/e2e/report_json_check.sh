#!/bin/sh
# TessarelReportDemo.exe --json, run whole under Wine: one JSON document (checked by
# python3's own parser) that holds every lab volume with its verdict, and exit status 1.
# Usage: report_json_check.sh WINE_RUN PREFIX PROGRAM
set -u
out=$(mktemp)
trap 'rm -f "$out"' EXIT
"$1" "$2" "$3" --json >"$out"
status=$?
[ "$status" -eq 1 ] || { echo "exit status $status, not 1"; cat "$out"; exit 1; }
python3 -m json.tool "$out" >/dev/null || { echo "not JSON:"; cat "$out"; exit 1; }
python3 - "$out" <<'PY'
import json, sys
doc = json.load(open(sys.argv[1], encoding="utf-8"))
expected = {"C": "aligned", "D": "misaligned", "E": "aligned", "F": "aligned",
            "G": "misaligned", "H": "undetermined", "L": "aligned", "M": "misaligned",
            "N": "aligned", "O": "aligned", "P": "aligned", "Q": "misaligned"}
got = {v["letter"]: v["verdict"] for v in doc["volumes"]}
assert got == expected, got
assert doc["program"] == "Tessarel" and doc["version"] == "1.02", doc
n = next(v for v in doc["volumes"] if v["letter"] == "N")
assert n["dataStart"] == 5000000000 and n["drive"] == 6, n
assert [d["number"] for d in doc["drives"]] == list(range(9)), doc["drives"]
assert doc["drives"][5]["geometry"] == "storage descriptor", doc["drives"][5]
print("report JSON: %d volumes, %d drives" % (len(doc["volumes"]), len(doc["drives"])))
PY
