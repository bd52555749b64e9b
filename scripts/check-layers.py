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
import tempfile

RANK = {"platform": 0, "util": 0, "protocol": 1, "content": 1, "transport": 2}
SUBSYSTEM = 3  # runtime/, admission/, client/, race/, records/, fleet/
HANDED_IN = ("records/CRVServerLogger.", "records/CRVServerRecorder.", "records/RecordingReader.")
SCANNED = ("src", "tools", "bench", "fuzz")
INCLUDE = re.compile(r'^\s*#\s*include\s*([<"])([^>"]+)[>"]')
TEST_ONLY = re.compile(r"^(gtest|gmock)/")
# A build file outside tests/ that links the test support or gtest, or adds tests/ as an include
# folder, lets its programs include them.
BUILD_TEST_ONLY = re.compile(
    r"GTest::|rvtestsupport|target_include_directories\([^)]*(SOURCE_DIR}/tests|\.\./tests)")


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


def check_build_file(root, relative):
    with open(os.path.join(root, relative), encoding="utf-8", errors="replace") as f:
        text = f.read()
    return [f"{relative}: only tests/ may build with the tests' support or gtest: {m.group(0)}"
            for m in BUILD_TEST_ONLY.finditer(text)]


def check_tree(root):
    """(files looked at, problems) for the tree at `root`."""
    problems = []
    files = 0
    for top in SCANNED:
        for folder, _, names in os.walk(os.path.join(root, top)):
            for name in sorted(names):
                relative = os.path.relpath(os.path.join(folder, name), root).replace(os.sep, "/")
                if name.endswith((".h", ".hpp", ".cpp", ".cc")):
                    problems += check_file(root, relative)
                    files += 1
                elif name == "CMakeLists.txt":
                    problems += check_build_file(root, relative)
    return files, problems


# A small tree with one fault of each kind and one allowed include of each kind: the check must
# find exactly the faults, or it proves nothing about the real tree.
SAMPLE = {
    "src/platform/SocketAddress.h": '#include "util/Text.h"\n',
    "src/util/Text.h": "",
    "src/protocol/Layout.h": '#include "platform/SocketAddress.h"\n',
    "src/transport/Router.cpp": '#include "protocol/Layout.h"\n#include "runtime/Server.h"\n',
    "src/runtime/Server.h": '#include "admission/Client.h"\n',
    "src/admission/Client.h": "",
    "src/records/CRVServerLogger.cpp": '#include "transport/Clock.h"\n#include "runtime/Server.h"\n',
    "src/records/LobbyRegistration.cpp": '#include "runtime/Server.h"\n',
    "src/transport/Clock.h": "",
    "fuzz/Target.cpp": '#include "support/Fixture.h"\n#include "runtime/Server.h"\n',
    "fuzz/CMakeLists.txt": "target_include_directories(t PUBLIC ${CMAKE_SOURCE_DIR}/tests)\n",
    "tools/tool/main.cpp": "#include <gtest/gtest.h>\n",
    "tests/support/Fixture.h": "#include <gtest/gtest.h>\n",
}
SAMPLE_FAULTS = {
    "src/transport/Router.cpp:2", "src/records/CRVServerLogger.cpp:2", "fuzz/Target.cpp:1",
    "fuzz/CMakeLists.txt", "tools/tool/main.cpp:1",
}


def self_check():
    with tempfile.TemporaryDirectory() as root:
        for relative, text in SAMPLE.items():
            os.makedirs(os.path.dirname(os.path.join(root, relative)), exist_ok=True)
            with open(os.path.join(root, relative), "w", encoding="utf-8") as f:
                f.write(text)
        _, problems = check_tree(root)
    found = {p.split(": ")[0].rstrip(":") for p in problems}
    if found != SAMPLE_FAULTS:
        print("check-layers: the check itself is wrong on its sample tree:")
        for p in problems:
            print("  " + p)
        print(f"  expected faults at: {sorted(SAMPLE_FAULTS)}")
        return False
    return True


def main():
    root = os.path.abspath(sys.argv[1] if len(sys.argv) > 1 else os.path.join(
        os.path.dirname(__file__), ".."))
    if not self_check():
        return 1
    files, problems = check_tree(root)
    for p in problems:
        print(p)
    print(f"check-layers: {files} files, {len(problems)} upward includes")
    return 1 if problems or files == 0 else 0


if __name__ == "__main__":
    sys.exit(main())
