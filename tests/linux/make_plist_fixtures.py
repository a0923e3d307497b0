#!/usr/bin/env python3
"""Writes property-list fixtures into the folder given: well-formed ones from plistlib, an
independent producer, and hostile ones, which plistlib cannot make, byte by byte."""
import itertools, os, plistlib, struct, sys


def write(name, data):
    open(os.path.join(sys.argv[1], name), "wb").write(data)


version = {"ProductName": "macOS", "ProductVersion": "14.1.1"}
# In the binary format both values of "shared" refer to one string object: shared, not cyclic.
for name, value in (("version", version), ("unicode", {"ProductVersion": "15.0 bêta — 🍎", "Données": "ça"}),
                    ("typed", {"ProductVersion": 14, "Data": b"14.1", "Nested": {"V": "14.1"}, "N": "m"}),
                    ("shared", {"a": "same", "b": "same"}), ("array", ["ProductVersion", "14.1"])):
    for suffix, fmt in ((".xml", plistlib.FMT_XML), (".bin", plistlib.FMT_BINARY)):
        write(name + suffix, plistlib.dumps(value, fmt=fmt, sort_keys=False))
# libplist 2.2 asserts on a key holding U+0000 and cuts an ASCII string at a NUL.
write("key-holding-nul.bin", plistlib.dumps({"ProductVersion": "14.0", "é\0": "y"}, fmt=plistlib.FMT_BINARY))
write("version-holding-nul.bin", plistlib.dumps({"ProductVersion": "14.5\0x"}, fmt=plistlib.FMT_BINARY))
# XML in the encodings that the system reads besides plain UTF-8.
accented = plistlib.dumps({"ProductVersion": "14.5 été €"}).decode()
for name, codec, mark, declared in (
        ("utf8-bom", "utf-8", b"\xef\xbb\xbf", "UTF-8"), ("utf16le-bom", "utf-16-le", b"\xff\xfe", "UTF-16"),
        ("utf16be-bom", "utf-16-be", b"\xfe\xff", "UTF-16"), ("utf16be", "utf-16-be", b"", "UTF-16"),
        ("windows-1252", "cp1252", b"", "windows-1252")):
    write(name + ".xml", mark + accented.replace("UTF-8", declared).encode(codec))
write("latin1.xml", accented.replace(" €", "").replace("UTF-8", "ISO-8859-1").encode("latin-1"))
write("unknown-encoding.xml", accented.replace("UTF-8", "X-UNKNOWN").encode())
write("utf16le-odd-length.xml", b"\xff\xfe" + accented.encode("utf-16-le") + b"<")
write("raw-nul.xml", accented.replace("14.5", "14.5\0x").encode())
write("version-truncated.xml", plistlib.dumps(version)[:120])
write("version-truncated.bin", plistlib.dumps(version, fmt=plistlib.FMT_BINARY)[:-20])


def binary(objects):
    """A binary property list of the given encoded objects, object 0 on top, offsets 4 bytes."""
    offsets = list(itertools.accumulate(map(len, objects), initial=8))
    return (b"bplist00" + b"".join(objects) + b"".join(struct.pack(">I", o) for o in offsets[:-1])
            + bytes([0] * 6 + [4, 4]) + struct.pack(">QQQ", len(objects), 0, offsets[-1]))


def array_of(refs):  # references 4 bytes wide
    head = bytes([0xA0 | len(refs)]) if len(refs) < 15 else b"\xaf\x12" + struct.pack(">I", len(refs))
    return head + b"".join(struct.pack(">I", r) for r in refs)


xml_head = b'<?xml version="1.0" encoding="UTF-8"?>\n<plist version="1.0">'
write("nested-100000.xml", xml_head + b"<array>" * 100000 + b"</array>" * 100000 + b"</plist>")
write("nested-100000.bin", binary([array_of([i + 1] if i < 99999 else []) for i in range(100000)]))
write("cycle.bin", binary([array_of([1]), array_of([0])]))
# Each level refers 16 times to the next: a few hundred bytes that expand to 16^8 values.
write("multiplying.bin", binary([array_of([i + 1] * 16) for i in range(8)] + [b"\x09"]))
write("bad-table.bin", binary([array_of([1]), b"\x09"])[:-1] + b"\xf0")  # table past the end
write("bad-reference.bin", binary([array_of([7]), b"\x09"]))
# An unpaired UTF-16 surrogate, which libplist drops.
write("lone-surrogate.bin", binary([b"\xd1" + struct.pack(">II", 1, 2), b"\x51k", b"\x62\x00a\xd8\x00"]))
# An 8 KiB string referenced a thousand times: small on disk, 8 MiB once copied out.
write("shared-long-string.bin", binary([array_of([1] * 1000), b"\x5f\x11\x20\x00" + b"x" * 8192]))
# Closing tags hidden in comments must not make deep nesting look shallow.
write("nested-hidden-closers.xml",
      xml_head + b"<array><!-- </array> -->" * 10000 + b"</array>" * 10000 + b"</plist>")
write("mismatched.xml", xml_head + b"<array></dict>" * 10000 + b"</plist>")
write("internal-subset.xml",
      b'<?xml version="1.0"?>\n<!DOCTYPE plist [ <!ENTITY a "x"> ]>\n<plist><string>&a;</string></plist>')
write("not-a-plist.txt", b"ProductVersion = 14.1\n")
write("empty.bin", b"")
