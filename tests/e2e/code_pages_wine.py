#!/usr/bin/env python3
"""The real TessarelReport.exe under Wine on a Russian and a Japanese system (Wine's ANSI
code page follows the locale: 1251, 932), each on an image whose name is in that code page
(the Japanese one with a trail byte 0x5C): the JSON's path and the CSV's name are the name
as Unicode has it, the image is opened and judged, and the text keeps the code page's bytes.
A name the code page cannot hold arrives with "?" and is refused as a file that cannot open.

Usage: code_pages_wine.py WINE_RUN PREFIX REPORT
"""
import csv
import io
import json
import os
import shutil
import subprocess
import sys
import tempfile

wine_run, prefix, report = sys.argv[1:4]
work = tempfile.mkdtemp(prefix="tessarel-code-pages-")
failures = []
CASES = [("ru_RU.UTF-8", "cp1251", "Данные.img"), ("ja_JP.UTF-8", "cp932", "ソフト.img")]


def check(what, got, expected):
    if got != expected:
        failures.append("%s: got %r, expected %r" % (what, got, expected))


def run(locale, *args):
    env = dict(os.environ, LC_ALL=locale, LANG=locale)
    done = subprocess.run([wine_run, prefix, report] + list(args), capture_output=True, env=env)
    return done.stdout, done.returncode


try:
    for locale, code_page, name in CASES:
        check(name + " holds a trail byte 0x5C" if code_page == "cp932" else name,
              b"\\" in name.encode(code_page), code_page == "cp932")
        image = os.path.join(work, name)
        with open(image, "wb") as f:
            f.truncate(8 << 20)
        subprocess.run(["sfdisk", "-q", image], input=b"label: dos\nstart=2048, type=83\n",
                       check=True, capture_output=True)
        seen = "Z:" + image.replace("/", "\\")
        out, status = run(locale, "--json", "--image", seen)
        doc = json.loads(out)["images"][0]
        check(name + " JSON", (doc["path"], doc["imageFormat"], doc["verdict"], status),
              (seen, "raw", "aligned", 0))
        out, _ = run(locale, "--csv", "--image", seen)
        rows = list(csv.DictReader(io.StringIO(out.decode("utf-8-sig"))))
        check(name + " CSV", [(r["kind"], r["name"]) for r in rows],
              [("image", seen), ("image-partition", seen), ("free", seen)])  # the head gap
        out, _ = run(locale, "--image", seen)
        check(name + " text in " + code_page, out.startswith(("Image " + seen).encode(code_page)),
              True)
    # A child over a parent named in the code page (QCOW2 records its name in UTF-8): read
    # through it where the code page spells the name, refused naming it where it cannot.
    for locale, parent, spelled in [("ru_RU.UTF-8", "Данные.img", True), ("ja_JP.UTF-8", "ソフト.img", True),
                                    ("ru_RU.UTF-8", "ソフト.img", False)]:
        child = os.path.join(work, "child.qcow2")
        subprocess.run(["qemu-img", "create", "-q", "-f", "qcow2", "-b", parent, "-F", "raw", child],
                       check=True, capture_output=True, cwd=work)
        out, status = run(locale, "--json", "--image", "Z:" + child.replace("/", "\\"))
        doc = json.loads(out)["images"][0]
        check("a child over %s on %s" % (parent, locale),
              ([p["path"].endswith(parent) for p in doc["parents"]], (doc["error"] or {}).get("code"), status),
              ([True], None, 0) if spelled else ([], "differencing", 2))
    # A parent in a folder named ソ (0x83 0x5C on a Japanese system): the trail byte is no
    # separator, and the parent beside the child in that folder is read.
    os.makedirs(os.path.join(work, "ソ"), exist_ok=True)
    shutil.copy(os.path.join(work, "ソフト.img"), os.path.join(work, "ソ", "base.img"))
    child = os.path.join(work, "over-folder.qcow2")
    subprocess.run(["qemu-img", "create", "-q", "-f", "qcow2", "-u", "-b", "ソ/base.img", "-F", "raw",
                    child, "8M"], check=True, capture_output=True, cwd=work)
    out, status = run("ja_JP.UTF-8", "--json", "--image", "Z:" + child.replace("/", "\\"))
    doc = json.loads(out)["images"][0]
    check("a parent in the folder ソ on a Japanese system",
          ([p["path"].endswith("\\ソ\\base.img") for p in doc["parents"]], doc["error"], doc["verdict"], status),
          ([True], None, "aligned", 0))
    # A name the code page cannot hold comes with "?" for what it cannot: kept as it came,
    # and the open that fails on it said as any other.
    out, status = run("ru_RU.UTF-8", "--json", "--image", "Z:" + os.path.join(work, "ソフト.img").replace("/", "\\"))
    doc = json.loads(out)["images"][0]
    check("a Japanese name on a Russian system",
          (doc["path"].endswith("\\???.img"), (doc["error"] or {}).get("code"), status),
          (True, "cannot-open", 2))
finally:
    shutil.rmtree(work, ignore_errors=True)
for failure in failures:
    print(failure)
print("code pages under Wine: %d differences" % len(failures))
sys.exit(1 if failures else 0)
