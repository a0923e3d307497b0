#!/usr/bin/env python3
"""Runs clang's static analyzer over the macOS backend (platform/macos, the .mm files and their
portable part) with the exact flags of each cross-built slice, against Apple's SDK, and fails on
any finding: nothing here can run the program, so the analyzer stands in for the leaks, nil
dereferences and misused APIs a run would show. Exit 77 (skipped) without the SDK or the build.

    static_analysis.py <build-macos folder> <source folder>
"""
import json
import os
import shlex
import subprocess
import sys
from concurrent.futures import ThreadPoolExecutor

ARCHITECTURES = ("arm64", "x86_64")


def analysis_command(entry):
    """The compile command of the entry, turned into one analyzer run that makes no object."""
    words = shlex.split(entry["command"]) if "command" in entry else list(entry["arguments"])
    command, skip = [], False
    for word in words:
        if skip:
            skip = False
        elif word == "-o":
            skip = True
        elif word != "-c":
            command.append(word)
    # Findings become errors, each explained in text; --analyze writes no object file.
    return command + ["--analyze", "-Xclang", "-analyzer-werror",
                      "-Xclang", "-analyzer-output=text", "-o", os.devnull]


def analyse(arch, entry):
    result = subprocess.run(analysis_command(entry), cwd=entry["directory"],
                            capture_output=True, text=True)
    return arch, entry["file"], result.returncode, result.stdout + result.stderr


def main():
    build, source = sys.argv[1], os.path.realpath(sys.argv[2])
    if not os.environ.get("KAVELIN_MACOS_SDK"):
        print("skipped: no Apple SDK (set KAVELIN_MACOS_SDK, then make macos)")
        return 77
    backend = os.path.join(source, "platform", "macos") + os.sep
    jobs = []
    for arch in ARCHITECTURES:
        path = os.path.join(build, arch, "compile_commands.json")
        if not os.path.isfile(path):
            print(f"skipped: no {arch} build in {build} (make macos builds it)")
            return 77
        with open(path) as file:
            entries = json.load(file)
        jobs += [(arch, entry) for entry in entries
                 if os.path.realpath(entry["file"]).startswith(backend)]
    if not any(entry["file"].endswith(".mm") for _, entry in jobs):
        print("FAIL: no Objective-C++ source of the backend in the compile commands")
        return 1
    # Two at a time: the machine that runs the tests may be busy.
    with ThreadPoolExecutor(max_workers=2) as pool:
        results = list(pool.map(lambda job: analyse(*job), jobs))
    failures = 0
    for arch, file, status, output in results:
        name = os.path.relpath(file, source)
        if status != 0 or output.strip():
            failures += 1
            print(f"FAIL: {arch} {name}\n{output}")
        else:
            print(f"clean: {arch} {name}")
    print(f"{len(results) - failures} of {len(results)} analyses clean")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
