#!/usr/bin/env python3
"""Fails when an include line crosses a layer upward.

Layers, bottom up: platform/ and util/, then protocol/ and content/, then transport/, then the
server's subsystems; tools/, bench/ and fuzz/ sit above all of them. The event log, the recorder
and the recording reader are handed what they need and know neither the server object nor
admission. Only tests/ may include the test support or gtest.

Usage: scripts/check-layers.py [SOURCE_ROOT]
"""
import os
import re
import sys

RANK = {"platform": 0, "util": 0, "protocol": 1, "content": 1, "transport": 2}
SUBSYSTEM = 3  # runtime/, admission/, client/, race/, records/, fleet/
HANDED_IN = ("records/CRVServerLogger.", "records/CRVServerRecorder.", "records/RecordingReader.")
SCANNED = ("src", "tools", "bench", "fuzz")
INCLUDE = re.compile(r'^\s*#\s*include\s*([<"])([^>"]+)[>"]')
TEST_ONLY = re.compile(r"^(gtest|gmock)/")


def rank(folder):
    return RANK.get(folder, SUBSYSTEM)


def includes(path):
    with open(path, encoding="utf-8", errors="replace") as f:
        for number, line in enumerate(f, 1):
            m = INCLUDE.match(line)
            if m:
                yield number, m.group(1), m.group(2)


def check_file(root, relative):
    """The problems of one file, as 'path:line: reason' lines."""
    problems = []
    top = relative.split("/")[0]
    inside_src = relative[len("src/"):] if top == "src" else None
    here = os.path.dirname(os.path.join(root, relative))
    for number, quote, target in includes(os.path.join(root, relative)):
        where = f"{relative}:{number}: #include {quote}{target}{'>' if quote == '<' else quote}"
        if TEST_ONLY.match(target):
            problems.append(f"{where}: only tests/ may include gtest")
            continue
        if quote != '"':
            continue
        resolves_locally = any(
            os.path.exists(os.path.join(base, target))
            for base in (here, os.path.join(root, "src"), os.path.join(root, "tools"))
        )
        if target.startswith("tests/") or "/tests/" in target or (
            not resolves_locally and os.path.exists(os.path.join(root, "tests", target))
        ):
            problems.append(f"{where}: only tests/ may include the tests' support")
            continue
        if inside_src is None or "/" not in target:
            continue
        folder = target.split("/")[0]
        if not os.path.isdir(os.path.join(root, "src", folder)):
            continue
        own = inside_src.split("/")[0]
        if rank(folder) > rank(own):
            problems.append(f"{where}: {own}/ may not look up at {folder}/")
        elif inside_src.startswith(HANDED_IN) and folder in ("runtime", "admission"):
            problems.append(f"{where}: {own}/{os.path.basename(relative)} is handed what it "
                            f"needs and may not include {folder}/")
    return problems


def main():
    root = os.path.abspath(sys.argv[1] if len(sys.argv) > 1 else os.path.join(
        os.path.dirname(__file__), ".."))
    problems = []
    files = 0
    for top in SCANNED:
        for folder, _, names in os.walk(os.path.join(root, top)):
            for name in sorted(names):
                if name.endswith((".h", ".hpp", ".cpp", ".cc")):
                    relative = os.path.relpath(os.path.join(folder, name), root)
                    problems += check_file(root, relative.replace(os.sep, "/"))
                    files += 1
    for p in problems:
        print(p)
    print(f"check-layers: {files} files, {len(problems)} upward includes")
    return 1 if problems or files == 0 else 0


if __name__ == "__main__":
    sys.exit(main())
