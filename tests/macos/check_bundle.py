#!/usr/bin/env python3
"""Checks the cross-built Kavelin.app: a universal arm64 + x86_64 program for macOS 13.0 that
links only the system's frameworks and libraries, carries a valid ad-hoc signature on each slice,
and ships a well-formed Info.plist, its menu icon and its application icon. Reads the Mach-O and
icns files themselves, so that what is checked does not depend on a tool's output format. Exit 77
(skipped) without a bundle.

    check_bundle.py <Kavelin.app> <project version>
"""
import hashlib
import os
import plistlib
import struct
import sys

CPU_ARM64, CPU_X86_64 = 0x0100000C, 0x01000007
LC_CODE_SIGNATURE, LC_BUILD_VERSION = 0x1D, 0x32
DYLIB_COMMANDS = {0xC, 0x80000018, 0x8000001F}  # load, weak, re-export
PLATFORM_MACOS = 1
EXPECTED_LIBRARIES = {f"/System/Library/Frameworks/{name}.framework/Versions/{version}/{name}"
                      for name, version in (("AppKit", "C"), ("Foundation", "C"),
                                            ("ServiceManagement", "A"), ("CoreFoundation", "A"),
                                            ("CoreServices", "A"))
                      } | {"/usr/lib/libobjc.A.dylib", "/usr/lib/libc++.1.dylib",
                           "/usr/lib/libSystem.B.dylib"}
CODE_DIRECTORY_MAGIC, EMBEDDED_SIGNATURE_MAGIC = 0xFADE0C02, 0xFADE0CC0
ADHOC_FLAG, SHA256_TYPE = 0x2, 2

failures = []


def check(condition, message):
    if not condition:
        failures.append(message)


def slices(data):
    magic, count = struct.unpack_from(">II", data, 0)
    entries = [struct.unpack_from(">IiII", data, 8 + 20 * index) for index in range(count)]
    return {cpu: data[offset:offset + size] for cpu, _, offset, size in entries} \
        if magic == 0xCAFEBABE else {}


def load_commands(image):
    magic, _, _, _, count, _, _, _ = struct.unpack_from("<IiiIIIII", image, 0)
    if magic != 0xFEEDFACF:
        raise ValueError("not a 64-bit Mach-O image")
    offset = 32
    for _ in range(count):
        command, size = struct.unpack_from("<II", image, offset)
        yield command, image[offset:offset + size]
        offset += size


def version_text(encoded):
    return f"{encoded >> 16}.{(encoded >> 8) & 0xFF}"


