#!/usr/bin/env python3
"""Packs the release: dist/Tessarel-<version>-win32.zip and dist/SHA256SUMS.

Usage: make_dist.py BUILD OUT

The zip holds the two stripped programs from BUILD, README.txt (README.md), CONSOLE.txt
(docs/console.md), tessarel-compliance.json (docs/: the rules Intune's custom compliance
takes, as they are), LICENSE.txt and ZLIB-LICENSE.txt (docs/licenses/zlib.txt: the programs
link zlib), in that order, the texts with CR LF line ends and
without the pictures, which live beside them in the repository; each entry with the same
fixed time and attributes: two builds of the same tree give the same bytes. Each program
must stay under a MiB, or nothing is packed.
"""
import hashlib
import os
import re
import sys
import zipfile

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
# Zip times are local DOS times without a zone; this one is the release's day.
FIXED_TIME = (2026, 12, 7, 0, 0, 0)
# Each program stays under a MiB: a console tool copied to every machine of a fleet.
MOST_BYTES = {"Tessarel.exe": 1048576, "TessarelReport.exe": 1048576}


def version():
    with open(os.path.join(ROOT, "res", "version.h"), encoding="ascii") as f:
        return re.search(r'#define TESSAREL_VERSION "([^"]+)"', f.read()).group(1)


def crlf(text):
    return text.replace("\r\n", "\n").replace("\n", "\r\n").encode("utf-8")


def text_for_users(path):
    with open(os.path.join(ROOT, path), encoding="utf-8") as f:
        text = f.read()
    # Pictures live beside the text in the repository, not in the zip; neither do the
    # markers the tests find the printed reports by.
    text = "\n".join(l for l in text.split("\n") if not l.startswith("![") and not l.startswith("<!--"))
    return crlf(re.sub(r"\n{3,}", "\n\n", text.rstrip() + "\n"))


def entry(name):
    info = zipfile.ZipInfo(name, date_time=FIXED_TIME)
    info.compress_type = zipfile.ZIP_DEFLATED
    info.create_system = 0  # MS-DOS: no Unix permissions in the entry
    info.external_attr = 0x20  # FILE_ATTRIBUTE_ARCHIVE
    return info


def main():
    build, out = sys.argv[1], sys.argv[2]
    os.makedirs(out, exist_ok=True)
    for program, most in MOST_BYTES.items():
        size = os.path.getsize(os.path.join(build, program))
        if size >= most:
            sys.exit("make_dist.py: %s is %d bytes, not under %d" % (program, size, most))
    name = "Tessarel-%s-win32.zip" % version()
    path = os.path.join(out, name)
    files = [
        ("Tessarel.exe", open(os.path.join(build, "Tessarel.exe"), "rb").read()),
        ("TessarelReport.exe", open(os.path.join(build, "TessarelReport.exe"), "rb").read()),
        ("README.txt", text_for_users("README.md")),
        ("CONSOLE.txt", text_for_users(os.path.join("docs", "console.md"))),
        ("tessarel-compliance.json",
         open(os.path.join(ROOT, "docs", "tessarel-compliance.json"), "rb").read()),
        ("LICENSE.txt", crlf(open(os.path.join(ROOT, "LICENSE"), encoding="utf-8").read())),
        ("ZLIB-LICENSE.txt",
         crlf(open(os.path.join(ROOT, "docs", "licenses", "zlib.txt"), encoding="utf-8").read())),
    ]
    with zipfile.ZipFile(path, "w") as z:
        for member, data in files:
            z.writestr(entry(member), data, compresslevel=9)
    digest = hashlib.sha256(open(path, "rb").read()).hexdigest()
    with open(os.path.join(out, "SHA256SUMS"), "w", encoding="ascii", newline="\n") as f:
        f.write("%s  %s\n" % (digest, name))
    print("%s  %s (%d bytes)" % (digest, path, os.path.getsize(path)))


if __name__ == "__main__":
    main()
