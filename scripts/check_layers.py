#!/usr/bin/env python3
"""Fails when a file of the module includes a file of a higher layer.

The module is built in floors; each may include its own floor and those
below, never one above (README, "What is here"). Sibling sources never
include each other, and the module never includes the host-side stand-ins,
the test devices or the tests. Files are matched to a floor by the longest
folder prefix in LAYERS. Prints every offending include with its file and
line, and exits 1 when there is one.
"""
import pathlib
import re
import subprocess
import sys

# Lowest floor first.
LAYERS = [
    ("foundation/", "portable foundation"),
    ("live_Main/host/", "host link"),
    ("foundation/runtime/", "runtime services"),
    ("live_Main/boundary/", "module boundary"),
    ("ui/", "window toolkit and dialog"),
    ("sources/", "sources"),
    ("live_Main/", "factory and entry points"),
]
OUTSIDE = ("reference/", "testdevices/", "tests/", "bench/", "fuzz/")
INCLUDE = re.compile(r'^\s*#\s*include\s+"([^"]+)"')


def floor(path):
    best = None
    for level, (prefix, _) in enumerate(LAYERS):
        if path.startswith(prefix) and (best is None or len(prefix) > len(LAYERS[best][0])):
            best = level
    return best


def source_folder(path):
    parts = path.split("/")
    return "/".join(parts[:2]) if parts[0] == "sources" and len(parts) > 2 else None


def main():
    root = pathlib.Path(__file__).resolve().parent.parent
    files = subprocess.check_output(["git", "ls-files", "*.h", "*.cpp", "*.c"], cwd=root, text=True)
    problems = []
    for path in files.split():
        own = floor(path)
        if own is None:
            continue
        lines = (root / path).read_text(encoding="utf-8", errors="replace").splitlines()
        for number, line in enumerate(lines, 1):
            match = INCLUDE.match(line)
            if not match:
                continue
            target = match.group(1)
            where = f"{path}:{number}: includes {target}"
            if target.startswith(OUTSIDE):
                problems.append(f"{where}: the module never includes code outside it")
                continue
            other = floor(target)
            if other is None:
                continue
            if other > own:
                problems.append(
                    f"{where}: a {LAYERS[other][1]} file from the {LAYERS[own][1]} floor (upward include)")
            elif other == own and source_folder(path) and source_folder(target) \
                    and source_folder(path) != source_folder(target):
                problems.append(f"{where}: one source includes another")
    for problem in problems:
        print(problem)
    if problems:
        print(f"layer check: {len(problems)} include(s) break the module's floors")
        return 1
    print("layer check: every include of the module points to its own floor or one below")
    return 0


if __name__ == "__main__":
    sys.exit(main())
