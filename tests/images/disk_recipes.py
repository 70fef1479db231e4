"""How the test disk files are made: the tools' commands, the hand edits that stand for what
no tool makes on purpose, and the differencing disks written from their published layouts.
Shared by the checks against the tools (images_check.py) and the recorded answers
(tests/expected/make_disks.py). Every name is a path inside the folder `work`, which the
caller sets."""
import json
import os
import re
import shutil
import struct
import subprocess
import uuid

MIB = 1 << 20
work = None
# Put before every tool's command: a frozen clock, for a disk written twice to be the same.
prefix = []


def fixed_uuid(*words):
    """A GUID that is the same for the same words: what a disk written twice must hold."""
    return uuid.uuid5(uuid.NAMESPACE_URL, "tessarel:" + ":".join(map(str, words)))


CRC32C = []
for n in range(256):
    c = n
    for _ in range(8):
        c = (c >> 1) ^ 0x82F63B78 if c & 1 else c >> 1
    CRC32C.append(c)


def sh(*command, stdin=None):
    done = subprocess.run(prefix + list(command), input=stdin, capture_output=True, text=True,
                          cwd=work)
    if done.returncode != 0:
        raise SystemExit("%s failed (%d): %s" % (" ".join(command), done.returncode, done.stderr))
    return done.stdout


def path(name):
    return os.path.join(work, name)


def console(argv):
    """Whether a check runs TessarelReport.exe under Wine (its arguments begin with --wine),
    and the command it runs, its files made absolute."""
    wine = argv[:1] == ["--wine"]
    return wine, [os.path.abspath(a) if os.path.exists(a) else a for a in (argv[1:] if wine else argv)]


def seen(name, wine):
    """A file of the work folder as the console names it: under Wine, by its Z: path."""
    return "Z:" + path(name).replace("/", "\\") if wine else path(name)


def image_json(command, wine, name, *options):
    """The JSON report's object of one disk file of the work folder."""
    done = subprocess.run(command + ["--json", "--image", seen(name, wine)] + list(options),
                          capture_output=True, text=True)
    return json.loads(done.stdout)["images"][0]


def finish(failures, passed):
    """The check's exit status: its failures said, the work folder kept for them; else the
    folder removed and `passed` said."""
    if failures:
        print("\n".join(failures))
        print("%d failures (the files are kept in %s)" % (len(failures), work))
        return 1
    shutil.rmtree(work)
    print(passed)
    return 0


