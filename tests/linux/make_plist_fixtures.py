#!/usr/bin/env python3
"""Writes the property-list fixtures of the backend tests into the folder given as argument.

Well-formed files come from plistlib, an independent producer of both formats. The hostile ones
(nesting far beyond any real file, reference cycles, shared objects that multiply when copied
out) cannot be produced by plistlib and are assembled byte by byte here.
"""
import datetime
import os
import plistlib
import struct
import sys

out = sys.argv[1]


def write(name, data):
    with open(os.path.join(out, name), "wb") as f:
        f.write(data)


def both(name, value):
    write(name + ".xml", plistlib.dumps(value, fmt=plistlib.FMT_XML, sort_keys=False))
    write(name + ".bin", plistlib.dumps(value, fmt=plistlib.FMT_BINARY, sort_keys=False))


version = {"ProductBuildVersion": "23B81", "ProductName": "macOS", "ProductVersion": "14.1.1"}
both("version", version)
both("empty-version", {"ProductVersion": ""})
both("unicode", {"ProductVersion": "15.0 bêta — 🍎", "Données": "ça"})
both("typed", {"ProductVersion": 14, "Date": datetime.datetime(2024, 1, 2, 3, 4, 5),
               "Data": b"\x00\x01", "Flag": True, "Real": 1.5, "List": ["14.1"],
               "Nested": {"ProductVersion": "14.1"}, "Name": "macOS"})
both("array", ["ProductVersion", "14.1"])
both("string", "14.1")
# Many objects share one string; plistlib writes it once and refers to it from every entry.
both("shared", {"k%03d" % i: "same" for i in range(300)})

xml_head = b'<?xml version="1.0" encoding="UTF-8"?>\n<plist version="1.0">'
xml_tail = b"</plist>\n"
write("version-truncated.xml", plistlib.dumps(version)[:120])
write("version-truncated.bin", plistlib.dumps(version, fmt=plistlib.FMT_BINARY)[:-20])


def xml_nested(depth):
    return xml_head + b"<array>" * depth + b"</array>" * depth + xml_tail


def binary(objects, top=0):
    """A binary property list of the given encoded objects, references one byte wide or more."""
    body = bytearray(b"bplist00")
    offsets = []
    for obj in objects:
        offsets.append(len(body))
        body += obj
    offset_size = 1 if len(body) < 0x100 else 2 if len(body) < 0x10000 else 4
    table = len(body)
    for offset in offsets:
        body += offset.to_bytes(offset_size, "big")
    ref_size = ref_width(len(objects))
    body += bytes(6) + bytes([offset_size, ref_size])
    body += struct.pack(">QQQ", len(objects), top, table)
    return bytes(body)


def ref_width(count):
    return 1 if count < 0x100 else 2 if count < 0x10000 else 4


def array_of(refs, count):
    width = ref_width(count)
    head = bytes([0xA0 | len(refs)]) if len(refs) < 15 else bytes([0xAF, 0x12]) + struct.pack(">I", len(refs))
    return head + b"".join(r.to_bytes(width, "big") for r in refs)


def binary_nested(depth):
    # Object i is an array holding object i + 1; the last one is empty.
    return binary([array_of([i + 1] if i + 1 < depth else [], depth) for i in range(depth)])


# Object 0 holds 16 references to object 1, which holds 16 to object 2, and so on: a few hundred
# bytes that expand to 16^8 values once every reference is copied out.
def binary_multiplying(levels, fan):
    count = levels + 1
    return binary([array_of([i + 1] * fan, count) for i in range(levels)] + [b"\x09"])


LIMIT = int(sys.argv[2])  # the decoder's depth bound
write("nested-100000.xml", xml_nested(100000))
write("nested-100000.bin", binary_nested(100000))
# The <plist> element counts as one level of nesting.
write("nested-at-limit.xml", xml_nested(LIMIT - 1))
write("nested-over-limit.xml", xml_nested(LIMIT))
write("nested-at-limit.bin", binary_nested(LIMIT))
write("nested-over-limit.bin", binary_nested(LIMIT + 1))
write("cycle.bin", binary([array_of([1], 2), array_of([0], 2)]))
write("self-cycle.bin", binary([array_of([0], 1)]))
write("multiplying.bin", binary_multiplying(8, 16))
# Closing tags hidden in a comment must not make deep nesting look shallow.
write("nested-hidden-closers.xml",
      xml_head + (b"<array><!-- </array> -->") * 10000 + b"</array>" * 10000 + xml_tail)
write("mismatched.xml", xml_head + b"<array></dict>" * 10000 + xml_tail)
write("internal-subset.xml",
      b'<?xml version="1.0"?>\n<!DOCTYPE plist [ <!ENTITY a "x"> ]>\n<plist><string>&a;</string></plist>')
# Offsets and references that point outside the file.
bad = bytearray(binary([array_of([1], 2), b"\x09"]))
bad[-1] = 0xF0  # offset table placed past the end of the file
write("bad-table.bin", bytes(bad))
write("bad-reference.bin", binary([array_of([7], 2), b"\x09"]))
write("not-a-plist.txt", b"ProductVersion = 14.1\n")
write("empty", b"")
