#!/usr/bin/env python3
"""Writes a zip of many small stored members, quickly, for the end-to-end cases:

    make_many_members.py OUT COUNT [LAST]

COUNT members named m/000000.class and so on, a few bytes each; with LAST (a file), the final
member is named after it and holds its bytes. Up to 65,535 entries the end record holds the real
count and there is no zip64 record, as ordinary writers make them; past that a zip64 end record
and locator follow the entries."""
import os
import struct
import sys
import zlib


def main(out, count, last=None):
    body, central = [], []
    offset = 0
    for i in range(count):
        if last is not None and i == count - 1:
            name = os.path.basename(last).encode()
            with open(last, "rb") as f:
                data = f.read()
        else:
            name = b"m/%06d.class" % i
            data = b"x%06d\n" % i
        crc = zlib.crc32(data)
        local = struct.pack("<IHHHHHIIIHH", 0x04034B50, 20, 0, 0, 0, 0, crc, len(data), len(data),
                            len(name), 0)
        body.append(local + name + data)
        central.append(struct.pack("<IHHHHHHIIIHHHHHII", 0x02014B50, 20, 20, 0, 0, 0, 0, crc,
                                   len(data), len(data), len(name), 0, 0, 0, 0, 0, offset) + name)
        offset += len(local) + len(name) + len(data)
    cd = b"".join(central)
    tail = b""
    short_count = count
    if count > 0xFFFF:
        short_count = 0xFFFF
        end64_at = offset + len(cd)
        tail = struct.pack("<IQHHIIQQQQ", 0x06064B50, 44, 45, 45, 0, 0, count, count, len(cd),
                           offset)
        tail += struct.pack("<IIQI", 0x07064B50, 0, end64_at, 1)
    end = struct.pack("<IHHHHIIH", 0x06054B50, 0, 0, short_count, short_count, len(cd), offset, 0)
    with open(out, "wb") as f:
        f.write(b"".join(body) + cd + tail + end)


if __name__ == "__main__":
    main(sys.argv[1], int(sys.argv[2]), sys.argv[3] if len(sys.argv) > 3 else None)
