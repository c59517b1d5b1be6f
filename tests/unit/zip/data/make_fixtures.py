#!/usr/bin/env python3
"""Builds the small archives the zip unit tests read, from known bytes.

Run from anywhere: python3 make_fixtures.py. Needs Info-ZIP's zip for
infozip.zip. The archives are committed; re-running gives the same contents.
"""
import io
import os
import shutil
import struct
import subprocess
import tempfile
import time
import zipfile

HERE = os.path.dirname(os.path.abspath(__file__))
STAMP = (2020, 5, 17, 10, 20, 30)

DEFLATED_TEXT = b"".join(b"line %05d of the deflated text\n" % i for i in range(400))
INNER_BIN = bytes(range(256)) * 100


def path(name):
    return os.path.join(HERE, name)


def info(name, method=zipfile.ZIP_DEFLATED):
    zi = zipfile.ZipInfo(name, STAMP)
    zi.compress_type = method
    zi.external_attr = 0o644 << 16
    return zi


def basic():
    with zipfile.ZipFile(path("basic.zip"), "w") as z:
        z.writestr(info("stored.txt", zipfile.ZIP_STORED), b"hello stored\n")
        z.writestr(info("deflated.txt"), DEFLATED_TEXT)
        folder = info("sub/dir/", zipfile.ZIP_STORED)
        folder.external_attr = 0x10
        z.writestr(folder, b"")
        z.writestr(info("sub/dir/inner.bin"), INNER_BIN)
        z.writestr(info("empty.txt", zipfile.ZIP_STORED), b"")
        z.comment = b"archive comment PK"


def utf8():
    with zipfile.ZipFile(path("utf8.zip"), "w") as z:
        z.writestr(info("\u00fcn\u00efc\u00f8d\u00e9/\u0444\u0430\u0439\u043b.txt"), b"utf8\n")


def codepage():
    # Python flags every non-ASCII name as UTF-8; write an ASCII placeholder
    # and put the Latin-1 byte in afterwards, leaving the flag clear.
    buffer = io.BytesIO()
    with zipfile.ZipFile(buffer, "w") as z:
        z.writestr(info("cafX.txt", zipfile.ZIP_STORED), b"cp\n")
    data = buffer.getvalue().replace(b"cafX.txt", b"caf\xe9.txt")
    open(path("codepage.zip"), "wb").write(data)


class Unseekable(io.RawIOBase):
    def __init__(self, sink):
        self.sink = sink

    def writable(self):
        return True

    def write(self, b):
        self.sink.write(b)
        return len(b)


def descriptor():
    # Written to a stream that cannot seek, zipfile uses data descriptors.
    sink = io.BytesIO()
    with zipfile.ZipFile(Unseekable(sink), "w") as z:
        with z.open(info("streamed.txt"), "w") as f:
            f.write(DEFLATED_TEXT)
        with z.open(info("streamed2.txt", zipfile.ZIP_STORED), "w") as f:
            f.write(b"second\n")
    open(path("descriptor.zip"), "wb").write(sink.getvalue())


def zip64():
    # Central directory values all ones, the real ones in ZIP64 extra fields,
    # and a ZIP64 end record with its locator.
    data = b"zip64 entry data\n"
    name = b"big.txt"
    crc = zipfile.crc32(data)
    local = struct.pack("<IHHHHHIIIHH", 0x04034B50, 45, 0, 0, 0x5154, 0x50B1, crc,
                        0xFFFFFFFF, 0xFFFFFFFF, len(name), 20)
    local += name + struct.pack("<HHQQ", 1, 16, len(data), len(data)) + data
    extra = struct.pack("<HHQQQ", 1, 24, len(data), len(data), 0)
    central = struct.pack("<IHHHHHHIIIHHHHHII", 0x02014B50, 45, 45, 0, 0, 0x5154, 0x50B1,
                          crc, 0xFFFFFFFF, 0xFFFFFFFF, len(name), len(extra), 0, 0, 0, 0,
                          0xFFFFFFFF) + name + extra
    cd_offset = len(local)
    end64_offset = cd_offset + len(central)
    end64 = struct.pack("<IQHHIIQQQQ", 0x06064B50, 44, 45, 45, 0, 0, 1, 1, len(central), cd_offset)
    locator = struct.pack("<IIQI", 0x07064B50, 0, end64_offset, 1)
    end = struct.pack("<IHHHHIIH", 0x06054B50, 0, 0, 0xFFFF, 0xFFFF, 0xFFFFFFFF, 0xFFFFFFFF, 0)
    archive = local + central + end64 + locator + end
    open(path("zip64.zip"), "wb").write(archive)
    with zipfile.ZipFile(path("zip64.zip")) as z:
        assert z.read("big.txt") == data


def traversal():
    names = ["../evil.txt", "/abs.txt", "C:/drive.txt", "..\\evil2.txt", "a/../../x.txt",
             "\\\\server\\share.txt", "ok/..", "file.txt:stream"]
    for i, name in enumerate(names):
        with zipfile.ZipFile(path("traversal%d.zip" % i), "w") as z:
            z.writestr(info("harmless.txt"), b"first entry\n")
            zi = info("x")
            zi.filename = name  # ZipInfo would otherwise normalise it
            z.writestr(zi, b"escaped\n")


def overlap():
    # Two central entries that point at the same local header and data.
    buffer = io.BytesIO()
    with zipfile.ZipFile(buffer, "w") as z:
        z.writestr(info("one.txt"), DEFLATED_TEXT)
    data = buffer.getvalue()
    cd = data.index(b"PK\x01\x02")
    eocd = data.index(b"PK\x05\x06")
    entry = data[cd:eocd]
    second = entry.replace(b"one.txt", b"two.txt")
    end = bytearray(data[eocd:])
    struct.pack_into("<HHI", end, 8, 2, 2, len(entry) * 2)
    open(path("overlap.zip"), "wb").write(data[:cd] + entry + second + bytes(end))


def infozip():
    work = tempfile.mkdtemp()
    try:
        tree = os.path.join(work, "tree")
        os.makedirs(os.path.join(tree, "docs", "deep"))
        files = {"readme.txt": b"Info-ZIP archive\n", "docs/guide.txt": DEFLATED_TEXT,
                 "docs/deep/data.bin": INNER_BIN}
        stamp = time.mktime((2021, 3, 4, 5, 6, 8, 0, 0, -1))
        for rel, content in files.items():
            full = os.path.join(tree, rel)
            open(full, "wb").write(content)
            os.utime(full, (stamp, stamp))
        out = path("infozip.zip")
        if os.path.exists(out):
            os.remove(out)
        subprocess.run(["zip", "-q", "-r", "-D", out, "readme.txt", "docs"], cwd=tree, check=True)
    finally:
        shutil.rmtree(work)


if __name__ == "__main__":
    basic()
    utf8()
    codepage()
    descriptor()
    zip64()
    traversal()
    overlap()
    infozip()