def file_system(name, kind, sectors, sector=512, cluster=None, hidden=0, extra=()):
    """A file of `sectors` sectors holding a new file system, and what its tools say of it:
    its name, its cluster size and where its clusters begin (in its sectors)."""
    f = path(name)
    with open(f, "wb") as out:
        out.truncate(sectors * sector)
    if kind == "NTFS":
        sh("mkntfs", "-Q", "-F", "-q", "-s", str(sector), "-c", str(cluster or 4096),
           "-p", str(hidden), "-H", "255", "-S", "63", f)
        size = int(re.search(r"Cluster Size: (\d+)", sh("ntfsinfo", "-m", f)).group(1))
        return {"fileSystem": "NTFS", "clusterBytes": size, "dataOffset": 0}
    if kind in ("FAT16", "FAT32"):
        options = ["-s", str(cluster // sector)] if cluster else []
        sh("mkfs.fat", "-F", kind[3:], "-S", str(sector), "-h", str(hidden), *options, *extra, f)
        facts = sh("fsck.fat", "-v", "-n", f)
        start = int(re.search(r"Data area starts at byte (\d+)", facts).group(1))
        size = int(re.search(r"(\d+) bytes per cluster", facts).group(1))
        return {"fileSystem": kind, "clusterBytes": size, "dataOffset": start // sector}
    if kind == "exFAT":
        sh("mkfs.exfat", *(["-c", str(cluster)] if cluster else []), f)
        facts = sh("dump.exfat", f)
        heap = int(re.search(r"Cluster Heap Offset \(sector offset\):\s+(\d+)", facts).group(1))
        size = int(re.search(r"Cluster size:\s+(\d+)", facts).group(1))
        return {"fileSystem": "exFAT", "clusterBytes": size, "dataOffset": heap}
    raise ValueError(kind)


def place(image, fs_file, start, sector=512):
    sh("dd", "if=" + path(fs_file), "of=" + path(image), "bs=%d" % sector, "seek=%d" % start,
       "conv=notrunc", "status=none")


def blank(name, size):
    with open(path(name), "wb") as out:
        out.truncate(size)


def sfdisk_partitions(name):
    """number -> (start, size, type) as sfdisk reads the table."""
    table = json.loads(sh("sfdisk", "--json", path(name)))["partitiontable"]
    out = {}
    for p in table["partitions"]:
        number = int(re.search(r"(\d+)$", p["node"]).group(1))
        out[number] = (p["start"], p["size"], p["type"].upper())
    return out


def fdisk_4k_partitions(name, kind):
    """number -> (start, sectors, type) as `fdisk -b 4096 -l` lists them, the type its `kind`
    column (GPT's Type-UUID, DOS's Id)."""
    listing = sh("fdisk", "-b", "4096", "-l", "-o", "Device,Start,Sectors," + kind, path(name))
    table = {}
    for line in listing.splitlines():
        m = re.match(r"\S+?(\d+)\s+(\d+)\s+(\d+)\s+([0-9A-Fa-f-]+)$", line.strip())
        if m:
            table[int(m.group(1))] = (int(m.group(2)), int(m.group(3)), m.group(4).upper())
    return table


def crc32c(data):
    c = 0xFFFFFFFF
    for b in data:
        c = CRC32C[(c ^ b) & 0xFF] ^ (c >> 8)
    return c ^ 0xFFFFFFFF


def edited(source, name, edit):
    data = bytearray(open(path(source), "rb").read())
    edit(data)
    open(path(name), "wb").write(data)
    return name


def vhd_footer_checksum(footer):
    return (~sum(footer[:64] + footer[68:])) & 0xFFFFFFFF


def vhd_disk_type(data, disk_type):
    for at in (0, len(data) - 512):  # a dynamic disk's copy at 0 too
        footer = data[at:at + 512]
        if footer[:8] != b"conectix":
            continue
        footer[60:64] = struct.pack(">I", disk_type)
        footer[64:68] = struct.pack(">I", vhd_footer_checksum(footer))
        data[at:at + 512] = footer


def vhd_first_block_outside(data):
    footer = data[-512:]
    header = data[struct.unpack(">Q", footer[16:24])[0]:][:1024]
    table = struct.unpack(">Q", header[16:24])[0]
    data[table:table + 4] = struct.pack(">I", 0x7FFFFFF0)


def vhdx_region(data, guid_text):
    want = uuid.UUID(guid_text).bytes_le
    table = data[192 * 1024:256 * 1024]
    for i in range(struct.unpack("<I", table[8:12])[0]):
        e = table[16 + 32 * i:48 + 32 * i]
        if e[:16] == want:
            return struct.unpack("<QI", e[16:28])
    raise ValueError(guid_text)


def vhdx_headers(data, change):
    for at in (64 * 1024, 128 * 1024):
        header = data[at:at + 4096]
        change(header)
        header[4:8] = b"\0\0\0\0"
        header[4:8] = struct.pack("<I", crc32c(header))
        data[at:at + 4096] = header


def vhdx_metadata_item(data, guid_text):
    at, _ = vhdx_region(data, "8B7CA206-4790-4B9A-B8FE-575F050F886E")
    want = uuid.UUID(guid_text).bytes_le
    for i in range(struct.unpack("<H", data[at + 10:at + 12])[0]):
        e = data[at + 32 + 32 * i:at + 64 + 32 * i]
        if e[:16] == want:
            return at + struct.unpack("<I", e[16:20])[0]
    raise ValueError(guid_text)


def vhdx_has_parent(data):
    data[vhdx_metadata_item(data, "CAA16737-FA36-4D43-B3B6-33F0AA44E76B") + 4] |= 2


def vhdx_physical_4096(data):
    at = vhdx_metadata_item(data, "CDA348C7-445D-4471-9CC9-E9885251C556")
    data[at:at + 4] = struct.pack("<I", 4096)


def vhdx_log_waiting(data):
    def change(header):
        header[48:64] = bytes(range(1, 17))
    vhdx_headers(data, change)


def ebr_chain_loops(data):
    """The last extended boot record's link points back to the first: a chain that loops."""
    first = [struct.unpack("<I", data[446 + 16 * i + 8:446 + 16 * i + 12])[0]
             for i in range(4) if data[446 + 16 * i + 4] == 5][0]
    record = first
    while True:
        link = record * 512 + 446 + 16
        if data[link + 4] == 0:
            data[link:link + 16] = struct.pack("<4xB3xII", 5, 0, 1)
            return
        record = first + struct.unpack("<I", data[link + 8:link + 12])[0]


def gpt_primary_damaged(data):
    data[512 + 40] ^= 0xFF  # its first usable sector, inside its CRC: it no longer holds


def vmdk_descriptor(data):
    """Where a sparse extent's embedded descriptor lies, and its length."""
    at, sectors = struct.unpack("<QQ", data[28:44])
    return at * 512, sectors * 512


def vmdk_parent_cid(data):
    at, length = vmdk_descriptor(data)
    text = bytes(data[at:at + length])
    data[at:at + length] = text.replace(b"parentCID=ffffffff", b"parentCID=12345678")


def vmdk_extent_type(data, kind):
    at, length = vmdk_descriptor(data)
    text = bytes(data[at:at + length])
    edited_text = re.sub(rb"SPARSE", kind, text, count=1)
    data[at:at + length] = edited_text[:length].ljust(length, b"\0")


def vmdk_directory_outside(data):
    gd = struct.unpack("<Q", data[56:64])[0] * 512
    data[gd:gd + 4] = struct.pack("<I", 0x7FFFFFF0)


def qcow2_l2_outside(data):
    l1 = struct.unpack(">Q", data[40:48])[0]
    l2 = struct.unpack(">Q", data[l1:l1 + 8])[0] & 0x00FFFFFFFFFFFE00
    data[l2:l2 + 8] = struct.pack(">Q", (0x7FFFFFF0 << 9) | (1 << 63))


def vhdx_child(name, parent_path, linkage, size, boot, sector):
    """A differencing VHDX as [MS-VHDX] lays one out, over a parent named by its relative
    path and linked by its data write GUID: 1 MiB blocks, the first partly present, holding
    `boot` at `sector` and nothing else of its own (its chunk's sector bitmap says so)."""
    mib = 1 << 20
    f = bytearray(6 * mib)
    f[0:8] = b"vhdxfile"
    for at, seq in ((64 * 1024, 1), (128 * 1024, 2)):
        h = bytearray(4096)
        h[0:4] = b"head"
        h[8:16] = struct.pack("<Q", seq)
        h[16:32] = fixed_uuid(name, "file write", seq).bytes_le
        h[32:48] = fixed_uuid(name, "data write", seq).bytes_le
        h[66:68] = struct.pack("<H", 1)
        h[68:80] = struct.pack("<IQ", mib, mib)
        h[4:8] = struct.pack("<I", crc32c(h))
        f[at:at + 4096] = h
    for at in (192 * 1024, 256 * 1024):
        t = bytearray(64 * 1024)
        t[0:4] = b"regi"
        t[8:12] = struct.pack("<I", 2)
        t[16:48] = uuid.UUID("2DC27766-F623-4200-9D64-115E9BFD4A08").bytes_le + struct.pack("<QII", 3 * mib, mib, 1)
        t[48:80] = uuid.UUID("8B7CA206-4790-4B9A-B8FE-575F050F886E").bytes_le + struct.pack("<QII", 2 * mib, mib, 1)
        t[4:8] = struct.pack("<I", crc32c(t))
        f[at:at + 64 * 1024] = t
    def utf16(s):
        return s.encode("utf-16-le")
    pairs = [("parent_linkage", linkage), ("relative_path", parent_path)]
    strings, entries, at = b"", b"", 20 + 12 * len(pairs)
    for key, value in pairs:
        k, v = utf16(key), utf16(value)
        entries += struct.pack("<IIHH", at, at + len(k), len(k), len(v))
        strings += k + v
        at += len(k) + len(v)
    locator = uuid.UUID("B04AEFB7-D19E-4A81-B789-25B8E9445913").bytes_le + struct.pack("<HH", 0, len(pairs)) + entries + strings
    items = [("CAA16737-FA36-4D43-B3B6-33F0AA44E76B", struct.pack("<II", mib, 2), 4),
             ("2FA54224-CD1B-4876-B211-5DBED83BF4B8", struct.pack("<Q", size), 6),
             ("8141BF1D-A96F-4709-BA47-F233A8FAAB5F", struct.pack("<I", 512), 6),
             ("CDA348C7-445D-4471-9CC9-E9885251C556", struct.pack("<I", 512), 6),
             ("BECA12AB-B2E6-4523-93EF-C309E000C746", fixed_uuid(name, "page 83").bytes_le, 6),
             ("A8D35F2D-B30B-454D-ABF7-D3D84834AB0C", locator, 4)]
    meta = 2 * mib
    f[meta:meta + 8] = b"metadata"
    f[meta + 10:meta + 12] = struct.pack("<H", len(items))
    offset = 64 * 1024
    for i, (guid, value, flags) in enumerate(items):
        f[meta + 32 + 32 * i:meta + 64 + 32 * i] = uuid.UUID(guid).bytes_le + struct.pack("<IIII", offset, len(value), flags, 0)
        f[meta + offset:meta + offset + len(value)] = value
        offset += (len(value) + 7) // 8 * 8
    bat = 3 * mib
    f[bat:bat + 8] = struct.pack("<Q", 7 | (4 << 20))               # block 0: partly present
    f[bat + 8 * 4096:bat + 8 * 4097] = struct.pack("<Q", 6 | (5 << 20))  # chunk 0's bitmap
    f[4 * mib + sector * 512:4 * mib + sector * 512 + 512] = boot
    f[5 * mib + sector // 8] |= 1 << (sector % 8)
    open(path(name), "wb").write(f)


def vhd_child(name, parent_path, parent_id, size, boot, sector):
    """A differencing VHD as Microsoft's VHD format lays one out, over a parent named by its
    relative locator (W2ru) and its unique id: 2 MiB blocks, the first allocated with
    `boot` at `sector` alone set in its sector bitmap."""
    block = 2 << 20
    blocks = -(-size // block)
    table_at = 1536
    table_bytes = -(-blocks * 4 // 512) * 512
    locator_at = table_at + table_bytes
    locator = parent_path.encode("utf-16-le")
    locator_space = -(-len(locator) // 512) * 512
    block_at = locator_at + locator_space
    f = bytearray(block_at + 512 + block + 512)
    footer = bytearray(512)
    footer[0:8] = b"conectix"
    footer[8:40] = struct.pack(">IIQI", 2, 0x00010000, 512, 0) + b"tsrl" + struct.pack(">I", 1) + b"Wi2k"
    footer[40:64] = struct.pack(">QQII", size, size, 0, 4)
    footer[68:84] = fixed_uuid(name, "unique id").bytes
    footer[64:68] = struct.pack(">I", vhd_footer_checksum(footer))
    header = bytearray(1024)
    header[0:8] = b"cxsparse"
    header[8:36] = struct.pack(">QQIII", 0xFFFFFFFFFFFFFFFF, table_at, 0x00010000, blocks, block)
    header[40:56] = bytes.fromhex(parent_id)
    header[64:64 + 512] = os.path.basename(parent_path).encode("utf-16-be")[:512].ljust(512, b"\0")
    header[576:600] = b"W2ru" + struct.pack(">IIIQ", locator_space // 512, len(locator), 0, locator_at)
    header[36:40] = struct.pack(">I", (~sum(header[:36] + header[40:])) & 0xFFFFFFFF)
    f[0:512] = footer
    f[512:1536] = header
    table = [0xFFFFFFFF] * blocks
    table[0] = block_at // 512
    f[table_at:table_at + 4 * blocks] = struct.pack(">%dI" % blocks, *table)
    f[table_at + 4 * blocks:locator_at] = b"\xff" * (locator_at - table_at - 4 * blocks)
    f[locator_at:locator_at + len(locator)] = locator
    f[block_at + sector // 8] |= 0x80 >> (sector % 8)
    f[block_at + 512 + sector * 512:block_at + 512 + sector * 512 + 512] = boot
    f[-512:] = footer
    open(path(name), "wb").write(f)


def vhdx_metadata_entry(data, guid_text, flags):
    """A metadata table entry added for an item of `guid_text` (its value: 8 zero bytes at
    the first item's place), with these flags (4: IsRequired)."""
    at, _ = vhdx_region(data, "8B7CA206-4790-4B9A-B8FE-575F050F886E")
    count = struct.unpack("<H", data[at + 10:at + 12])[0]
    first = struct.unpack("<I", data[at + 32 + 16:at + 32 + 20])[0]
    data[at + 32 + 32 * count:at + 64 + 32 * count] = (
        uuid.UUID(guid_text).bytes_le + struct.pack("<IIII", first, 8, flags, 0))
    data[at + 10:at + 12] = struct.pack("<H", count + 1)


def vhdx_header_versions(versions):
    def edit(data):
        for at, version in zip((64 * 1024, 128 * 1024), versions):
            header = data[at:at + 4096]
            header[66:68] = struct.pack("<H", version)
            header[4:8] = b"\0\0\0\0"
            header[4:8] = struct.pack("<I", crc32c(header))
            data[at:at + 4096] = header
    return edit


def vhdx_block_partly_present(data):
    at, length = vhdx_region(data, "2DC27766-F623-4200-9D64-115E9BFD4A08")
    for i in range(length // 8):
        entry = struct.unpack("<Q", data[at + 8 * i:at + 8 * i + 8])[0]
        if entry & 7 == 6:
            data[at + 8 * i:at + 8 * i + 8] = struct.pack("<Q", entry | 7)
            return


def vhdx_data_write_guid(name):
    data = open(path(name), "rb").read(192 * 1024)
    heads = [data[at:at + 4096] for at in (64 * 1024, 128 * 1024)]
    head = max(heads, key=lambda h: struct.unpack("<Q", h[8:16])[0])
    return "{%s}" % str(uuid.UUID(bytes_le=head[32:48])).upper()


def qcow2_of_many_tables(name, tables):
    """A QCOW2 of 512-byte clusters whose L1 table names `tables` distinct L2 tables, side by
    side after 1 MiB, each of zeros (holes in the file): written from qemu's qcow2 document."""
    size = tables * 64 * 512
    l1_at, l2_at = 512, MIB
    header = bytearray(512)
    header[0:4] = b"QFI\xfb"
    struct.pack_into(">IQIIQIIQ", header, 4, 3, 0, 0, 9, size, 0, tables, l1_at)
    struct.pack_into(">I", header, 100, 104)
    with open(path(name), "wb") as f:
        f.write(header)
        f.write(b"".join(struct.pack(">Q", (1 << 63) | (l2_at + 512 * i)) for i in range(tables)))
        f.truncate(l2_at + 512 * tables)


OTHER_FORMATS = [
    # name, qemu's driver, its options, the format the report names
    ("sparse.vmdk", "vmdk", ["-o", "subformat=monolithicSparse"], "vmdk-sparse"),
    ("zeroed.vmdk", "vmdk", ["-o", "subformat=monolithicSparse,zeroed_grain=on"], "vmdk-sparse"),
    ("stream.vmdk", "vmdk", ["-o", "subformat=streamOptimized"], "vmdk-stream"),
    ("flat.vmdk", "vmdk", ["-o", "subformat=monolithicFlat"], "vmdk-flat"),
    ("split.vmdk", "vmdk", ["-o", "subformat=twoGbMaxExtentSparse"], "vmdk-sparse"),
    ("splitflat.vmdk", "vmdk", ["-o", "subformat=twoGbMaxExtentFlat"], "vmdk-flat"),
    ("c512.qcow2", "qcow2", ["-o", "cluster_size=512"], "qcow2"),
    ("c4k.qcow2", "qcow2", ["-o", "cluster_size=4096"], "qcow2"),
    ("c64k.qcow2", "qcow2", ["-o", "cluster_size=65536"], "qcow2"),
    ("c2m.qcow2", "qcow2", ["-o", "cluster_size=2M"], "qcow2"),
    ("l2x64k.qcow2", "qcow2", ["-o", "cluster_size=65536,extended_l2=on"], "qcow2"),
    ("l2x2m.qcow2", "qcow2", ["-o", "cluster_size=2M,extended_l2=on"], "qcow2"),
    ("deflate.qcow2", "qcow2", ["-c"], "qcow2"),
    ("dynamic.vdi", "vdi", [], "vdi-dynamic"),
    ("static.vdi", "vdi", ["-o", "static=on"], "vdi-fixed"),
]


# Each format and subformat qemu-img writes, at the largest size it takes (a VHD 2040 GiB,
# a QCOW2 of 512-byte clusters 128 GiB, the others 2 TiB), a partition near the end; what
# its check may cost at most: reads, their bytes, and memory (all of it well under the 64
# MiB a reader's bookkeeping may take). The VMDKs' grain tables are written whole by qemu
# (128 MiB at 2 TiB), and walked once.
LARGE = [
    # name, raw disk, qemu's driver and options, most reads, most bytes, most memory
    ("l-vhd-dynamic.vhd", "l-2040g.img", ["vpc", "-o", "subformat=dynamic"], 20, 8 * MIB, 2 * MIB),
    ("l-vhd-fixed.vhd", "l-2040g.img", ["vpc", "-o", "subformat=fixed"], 20, MIB, MIB),
    ("l-vhdx-dynamic.vhdx", "l-2t.img", ["vhdx", "-o", "subformat=dynamic"], 20, 2 * MIB, MIB),
    ("l-vhdx-fixed.vhdx", "l-2t.img", ["vhdx", "-o", "subformat=fixed"], 20, 2 * MIB, MIB),
    ("l-sparse.vmdk", "l-2t.img", ["vmdk", "-o", "subformat=monolithicSparse"], 200, 160 * MIB, 2 * MIB),
    ("l-stream.vmdk", "l-2t.img", ["vmdk", "-o", "subformat=streamOptimized"], 200, 160 * MIB, 2 * MIB),
    ("l-split.vmdk", "l-2t.img", ["vmdk", "-o", "subformat=twoGbMaxExtentSparse"], 4200, 360 * MIB,
     2 * MIB),
    ("l-flat.vmdk", "l-2t.img", ["vmdk", "-o", "subformat=monolithicFlat"], 20, MIB, MIB),
    ("l-splitflat.vmdk", "l-2t.img", ["vmdk", "-o", "subformat=twoGbMaxExtentFlat"], 20, MIB, MIB),
    ("l-c512.qcow2", "l-128g.img", ["qcow2", "-o", "cluster_size=512"], 150, 128 * MIB, 3 * MIB),
    ("l-c4k.qcow2", "l-2t.img", ["qcow2", "-o", "cluster_size=4096"], 50, 32 * MIB, 2 * MIB),
    ("l-c64k.qcow2", "l-2t.img", ["qcow2", "-o", "cluster_size=65536"], 20, MIB, MIB),
    ("l-c2m.qcow2", "l-2t.img", ["qcow2", "-o", "cluster_size=2M"], 20, 10 * MIB, 3 * MIB),
    ("l-l2x64k.qcow2", "l-2t.img", ["qcow2", "-o", "cluster_size=65536,extended_l2=on"], 20, MIB, MIB),
    ("l-l2x2m.qcow2", "l-2t.img", ["qcow2", "-o", "cluster_size=2M,extended_l2=on"], 20, 10 * MIB,
     3 * MIB),
    ("l-deflate.qcow2", "l-2t.img", ["qcow2", "-c"], 20, MIB, MIB),
    ("l-dynamic.vdi", "l-2t.img", ["vdi", "-o", "static=off"], 20, MIB, MIB),
    ("l-static.vdi", "l-2t.img", ["vdi", "-o", "static=on"], 20, MIB, MIB),
]


def large_raw_disks():
    """The raw disks LARGE's files are made of, each with a GPT partition near its end:
    raw disk -> the partition's start."""
    starts = {}
    for raw, size, start in [("l-2t.img", 2 << 40, 4293000000), ("l-2040g.img", 2040 << 30, 4277000000),
                             ("l-128g.img", 128 << 30, 267000000)]:
        blank(raw, size)
        sh("sfdisk", "-q", path(raw), stdin="label: gpt\nstart=%d, size=1000000\n" % start)
        starts[raw] = start
    return starts


def remove_large(name):
    """A LARGE file and its extents: 2 TB each, and a thousand extents, kept one at a time."""
    for f in os.listdir(work):
        if f.startswith(name[:-5] if name.endswith(".vmdk") else name):
            os.remove(path(f))


def chain_three_deep(raw, driver, written_at, run=None):
    """chain/base/base.DRIVER made of `raw`, chain/vm/mid over it (relative, in another
    folder) with 64 KiB of 0x5a written at `written_at` by qemu-io, chain/vm/top over mid
    with boot.bin (in the folder) written over the first NTFS boot sector, at byte 32256.
    `run` runs each command (sh, or one that makes what it wrote fixed)."""
    run = run or sh
    run("qemu-img", "convert", "-f", "raw", "-O", driver, path(raw), path("chain/base/base." + driver))
    run("qemu-img", "create", "-q", "-f", driver, "-b", "../base/base." + driver, "-F", driver,
        path("chain/vm/mid." + driver))
    run("qemu-io", "-c", "write -P 0x5a %s 64k" % written_at, path("chain/vm/mid." + driver))
    run("qemu-img", "create", "-q", "-f", driver, "-b", "mid." + driver, "-F", driver,
        path("chain/vm/top." + driver))
    run("qemu-io", "-c", "write -s %s 32256 512" % path("boot.bin"), path("chain/vm/top." + driver))


def vmdk_tables_overlap(data):
    """A sparse VMDK's second grain table one sector after its first."""
    gd = struct.unpack("<Q", data[56:64])[0] * 512
    struct.pack_into("<I", data, gd + 4, struct.unpack("<I", data[gd:gd + 4])[0] + 1)


def vmdk_sector_grains(data):
    """A sparse VMDK's grains of one sector, which its format forbids."""
    struct.pack_into("<Q", data, 20, 1)
