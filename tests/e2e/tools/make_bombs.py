#!/usr/bin/env python3
"""Makes archive bombs for the end-to-end cases, at run time, in the current folder:
nested.zip  - zips of zips, 42.zip-like: 16 copies at each of 4 levels over 256 MiB of zeros, every
              level deflated (deflated zeros deflate again well, so the file stays small);
overlap.zip - one compressed block that every central-directory entry points at."""
import io
import struct
import zipfile
import zlib


def nested(levels=4, fan=16, leaf=256 << 20):
    buf = io.BytesIO()
    with zipfile.ZipFile(buf, "w", zipfile.ZIP_DEFLATED) as z:
        with z.open("0.bin", "w", force_zip64=True) as f:
            block = b"\0" * (1 << 20)
            for _ in range(leaf >> 20):
                f.write(block)
    data = buf.getvalue()
    for level in range(levels):
        buf = io.BytesIO()
        with zipfile.ZipFile(buf, "w", zipfile.ZIP_DEFLATED) as z:
            for i in range(fan):
                z.writestr("l%d-%02d.zip" % (level, i), data)
        data = buf.getvalue()
    return data


def overlap(entries=64, size=16 << 20):
    raw = zlib.compressobj(9, zlib.DEFLATED, -15)
    body = raw.compress(b"\0" * size) + raw.flush()
    crc = zlib.crc32(b"\0" * size)
    name = b"k"
    local = struct.pack("<IHHHHHIIIHH", 0x04034B50, 20, 0, 8, 0, 0, crc, len(body), size,
                        len(name), 0) + name
    central = b""
    for i in range(entries):
        n = b"f%03d" % i
        central += struct.pack("<IHHHHHHIIIHHHHHII", 0x02014B50, 20, 20, 0, 8, 0, 0, crc,
                               len(body), size, len(n), 0, 0, 0, 0, 0, 0) + n
    offset = len(local) + len(body)
    end = struct.pack("<IHHHHIIH", 0x06054B50, 0, 0, entries, entries, len(central), offset, 0)
    return local + body + central + end


if __name__ == "__main__":
    with open("nested.zip", "wb") as f:
        f.write(nested())
    with open("overlap.zip", "wb") as f:
        f.write(overlap())