def check_signature(name, image, command):
    data_offset, data_size = struct.unpack_from("<II", command, 8)
    blob = image[data_offset:data_offset + data_size]
    magic, _, count = struct.unpack_from(">III", blob, 0)
    check(magic == EMBEDDED_SIGNATURE_MAGIC, f"{name}: no embedded signature")
    for index in range(count):
        _, offset = struct.unpack_from(">II", blob, 12 + 8 * index)
        if struct.unpack_from(">I", blob, offset)[0] != CODE_DIRECTORY_MAGIC:
            continue
        (_, _, _, flags, hash_offset, _, _, code_slots, code_limit, hash_size, hash_type, _,
         page_shift) = struct.unpack_from(">IIIIIIIIIBBBB", blob, offset)
        check(flags & ADHOC_FLAG, f"{name}: the signature is not ad hoc")
        check(hash_type == SHA256_TYPE and hash_size == 32, f"{name}: not a SHA-256 signature")
        page = 1 << page_shift
        check(code_slots == (code_limit + page - 1) // page, f"{name}: page count wrong")
        for slot in range(code_slots):
            stored = blob[offset + hash_offset + slot * hash_size:][:hash_size]
            actual = hashlib.sha256(image[slot * page:min((slot + 1) * page, code_limit)]).digest()
            if stored != actual:
                check(False, f"{name}: page {slot} does not match its signature")
                break
        return
    check(False, f"{name}: the signature has no code directory")


def check_image(name, image):
    libraries, minimum, sdk, signed = set(), None, None, False
    for command, body in load_commands(image):
        if command in DYLIB_COMMANDS:
            name_offset = struct.unpack_from("<I", body, 8)[0]
            libraries.add(body[name_offset:].split(b"\0", 1)[0].decode())
        elif command == LC_BUILD_VERSION:
            platform, minos = struct.unpack_from("<II", body, 8)
            check(platform == PLATFORM_MACOS, f"{name}: built for platform {platform}")
            minimum = version_text(minos)
            sdk = version_text(struct.unpack_from("<I", body, 16)[0])
        elif command == LC_CODE_SIGNATURE:
            signed = True
            check_signature(name, image, body)
    check(minimum == "13.0", f"{name}: minimum system {minimum}, not 13.0")
    check(libraries == EXPECTED_LIBRARIES,
          f"{name}: links {sorted(libraries ^ EXPECTED_LIBRARIES)} unexpectedly")
    # SMAppService registers signed code only, and Apple silicon runs nothing unsigned.
    check(signed, f"{name}: no code signature")
    print(f"{name}: {len(image)} bytes, minos {minimum}, sdk {sdk}, {len(libraries)} libraries,"
          f" signed: {signed}")


def check_icon(path):
    """An icns file whose elements fill it exactly, with pictures from 16 to 512 pixels."""
    try:
        with open(path, "rb") as file:
            data = file.read()
    except OSError:
        check(False, "Kavelin.icns missing")
        return
    magic, length = struct.unpack_from(">4sI", data, 0) if len(data) >= 8 else (b"", 0)
    check(magic == b"icns" and length == len(data), "Kavelin.icns: not an icns file")
    types, offset = set(), 8
    while magic == b"icns" and offset + 8 <= len(data):
        kind, size = struct.unpack_from(">4sI", data, offset)
        if size < 8 or offset + size > len(data):
            check(False, f"Kavelin.icns: element {kind!r} overruns the file")
            return
        types.add(kind.decode("latin-1"))
        offset += size
    check(offset == len(data), "Kavelin.icns: trailing bytes")
    # 16, 32 and 128 pixels (with their masks), 256 and 512: Finder, Login Items and alerts.
    missing = {"is32", "s8mk", "il32", "l8mk", "it32", "t8mk", "ic08", "ic09"} - types
    check(not missing, f"Kavelin.icns: no {sorted(missing)}")
    print(f"Kavelin.icns: {len(data)} bytes, {sorted(types)}")


def main():
    bundle, version = sys.argv[1], sys.argv[2]
    if not os.environ.get("KAVELIN_MACOS_SDK") or not os.path.isdir(bundle):
        print("skipped: no macOS bundle (make macos needs KAVELIN_MACOS_SDK)")
        return 77
    contents = os.path.join(bundle, "Contents")
    with open(os.path.join(contents, "MacOS", "kavelin"), "rb") as program:
        parts = slices(program.read())
    check(set(parts) == {CPU_ARM64, CPU_X86_64}, "the program is not arm64 + x86_64")
    for cpu, name in ((CPU_ARM64, "arm64"), (CPU_X86_64, "x86_64")):
        if cpu in parts:
            check_image(name, parts[cpu])

    with open(os.path.join(contents, "Info.plist"), "rb") as file:
        info = plistlib.load(file)
    check(info.get("LSUIElement") is True, "Info.plist: LSUIElement is not true")
    check(info.get("LSMinimumSystemVersion") == "13.0", "Info.plist: minimum system not 13.0")
    check(info.get("CFBundleIdentifier") == "org.kavelin.Kavelin", "Info.plist: identifier")
    check(info.get("CFBundleShortVersionString") == version
          and info.get("CFBundleVersion") == version, "Info.plist: version is not " + version)
    check(info.get("CFBundleExecutable") == "kavelin", "Info.plist: executable name")
    usage = info.get("NSAppleEventsUsageDescription", "")
    check(usage.startswith("Kavelin ") and "redémarrage" in usage,
          "Info.plist: no French Apple-events usage text")
    with open(os.path.join(contents, "Resources", "MenuIcon.png"), "rb") as file:
        header = file.read(24)
    check(header.startswith(b"\x89PNG") and struct.unpack(">II", header[16:24]) >= (36, 36),
          "MenuIcon.png missing or under 2 pixels a point")

    check(info.get("CFBundleIconFile") == "Kavelin", "Info.plist: CFBundleIconFile is not Kavelin")
    check_icon(os.path.join(contents, "Resources", "Kavelin.icns"))

    for failure in failures:
        print("FAIL:", failure)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
